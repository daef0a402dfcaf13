// Placeholder of the print sequences: the head job's copies are counted as
// printed without moving paper, so the job retires and its buffers return.
#include "firmware/control/event_set.h"
#include "firmware/platform/placeholder.h"
#include "firmware/printengine/print_job_queue.h"
#include "firmware/printengine/print_sequence.h"

int32_t PrintJobSequence() {
  static bool s_bLogged;
  LogPlaceholderOnce(s_bLogged, "PrintJobSequence (print sequences)");
  uint32_t ulMore = 1;
  while (ulMore != 0 && g_PrintJobQueue.NextCopyOrRetire(&ulMore) == 0) {
  }
  g_PrintJobQueue.ClearPrintingFlags();
  g_pCurEventMng->ClearEvent(EV_PRINT_JOB);
  return 0;
}
