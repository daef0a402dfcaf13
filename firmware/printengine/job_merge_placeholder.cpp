// Placeholder of job merging: the decision finds nothing to merge (unless
// a test says otherwise) and no merged record is built.
#include "firmware/platform/placeholder.h"
#include "firmware/printengine/job_merge_placeholder.h"
#include "firmware/printengine/print_job_queue.h"

constinit PrintJobRecord g_MergedJobRecord;
PrintJobRecord* g_pMergeTargetJob;
uint32_t g_ulPlaceholderMergeSelector;

namespace {
bool s_bLogged;
void Note() { LogPlaceholderOnce(s_bLogged, "TryMergeJobs, MergeJobs (job merging)"); }
}  // namespace

int32_t CPrintJobQueue::TryMergeJobs(uint32_t* pulSelector, uint32_t) {
  Note();
  *pulSelector = g_ulPlaceholderMergeSelector;
  return 0;
}

int32_t CPrintJobQueue::MergeJobs(uint32_t ulSelector, PrintJobRecord*, PrintJobRecord*, PrintJobRecord*) {
  Note();
  return ulSelector == 0 ? 0 : -1;
}
