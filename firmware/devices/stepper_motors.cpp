// The three steppers' drivers: the control byte (direction, excitation,
// current bit, step mode), the fans the excitation switches and the pulse
// channel.
#include "firmware/devices/settings.h"
#include "firmware/devices/stepper.h"
#include "firmware/devices/fan.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/platform/fpga_regs.h"
#include "firmware/platform/ioctl.h"
#include "firmware/platform/time_base.h"

constinit CStpmtr2Ph g_StpmtrMain;
constinit CStpmtrSub2Ph g_StpmtrSub;
constinit CStpmtrExit g_StpmtrExit;

namespace {

constexpr uint8_t kDirection = 0x01;
constexpr uint8_t kEnergised = 0x02;
constexpr uint8_t kCurrent = 0x04;
constexpr uint8_t kStepModeMask = 0x70;
constexpr uint8_t kCleared = 0x80;
constexpr uint32_t kSettleMs = 2;

// Bits 6..4 of the control byte by step mode 0-4: full, full, half,
// quarter, eighth step.
constexpr uint8_t kStepModeBits[] = {0x10, 0x10, 0x50, 0x30, 0x70};
constexpr uint32_t kStepModes = sizeof(kStepModeBits) / sizeof(kStepModeBits[0]);

// Control byte, pulse channel, the stepper fan on, both fans off.
constexpr StpmtrDriver kMainDriver = {0x66000000u, 0, true, true};
constexpr StpmtrDriver kSubDriver = {FPGA_SUBSTEP_CTRL, 1, true, false};
constexpr StpmtrDriver kExitDriver = {0x66800000u, 2, false, false};

// The direction bit of a motor whose direction 0 sets it.
int32_t DirectionBitSetBy0(uint32_t ulDirection, bool* pbSet) {
  if (ulDirection > 1) return -2;
  *pbSet = ulDirection == 0;
  return 0;
}

}  // namespace

// ---- the drivers' common work -------------------------------------------------------------

CStpmtrDriven::CStpmtrDriven(const char* pszLabel, const StpmtrDriver& driver, bool bModulated)
    : CStpmtr(pszLabel, bModulated), m_ucControl(kEnergised), m_driver(driver) {
  WriteControl(m_ucControl);
}

int32_t CStpmtrDriven::WriteControl(uint8_t ucValue) { return IoctlWrite8(m_driver.ulControlAddress, ucValue); }

int32_t CStpmtrDriven::SetStepMode(uint32_t ulMode) {
  if (ulMode >= kStepModes) return -2;
  m_ucControl = static_cast<uint8_t>((m_ucControl & ~kStepModeMask) | kStepModeBits[ulMode]);
  return WriteControl(m_ucControl);
}

int32_t CStpmtrDriven::SetDirectionBit(bool bSet) {
  m_ucControl = static_cast<uint8_t>(bSet ? m_ucControl | kDirection : m_ucControl & ~kDirection);
  return WriteControl(m_ucControl);
}

int32_t CStpmtrDriven::SetExcitation(uint32_t ulOn) {
  if (ulOn > 1) return -2;
  if (ulOn == 1) {
    m_ucControl = static_cast<uint8_t>((m_ucControl | kEnergised) & ~kCleared);
    WriteControl(m_ucControl);
    // The driver needs its current settled before the first step.
    if (m_lExcited == 0) g_MsTimer.WaitMs(kSettleMs);
    g_FanPcb.On();
    if (m_driver.bStepperFan) g_FanStpMtr.On();
    m_lExcited = 1;
    return 0;
  }
  m_ucControl = static_cast<uint8_t>(m_ucControl & ~(kEnergised | kCleared));
  WriteControl(m_ucControl);
  if (m_driver.bFansOffToo) {
    g_FanPcb.Off();
    g_FanStpMtr.Off();
  }
  m_lExcited = 0;
  return 0;
}

int32_t CStpmtrDriven::SetPeriod(uint32_t ulTicks) { return g_FpgaMain.SetPulsePeriod(m_driver.ulPulseChannel, ulTicks); }
int32_t CStpmtrDriven::StartPulses() { return g_FpgaMain.StartStopPulses(m_driver.ulPulseChannel, 0); }
int32_t CStpmtrDriven::StopPulses() { return g_FpgaMain.StartStopPulses(m_driver.ulPulseChannel, 1); }

// ---- main ---------------------------------------------------------------------------------

CStpmtr2Ph::CStpmtr2Ph(const char* pszLabel, uint32_t) : CStpmtrDriven(pszLabel, kMainDriver, true) {}

// The main stepper's deceleration takes the sub stepper down with it,
// unless the sub runs on its own or is not on its way up or at the top.
namespace {
void DrawSubDown() {
  if (g_StpmtrSub.IsIndependent() != 0) return;
  g_StpmtrSub.JoinDecel();
}
}  // namespace

int32_t CStpmtr2Ph::AccelStep() {
  if (AccelStepOwn()) DrawSubDown();
  return 0;
}

int32_t CStpmtr2Ph::TopStep() {
  if (TopStepOwn()) DrawSubDown();
  return 0;
}

int32_t CStpmtr2Ph::SetDirection(uint32_t ulDirection) {
  // The unit B side turns the other way: there any non-zero value is 1.
  if (GetCurrentUnit() != 0) return SetDirectionBit(ulDirection != 0);
  bool bSet = false;
  if (DirectionBitSetBy0(ulDirection, &bSet) != 0) return -2;
  return SetDirectionBit(bSet);
}

int32_t CStpmtr2Ph::SetCurrentBit(uint32_t ulOn) {
  const uint8_t ucControl = GetControlShadow();
  return WriteControl(static_cast<uint8_t>(ulOn == 1 ? ucControl | kCurrent : ucControl & ~kCurrent));
}

// ---- sub ----------------------------------------------------------------------------------

CStpmtrSub2Ph::CStpmtrSub2Ph(const char* pszLabel, uint32_t) : CStpmtrDriven(pszLabel, kSubDriver, false) {}

int32_t CStpmtrSub2Ph::SetDirection(uint32_t ulDirection) {
  bool bSet = false;
  if (DirectionBitSetBy0(ulDirection, &bSet) != 0) return -2;
  // Engine version 1 mounts the sub stepper the other way round.
  int32_t lVersion = 0;
  g_ParamEngineVersion.GetValue(&lVersion);
  return SetDirectionBit(lVersion == 1 ? !bSet : bSet);
}

int32_t CStpmtrSub2Ph::SetIndependent(int32_t lFlag) {
  m_lIndependent = lFlag;
  return 0;
}

// ---- exit ---------------------------------------------------------------------------------

CStpmtrExit::CStpmtrExit(const char* pszLabel, uint32_t) : CStpmtrDriven(pszLabel, kExitDriver, false) {}

int32_t CStpmtrExit::SetDirection(uint32_t ulDirection) {
  bool bSet = false;
  if (DirectionBitSetBy0(ulDirection, &bSet) != 0) return -2;
  return SetDirectionBit(bSet);
}
