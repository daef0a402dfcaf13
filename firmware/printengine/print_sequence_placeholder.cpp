// Placeholder of the print sequences: nothing is printed, so a complete job
// waits in the queue, its buffers held, until the host cancels it.
#include "firmware/control/event_set.h"
#include "firmware/platform/placeholder.h"
#include "firmware/printengine/print_sequence.h"

int32_t PrintJobSequence() {
  static bool s_bLogged;
  LogPlaceholderOnce(s_bLogged, "PrintJobSequence (print sequences)");
  g_pCurEventMng->ClearEvent(EV_PRINT_JOB);
  return 0;
}
