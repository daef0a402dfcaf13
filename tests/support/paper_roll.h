// What the paper moves handed to the paper-roll model and to the ramp
// builder, as the system tests read it: one place to adapt when the model
// keeps the values itself.
#pragma once

#include <cstdint>

#include "firmware/printengine/print_support_placeholder.h"
#include "firmware/printengine/roll_diameter_placeholder.h"

namespace testsupport {

struct RollSettings {
  uint32_t ulFromStepsCalls;
  uint32_t ulLastSteps;
  uint32_t ulSetDiameterCalls;
  double dLastDiameter;
};

inline RollSettings RollSettingsNow() {
  const PlaceholderRollDiameterCalls& c = g_RollDiameterCalls;
  return {c.ulFromStepsCalls, c.ulLastSteps, c.ulSetDiameterCalls, c.dLastDiameter};
}
inline void ForgetRollSettings() { g_RollDiameterCalls = {}; }

inline const PlaceholderFeedMatchedRamps& FeedMatchedRampCalls() { return g_FeedMatchedRampCalls; }
inline void ForgetFeedMatchedRampCalls() { g_FeedMatchedRampCalls = {}; }

}  // namespace testsupport
