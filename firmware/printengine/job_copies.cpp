// Printing a job copy by copy: each print-order row takes its slot, each
// cut sheet counts its copies, and a job whose copies are done (or that
// was cancelled) retires with its image buffers back in the pools.
#include "firmware/control/leds.h"
#include "firmware/devices/buf_slot_table.h"
#include "firmware/printengine/print_job_queue.h"

int32_t CPrintJobQueue::StartSlotPrint() {
  PrintJobRecord* const pJob = m_pActiveHead;
  if (pJob == nullptr) {
    PublishJobStatus(this);
    return -1;
  }
  const uint32_t ulCode = CurrentRowSlotCode();
  pJob->ucPendingMask &= static_cast<uint8_t>(~ulCode);
  if (g_ulPrintMode == PRINT_MODE_MULTI_UP) g_MergedJobRecord.ucPendingMask &= static_cast<uint8_t>(~ulCode);
  ++m_ulPrintOrderIndex;
  ImageSlot* pSlot = nullptr;
  if (GetImageSlot(pJob, ulCode, &pSlot) == 0) pSlot->usSlotState = SLOT_PRINTING;
  PublishJobStatus(this);
  return 0;
}

int32_t CPrintJobQueue::CopyPrinted(uint32_t* pulMore) {
  PrintJobRecord* pCurrent = nullptr;
  if (GetCurrentJob(&pCurrent) != 0) {
    PublishJobStatus(this);
    return -1;
  }
  const uint32_t ulPictures = pCurrent->pPrintSize != nullptr ? pCurrent->pPrintSize->ulPicturesPerSheet : 1;
  int32_t lResult = 0;
  for (uint32_t i = 0; i < ulPictures; ++i) {
    lResult = NextCopyOrRetire(pulMore);
    if (lResult != 0) break;
  }
  if (g_ulPrintMode == PRINT_MODE_MULTI_UP) {
    // The jobs cancelled meanwhile leave after the sheet.
    PrintJobRecord* pJob = m_pActiveHead;
    while (pJob != nullptr) {
      PrintJobRecord* const pNext = pJob->pNext;
      if (pJob->usCancelRequest != 0) {
        ClearCopies(pJob);
        RemoveJob(pJob);
      }
      pJob = pNext;
    }
  }
  PublishJobStatus(this);
  return lResult;
}

int32_t CPrintJobQueue::NextCopyOrRetire(uint32_t* pulMore) {
  PrintJobRecord* const pJob = m_pActiveHead;
  if (pJob == nullptr) return -1;
  ++pJob->usCopiesPrinted;
  if (pJob->usCopiesLeft > 0) --pJob->usCopiesLeft;
  if (pJob->usCancelRequest != 0 && g_ulPrintMode != PRINT_MODE_MULTI_UP) ClearCopies(pJob);
  if (pJob->usCopiesLeft > 0) {
    pJob->ucPendingMask = pJob->ucExpectedMask;
    RearmSlots(pJob);
    m_ulPrintOrderIndex = 0;
    *pulMore = 1;
  } else {
    pJob->ucExpectedMask = 0;
    pJob->ucReceivedMask = 0;
    pJob->ucCompleteMask = 0;
    pJob->ucPendingMask = 0;
    *pulMore = 0;
    FreeImageBuffers(pJob);
    // A job ended while still receiving takes the receiving pointer with
    // it; a later job that is receiving keeps it.
    if (pJob == m_pReceivingJob) m_pReceivingJob = nullptr;
    RetireJob();
    if (pJob->usCancelRequest != 0) pJob->usCancelRequest = 0;
  }
  PublishJobStatus(this);
  return 0;
}

int32_t CPrintJobQueue::RetireJob() {
  PrintJobRecord* const pJob = m_pActiveHead;
  if (pJob == nullptr) return -1;
  m_pActiveHead = pJob->pNext;
  AppendToList(&m_pFreeHead, pJob);
  if (m_usActiveCount > 0) --m_usActiveCount;
  if (m_pActiveHead != nullptr) m_pActiveHead->ucPrinting = 1;
  if (pJob->usComplete != 0 && m_usReadyCount > 0) --m_usReadyCount;
  SwitchReadyLedByPool();
  return 0;
}

void CPrintJobQueue::SwitchReadyLedByPool() const {
  uint32_t ulAllReleased = 0;
  g_pCurBufSlots[BUF_POOL_COLOUR]->TestAll(&ulAllReleased, 1);
  if (ulAllReleased == 0) g_LedReady.On();
}

int32_t CPrintJobQueue::RearmSlots(PrintJobRecord* pJob) {
  for (ImageSlot* pSlot : SlotsOf(pJob)) {
    if (pSlot->usSlotState > SLOT_EXPECTED) pSlot->usSlotState = SLOT_RECEIVED;
  }
  return 0;
}

int32_t CPrintJobQueue::FreeImageBuffers(PrintJobRecord* pJob) {
  struct PooledSlot {
    ImageSlot* pSlot;
    uint32_t ulPool;
  };
  const PooledSlot aSlots[] = {{&pJob->slotColorA, BUF_POOL_COLOUR},
                               {&pJob->slotSpA, BUF_POOL_ONE_BIT},
                               {&pJob->slotColorB, BUF_POOL_COLOUR},
                               {&pJob->slotSpB, BUF_POOL_ONE_BIT}};
  for (const PooledSlot& s : aSlots) {
    if (s.pSlot->ucOwnsBuffer == 0) continue;
    g_pCurBufSlots[s.ulPool]->FreeByAddress(s.pSlot->ulImageAddress - IMAGE_ADDRESS_BASE);
  }
  return 0;
}

int32_t CPrintJobQueue::ClearPrintingFlags() {
  for (PrintJobRecord* pJob = m_pActiveHead; pJob != nullptr; pJob = pJob->pNext) pJob->ucPrinting = 0;
  return 0;
}

void CPrintJobQueue::RemoveJob(PrintJobRecord* pJob) {
  if (UnlinkActive(pJob) != 0) return;
  if (pJob == m_pReceivingJob) m_pReceivingJob = nullptr;
  if (pJob->usComplete != 0 && m_usReadyCount > 0) --m_usReadyCount;
  if (m_usActiveCount > 0) --m_usActiveCount;
  FreeImageBuffers(pJob);
  AppendToList(&m_pFreeHead, pJob);
}
