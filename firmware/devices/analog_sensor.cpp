#include "firmware/devices/analog_sensor.h"

#include "firmware/control/keys.h"
#include "firmware/control/lcd.h"
#include "firmware/control/menu.h"
#include "firmware/devices/parameter.h"
#include "firmware/platform/fpga_regs.h"
#include "firmware/platform/us_timer.h"

constinit CAdConverter g_AdConverter;

namespace {
constexpr uint32_t kSettleUs = 25;
constexpr uint32_t kFullScaleMv = 4500;
constexpr uint32_t kFullScaleRaw = 1023;
}  // namespace

int32_t CAdConverter::Convert(uint32_t ulChannel, uint32_t* pulValue) const {
  const int32_t lResult = g_FpgaMain.SelectAdcChannel(static_cast<uint8_t>(ulChannel & 0xFFu));
  if (lResult != 0) return lResult;
  g_UsTimer.WaitUs(kSettleUs);
  return g_FpgaMain.ReadAdc(pulValue);
}

int32_t CAnalogSensor::SelectInput() const {
  return g_FpgaMain.SelectColorSensorL(m_ulMode == kModeColorSensorL ? 1 : 0);
}

uint32_t CAnalogSensor::Average() {
  uint32_t ulSum = 0;
  for (uint32_t ulSample : m_aulSamples) ulSum += ulSample;
  m_ulLastAverage = ulSum >> 3;
  return m_ulLastAverage;
}

int32_t CAnalogSensor::Sample(uint32_t* pulAverage) { return SampleWith(g_AdConverter, pulAverage); }

int32_t CAnalogSensor::GetState(uint32_t* pulState) {
  int32_t lThreshold = 0;
  if (m_pThreshold != nullptr) m_pThreshold->GetValue(&lThreshold);
  uint32_t ulAverage = 0;
  const int32_t lResult = Sample(&ulAverage);
  if (lResult == 0) *pulState = (ulAverage >> 2) > static_cast<uint32_t>(lThreshold) ? 1 : 0;
  return lResult;
}

int32_t CAnalogSensor::SetChannel(uint32_t ulChannel) {
  m_ulChannel = ulChannel;
  return 0;
}

int32_t CAnalogSensor::SetMode(uint32_t ulMode) {
  m_ulMode = ulMode;
  return 0;
}

int32_t CAnalogSensor::GetLastAverage(uint32_t* pulAverage) const {
  *pulAverage = m_ulLastAverage;
  return 0;
}

int32_t CAnalogSensor::ToMillivolts(uint32_t ulRaw, uint32_t* pulMillivolts) {
  *pulMillivolts = ulRaw * kFullScaleMv / kFullScaleRaw;
  return 0;
}

int32_t CAnalogSensor::ShowVoltage() {
  g_Lcd.WriteText(m_pszName, 0, 16);
  g_Lcd.WriteText(".  V", 12, 4);
  for (;;) {
    uint32_t ulAverage = 0;
    Sample(&ulAverage);
    uint32_t ulMillivolts = 0;
    ToMillivolts(ulAverage, &ulMillivolts);
    FormatDecimal(static_cast<int32_t>(ulMillivolts), 1);
    g_Lcd.WriteText(&g_acNumberText[6], 11, 1);
    g_Lcd.WriteText(&g_acNumberText[7], 13, 2);
    uint32_t ulKey = 0;
    if (g_KeyMng.WaitKey(1, &ulKey) == 1) return 0;
  }
}
