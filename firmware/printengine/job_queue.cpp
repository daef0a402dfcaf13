// The queue's records, lists and lookups.
#include <cstring>

#include "firmware/printengine/print_job_queue.h"
#include "firmware/printengine/print_line.h"

constinit PrintJobRecord g_PrintJobRecords[PRINT_JOB_RECORDS];
constinit CPrintJobQueue g_PrintJobQueue;
uint8_t g_LamiTextItems[IMPRINT_TEXT_ITEMS][IMPRINT_TEXT_ITEM_BYTES];
uint16_t g_usCutList[CUT_LIST_WORDS];

CPrintJobQueue::CPrintJobQueue(GlobalBuild) {
  std::memset(g_PrintJobRecords, 0, sizeof(g_PrintJobRecords));
  for (uint32_t i = 0; i + 1 < PRINT_JOB_RECORDS; ++i) g_PrintJobRecords[i].pNext = &g_PrintJobRecords[i + 1];
  m_pFreeHead = &g_PrintJobRecords[0];
  std::memset(g_LamiTextItems, 0, sizeof(g_LamiTextItems));
  std::memset(g_usCutList, 0, sizeof(g_usCutList));
}

uint32_t CPrintJobQueue::NextJobId() const {
  uint32_t ulLargest = 0;
  for (const PrintJobRecord& record : g_PrintJobRecords) {
    if (record.ulJobId > ulLargest) ulLargest = record.ulJobId;
  }
  uint32_t ulId = ulLargest + 1;
  // The host sees the low byte, which is never 0.
  if ((ulId & 0xFFu) == 0) ++ulId;
  return ulId;
}

void CPrintJobQueue::AppendToList(PrintJobRecord** ppHead, PrintJobRecord* pJob) {
  pJob->pNext = nullptr;
  PrintJobRecord** ppLink = ppHead;
  while (*ppLink != nullptr) ppLink = &(*ppLink)->pNext;
  *ppLink = pJob;
}

int32_t CPrintJobQueue::UnlinkActive(PrintJobRecord* pJob) {
  for (PrintJobRecord** ppLink = &m_pActiveHead; *ppLink != nullptr; ppLink = &(*ppLink)->pNext) {
    if (*ppLink == pJob) {
      *ppLink = pJob->pNext;
      pJob->pNext = nullptr;
      return 0;
    }
  }
  return -1;
}

int32_t CPrintJobQueue::GetJob(uint32_t ulList, PrintJobRecord** ppJob) {
  PublishJobStatus(this);
  *ppJob = ulList == PRINT_JOB_LIST_ACTIVE ? m_pActiveHead
           : ulList == PRINT_JOB_LIST_FREE ? m_pFreeHead
                                           : m_pReceivingJob;
  return *ppJob != nullptr ? 0 : -1;
}

int32_t CPrintJobQueue::GetLastJob(uint32_t ulList, PrintJobRecord** ppJob) const {
  if (ulList != PRINT_JOB_LIST_ACTIVE && ulList != PRINT_JOB_LIST_FREE) return -1;
  PrintJobRecord* pJob = ulList == PRINT_JOB_LIST_ACTIVE ? m_pActiveHead : m_pFreeHead;
  if (pJob == nullptr) return -1;
  while (pJob->pNext != nullptr) pJob = pJob->pNext;
  *ppJob = pJob;
  return 0;
}

int32_t CPrintJobQueue::GetNthActiveJob(uint32_t ulN, PrintJobRecord** ppJob) const {
  if (ulN == 0) return -1;
  PrintJobRecord* pJob = m_pActiveHead;
  for (uint32_t i = 1; i < ulN && pJob != nullptr; ++i) pJob = pJob->pNext;
  if (pJob == nullptr) return -1;
  *ppJob = pJob;
  return 0;
}

int32_t CPrintJobQueue::GetCurrentJob(PrintJobRecord** ppJob) const {
  if (g_ulPrintMode == PRINT_MODE_MULTI_UP) {
    *ppJob = &g_MergedJobRecord;
    return 0;
  }
  return GetNthActiveJob(1, ppJob);
}

int32_t CPrintJobQueue::FindJobById(uint8_t ucId, PrintJobRecord** ppJob) const {
  if (ucId == 0) return -1;
  for (PrintJobRecord& record : g_PrintJobRecords) {
    if ((record.ulJobId & 0xFFu) == ucId) {
      *ppJob = &record;
      return 0;
    }
  }
  return -1;
}

int32_t CPrintJobQueue::GetReadyJobCount(uint32_t* pulCount) const {
  *pulCount = m_usReadyCount;
  return 0;
}

int32_t CPrintJobQueue::GetActiveJobCount(uint32_t* pulCount) const {
  *pulCount = m_usActiveCount;
  return 0;
}

