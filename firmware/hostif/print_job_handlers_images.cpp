// The receiving side of a host job: the set-up that creates the receiving
// job, each image accepted with its buffers and data phase, the data's
// arrival that completes its slot (and the job with its last image), and
// the image control that resolves a two-sided job whose second picture
// will not come.
//
// Every refusal leaves its code in the block before anything is allocated
// or armed: the queue, the pools and the data phase stay as they were. A
// job without a picture for one side gets the blank fill-in on that side,
// drawn by the grey test-print patterns, where its slot order puts it:
// before the host's first picture when that side prints first, else behind
// the colour picture.
#include <initializer_list>

#include "firmware/control/event_set.h"
#include "firmware/control/host_status_table.h"
#include "firmware/devices/buf_slot_table.h"
#include "firmware/hostif/print_job_handlers.h"
#include "firmware/hostif/usb_comm.h"
#include "firmware/hostif/usb_command_layer.h"
#include "firmware/platform/us_timer.h"
#include "firmware/printengine/media_config.h"
#include "firmware/printengine/print_job_queue.h"
#include "firmware/service/self_print.h"
#include "protocol/codes.h"

uint32_t g_ulJobSetupPending;

namespace {

using protocol::REPLY_ERR_BAD_LAYOUT;
using protocol::REPLY_ERR_BAD_PARAMETER;
using protocol::REPLY_ERR_JOB_STATE;
using protocol::REPLY_ERR_NO_RESOURCE;
using protocol::REPLY_ERR_UNIT_ERROR;

// The cut layout of a set-up in normal print mode.
constexpr uint8_t CUT_COUNT_DEFAULT = 255;
constexpr uint32_t CUT_COUNT_MIN = 2;
constexpr uint32_t CUT_FIRST_MIN = 12;
constexpr uint32_t CUT_LAST_MAX = 3624;
constexpr uint32_t CUT_SPACING_MIN = 36;
constexpr uint32_t CUT_OFFSET_MAX = 600;
constexpr uint32_t CUTS_WITH_OFFSETS_MAX = 2;
// The last cut of a job's first image lies at most this far before the end
// of its media height.
constexpr uint32_t LAST_CUT_END_MARGIN = 19;

// The bounds of an image and its media on the full sizes.
struct FullSizeBounds {
  uint32_t ulSizeId;
  uint32_t ulMinWidth;
  uint32_t ulMaxWidth;
  uint32_t ulMinHeight;
  uint32_t ulMaxHeight;
};
constexpr FullSizeBounds kFullSizeBounds[] = {
    {PRINT_SIZE_ID_8X10, 1200, PRINT_WIDTH, 1200, 3024},
    {PRINT_SIZE_ID_8X12, 1200, PRINT_WIDTH, 1200, 3624},
};

// The accepted image's pool and buffer, for the data's arrival.
uint32_t s_ulReceivingPool;
uint32_t s_ulReceivingOffset;

bool InRange(uint32_t ulValue, uint32_t ulMin, uint32_t ulMax) { return ulValue >= ulMin && ulValue <= ulMax; }

bool ErrorShown() { return GetStatusItem(SI_ERROR_MAJOR) != 0 || GetStatusItem(SI_ERROR_MINOR) != 0; }

PrintJobRecord* ReceivingJob() {
  PrintJobRecord* pJob = nullptr;
  g_PrintJobQueue.GetJob(PRINT_JOB_LIST_RECEIVING, &pJob);
  return pJob;
}

// In multi-up mode a refusal for want of room restarts the merge wait of
// the last queued job.
void RefreshMergeWait() {
  if (g_ulPrintMode != PRINT_MODE_MULTI_UP) return;
  PrintJobRecord* pLast = nullptr;
  if (g_PrintJobQueue.GetLastJob(PRINT_JOB_LIST_ACTIVE, &pLast) == 0) pLast->ulCompletionTick = g_UsTimer.NowUs();
}

// 0, 0x46 for a bad count or cut positions, or 1 for bad cut offsets.
uint8_t CheckCutLayout(const SetupPrintJobBlock& b) {
  const uint32_t ulCount = b.ucCutCount;
  if (ulCount != CUT_COUNT_DEFAULT) {
    if (!InRange(ulCount, CUT_COUNT_MIN, CUT_POSITIONS)) return REPLY_ERR_BAD_LAYOUT;
    if (!InRange(b.ausCutPositions[0], CUT_FIRST_MIN, CUT_LAST_MAX)) return REPLY_ERR_BAD_LAYOUT;
    for (uint32_t i = 1; i < ulCount; ++i) {
      const uint32_t ulCut = b.ausCutPositions[i];
      if (ulCut > CUT_LAST_MAX || ulCut < b.ausCutPositions[i - 1] + CUT_SPACING_MIN) return REPLY_ERR_BAD_LAYOUT;
    }
  }
  if (b.usCutOffset1 > CUT_OFFSET_MAX || b.usCutOffset2 > CUT_OFFSET_MAX) return REPLY_ERR_BAD_PARAMETER;
  const bool bOffsets = b.usCutOffset1 != 0 || b.usCutOffset2 != 0;
  if (bOffsets && ulCount > CUTS_WITH_OFFSETS_MAX) return REPLY_ERR_BAD_PARAMETER;
  return 0;
}

uint8_t SetUpJob(SetupPrintJobBlock& b) {
  if (SetPrintMode(b.ucPrintMode) != 0) return REPLY_ERR_NO_RESOURCE;
  if (g_ulPrintMode == PRINT_MODE_NORMAL) {
    const uint8_t ucLayout = CheckCutLayout(b);
    if (ucLayout != 0) return ucLayout;
  }
  if (ErrorShown()) return REPLY_ERR_UNIT_ERROR;
  uint32_t ulFull = 0;
  g_pCurBufSlots[BUF_POOL_COLOUR]->TestAll(&ulFull, 0);
  if (ulFull != 0) {
    RefreshMergeWait();
    return REPLY_ERR_NO_RESOURCE;
  }
  if (ReceivingJob() != nullptr) return REPLY_ERR_NO_RESOURCE;
  // Every record in use.
  if (g_PrintJobQueue.CreateJob(0, 0, 0) != 0) return REPLY_ERR_NO_RESOURCE;
  return 0;
}

// The print size of the image: in multi-up mode the printable size of
// exactly its width and height; in normal mode the full size, which must
// hold the image and, on a job's first image, its last cut.
uint8_t CheckPrintSize(const PrintBlock& b, const PrintJobRecord* pJob, PrintSizeRecord** ppSize) {
  if (g_ulPrintMode == PRINT_MODE_MULTI_UP) {
    return g_MediaConfig.FindPrintSize(ppSize) == 0 ? 0 : REPLY_ERR_BAD_PARAMETER;
  }
  if (g_MediaConfig.GetPrintSizeRecord(ppSize) != 0) return REPLY_ERR_BAD_PARAMETER;
  for (const FullSizeBounds& bounds : kFullSizeBounds) {
    if ((*ppSize)->ulSizeId != bounds.ulSizeId) continue;
    if (!InRange(b.usImageWidth, bounds.ulMinWidth, bounds.ulMaxWidth) ||
        !InRange(b.usMediaMaxWidth, bounds.ulMinWidth, bounds.ulMaxWidth) ||
        !InRange(b.usImageHeight, bounds.ulMinHeight, bounds.ulMaxHeight) ||
        !InRange(b.usMediaMaxHeight, bounds.ulMinHeight, bounds.ulMaxHeight)) {
      return REPLY_ERR_BAD_PARAMETER;
    }
  }
  if (b.usMediaMaxWidth < static_cast<uint32_t>(b.usImageWidth) + b.usXOffset ||
      b.usMediaMaxHeight < static_cast<uint32_t>(b.usImageHeight) + b.usYOffset) {
    return REPLY_ERR_BAD_PARAMETER;
  }
  if (g_ulJobSetupPending == 1 && pJob != nullptr && pJob->ucDefaultCuts == 0 && pJob->ucCutCount >= CUT_COUNT_MIN) {
    const uint32_t ulLastCut = pJob->ausCutPositions[pJob->ucCutCount - 1];
    if (ulLastCut + LAST_CUT_END_MARGIN < b.usMediaMaxHeight) return REPLY_ERR_BAD_PARAMETER;
  }
  return 0;
}

int32_t FillInFirst(const PrintJobRecord* pJob) {
  int32_t lWhere = -1;
  g_PrintJobQueue.CheckFirstSlotUnit(pJob, &lWhere);
  return lWhere;
}

// The slot the host's image goes to: the next one of the slot order, past
// a fill-in attached before the first image. 0 when the job takes no
// image of this type now.
uint8_t HostImageSlot(const PrintJobRecord* pJob, uint32_t ulImageType) {
  uint32_t ulIndex = pJob->ucAttachIndex;
  if (ulIndex == 0 && FillInFirst(pJob) == 1) ++ulIndex;
  if (ulIndex >= pJob->ucSlotCount) return 0;
  const uint8_t ucCode = pJob->aucSlotOrder[ulIndex];
  const bool bSp = (ucCode & (SLOT_SP_A | SLOT_SP_B)) != 0;
  if (ucCode == pJob->ucFillInSlot || bSp != (ulImageType == protocol::IMAGE_TYPE_ONE_BIT)) return 0;
  return ucCode;
}

// The blank fill-in, drawn by the grey patterns, attached and complete.
void AttachFillIn(PrintSizeRecord* pSize) {
  InstallGrayPatterns();
  if (g_PrintJobQueue.AddImageSlot(0, FILL_IN_IMAGE_OFFSET, IMAGE_BLANK_FILL_IN, pSize) == 0) {
    g_PrintJobQueue.CompleteSlot();
  }
}

// A multi-up job cuts where its print size does: these are not the default
// cuts that the job's completion fits to its length.
void TakeCutsOfSize(PrintJobRecord* pJob, const PrintSizeRecord* pSize) {
  pJob->ucDefaultCuts = 0;
  const uint32_t ulCount = pSize->ulCutCount < JOB_CUT_POSITIONS ? pSize->ulCutCount : JOB_CUT_POSITIONS;
  pJob->ucCutCount = static_cast<uint8_t>(ulCount);
  for (uint32_t i = 0; i < JOB_CUT_POSITIONS; ++i) {
    pJob->ausCutPositions[i] = static_cast<uint16_t>(i < ulCount ? pSize->aulCutPositions[i] : 0);
  }
}

uint8_t AcceptImage(PrintBlock& b) {
  PrintJobRecord* const pJob = ReceivingJob();
  PrintSizeRecord* pSize = nullptr;
  const uint8_t ucSize = CheckPrintSize(b, pJob, &pSize);
  if (ucSize != 0) return ucSize;
  if (b.ucImageType > protocol::IMAGE_TYPE_ONE_BIT) return REPLY_ERR_BAD_PARAMETER;
  if (IsEventPending(EV_SYSTEM_RESET)) return REPLY_ERR_NO_RESOURCE;
  if (pJob == nullptr) return REPLY_ERR_BAD_PARAMETER;
  if (ErrorShown()) return REPLY_ERR_UNIT_ERROR;
  // An image the job does not expect next would take a buffer that no
  // slot holds.
  const uint8_t ucCode = HostImageSlot(pJob, b.ucImageType);
  if (ucCode == 0) return REPLY_ERR_BAD_PARAMETER;

  uint32_t ulSideIndex = 0;
  g_PrintJobQueue.SlotCodeToUnit(ucCode, &ulSideIndex);
  uint32_t ulBuffers = 1;
  GetPrintSizeImageBytes(pSize, &ulBuffers);
  const uint32_t ulPool = b.ucImageType == protocol::IMAGE_TYPE_ONE_BIT ? BUF_POOL_ONE_BIT : BUF_POOL_COLOUR;
  int32_t lIndex = -1;
  uint32_t ulOffset = BUF_SLOT_NO_OFFSET;
  if (g_pCurBufSlots[ulPool]->Allocate(BUF_TYPE_PRINT, ulBuffers, static_cast<uint16_t>(pJob->ulJobId & 0xFFu),
                                       static_cast<uint16_t>(ulSideIndex + 1), &lIndex, &ulOffset) != 0) {
    RefreshMergeWait();
    return REPLY_ERR_NO_RESOURCE;
  }

  pJob->pPrintSize = pSize;
  SetDownloadOffset(ulOffset);
  UsbCommState* pState = nullptr;
  usb_comm_get_state(&pState);
  pState->ulDataPhase = DATA_PHASE_PRINT_IMAGE;
  pState->ulDataOffset = ulOffset;
  s_ulReceivingPool = ulPool;
  s_ulReceivingOffset = ulOffset;
  b.ucSlotIndex = static_cast<uint8_t>(lIndex);

  if (pJob->ucAttachIndex == 0) {
    if (g_ulPrintMode == PRINT_MODE_MULTI_UP) TakeCutsOfSize(pJob, pSize);
    if (FillInFirst(pJob) == 1) AttachFillIn(pSize);
  }
  g_PrintJobQueue.AddImageSlot(b.ucImageType, ulOffset, IMAGE_HOST, pSize);
  return 0;
}

// The receiving job has every picture: complete, its slots as long as the
// longest, and its default cuts fitted to that length.
void FinishJob(PrintJobRecord* pJob) {
  g_PrintJobQueue.CompleteJob();
  g_PrintJobQueue.EqualiseSlotLengths(pJob);
  g_PrintJobQueue.SetDefaultCuts(pJob);
}

bool IsColorReceived(const PrintJobRecord* pJob, uint32_t ulSideIndex) {
  return g_PrintJobQueue.IsColorSlotReceived(pJob, ulSideIndex) == 0;
}

// A receiving two-sided job without a fill-in that has one colour picture
// and waits for the other as its next image.
bool MayControlImages(const PrintJobRecord* pJob) {
  if (pJob == nullptr || pJob->ucFillInSlot != 0) return false;
  if ((pJob->ucExpectedMask & SLOT_COLORS) != SLOT_COLORS) return false;
  if (IsColorReceived(pJob, 0) == IsColorReceived(pJob, 1)) return false;
  if (pJob->ucAttachIndex >= pJob->ucSlotCount) return false;
  const uint8_t ucNext = pJob->aucSlotOrder[pJob->ucAttachIndex];
  return (ucNext & SLOT_COLORS) != 0 && (pJob->ucReceivedMask & ucNext) == 0;
}

// The missing picture becomes a blank fill-in.
void FillMissingSide(PrintJobRecord* pJob, uint8_t ucCode) {
  for (PrintJobRecord* pRecord : {pJob, g_pMergeTargetJob == pJob ? &g_MergedJobRecord : nullptr}) {
    if (pRecord == nullptr) continue;
    pRecord->ucFillInSlot = ucCode;
    ImageSlot* pSlot = nullptr;
    g_PrintJobQueue.GetImageSlot(pRecord, ucCode, &pSlot);
    pSlot->usFillIn = 1;
  }
  PrintSizeRecord* pSize = pJob->pPrintSize;
  if (pSize == nullptr) g_MediaConfig.GetPrintSizeRecord(&pSize);
  AttachFillIn(pSize);
}

// The job prints the side it has, on one unit.
void DropMissingSide(PrintJobRecord* pJob, uint8_t ucCode) {
  for (PrintJobRecord* pRecord : {pJob, g_pMergeTargetJob == pJob ? &g_MergedJobRecord : nullptr}) {
    if (pRecord == nullptr) continue;
    pRecord->ucExpectedMask = static_cast<uint8_t>(pRecord->ucExpectedMask & ~ucCode);
    pRecord->ucPendingMask = static_cast<uint8_t>(pRecord->ucPendingMask & ~ucCode);
    pRecord->request.ulFirstSide = 0;
  }
  ImageSlot* pSlot = nullptr;
  g_PrintJobQueue.GetImageSlot(pJob, ucCode, &pSlot);
  pSlot->usSlotState = SLOT_UNUSED;
  pJob->ucSlotCount = pJob->ucAttachIndex;
  g_PrintJobQueue.ResolveUnitAssignment(pJob);
  g_PrintJobQueue.SetCopyAssignments(pJob);
  g_PrintJobQueue.ApplyUnitAssignment(pJob);
}

}  // namespace

