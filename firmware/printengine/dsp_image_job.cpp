// One DSP image request: its words, its kick, its progress and its end.
#include "firmware/printengine/dsp_image_job.h"

#include "firmware/control/error_manager.h"
#include "firmware/control/error_table.h"
#include "firmware/platform/dsp_boot.h"
#include "firmware/platform/time_base.h"
#include "firmware/platform/us_timer.h"
#include "firmware/printengine/dsp_link.h"
#include "firmware/printengine/print_job_record.h"
#include "firmware/printengine/print_size.h"
#include "firmware/service/self_print_gray.h"

constinit DspImageJob g_DspImageJob;
constinit uint32_t g_bDspBusy;

namespace {

int32_t WriteWord(PhysAddr ulAddr, uint32_t ulValue) {
  const uint16_t usValue = static_cast<uint16_t>(ulValue);
  return WriteDspWord(ulAddr, &usValue);
}

// A 32-bit address as two words, the low word first.
int32_t WriteAddress(PhysAddr ulAddr, PhysAddr ulValue) {
  WriteWord(ulAddr, ulValue & 0xFFFFu);
  return WriteWord(ulAddr + 2, ulValue >> 16);
}

uint32_t ReadLinesDone() {
  uint16_t usLines = 0;
  ReadDspWord(DSP_JOB_LINES_DONE, &usLines);
  return usLines;
}

bool LinesRemain() { return g_DspImageJob.ulLinesDone < g_DspImageJob.ulTotalLines; }

constexpr PhysAddr kRowTables[DSP_JOB_PLANES] = {DSP_ROW_TABLE_Y, DSP_ROW_TABLE_M, DSP_ROW_TABLE_C};

}  // namespace

int32_t RequestDspImageProcess(ImageSlot* pSlot, PhysAddr ulDestination) {
  DspImageJob& job = g_DspImageJob;
  if (pSlot == nullptr || pSlot->pParams == nullptr) return -1;
  const PrintSizeRecord& params = *pSlot->pParams;
  job.pSlot = pSlot;
  job.ulSourceWidth = params.ulSourceWidth;
  job.ulSourceHeight = params.ulSourceHeight;
  job.ulPlaneSize = params.ulSourceWidth * params.ulSourceHeight;
  job.ulPrintWidth = params.ulOvercoatWidth;
  job.ulTotalLines = params.ulOvercoatLength;
  job.ulMargin1 = params.ulMargin1;
  job.ulMargin2 = params.ulMargin2;
  const uint16_t usInternal = pSlot->usInternal == 1 ? 1 : 0;
  for (uint16_t& usFlag : job.ausRowTableFlag) usFlag = usInternal;
  if (usInternal != 0) {
    BuildDspRowTables();
    job.ulPlaneSize = params.ulSourceWidth * (params.ulSourceHeight + params.aulExtraLines[0] + params.aulExtraLines[1]);
    for (uint32_t i = 0; i < DSP_JOB_PLANES; ++i) job.aulSource[i] = pSlot->ulImageAddress + i * job.ulPlaneSize;
  } else {
    // A host image: its pixels interleaved in one plane.
    for (PhysAddr& ulSource : job.aulSource) ulSource = pSlot->ulImageAddress;
  }
  job.ulDestination = ulDestination;
  job.ulLinesDone = 0;
  job.usMode = DSP_MODE_IMAGE;

  WriteWord(DSP_JOB_SOURCE_WIDTH, job.ulSourceWidth);
  WriteWord(DSP_JOB_SOURCE_HEIGHT, job.ulSourceHeight);
  WriteWord(DSP_JOB_PRINT_WIDTH, job.ulPrintWidth);
  WriteWord(DSP_JOB_TOTAL_LINES, job.ulTotalLines);
  WriteWord(DSP_JOB_MARGIN_1, job.ulMargin1);
  WriteWord(DSP_JOB_MARGIN_2, job.ulMargin2);
  WriteAddress(DSP_JOB_SOURCE_Y, job.aulSource[0]);
  WriteAddress(DSP_JOB_SOURCE_M, job.aulSource[1]);
  WriteAddress(DSP_JOB_SOURCE_C, job.aulSource[2]);
  WriteAddress(DSP_JOB_DESTINATION, job.ulDestination);
  int32_t lResult = 0;
  for (uint32_t i = 0; i < DSP_JOB_PLANES; ++i) lResult = WriteWord(DSP_JOB_ROW_TABLE_FLAGS + 2 * i, job.ausRowTableFlag[i]);
  return lResult;
}

