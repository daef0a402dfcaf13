// Analog sensors: photo sensors, thermistors, the humidity sensor, the
// supply monitor and the colour-sensor inputs, read through the FPGA's one
// 10-bit A/D converter. A sensor averages eight conversions; those used as
// switches compare the average with their slice setting.
#pragma once

#include <cstdint>

class CParameter;

// The handle every conversion goes through.
class CAdConverter {
 public:
  constexpr CAdConverter() = default;
  // Selects the channel byte (high nibble multiplexer, low nibble converter
  // channel), lets it settle 25 us and reads the result: 0, or the
  // register access's failure.
  int32_t Convert(uint32_t ulChannel, uint32_t* pulValue) const;
};

extern CAdConverter g_AdConverter;

class CAnalogSensor {
 public:
  // The mode word of the left colour-sensor input.
  static constexpr uint32_t kModeColorSensorL = 32;
  static constexpr uint32_t kSamples = 8;

  constexpr CAnalogSensor() = default;
  // Nothing is sampled at construction.
  CAnalogSensor(const char* pszName, uint32_t ulMode, uint32_t ulChannel, const CParameter* pThreshold,
                uint32_t ulDoubleRead)
      : m_pszName(pszName), m_ulMode(ulMode), m_ulChannel(ulChannel), m_pThreshold(pThreshold),
        m_ulDoubleRead(ulDoubleRead) {}

  // Eight samples after one discarded conversion (each followed by two more
  // discarded ones with the double-read flag), averaged to a raw value
  // 0-1023: 0, or the first failing conversion's result (the average then
  // mixes in the previous sampling's samples).
  int32_t Sample(uint32_t* pulAverage);
  int32_t Read(uint32_t* pulAverage) { return Sample(pulAverage); }
  // 1 when (average >> 2) is above the slice setting; not written when the
  // sampling fails.
  int32_t GetState(uint32_t* pulState);
  int32_t SetChannel(uint32_t ulChannel);
  int32_t SetMode(uint32_t ulMode);
  int32_t GetLastAverage(uint32_t* pulAverage) const;
  static int32_t ToMillivolts(uint32_t ulRaw, uint32_t* pulMillivolts);
  // The maintenance screen: the name and the voltage, re-sampled until a
  // key arrives.
  int32_t ShowVoltage();

  // The sampling through another converter (the board's own one above):
  // anything with Convert(channel, out value).
  template <typename Converter>
  int32_t SampleWith(const Converter& converter, uint32_t* pulAverage);

  const char* Name() const { return m_pszName; }
  uint32_t Channel() const { return m_ulChannel; }
  uint32_t Mode() const { return m_ulMode; }

 private:
  int32_t SelectInput() const;
  uint32_t Average();

  const char* m_pszName = nullptr;
  uint32_t m_ulMode = 0;
  uint32_t m_ulChannel = 0;
  const CParameter* m_pThreshold = nullptr;
  uint32_t m_aulSamples[kSamples] = {};
  uint32_t m_ulDoubleRead = 0;
  uint32_t m_ulLastAverage = 0;
};

template <typename Converter>
int32_t CAnalogSensor::SampleWith(const Converter& converter, uint32_t* pulAverage) {
  SelectInput();
  uint32_t ulDiscard = 0;
  int32_t lResult = converter.Convert(m_ulChannel, &ulDiscard);
  for (uint32_t i = 0; i < kSamples && lResult == 0; ++i) {
    lResult = converter.Convert(m_ulChannel, &m_aulSamples[i]);
    if (m_ulDoubleRead == 1) {
      lResult = converter.Convert(m_ulChannel, &ulDiscard);
      lResult = converter.Convert(m_ulChannel, &ulDiscard);
    }
  }
  *pulAverage = Average();
  return lResult;
}

// The A/D sensors built so far, in the machine's order.
extern CAnalogSensor g_AdHThermL;
extern CAnalogSensor g_AdHThermR;
extern CAnalogSensor g_AdEnvTherm;
extern CAnalogSensor g_AdPaperEmpty;
extern CAnalogSensor g_AdTopL;
extern CAnalogSensor g_AdTopR;
extern CAnalogSensor g_AdPosition;
