// What a stepper's ramp run of a given number of steps plays: the intervals
// between its pulses, in 40 ns ticks.
#pragma once

#include <cstdint>
#include <vector>

namespace testsupport {

// After the start edge's entry 0: entries 1 to `length` up the ramp, the top
// entry until just enough steps are left, then entries length - 1 down to 1
// (the acceleration table walked back as the deceleration table).
inline std::vector<uint32_t> RampRunIntervals(const uint16_t* pusTable, uint32_t ulLength, uint32_t ulSteps) {
  std::vector<uint32_t> out;
  for (uint32_t i = 1; i <= ulLength; ++i) out.push_back(pusTable[i]);
  while (out.size() < ulSteps - ulLength) out.push_back(pusTable[ulLength]);
  for (uint32_t i = ulLength - 1; i >= 1; --i) out.push_back(pusTable[i]);
  return out;
}

}  // namespace testsupport
