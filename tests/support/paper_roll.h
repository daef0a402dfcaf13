// What the paper moves handed to the paper-roll model and to the ramp
// builder, as the system tests read it.
#pragma once

#include <cstdint>

#include "firmware/devices/ramps.h"
#include "firmware/printengine/roll_diameter.h"

namespace testsupport {

// A diameter that neither a measurement of the test web's roll nor the
// full-roll setting gives: set before a move, it shows whether the move
// replaced the diameter.
constexpr double kUntouchedRollDiameter = 123.0;

inline void ForgetRollSettings() { g_RollDiameter.SetDiameter(kUntouchedRollDiameter); }
inline double RollDiameterNow() {
  double dDiameter = 0.0;
  g_RollDiameter.GetDiameter(&dDiameter);
  return dDiameter;
}

// The four feed-matched ramps the paper moves rebuild after a roll
// measurement, and a top rate no build gives them: set before a move, it
// shows which of them the move rebuilt.
inline CRampTable* const kFeedMatchedRamps[4] = {&g_Ramp30, &g_Ramp29, &g_Ramp31, &g_Ramp32};
constexpr uint32_t kUntouchedRampRate = 777;
inline uint32_t TopRateOf(const CRampTable& ramp) {
  uint32_t ulRate = 0;
  ramp.GetTopRate(&ulRate);
  return ulRate;
}
inline void ForgetFeedMatchedRamps() {
  for (CRampTable* pRamp : kFeedMatchedRamps) pRamp->SetupByRate(500, kUntouchedRampRate, 200);
}
inline uint32_t RebuiltFeedMatchedRamps() {
  uint32_t ulRebuilt = 0;
  for (const CRampTable* pRamp : kFeedMatchedRamps) ulRebuilt += TopRateOf(*pRamp) != kUntouchedRampRate ? 1 : 0;
  return ulRebuilt;
}

}  // namespace testsupport
