// The receiving side of a job: its images attached slot by slot in the
// slot order, completed as their data arrives, and the job completed with
// its slots made equally long.
#include <cstring>

#include "firmware/control/app_startup.h"
#include "firmware/control/leds.h"
#include "firmware/devices/buf_slot_table.h"
#include "firmware/devices/settings.h"
#include "firmware/hostif/usb_cmd_blocks.h"
#include "firmware/platform/us_timer.h"
#include "firmware/printengine/print_job_queue.h"
#include "firmware/printengine/tone_curve.h"
#include "firmware/printengine/unit_ribbon_kind.h"

namespace {

constexpr uint16_t DEFAULT_CUT_MARGIN = 12;

bool IsSpCode(uint32_t ulCode) { return ulCode == SLOT_SP_A || ulCode == SLOT_SP_B; }

// The fill-in slot takes the blank image and nothing else; every other
// slot an image of its kind (0 colour, 1 SP).
bool FitsSlot(uint32_t ulCode, const ImageSlot& slot, bool bBlank, uint32_t ulImageKind) {
  if (bBlank || slot.usFillIn != 0) return bBlank && slot.usFillIn != 0;
  return ulImageKind <= 1 && IsSpCode(ulCode) == (ulImageKind == 1);
}

// The RAM tone curve of a picture: by its slot and the unit of its side,
// four further for a unit whose ribbon is of kind 2.
uint32_t ToneCurveNumber(const PrintJobRecord* pJob, uint32_t ulCode) {
  const bool bSideA = ulCode == SLOT_COLOR_A || ulCode == SLOT_SP_A;
  const uint32_t ulUnit = bSideA ? pJob->resolved.ulUnitA : pJob->resolved.ulUnitB;
  const bool bOnR = ulUnit == UNIT_R;
  uint32_t ulBase = 0;
  switch (ulCode) {
    case SLOT_COLOR_A: ulBase = bOnR ? 3 : 1; break;
    case SLOT_SP_A: ulBase = bOnR ? 1 : 3; break;
    case SLOT_COLOR_B: ulBase = bOnR ? 4 : 2; break;
    default: ulBase = bOnR ? 2 : 4; break;
  }
  const uint32_t ulKind = SelectedRollRibbonKind(bOnR ? 1 : 0, g_ucRibbonControlType != 0);
  return ulBase + (ulKind == RIBBON_KIND_2 ? 4 : 0);
}

void TakeInternalImage(ImageSlot* pSlot) {
  pSlot->usOvercoatKind = SettingValue(g_ParamMatteMode) != 0 ? OVERCOAT_MATTE : OVERCOAT_GLOSSY;
  if (pSlot->usFillIn != 0) pSlot->usOvercoatKind = OVERCOAT_MATTE;
  if (SettingValue(g_ParamImprintText) != 0) {
    std::memcpy(pSlot->aucTextItems, g_ImprintTextItems, sizeof(pSlot->aucTextItems));
  }
  std::memset(pSlot->ausCutList, 0, sizeof(pSlot->ausCutList));
}

// The host's picture: the print command's geometry, the pending text items
// and cut list, which it empties.
void TakeHostImage(ImageSlot* pSlot) {
  PrintBlock* pBlock = nullptr;
  usb_comm_get_print_block(&pBlock);
  pSlot->usOvercoatKind = pBlock->ucPrintOptionA;
  PrintSizeRecord& params = pSlot->printParams;
  params.ulPrintWidth = pBlock->usMediaMaxWidth;
  params.ulPrintLength = pBlock->usMediaMaxHeight;
  params.ulOvercoatLength = pBlock->usMediaMaxHeight;
  params.ulOvercoatWidth = params.ulSheetWidth;
  params.ulSourceWidth = pBlock->usImageWidth;
  params.ulSourceHeight = pBlock->usImageHeight;
  params.ulMargin1 = pBlock->usXOffset;
  params.ulMargin3 = pBlock->usXOffset;
  params.ulMargin2 = pBlock->usYOffset;
  std::memcpy(pSlot->aucTextItems, g_LamiTextItems, sizeof(pSlot->aucTextItems));
  std::memset(g_LamiTextItems, 0, sizeof(g_LamiTextItems));
  std::memcpy(pSlot->ausCutList, g_usCutList, sizeof(pSlot->ausCutList));
  std::memset(g_usCutList, 0, sizeof(g_usCutList));
}

// The longest picture among the slots that hold an image of their own.
uint32_t LongestLength(PrintJobRecord* pJob) {
  uint32_t ulLongest = 0;
  for (ImageSlot* pSlot : SlotsOf(pJob)) {
    if (pSlot->ucOwnsBuffer != 0 && pSlot->printParams.ulPrintLength > ulLongest) {
      ulLongest = pSlot->printParams.ulPrintLength;
    }
  }
  return ulLongest;
}

}  // namespace

