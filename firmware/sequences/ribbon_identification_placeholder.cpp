// Placeholder of the ribbon identification: every ribbon passes.
#include "firmware/control/event_set.h"
#include "firmware/platform/placeholder.h"
#include "firmware/sequences/action_results_placeholder.h"
#include "firmware/sequences/event_actions.h"

namespace {
bool s_bLogged;
void Note() { LogPlaceholderOnce(s_bLogged, "ribbon identification"); }
}  // namespace

int32_t InitRibbonAction(uint32_t) {
  Note();
  ClearActionEvents({EV_INIT_RIBBON});
  return g_PlaceholderActionResults.lInitRibbon;
}

int32_t RibbonCheckingAction() {
  Note();
  ClearActionEvents({EV_CHECK_RIBBON});
  return 0;
}

int32_t CheckRibbonsIdle() {
  Note();
  return 0;
}
