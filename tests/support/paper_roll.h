// What the paper moves handed to the paper-roll model and to the ramp
// builder, as the system tests read it.
#pragma once

#include <cstdint>

#include "firmware/printengine/print_support_placeholder.h"
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

inline const PlaceholderFeedMatchedRamps& FeedMatchedRampCalls() { return g_FeedMatchedRampCalls; }
inline void ForgetFeedMatchedRampCalls() { g_FeedMatchedRampCalls = {}; }

}  // namespace testsupport
