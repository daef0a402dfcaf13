#include "firmware/devices/digital_sensor.h"

#include "firmware/control/error_manager.h"
#include "firmware/control/keys.h"
#include "firmware/control/lcd.h"

namespace {
constexpr uint32_t kUnstableLevel = 255;
constexpr int32_t kPortUnstable = 1;
}  // namespace

int32_t CDigitalSensor::ApplyInvert(uint32_t* pulLevel) const {
  if (m_ulInvert == 0) return 0;
  if (*pulLevel == 1) {
    *pulLevel = 0;
  } else if (*pulLevel == 0) {
    *pulLevel = 1;
  } else {
    return -1;
  }
  return 0;
}

int32_t CDigitalSensor::Finish(int32_t lPortResult, uint32_t ulValue, uint32_t* pulLevel) {
  if (lPortResult == 0) {
    *pulLevel = ulValue;
    return ApplyInvert(pulLevel);
  }
  g_ErrorMng.SetError(m_ulErrorIndex);
  return -1;
}

int32_t CDigitalSensor::Read(uint32_t* pulLevel) {
  uint32_t ulValue = 0;
  const int32_t lResult = m_pPort->Read(&ulValue);
  if (lResult == kPortUnstable) {
    *pulLevel = kUnstableLevel;
    return 1;
  }
  return Finish(lResult, ulValue, pulLevel);
}

int32_t CDigitalSensor::ReadStable(uint32_t* pulLevel) {
  uint32_t ulValue = 0;
  const int32_t lResult = m_pPort->ReadStable(&ulValue);
  return Finish(lResult, ulValue, pulLevel);
}

void CDigitalSensor::ResetDebounce() { m_pPort->ClearUnstable(); }

int32_t CDigitalSensor::TestScreen() {
  g_Lcd.WriteText(m_pszLabel, 0, 16);
  uint32_t ulLevel = 0;
  for (;;) {
    ReadStable(&ulLevel);
    if (ulLevel != 0) {
      g_Lcd.WriteText(" :", 12, 2);
      g_Lcd.WriteText("ON", 14, 2);
    } else {
      g_Lcd.WriteText(":", 12, 1);
      g_Lcd.WriteText("OFF", 13, 3);
    }
    uint32_t ulKey = 0;
    if (g_KeyMng.WaitKey(1, &ulKey) == 1 && ulKey == KEY_CLEAR) return 0;
  }
}
