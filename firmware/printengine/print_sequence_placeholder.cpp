// Placeholder of the print sequences. Nothing is printed: an internal job
// (a test print) has its copies counted as printed without moving paper,
// so it retires and its buffers return; a host job waits in the queue with
// its buffers until the host cancels it.
#include "firmware/control/event_set.h"
#include "firmware/platform/placeholder.h"
#include "firmware/printengine/print_job_queue.h"
#include "firmware/printengine/print_sequence.h"

int32_t PrintJobSequence() {
  static bool s_bLogged;
  LogPlaceholderOnce(s_bLogged, "PrintJobSequence (print sequences)");
  PrintJobRecord* pHead = nullptr;
  g_PrintJobQueue.GetJob(PRINT_JOB_LIST_ACTIVE, &pHead);
  if (pHead != nullptr && pHead->usJobKind != 0) {
    uint32_t ulMore = 1;
    while (ulMore != 0 && g_PrintJobQueue.NextCopyOrRetire(&ulMore) == 0) {
    }
    g_PrintJobQueue.ClearPrintingFlags();
  }
  g_pCurEventMng->ClearEvent(EV_PRINT_JOB);
  return 0;
}