int32_t CPrintJobQueue::GetImageSlot(PrintJobRecord* pJob, uint32_t ulCode, ImageSlot** ppSlot) const {
  switch (ulCode) {
    case SLOT_COLOR_A: *ppSlot = &pJob->slotColorA; return 0;
    case SLOT_SP_A: *ppSlot = &pJob->slotSpA; return 0;
    case SLOT_COLOR_B: *ppSlot = &pJob->slotColorB; return 0;
    case SLOT_SP_B: *ppSlot = &pJob->slotSpB; return 0;
    default: return -1;
  }
}

uint32_t CPrintJobQueue::CurrentRowSlotCode() const {
  if (m_ulPrintOrderIndex >= PRINT_ORDER_ROWS) return 0;
  const PrintOrderEntry& row = m_aPrintOrder[m_ulPrintOrderIndex];
  if (row.ulKind == ORDER_FINISH || row.ulSide < SIDE_A || row.ulSide > SIDE_B) return 0;
  const uint32_t ulPictureKind = row.ulKind == ORDER_SP_FIRST || row.ulKind == ORDER_SP_SECOND ? 1 : 0;
  return SlotCode(row.ulSide - 1, ulPictureKind);
}

int32_t CPrintJobQueue::GetOrderedSlot(PrintJobRecord* pJob, ImageSlot** ppSlot, uint32_t ulMode) const {
  uint32_t ulCode = 0;
  if (ulMode == 1 || ulMode == 2) {
    const uint32_t ulIndex = ulMode == 1 ? pJob->ucAttachIndex : pJob->ucCompleteIndex;
    if (ulIndex >= pJob->ucSlotCount) return -1;
    ulCode = pJob->aucSlotOrder[ulIndex];
  } else if (ulMode == 3) {
    ulCode = CurrentRowSlotCode();
  }
  return GetImageSlot(pJob, ulCode, ppSlot);
}

namespace {
int32_t InMask(uint8_t ucMask, uint32_t ulSideIndex, uint32_t ulKind) {
  if (ulSideIndex > 1) return -1;
  return (ucMask & SlotCode(ulSideIndex, ulKind)) != 0 ? 0 : -1;
}
}  // namespace

int32_t CPrintJobQueue::IsColorSlotExpected(const PrintJobRecord* pJob, uint32_t ulSideIndex) const {
  return InMask(pJob->ucExpectedMask, ulSideIndex, 0);
}
int32_t CPrintJobQueue::IsSpSlotExpected(const PrintJobRecord* pJob, uint32_t ulSideIndex) const {
  return InMask(pJob->ucExpectedMask, ulSideIndex, 1);
}
int32_t CPrintJobQueue::IsColorSlotReceived(const PrintJobRecord* pJob, uint32_t ulSideIndex) const {
  return InMask(pJob->ucReceivedMask, ulSideIndex, 0);
}
int32_t CPrintJobQueue::IsSpSlotReceived(const PrintJobRecord* pJob, uint32_t ulSideIndex) const {
  return InMask(pJob->ucReceivedMask, ulSideIndex, 1);
}
int32_t CPrintJobQueue::IsColorSlotComplete(const PrintJobRecord* pJob, uint32_t ulSideIndex) const {
  return InMask(pJob->ucCompleteMask, ulSideIndex, 0);
}
int32_t CPrintJobQueue::IsSpSlotComplete(const PrintJobRecord* pJob, uint32_t ulSideIndex) const {
  return InMask(pJob->ucCompleteMask, ulSideIndex, 1);
}

int32_t CPrintJobQueue::HasPrintableImage(uint32_t* pulFlag) const {
  *pulFlag = 0;
  PrintJobRecord* pJob = nullptr;
  if (m_usReadyCount > 0) {
    GetCurrentJob(&pJob);
  } else if (m_usActiveCount > 0) {
    pJob = m_pReceivingJob;
  }
  if (pJob != nullptr && (pJob->ucPendingMask & pJob->ucReceivedMask) != 0) *pulFlag = 1;
  return 0;
}

int32_t CPrintJobQueue::GetCutOffset(const PrintJobRecord* pJob, uint16_t* pusOffset) const {
  *pusOffset = pJob->usCutOffset1;
  return 0;
}

int32_t CPrintJobQueue::GetCutCount(const PrintJobRecord* pJob, uint32_t* pulCount) const {
  *pulCount = pJob->ucCutCount;
  return 0;
}

int32_t CPrintJobQueue::GetCutPosition(const PrintJobRecord* pJob, uint32_t ulIndex, uint32_t* pulPosition) const {
  if (ulIndex >= JOB_CUT_POSITIONS) return -1;
  *pulPosition = pJob->ausCutPositions[ulIndex];
  return 0;
}

int32_t CPrintJobQueue::GetPrintedCount(const PrintJobRecord* pJob, uint32_t* pulCount) const {
  *pulCount = pJob->usCopiesPrinted;
  return 0;
}

int32_t CPrintJobQueue::GetCutterLeadLines(uint32_t* pulLines) const {
  *pulLines = g_pCurPrintSize->ulCutterLeadLines;
  return 0;
}
