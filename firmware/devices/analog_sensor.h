// The A/D sensors that the control core reads.
#pragma once

#include <cstdint>

class CAnalogSensor {
 public:
  constexpr CAnalogSensor() = default;
  // The averaged raw reading.
  int32_t Read(uint32_t* pulValue) const;
};

extern CAnalogSensor g_AdTopL;
extern CAnalogSensor g_AdTopR;
