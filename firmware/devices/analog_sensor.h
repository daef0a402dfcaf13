// The A/D sensors that the control core reads.
#pragma once

#include <cstdint>

class CAnalogSensor {
 public:
  constexpr CAnalogSensor() = default;
  // The averaged raw reading.
  int32_t Read(uint32_t* pulValue) const;
  // 1 when the reading lies above the sensor's slice setting (paper seen),
  // else 0.
  int32_t GetState(uint32_t* pulState) const;
};

extern CAnalogSensor g_AdTopL;
extern CAnalogSensor g_AdTopR;
extern CAnalogSensor g_AdPosition;
