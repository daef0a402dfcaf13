#include "firmware/devices/chop_motor.h"

#include "firmware/control/keys.h"
#include "firmware/control/lcd.h"
#include "firmware/control/menu.h"
#include "firmware/devices/dc_motor.h"
#include "firmware/platform/fpga_regs.h"

namespace {
constexpr uint32_t kMaxDuty = 100;
}  // namespace

CFpgaChopMotor::CFpgaChopMotor(CDcMotor* pMotor, uint32_t ulChannel) : m_pMotor(pMotor), m_ulChannel(ulChannel) {
  SetPeriod(kDefaultPeriod);
  SetDuty(0);
}

int32_t CFpgaChopMotor::GetState(uint32_t* pulState) {
  m_pMotor->GetState(pulState);
  return 0;
}

int32_t CFpgaChopMotor::GetDuty(uint32_t* pulDuty) {
  *pulDuty = m_ulDuty;
  return 0;
}

int32_t CFpgaChopMotor::SetDuty(uint32_t ulPercent) {
  m_ulDuty = ulPercent;
  return g_FpgaMain.SetPwmDuty(m_ulChannel, ulPercent);
}

int32_t CFpgaChopMotor::GetPeriod(uint32_t* pulPeriod) {
  *pulPeriod = m_ulPeriod;
  return 0;
}

int32_t CFpgaChopMotor::SetPeriod(uint32_t ulCounts) {
  m_ulPeriod = ulCounts;
  return g_FpgaMain.SetPwmPeriod(m_ulChannel, static_cast<uint16_t>(ulCounts & 0xFFFFu));
}

int32_t CFpgaChopMotor::Forward() { return m_pMotor->Forward(); }
int32_t CFpgaChopMotor::Reverse() { return m_pMotor->Reverse(); }
int32_t CFpgaChopMotor::Stop() { return m_pMotor->Stop(); }
int32_t CFpgaChopMotor::Brake() { return m_pMotor->Brake(); }

// ---- the maintenance screen ---------------------------------------------------------------

int32_t CChopMotor::TestScreen(uint32_t ulDirection) {
  static const char* const kapszText[2][2] = {{"+OFF:   %       ", "-OFF:   %       "},
                                              {"+ ON:   %       ", "- ON:   %       "}};
  const bool bForward = ulDirection == 1;
  uint32_t ulDuty = 0;
  uint32_t ulPeriod = 0;
  GetDuty(&ulDuty);
  GetPeriod(&ulPeriod);
  SetPeriod(ulPeriod);
  SetDuty(ulDuty);
  for (;;) {
    uint32_t ulState = 0;
    GetState(&ulState);
    const bool bRuns = ulState != 0;
    g_Lcd.WriteText(kapszText[bRuns ? 1 : 0][bForward ? 0 : 1], 7, 9);
    FormatDecimal(static_cast<int32_t>(ulDuty), 0);
    g_Lcd.WriteText(&g_acNumberText[7], 12, 3);
    switch (WaitAnyKey()) {
      case KEY_ENTER:
        if (bRuns) {
          Stop();
        } else if (bForward) {
          Forward();
        } else {
          Reverse();
        }
        break;
      case KEY_INC:
        ulDuty = ulDuty >= kMaxDuty ? 0 : ulDuty + 1;
        SetDuty(ulDuty);
        break;
      case KEY_DEC:
        ulDuty = ulDuty == 0 || ulDuty > kMaxDuty ? kMaxDuty : ulDuty - 1;
        SetDuty(ulDuty);
        break;
      case KEY_CLEAR:
        return 0;
      default:
        break;
    }
  }
}
