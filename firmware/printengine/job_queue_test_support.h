// Test support of the print-job queue (test code only): jobs made in the
// application task as the command handlers and the test-print launchers
// make them, each image in a buffer of its pool.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "firmware/control/host_status_table.h"
#include "firmware/devices/buf_slot_table.h"
#include "firmware/hostif/usb_cmd_blocks.h"
#include "firmware/printengine/media_config.h"
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
// The blank fill-in takes no buffer.
inline int32_t ReceiveImage(uint32_t ulKind, uint32_t ulMode, PrintSizeRecord* pSize, bool bComplete = true) {
  const bool bBlank = ulMode == IMAGE_BLANK_FILL_IN;
  const uint32_t ulPool = ulKind == 1 ? BUF_POOL_ONE_BIT : BUF_POOL_COLOUR;
  const uint32_t ulOffset = bBlank ? FILL_IN_IMAGE_OFFSET : TakeBuffer(ulPool);
  const int32_t lResult = g_PrintJobQueue.AddImageSlot(ulKind, ulOffset, ulMode, pSize);
  if (lResult == 0 && bComplete) {
    if (!bBlank) g_pCurBufSlots[ulPool]->ReleaseByAddress(ulOffset);
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

// Both units' ribbon sizes, paper loaded and the sizes selected.
inline void LoadMedia(uint16_t usSizeL, uint16_t usSizeR) {
  g_MediaConfig.SetRibbonSize(0, usSizeL);
  g_MediaConfig.SetRibbonSize(1, usSizeR);
  g_MediaConfig.SetLoadMode(LOAD_MODE_LOADED);
  g_MediaConfig.SelectPrintSizeTable();
}

// A host's set-up command as its parser leaves it.
struct HostSetup {
  uint8_t ucMask = SLOT_COLOR_A | IMAGE_MASK_ONE_SIDED;
  uint16_t usCopies = 1;
  uint8_t ucFinishOptions = 0;
  uint8_t ucFirstSide = 0;
  uint8_t ucCutCount = 255;
  std::vector<uint16_t> cuts;
  uint16_t usOffset1 = 0;
  uint16_t usOffset2 = 0;
};

inline int32_t SetUpHostJob(const HostSetup& setup) {
  SetupPrintJobBlock& b = SetupBlock();
  b = SetupPrintJobBlock{};
  b.usCopies = setup.usCopies;
  b.ucUnitRequest = setup.ucMask;
  b.ucFinishOptions = setup.ucFinishOptions;
  b.ucFirstUnitSelection = setup.ucFirstSide;
  b.ucCutCount = setup.ucCutCount;
  for (size_t i = 0; i < setup.cuts.size() && i < CUT_POSITIONS; ++i) b.ausCutPositions[i] = setup.cuts[i];
  b.usCutOffset1 = setup.usOffset1;
  b.usCutOffset2 = setup.usOffset2;
  return g_PrintJobQueue.CreateJob(0, 0, 0);
}

// A host's print command for an image filling its print size.
inline void SetImageBlock(uint16_t usWidth, uint16_t usHeight, uint8_t ucOvercoat = OVERCOAT_GLOSSY) {
  PrintBlock& b = ImageBlock();
  b = PrintBlock{};
  b.usImageWidth = usWidth;
  b.usImageHeight = usHeight;
  b.usMediaMaxWidth = usWidth;
  b.usMediaMaxHeight = usHeight;
  b.ucPrintOptionA = ucOvercoat;
}

// Status items 32-41.
inline std::array<uint32_t, 10> JobStatusItems() {
  std::array<uint32_t, 10> items{};
  for (uint32_t i = 0; i < items.size(); ++i) items[i] = GetStatusItem(SI_JOB_STATUS_0 + i);
  return items;
}

// Every job leaves the queue.
inline void EmptyQueue() {
  g_PrintJobQueue.ClearPrintingFlags();
  g_PrintJobQueue.CancelJobs(0, 0);
}

}  // namespace jobtest
