// Placeholder of the auto-diagnosis: no test runs; the action clears what
// a finished diagnosis clears.
#include "firmware/control/event_set.h"
#include "firmware/platform/placeholder.h"
#include "firmware/sequences/action_results_placeholder.h"
#include "firmware/sequences/event_actions.h"

int32_t RunAutoDiagAction() {
  static bool s_bLogged;
  LogPlaceholderOnce(s_bLogged, "RunAutoDiagAction (auto-diagnosis and auto-load)");
  ClearActionEvents({EV_AUTO_DIAG, EV_INIT_RIBBON, EV_LOAD_PAPER, EV_RELOAD_PAPER2, EV_RELOAD_PAPER1});
  return 0;
}
