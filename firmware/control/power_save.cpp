#include "firmware/control/power_save.h"

#include "firmware/control/app_startup.h"
#include "firmware/control/lcd.h"
#include "firmware/devices/panel_ports.h"
#include "firmware/devices/settings.h"
#include "firmware/platform/time_base.h"
#include "firmware/platform/us_timer.h"

constinit uint32_t g_ulPowerSaveActive = 0;
constinit CPowerSave g_PowerSave;

namespace {
constexpr uint32_t kSupplySettleUs = 1000;
}  // namespace

CPowerSave::CPowerSave(GlobalBuild) {
  int32_t lMinutes = 0;
  g_ParamPowerSaveTime.GetValue(&lMinutes);
  m_ulMinutes = static_cast<uint32_t>(lMinutes);
  m_ulMinuteTicks = g_MsTimer.MsToTicks(60000);
}

uint32_t CPowerSave::NowNonZero() {
  const uint32_t ulNow = g_MsTimer.NowMs();
  return ulNow == 0 ? 1 : ulNow;
}

int32_t CPowerSave::SetCoverRequest(uint32_t ulOn) {
  m_ulCoverRequest = ulOn;
  return Update();
}

int32_t CPowerSave::SetIdleRequest(uint32_t ulOn) {
  m_ulIdleRequest = ulOn;
  return Update();
}

int32_t CPowerSave::SetDisplayOffRequest(uint32_t ulOn) {
  m_ulDisplayOffRequest = ulOn;
  return Update();
}

int32_t CPowerSave::Update() {
  uint32_t ulState = POWER_SAVE_NORMAL;
  if (m_ulDisplayOffRequest != 0) {
    ulState = POWER_SAVE_DISPLAY_OFF;
  } else if (m_ulCoverRequest != 0 || m_ulIdleRequest != 0) {
    ulState = POWER_SAVE_ON;
  }
  Apply(ulState);
  return 0;
}

int32_t CPowerSave::Apply(uint32_t ulState) {
  if (ulState == m_ulState) return 0;
  int32_t lResult = 0;
  switch (ulState) {
    case POWER_SAVE_ON:
      ShowText();
      g_ulPowerSaveActive = 1;
      g_PortPhotoSenLed1.Clear();
      g_PortPhotoSenLed2.Clear();
      g_Lcd.PowerOff();
      g_PortPowerSave.Set();
      break;
    case POWER_SAVE_NORMAL:
    case POWER_SAVE_DISPLAY_OFF:
      // The sensor LED supplies come up one after the other, then the LCD.
      g_PortPowerSave.Clear();
      g_ulPowerSaveActive = 0;
      g_PortPhotoSenLed1.Set();
      g_UsTimer.WaitUs(kSupplySettleUs);
      g_PortPhotoSenLed2.Set();
      g_UsTimer.WaitUs(kSupplySettleUs);
      if (ulState == POWER_SAVE_NORMAL) {
        g_Lcd.PowerOn();
      } else {
        g_Lcd.PowerOff();
      }
      break;
    default: lResult = -1; break;
  }
  m_ulState = ulState;
  return lResult;
}

int32_t CPowerSave::GetState(uint32_t* pulState) const {
  *pulState = m_ulState;
  return 0;
}

int32_t CPowerSave::IsTimerArmed(uint32_t* pulArmed) const {
  *pulArmed = m_ulArmed;
  return 0;
}

int32_t CPowerSave::GetMinutes(uint32_t* pulMinutes) const {
  *pulMinutes = m_ulMinutes;
  return 0;
}

int32_t CPowerSave::SetMinutes(uint32_t ulMinutes) {
  m_ulMinutes = ulMinutes;
  return 0;
}

void CPowerSave::ArmTimer() {
  m_ulMinuteStart = NowNonZero();
  m_ulMinutesLeft = m_ulMinutes;
  m_ulArmed = 1;
}

void CPowerSave::TickTimer() {
  if (m_ulMinutesLeft == 0) return;
  const uint32_t ulNow = g_MsTimer.NowMs();
  if (ulNow - m_ulMinuteStart < m_ulMinuteTicks) return;
  if (--m_ulMinutesLeft == 0) {
    SetIdleRequest(1);
  } else {
    m_ulMinuteStart = ulNow == 0 ? 1 : ulNow;
  }
}

void CPowerSave::CancelTimer() {
  m_ulMinutesLeft = 0;
  SetIdleRequest(0);
  m_ulArmed = 0;
}

void CPowerSave::ShowText() {
  if (g_ucRibbonControlType != 0 && m_ulCoverRequest == 0 && m_ulIdleRequest == 1) {
    g_Lcd.WriteText("Power Save      ", 0, CLcd::kVisibleColumns);
  }
}
