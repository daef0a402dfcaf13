#include "firmware/devices/slit.h"

#include <cstring>

#include "firmware/control/keys.h"
#include "firmware/control/lcd.h"
#include "firmware/control/menu.h"
#include "firmware/devices/chop_motor.h"
#include "firmware/devices/fan.h"
#include "firmware/devices/machine_actuators.h"
#include "firmware/platform/fpga_regs.h"
#include "firmware/platform/trace_point.h"

namespace {

constexpr uint32_t kLabelLength = 16;
constexpr uint32_t kNotShown = 0xFFFFFFFFu;
// The ribbon check winds the ribbon onto the take-up roll against the
// supply motor, which runs in reverse with the reverse clutch engaged.
constexpr uint32_t kTakeUpDuty = 99;
constexpr uint32_t kSupplyDuty = 100;

// The ribbon encoders' check screens drive both ribbon motors of their unit
// and its reverse clutch; every other slit only counts.
struct RibbonDrive {
  const char* pszName;
  CChopMotor* pSupply;
  CChopMotor* pTakeUp;
  CFanCrutch* pClutch;
};

constexpr RibbonDrive kRibbonDrives[] = {
    {"RibEncDstL      ", &g_ChopMotorRibSrcL, &g_ChopMotorRibDstL, &g_ClutchRibRvsL},
    {"RibEncSrcL      ", &g_ChopMotorRibSrcL, &g_ChopMotorRibDstL, &g_ClutchRibRvsL},
    {"RibEncDstR      ", &g_ChopMotorRibSrcR, &g_ChopMotorRibDstR, &g_ClutchRibRvsR},
    {"RibEncSrcR      ", &g_ChopMotorRibSrcR, &g_ChopMotorRibDstR, &g_ClutchRibRvsR},
};

const RibbonDrive* FindRibbonDrive(const char* pszName) {
  for (const RibbonDrive& drive : kRibbonDrives) {
    if (std::strncmp(drive.pszName, pszName, kLabelLength) == 0) return &drive;
  }
  return nullptr;
}

void StopRibbon(const RibbonDrive& drive, const char* pszTrace) {
  drive.pTakeUp->Stop();
  DebugTrace(pszTrace);
  drive.pSupply->Stop();
}

}  // namespace

CSlit::CSlit(const char* pszName, uint32_t ulChannel, CChopMotor* pMotor)
    : m_pMotor(pMotor), m_pszName(pszName), m_ulChannel(ulChannel) {
  Clear();
  Start();
}

int32_t CSlit::Start() {
  const int32_t lResult = g_FpgaMain.EnableCounter(m_ulChannel, 0);
  m_ulCounting = 1;
  return lResult;
}

int32_t CSlit::Stop() {
  const int32_t lResult = g_FpgaMain.EnableCounter(m_ulChannel, 1);
  m_ulCounting = 0;
  return lResult;
}

int32_t CSlit::Clear() {
  const int32_t lResult = g_FpgaMain.ClearCounter(m_ulChannel);
  if (lResult != 0) return lResult;
  uint32_t ulCount = 0;
  return ReadCount(&ulCount);
}

int32_t CSlit::ReadCount(uint32_t* pulCount) {
  uint32_t ulValue = 0;
  const int32_t lResult = g_FpgaMain.ReadCounter(m_ulChannel, &ulValue);
  if (lResult != 0) return lResult;
  m_ulLastCount = ulValue & 0xFFFFu;
  *pulCount = m_ulLastCount;
  return 0;
}

int32_t CSlit::HasChanged(uint32_t* pulChanged) {
  const uint32_t ulPrevious = m_ulLastCount;
  uint32_t ulCount = 0;
  const int32_t lResult = ReadCount(&ulCount);
  if (lResult == 0) *pulChanged = ulCount != ulPrevious ? 1 : 0;
  return lResult;
}

int32_t CSlit::GetLastCount(uint32_t* pulCount) const {
  *pulCount = m_ulLastCount;
  return 0;
}

uint32_t CSlit::WaitKeyShowingCount(uint32_t* pulShown) {
  for (;;) {
    uint32_t ulKey = KEY_NONE;
    const int32_t lKey = g_KeyMng.WaitKey(1, &ulKey);
    uint32_t ulCount = *pulShown;
    if (ReadCount(&ulCount) == 0 && ulCount != *pulShown) {
      *pulShown = ulCount;
      FormatDecimal(static_cast<int32_t>(ulCount), 0);
      g_Lcd.WriteText(&g_acNumberText[5], 11, 5);
    }
    if (lKey == 1) return ulKey;
  }
}

int32_t CSlit::CheckRoutine() {
  const RibbonDrive* pRibbon = FindRibbonDrive(m_pszName);
  g_Lcd.WriteText(m_pszName, 0, kLabelLength);
  g_Lcd.WriteText(":", 10, 1);
  Clear();
  uint32_t ulShown = kNotShown;
  FormatHex(ulShown);
  g_Lcd.WriteText(&g_acNumberText[6], 12, 4);
  Start();
  for (bool bLeave = false; !bLeave;) {
    switch (WaitKeyShowingCount(&ulShown)) {
      case KEY_ENTER:
        if (m_ulCounting != 0) {
          Stop();
        } else {
          Start();
        }
        break;
      case KEY_CLEAR:
        if (pRibbon != nullptr) {
          StopRibbon(*pRibbon, "CSlit::CheckRoutine()_1");
          pRibbon->pClutch->Off();
        }
        bLeave = true;
        break;
      case KEY_MENU:
        if (pRibbon != nullptr) {
          pRibbon->pClutch->On();
          pRibbon->pTakeUp->SetDuty(kTakeUpDuty);
          pRibbon->pTakeUp->Forward();
          pRibbon->pSupply->SetDuty(kSupplyDuty);
          pRibbon->pSupply->Reverse();
        }
        break;
      case KEY_FEED:
        if (pRibbon != nullptr) {
          pRibbon->pClutch->Off();
          StopRibbon(*pRibbon, "CSlit::CheckRoutine()_2");
        }
        break;
      default:
        break;
    }
  }
  Stop();
  Clear();
  return 0;
}
