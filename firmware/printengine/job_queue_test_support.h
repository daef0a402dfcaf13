// Test support of the print-job queue (test code only): jobs made in the
// application task as the command handlers and the test-print launchers
// make them, each image in a buffer of its pool.
#pragma once

#include <cstdint>

#include "firmware/devices/buf_slot_table.h"
#include "firmware/hostif/usb_cmd_blocks.h"
#include "firmware/printengine/print_job_queue.h"

namespace jobtest {

inline SetupPrintJobBlock& SetupBlock() {
  SetupPrintJobBlock* pBlock = nullptr;
  usb_comm_get_setup_print_job_block(&pBlock);
  return *pBlock;
}

inline PrintBlock& ImageBlock() {
  PrintBlock* pBlock = nullptr;
  usb_comm_get_print_block(&pBlock);
  return *pBlock;
}

inline PrintJobRecord* ReceivingJob() {
  PrintJobRecord* pJob = nullptr;
  g_PrintJobQueue.GetJob(PRINT_JOB_LIST_RECEIVING, &pJob);
  return pJob;
}

inline uint32_t ActiveJobs() {
  uint32_t ulCount = 0;
  g_PrintJobQueue.GetActiveJobCount(&ulCount);
  return ulCount;
}

inline uint32_t ReadyJobs() {
  uint32_t ulCount = 0;
  g_PrintJobQueue.GetReadyJobCount(&ulCount);
  return ulCount;
}

// A buffer of the pool (0 colour, 1 one-bit) for the receiving job's next
// image: its download-buffer offset, or BUF_SLOT_NO_OFFSET when the pool is
// full.
inline uint32_t TakeBuffer(uint32_t ulPool) {
  int32_t lIndex = 0;
  uint32_t ulOffset = BUF_SLOT_NO_OFFSET;
  const PrintJobRecord* pJob = ReceivingJob();
  const uint16_t usTag = pJob != nullptr ? static_cast<uint16_t>(pJob->ulJobId & 0xFF) : 0;
  g_pCurBufSlots[ulPool]->Allocate(BUF_TYPE_PRINT, 1, usTag, 1, &lIndex, &ulOffset);
  return ulOffset;
}

// The receiving job's next image in a buffer of its pool, attached and, when
// its data is in, the buffer released and the slot completed: the attach
// result.
inline int32_t ReceiveImage(uint32_t ulKind, uint32_t ulMode, PrintSizeRecord* pSize, bool bComplete = true) {
  const uint32_t ulOffset = TakeBuffer(ulKind == 1 ? BUF_POOL_ONE_BIT : BUF_POOL_COLOUR);
  const int32_t lResult = g_PrintJobQueue.AddImageSlot(ulKind, ulOffset, ulMode, pSize);
  if (lResult == 0 && bComplete) {
    g_pCurBufSlots[ulKind == 1 ? BUF_POOL_ONE_BIT : BUF_POOL_COLOUR]->ReleaseByAddress(ulOffset);
    g_PrintJobQueue.CompleteSlot();
  }
  return lResult;
}

// An internal job (side mode 1: colour B only) of the print size; with
// bComplete its images are in and the job complete. Null when refused.
inline PrintJobRecord* MakeInternalJob(uint32_t ulCopies = 1, uint32_t ulSideMode = 1,
                                       PrintSizeRecord* pSize = &g_PrintSize8x10, bool bComplete = true) {
  if (g_PrintJobQueue.CreateJob(1, ulSideMode, ulCopies) != 0) return nullptr;
  PrintJobRecord* pJob = ReceivingJob();
  pJob->pPrintSize = pSize;
  if (!bComplete) return pJob;
  for (uint32_t i = 0; i < pJob->ucSlotCount; ++i) ReceiveImage(0, IMAGE_INTERNAL, pSize);
  g_PrintJobQueue.CompleteJob();
  return pJob;
}

// Every job leaves the queue.
inline void EmptyQueue() {
  g_PrintJobQueue.ClearPrintingFlags();
  g_PrintJobQueue.CancelJobs(0, 0);
}

}  // namespace jobtest