int32_t RequestDspImageCopy(const PrintSizeRecord* pRecord, PhysAddr ulDestination) {
  DspImageJob& job = g_DspImageJob;
  if (pRecord == nullptr) return -1;
  job.ulPrintWidth = pRecord->ulOvercoatWidth;
  job.ulTotalLines = pRecord->ulOvercoatLength;
  job.ulDestination = ulDestination;
  job.ulLinesDone = 0;
  job.usMode = DSP_MODE_IMAGE_COPY;
  WriteWord(DSP_JOB_PRINT_WIDTH, job.ulPrintWidth);
  WriteWord(DSP_JOB_TOTAL_LINES, job.ulTotalLines);
  return WriteAddress(DSP_JOB_DESTINATION, job.ulDestination);
}

int32_t RequestDspImage(ImageSlot* pSlot, const PrintSizeRecord* pRecord, PhysAddr ulDestination) {
  if (pSlot != nullptr && pSlot->ucOwnsBuffer != 0) return RequestDspImageProcess(pSlot, ulDestination);
  return RequestDspImageCopy(pRecord, ulDestination);
}

void BuildDspRowTables() {
  CSelfPrint* const apPatterns[DSP_JOB_PLANES] = {g_pSelfPrintY, g_pSelfPrintM, g_pSelfPrintC};
  const uint32_t ulLines =
      g_DspImageJob.ulSourceHeight < DSP_ROW_TABLE_LINES ? g_DspImageJob.ulSourceHeight : DSP_ROW_TABLE_LINES;
  for (uint32_t p = 0; p < DSP_JOB_PLANES; ++p) {
    for (uint32_t r = 0; r < ulLines; ++r) {
      const uint16_t usRow = static_cast<uint16_t>(r);
      HwWrite16(kRowTables[p] + 2 * r, apPatterns[p] != nullptr ? apPatterns[p]->RowOf(usRow) : usRow);
    }
  }
}

int32_t KickDspImageJob() {
  if (!LinesRemain()) return 0;
  WriteWord(DSP_JOB_FIRST_LINE, g_DspImageJob.ulLinesDone);
  // The progress word still holds what the DSP reached in the request
  // before, which may be this request's total: until the DSP writes it
  // afresh it reads as where this piece starts.
  WriteWord(DSP_JOB_LINES_DONE, g_DspImageJob.ulLinesDone);
  const uint16_t usMode = g_DspImageJob.usMode;
  if (DspSendMode(usMode) != 0 || DspSetRunBit(usMode, 1) != 0) return -1;
  g_bDspBusy = 1;
  return 0;
}

int32_t PollDspImageJob(uint32_t ulForce) {
  if (g_bDspBusy != 0) g_DspImageJob.ulLinesDone = ReadLinesDone();
  // A DSP reporting past the end has completed too.
  const bool bComplete = !LinesRemain();
  if (!bComplete && ulForce == 0) return 0;
  if (EndDspImageJob() != 0) return -1;
  return bComplete ? 1 : 0;
}

int32_t EndDspImageJob() {
  if (g_bDspBusy == 0) return 0;
  const uint16_t usMode = g_DspImageJob.usMode;
  int32_t lResult = DspSetRunBit(usMode, 0);
  if (DspSendMode(DSP_MODE_IDLE) != 0) lResult = -1;
  g_DspImageJob.ulLinesDone = ReadLinesDone();
  g_bDspBusy = 0;
  return lResult;
}

// ---- waits ----

bool CDspProgressWatch::Stalled(uint32_t ulProgress) {
  const uint32_t ulNow = g_MsTimer.NowMs();
  if (!m_bStarted || ulProgress != m_ulProgress) {
    m_bStarted = true;
    m_ulProgress = ulProgress;
    m_ulSinceMs = ulNow;
    return false;
  }
  return ulNow - m_ulSinceMs >= DSP_JOB_STALL_MS;
}

int32_t EndStalledDspImageJob() {
  EndDspImageJob();
  g_ErrorMng.SetError(erridx::kDspTableTimeout);
  return -1;
}

int32_t WaitDspImageRequest() {
  CDspProgressWatch watch;
  for (;;) {
    const int32_t lResult = PollDspImageJob(0);
    if (lResult == 1) {
      g_DspImageJob.ulEndTime = g_UsTimer.NowUs();
      return 0;
    }
    if (lResult < 0) return -1;
    if (watch.Stalled(g_DspImageJob.ulLinesDone)) return EndStalledDspImageJob();
  }
}