int32_t CPrintJobQueue::AddImageSlot(uint32_t ulImageKind, uint32_t ulImageOffset, uint32_t ulMode,
                                     PrintSizeRecord* pPrintSize) {
  PrintJobRecord* const pJob = m_pReceivingJob;
  ImageSlot* pSlot = nullptr;
  const bool bBlank = ulMode == IMAGE_BLANK_FILL_IN;
  if (pJob == nullptr || pPrintSize == nullptr || GetOrderedSlot(pJob, &pSlot, 1) != 0 ||
      !FitsSlot(pJob->aucSlotOrder[pJob->ucAttachIndex], *pSlot, bBlank, ulImageKind)) {
    PublishJobStatus(this);
    return -1;
  }
  const uint8_t ucCode = pJob->aucSlotOrder[pJob->ucAttachIndex];
  pJob->ucReceivedMask |= ucCode;
  if (pJob == g_pMergeTargetJob) g_MergedJobRecord.ucReceivedMask |= ucCode;
  ++pJob->ucAttachIndex;

  pSlot->ulImageAddress = ulImageOffset + IMAGE_ADDRESS_BASE;
  pSlot->ucOwnsBuffer = bBlank ? 0 : 1;
  const uint32_t ulInternal = bBlank ? IMAGE_INTERNAL : ulMode;
  pSlot->printParams = *pPrintSize;
  pSlot->pParams = &pSlot->printParams;
  pSlot->usInternal = static_cast<uint16_t>(ulInternal);
  if (ulInternal != IMAGE_HOST) {
    TakeInternalImage(pSlot);
  } else {
    TakeHostImage(pSlot);
  }
  g_ToneCurve.CopyCurve(TONE_CURVE_SOURCE_RAM, ToneCurveNumber(pJob, ucCode), pSlot->ausToneCurve);
  if (pJob == g_pMergeTargetJob) {
    ImageSlot* pMerged = nullptr;
    GetImageSlot(&g_MergedJobRecord, ucCode, &pMerged);
    std::memcpy(pMerged->ausToneCurve, pSlot->ausToneCurve, sizeof(pMerged->ausToneCurve));
    pMerged->usOvercoatKind = pSlot->usOvercoatKind;
  }
  PublishJobStatus(this);
  return 0;
}

int32_t CPrintJobQueue::CompleteSlot() {
  PrintJobRecord* const pJob = m_pReceivingJob;
  // Only an attached slot can be complete.
  if (pJob == nullptr || pJob->ucCompleteIndex >= pJob->ucAttachIndex) {
    PublishJobStatus(this);
    return -1;
  }
  const uint8_t ucCode = pJob->aucSlotOrder[pJob->ucCompleteIndex];
  ImageSlot* pSlot = nullptr;
  GetImageSlot(pJob, ucCode, &pSlot);
  pSlot->usSlotState = SLOT_RECEIVED;
  pJob->ucCompleteMask |= ucCode;
  if (pJob == g_pMergeTargetJob) g_MergedJobRecord.ucCompleteMask |= ucCode;
  ++pJob->ucCompleteIndex;
  // Every colour buffer holds received data: no room for another job.
  uint32_t ulAllReleased = 0;
  g_pCurBufSlots[BUF_POOL_COLOUR]->TestAll(&ulAllReleased, 1);
  if (ulAllReleased == 1) g_LedReady.Off();
  PublishJobStatus(this);
  return 0;
}

int32_t CPrintJobQueue::CompleteJob() {
  PrintJobRecord* const pJob = m_pReceivingJob;
  if (pJob == nullptr) {
    PublishJobStatus(this);
    return -1;
  }
  if (pJob->ucFillInSlot != 0) {
    const bool bFillB = pJob->slotColorB.usFillIn != 0;
    ImageSlot& fillIn = bFillB ? pJob->slotColorB : pJob->slotColorA;
    const ImageSlot& real = bFillB ? pJob->slotColorA : pJob->slotColorB;
    // A job without a colour picture of its own keeps the fill-in's size.
    if (real.pParams != nullptr) fillIn.printParams = real.printParams;
  }
  pJob->usComplete = 1;
  pJob->ulCompletionTick = g_UsTimer.NowUs();
  m_pReceivingJob = nullptr;
  ++m_usReadyCount;
  PublishJobStatus(this);
  return 0;
}

int32_t CPrintJobQueue::AreAllSlotsReceived(const PrintJobRecord* pJob, uint32_t* pulFlag) const {
  *pulFlag = pJob->ucCompleteIndex == pJob->ucSlotCount ? 1 : 0;
  return 0;
}

int32_t CPrintJobQueue::EqualiseSlotLengths(PrintJobRecord* pJob) {
  const uint32_t ulLongest = LongestLength(pJob);
  for (ImageSlot* pSlot : SlotsOf(pJob)) {
    if (pSlot->ucOwnsBuffer == 0) continue;
    PrintSizeRecord& params = pSlot->printParams;
    const uint32_t ulMore = ulLongest - params.ulPrintLength;
    for (uint32_t& ulRear : params.aulRearDummyLines) ulRear += ulMore;
    params.ulColourTailLines += ulMore;
    params.ulOvercoatTailLines += ulMore;
  }
  return 0;
}

int32_t CPrintJobQueue::SetDefaultCuts(PrintJobRecord* pJob) {
  if (pJob->ucDefaultCuts == 0) return 0;
  const uint32_t ulLongest = LongestLength(pJob);
  // A picture too short for two cuts keeps the cuts it has.
  if (ulLongest < 2 * DEFAULT_CUT_MARGIN) return 0;
  if (g_pPrintSizeTable != nullptr && ulLongest == g_pPrintSizeTable->ulPrintLength) return 0;
  pJob->ausCutPositions[0] = DEFAULT_CUT_MARGIN;
  pJob->ausCutPositions[1] = static_cast<uint16_t>(ulLongest - DEFAULT_CUT_MARGIN);
  return 0;
}
