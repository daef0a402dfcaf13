// Placeholder of the print-sequence support: the line-speed ramps are not
// built yet (they stay empty); the feed-matched ramps are not built either,
// their calls are noted for tests.
#include "firmware/platform/placeholder.h"
#include "firmware/printengine/print_support.h"
#include "firmware/printengine/print_support_placeholder.h"

// No print sequence keeps panel offsets yet: all stay 0.
uint32_t g_aulRibbonPanelOffset[4];
constinit PlaceholderFeedMatchedRamps g_FeedMatchedRampCalls;

namespace {
bool s_bLogged;
}  // namespace

uint32_t BuildLineSpeedRamp(const CRampTable&, CRampTable&) {
  LogPlaceholderOnce(s_bLogged, "BuildLineSpeedRamp (print support)");
  return 0;
}

uint32_t BuildFeedMatchedRamp(const CRampTable& reference, CRampTable& output, uint32_t ulModeA, uint32_t ulModeB,
                              uint32_t ulMask) {
  static bool s_bFeedLogged;
  LogPlaceholderOnce(s_bFeedLogged, "BuildFeedMatchedRamp (print support)");
  PlaceholderFeedMatchedRamps& r = g_FeedMatchedRampCalls;
  if (r.ulCalls < PlaceholderFeedMatchedRamps::kKept) r.aCalls[r.ulCalls] = {&reference, &output, ulModeA, ulModeB, ulMask};
  ++r.ulCalls;
  return 0;
}