int32_t ExecSetupPrintJob() {
  SetupPrintJobBlock* pBlock = nullptr;
  usb_comm_get_setup_print_job_block(&pBlock);
  pBlock->ucResult = SetUpJob(*pBlock);
  // A refused set-up leaves no first image to compare with its cut list.
  if (pBlock->ucResult != 0) g_ulJobSetupPending = 0;
  return pBlock->ucResult == 0 ? 0 : -1;
}

int32_t ExecPrintCommand() {
  PrintBlock* pBlock = nullptr;
  usb_comm_get_print_block(&pBlock);
  pBlock->ucResult = AcceptImage(*pBlock);
  g_ulJobSetupPending = 0;
  return pBlock->ucResult == 0 ? 0 : -1;
}

// An image whose data did not all arrive is not completed: its job leaves
// the queue with its buffers.
int32_t OnPrintDataReceived() {
  const bool bAbandoned = usb_comm_take_data_abandoned() != 0;
  PrintJobRecord* const pJob = ReceivingJob();
  if (pJob != nullptr && bAbandoned) {
    g_PrintJobQueue.CancelJobs(static_cast<uint8_t>(pJob->ulJobId & 0xFFu), 1);
  } else if (pJob != nullptr) {
    g_pCurBufSlots[s_ulReceivingPool]->ReleaseByAddress(s_ulReceivingOffset);
    g_PrintJobQueue.CompleteSlot();
    if (s_ulReceivingPool == BUF_POOL_COLOUR && FillInFirst(pJob) == 0) AttachFillIn(pJob->pPrintSize);
    uint32_t ulAll = 0;
    g_PrintJobQueue.AreAllSlotsReceived(pJob, &ulAll);
    if (ulAll != 0) FinishJob(pJob);
  }
  UsbCommState* pState = nullptr;
  usb_comm_get_state(&pState);
  pState->ulDataPhase = DATA_PHASE_NONE;
  return 0;
}

int32_t ExecJobImageControl() {
  JobImageControlBlock* pBlock = nullptr;
  usb_comm_get_job_image_control_block(&pBlock);
  PrintJobRecord* const pJob = ReceivingJob();
  if (!MayControlImages(pJob)) {
    pBlock->ucResult = REPLY_ERR_JOB_STATE;
    return -1;
  }
  const uint8_t ucMissing = pJob->aucSlotOrder[pJob->ucAttachIndex];
  if (pBlock->ucControl == 1) {
    FillMissingSide(pJob, ucMissing);
  } else {
    DropMissingSide(pJob, ucMissing);
  }
  FinishJob(pJob);
  pBlock->ucResult = 0;
  return 0;
}
