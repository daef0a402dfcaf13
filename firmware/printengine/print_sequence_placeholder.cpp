// Placeholder of the print sequences: a job is taken off the queue as
// printed, without moving paper.
#include "firmware/control/event_set.h"
#include "firmware/platform/placeholder.h"
#include "firmware/printengine/job_queue_placeholder.h"
#include "firmware/printengine/print_sequence.h"

int32_t PrintJobSequence() {
  static bool s_bLogged;
  LogPlaceholderOnce(s_bLogged, "PrintJobSequence (print sequences)");
  if (g_PlaceholderJobs.ulActive != 0) --g_PlaceholderJobs.ulActive;
  if (g_PlaceholderJobs.ulReady != 0) --g_PlaceholderJobs.ulReady;
  g_pCurEventMng->ClearEvent(EV_PRINT_JOB);
  return 0;
}
