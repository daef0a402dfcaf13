// Jobs leaving the queue early: a job not being printed is removed at
// once with its image buffers; a printing job only gets a request, which
// the print sequences act on at their next safe point.
#include "firmware/printengine/print_job_queue.h"

namespace {
constexpr uint8_t CANCEL_MODE_AFTER_SHEET = 0;
constexpr uint8_t CANCEL_MODE_AFTER_ROW = 1;
constexpr uint8_t CANCEL_MODE_INCOMPLETE_ROWS = 2;
}  // namespace

int32_t CPrintJobQueue::CancelJobs(uint8_t ucJobId, uint8_t ucMode) {
  if (ucJobId != 0) return CancelJob(ucJobId, ucMode);
  for (const PrintJobRecord& record : g_PrintJobRecords) {
    // A retired record's id names no active job: nothing happens.
    CancelJob(static_cast<uint8_t>(record.ulJobId & 0xFFu), ucMode);
  }
  return 0;
}

int32_t CPrintJobQueue::CancelJob(uint8_t ucJobId, uint8_t ucMode) {
  PrintJobRecord* pJob = m_pActiveHead;
  while (pJob != nullptr && (pJob->ulJobId & 0xFFu) != ucJobId) pJob = pJob->pNext;
  if (pJob == nullptr || ucJobId == 0) {
    PublishJobStatus(this);
    return -1;
  }
  int32_t lResult = 0;
  if (pJob->ucPrinting != 0) {
    if (g_ulPrintMode == PRINT_MODE_MULTI_UP || ucMode == CANCEL_MODE_AFTER_SHEET) {
      pJob->usCancelRequest |= CANCEL_AFTER_SHEET;
    } else if (ucMode == CANCEL_MODE_AFTER_ROW) {
      pJob->usCancelRequest |= CANCEL_AFTER_ROW;
    } else if (ucMode == CANCEL_MODE_INCOMPLETE_ROWS && pJob == m_pReceivingJob) {
      pJob->usCancelRequest |= CANCEL_INCOMPLETE_ROWS;
    } else {
      lResult = -1;
    }
  } else {
    RemoveCancelled(pJob);
  }
  PublishJobStatus(this);
  return lResult;
}

void CPrintJobQueue::RemoveCancelled(PrintJobRecord* pJob) {
  ClearCopies(pJob);
  if (pJob == m_pReceivingJob && pJob == m_pActiveHead && m_pFreeHead != nullptr) {
    // The next job starts from the machine as it stands.
    int32_t lUnitA = 0, lUnitB = 0, lPathSide = 0, lPathSlot = 0;
    g_UnitPair.Resolve(&lUnitA, &lUnitB, &lPathSide, &lPathSlot);
    SetUnitAssignment(m_pFreeHead, static_cast<uint32_t>(lPathSide), static_cast<uint32_t>(lUnitA),
                      static_cast<uint32_t>(lUnitB));
  }
  RemoveJob(pJob);
}

int32_t CPrintJobQueue::CancelByImageAddress(const PrintSizeRecord* pSize) {
  for (uint32_t ulPass = 0; ulPass < PRINT_JOB_RECORDS; ++ulPass) {
    PrintJobRecord* pFound = nullptr;
    for (PrintJobRecord* pJob = m_pActiveHead; pJob != nullptr && pFound == nullptr; pJob = pJob->pNext) {
      for (ImageSlot* pSlot : SlotsOf(pJob)) {
        if (pSlot->pParams != nullptr && pSlot->pParams->ulSizeId == pSize->ulSizeId) pFound = pJob;
      }
    }
    if (pFound == nullptr) break;
    RemoveCancelled(pFound);
  }
  return 0;
}
