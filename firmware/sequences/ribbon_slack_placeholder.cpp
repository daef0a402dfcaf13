// Placeholder of the ribbon slack take-up: nothing moves; tests count its
// runs.
#include "firmware/platform/placeholder.h"
#include "firmware/sequences/action_results_placeholder.h"
#include "firmware/sequences/ribbon_winding.h"

namespace {
bool s_bLogged;
}  // namespace

int32_t TakeUpRibbonSlack(uint32_t, uint32_t, uint32_t) {
  LogPlaceholderOnce(s_bLogged, "ribbon slack take-up");
  ++g_PlaceholderActionResults.ulTakeUpSlackRuns;
  return 0;
}
