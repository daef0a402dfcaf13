// The DSP image jobs of a whole sheet: the destination buffers of its
// images, and the steps and wait that take a multi-up sheet from one image
// to the next.
#include "firmware/mechanism/abort_check_inputs.h"
#include "firmware/printengine/dsp_image_job.h"
#include "firmware/printengine/merged_layout.h"
#include "firmware/printengine/print_job_queue.h"
#include "firmware/printengine/print_mode.h"

namespace {

constexpr uint32_t kSlotOfCurrentRow = 3;

bool MultiUpSheet() { return g_ulPrintMode == PRINT_MODE_MULTI_UP && g_DspImageJob.ulBufferCount != 0; }

ImageSlot* CurrentSlotOf(PrintJobRecord* pJob) {
  ImageSlot* pSlot = nullptr;
  if (g_PrintJobQueue.GetOrderedSlot(pJob, &pSlot, kSlotOfCurrentRow) != 0) return nullptr;
  return pSlot;
}

int32_t PrepareEntry(const DspBufferEntry& entry) {
  return RequestDspImage(entry.pSlot, entry.pPrintSize, entry.ulDestination);
}

int32_t SetupSingleSheet() {
  PrintJobRecord* pJob = nullptr;
  if (g_PrintJobQueue.GetNthActiveJob(1, &pJob) != 0 || pJob == nullptr) return -1;
  ImageSlot* pSlot = CurrentSlotOf(pJob);
  if (pSlot == nullptr) return -1;
  RequestDspImageProcess(pSlot, DSP_IMAGE_DESTINATION);
  return 0;
}

// The images of the merged sheet one after another from the destination,
// each the size of its job's image.
int32_t SetupMultiUpSheet() {
  DspImageJob& job = g_DspImageJob;
  const MergedLayout* pLayout = MergedLayoutOf(g_MergedJobRecord.usMergeSelector);
  if (pLayout == nullptr) return -1;
  PhysAddr ulDestination = DSP_IMAGE_DESTINATION;
  for (uint32_t i = 0; i < pLayout->ulImages; ++i) {
    PrintJobRecord* pJob = nullptr;
    if (g_PrintJobQueue.GetNthActiveJob(pLayout->aulJob[i], &pJob) != 0 || pJob == nullptr) return -1;
    DspBufferEntry& entry = job.aEntries[i];
    entry.ulDestination = ulDestination;
    entry.pSlot = CurrentSlotOf(pJob);
    entry.pPrintSize = pJob->pPrintSize;
    if (entry.pPrintSize != nullptr) ulDestination += entry.pPrintSize->ulPrintWidth * entry.pPrintSize->ulPrintLength;
  }
  job.ulBufferCount = pLayout->ulImages;
  job.ulBufferIndex = 0;
  PrepareEntry(job.aEntries[0]);
  return 0;
}

}  // namespace

int32_t SetupDspPlaneBuffers() {
  g_DspImageJob.ulBufferCount = 0;
  g_DspImageJob.ulBufferIndex = 0;
  return g_ulPrintMode == PRINT_MODE_MULTI_UP ? SetupMultiUpSheet() : SetupSingleSheet();
}

int32_t StartDspImageJob() {
  if (MultiUpSheet() && g_DspImageJob.ulBufferIndex >= g_DspImageJob.ulBufferCount) return 0;
  return KickDspImageJob();
}

int32_t StepDspImageJob(uint32_t ulForce) {
  if (!MultiUpSheet()) return PollDspImageJob(ulForce);
  DspImageJob& job = g_DspImageJob;
  if (job.ulBufferIndex >= job.ulBufferCount) return 1;
  const int32_t lResult = PollDspImageJob(ulForce);
  if (lResult != 1) return lResult;
  ++job.ulBufferIndex;
  if (job.ulBufferIndex >= job.ulBufferCount) return 1;
  PrepareEntry(job.aEntries[job.ulBufferIndex]);
  return KickDspImageJob();
}

int32_t WaitDspImageJob() {
  if (!MultiUpSheet()) return WaitDspImageRequest();
  CDspProgressWatch watch;
  for (;;) {
    const int32_t lResult = StepDspImageJob(0);
    if (lResult == 1) return 0;
    if (lResult < 0) return lResult;
    if (watch.Stalled(g_DspImageJob.ulBufferIndex << 16 | g_DspImageJob.ulLinesDone)) return EndStalledDspImageJob();
  }
}

void StepDspRequestIfBusy() {
  if (g_bDspBusy == 1) StepDspImageJob(0);
}
