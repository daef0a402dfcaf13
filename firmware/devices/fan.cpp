#include "firmware/devices/fan.h"

#include "firmware/control/keys.h"
#include "firmware/control/lcd.h"
#include "firmware/platform/fpga_regs.h"
#include "firmware/platform/time_base.h"

CFanCrutch::CFanCrutch(uint32_t ulRegister, uint32_t ulMask, uint32_t ulPolarity)
    : m_ulRegister(ulRegister), m_ulMask(ulMask), m_ulPolarity(ulPolarity) {
  Off();
}

int32_t CFanCrutch::WriteLevel(bool bActive) {
  const uint16_t usMask = static_cast<uint16_t>(m_ulMask & 0xFFFFu);
  const bool bOne = bActive == (m_ulPolarity == 0);
  return bOne ? g_FpgaMain.SetBits(m_ulRegister, usMask) : g_FpgaMain.ClearBits(m_ulRegister, usMask);
}

int32_t CFanCrutch::Off() {
  const int32_t lResult = WriteLevel(false);
  m_ulState = FAN_OFF;
  return lResult;
}

int32_t CFanCrutch::GetState(uint32_t* pulState) const {
  *pulState = m_ulState;
  return 0;
}

int32_t CFanCrutch::TestScreen() {
  for (;;) {
    if (m_ulState == FAN_ON) {
      g_Lcd.WriteText(" :", 12, 2);
      g_Lcd.WriteText("ON", 14, 2);
    } else {
      g_Lcd.WriteText(":", 12, 1);
      g_Lcd.WriteText("OFF", 13, 3);
    }
    switch (WaitAnyKey()) {
      case KEY_ENTER:
        if (m_ulState == FAN_ON) {
          Off();
        } else {
          On();  // the virtual slot: a limited fan is stamped
        }
        break;
      case KEY_CLEAR:
        return 0;
      default:
        break;
    }
  }
}

int32_t CFanCnt::On() {
  if (m_ulState == FAN_ON) return 0;
  m_ulTimeStamp = g_MsTimer.NowMs();
  m_ulState = FAN_ON;
  return WriteLevel(true);
}

int32_t CFanCnt::Rest() { return RestAt(g_MsTimer.NowMs()); }

int32_t CFanCnt::RestAt(uint32_t ulNowMs) {
  m_ulTimeStamp = ulNowMs;
  const int32_t lResult = WriteLevel(false);
  m_ulState = FAN_RESTING;
  return lResult;
}

int32_t CFanCnt::Check() { return CheckAt(g_MsTimer.NowMs()); }

int32_t CFanCnt::CheckAt(uint32_t ulNowMs) {
  const uint32_t ulUnit = g_MsTimer.MsToTicks(1000);
  const uint32_t ulElapsed = ulNowMs - m_ulTimeStamp;
  if (m_ulState == FAN_ON && ulElapsed > kOnLimitSec * ulUnit) {
    RestAt(ulNowMs);
  } else if (m_ulState == FAN_RESTING && ulElapsed > kRestSec * ulUnit) {
    Off();
  }
  return 0;
}
