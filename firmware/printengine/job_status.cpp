// The job status the host reads: status items 32-41 from the first two
// jobs of the queue.
#include "firmware/control/host_status_table.h"
#include "firmware/printengine/print_job_queue.h"

namespace {

// A side's word: its unit in bits 4-7, the states of its colour and SP
// slots in bits 8-11 and 12-15.
uint32_t SideWord(uint32_t ulUnit, const ImageSlot& color, const ImageSlot& sp) {
  return (ulUnit << 4) + (static_cast<uint32_t>(color.usSlotState) << 8) + (static_cast<uint32_t>(sp.usSlotState) << 12);
}

struct JobItems {
  uint32_t ulId;
  uint32_t ulCopiesLeft;
  uint32_t ulCopiesPrinted;
  uint32_t ulCopies;
  uint32_t ulSideA;
  uint32_t ulSideB;
};

JobItems ItemsOf(const PrintJobRecord* pJob) {
  if (pJob == nullptr) return JobItems{};
  return JobItems{pJob->ulJobId & 0xFFu,
                  pJob->usCopiesLeft,
                  pJob->usCopiesPrinted,
                  pJob->usCopies,
                  SideWord(pJob->resolved.ulUnitA, pJob->slotColorA, pJob->slotSpA),
                  SideWord(pJob->resolved.ulUnitB, pJob->slotColorB, pJob->slotSpB)};
}

}  // namespace

int32_t PublishJobStatus(CPrintJobQueue* pQueue) {
  if (pQueue->m_ulPublishGuard != 0) return 0;
  pQueue->m_ulPublishGuard = 1;
  PrintJobRecord* pHead = nullptr;
  PrintJobRecord* pSecond = nullptr;
  pQueue->GetNthActiveJob(1, &pHead);
  pQueue->GetNthActiveJob(2, &pSecond);
  const JobItems head = ItemsOf(pHead);
  const JobItems second = ItemsOf(pSecond);
  SetStatusItem(SI_JOB_STATUS_0, head.ulId, 0);
  SetStatusItem(SI_JOB_STATUS_0 + 1, head.ulCopiesLeft, 0);
  SetStatusItem(SI_JOB_STATUS_0 + 2, head.ulCopiesPrinted, 0);
  SetStatusItem(SI_JOB_STATUS_0 + 3, head.ulCopies, 0);
  SetStatusItem(SI_JOB_STATUS_0 + 4, head.ulSideA, 0);
  SetStatusItem(SI_JOB_STATUS_0 + 5, head.ulSideB, 0);
  SetStatusItem(SI_JOB_STATUS_0 + 6, second.ulId, 0);
  SetStatusItem(SI_JOB_STATUS_0 + 7, second.ulCopies, 0);
  SetStatusItem(SI_JOB_STATUS_0 + 8, second.ulSideA, 0);
  const int32_t lResult = SetStatusItem(SI_JOB_STATUS_9, second.ulSideB, 1);
  pQueue->m_ulPublishGuard = 0;
  return lResult;
}
