// Creating a job: a record from the free list becomes the receiving job at
// the tail of the active list, filled from the host's set-up command or as
// an internal job.
#include <cstring>

#include "firmware/devices/settings.h"
#include "firmware/hostif/usb_cmd_blocks.h"
#include "firmware/printengine/media_config.h"
#include "firmware/printengine/print_job_queue.h"

namespace {

constexpr uint8_t CUT_COUNT_DEFAULT = 255;
constexpr uint32_t RIBBON_STATUS_BOTH_COLOUR = 0;
constexpr uint32_t RIBBON_STATUS_R_ONLY = 3;

// Clears everything but the list link and what the job before left.
void ClearRecord(PrintJobRecord* pJob) {
  PrintJobRecord* const pNext = pJob->pNext;
  const UnitAssignment inherited = pJob->inherited;
  std::memset(static_cast<void*>(pJob), 0, sizeof(*pJob));
  pJob->pNext = pNext;
  pJob->inherited = inherited;
}

// "Ribbon Status" decides the units when only one unit can print: R alone
// prints on R, any other combination but two colour ribbons on L.
void UnitRequestsByRibbon(PrintJobRecord* pJob, uint32_t ulUnitA, uint32_t ulUnitB) {
  const int32_t lRibbonStatus = SettingValue(g_ParamRibbonStatus);
  if (lRibbonStatus == RIBBON_STATUS_BOTH_COLOUR) {
    pJob->request.ulUnitA = ulUnitA;
    pJob->request.ulUnitB = ulUnitB;
  } else {
    const uint32_t ulUnit = lRibbonStatus == RIBBON_STATUS_R_ONLY ? UNIT_R : UNIT_L;
    pJob->request.ulUnitA = ulUnit;
    pJob->request.ulUnitB = ulUnit;
  }
}

// Without the one-sided flag a job prints a colour picture on both sides:
// the missing one is a blank fill-in.
void DecideFillIn(PrintJobRecord* pJob) {
  const uint8_t ucMask = pJob->ucImageMask;
  uint8_t ucExpected = ucMask & SLOT_CODES;
  if ((ucMask & IMAGE_MASK_ONE_SIDED) == 0 && (ucExpected & SLOT_COLORS) != SLOT_COLORS) {
    const bool bFillB = (ucExpected & SLOT_COLOR_A) != 0;
    pJob->ucFillInSlot = bFillB ? SLOT_COLOR_B : SLOT_COLOR_A;
    (bFillB ? pJob->slotColorB : pJob->slotColorA).usFillIn = 1;
    ucExpected |= pJob->ucFillInSlot;
  }
  pJob->ucExpectedMask = ucExpected;
  pJob->ucPendingMask = ucExpected;
}

void SetCuts(PrintJobRecord* pJob, uint32_t ulCount, const uint16_t* pusPositions) {
  pJob->ucCutCount = static_cast<uint8_t>(ulCount);
  for (uint32_t i = 0; i < ulCount; ++i) pJob->ausCutPositions[i] = pusPositions[i];
}

// The first two cuts of a full-size record (none without a selection).
void SetDefaultCutsOf(PrintJobRecord* pJob, const PrintSizeRecord* pFull) {
  const uint16_t ausCuts[2] = {
      static_cast<uint16_t>(pFull != nullptr ? pFull->aulCutPositions[0] : 0),
      static_cast<uint16_t>(pFull != nullptr ? pFull->aulCutPositions[1] : 0)};
  SetCuts(pJob, 2, ausCuts);
  pJob->ucDefaultCuts = 1;
}

}  // namespace

int32_t CPrintJobQueue::CreateJob(uint32_t ulKind, uint32_t ulSideMode, uint32_t ulCopies) {
  PrintJobRecord* const pJob = m_pFreeHead;
  if (m_pReceivingJob != nullptr || pJob == nullptr) {
    PublishJobStatus(this);
    return -1;
  }
  ClearRecord(pJob);
  pJob->usJobKind = static_cast<uint16_t>(ulKind);
  if (ulKind == 0) {
    FillHostJob(pJob);
  } else {
    FillInternalJob(pJob, ulSideMode, ulCopies);
  }
  m_pFreeHead = pJob->pNext;
  AppendToList(&m_pActiveHead, pJob);
  ++m_usActiveCount;
  m_pReceivingJob = pJob;
  PublishJobStatus(this);
  return 0;
}

void CPrintJobQueue::FillHostJob(PrintJobRecord* pJob) {
  SetupPrintJobBlock* pBlock = nullptr;
  usb_comm_get_setup_print_job_block(&pBlock);
  PrintSizeRecord* pFull = nullptr;
  g_MediaConfig.GetPrintSizeRecord(&pFull);

  pJob->ulJobId = NextJobId();
  pBlock->ucJobId = static_cast<uint8_t>(pJob->ulJobId & 0xFFu);
  pJob->usCopies = pBlock->usCopies;
  pJob->usCopiesLeft = pBlock->usCopies;
  pJob->ucFirstSideCommand = pBlock->ucFirstUnitSelection;
  pJob->ucPrintModeCommand = pBlock->ucPrintMode;
  pJob->ucImageMask = pBlock->ucUnitRequest;
  DecideFillIn(pJob);

  const uint8_t ucOptions = pBlock->ucFinishOptions;
  pJob->request.ulFirstSide = ucOptions & 3u;
  UnitRequestsByRibbon(pJob, (ucOptions >> 2) & 3u, (ucOptions >> 4) & 3u);
  ResolveUnitAssignment(pJob);
  pBlock->aucAssignment[0] = static_cast<uint8_t>(pJob->resolved.ulFirstSide);
  pBlock->aucAssignment[1] = static_cast<uint8_t>(pJob->resolved.ulUnitA << 4);
  pBlock->aucAssignment[2] = static_cast<uint8_t>(pJob->resolved.ulUnitB << 4);
  SetCopyAssignments(pJob);
  ApplyUnitAssignment(pJob);
  SetExpectedSlots(pJob);

  pJob->usCutOffset1 = pBlock->usCutOffset1;
  pJob->usCutOffset2 = pBlock->usCutOffset2;
  if (pBlock->ucCutCount == CUT_COUNT_DEFAULT) {
    SetDefaultCutsOf(pJob, pFull);
  } else {
    // The job holds ten cuts at most, whatever the count says.
    const uint32_t ulCount = pBlock->ucCutCount < JOB_CUT_POSITIONS ? pBlock->ucCutCount : JOB_CUT_POSITIONS;
    SetCuts(pJob, ulCount, pBlock->ausCutPositions);
  }
  const uint16_t usRaise = static_cast<uint16_t>(pJob->usCutOffset1 + pJob->usCutOffset2);
  for (uint32_t i = 1; i < pJob->ucCutCount; ++i) pJob->ausCutPositions[i] = static_cast<uint16_t>(pJob->ausCutPositions[i] + usRaise);
}

void CPrintJobQueue::FillInternalJob(PrintJobRecord* pJob, uint32_t ulSideMode, uint32_t ulCopies) {
  pJob->ulJobId = NextJobId();
  pJob->usCopies = static_cast<uint16_t>(ulCopies);
  pJob->usCopiesLeft = static_cast<uint16_t>(ulCopies);
  pJob->ucExpectedMask = ulSideMode == 1 ? SLOT_COLOR_B : SLOT_COLORS;
  pJob->ucPendingMask = pJob->ucExpectedMask;
  UnitRequestsByRibbon(pJob, 0, 0);
  ResolveUnitAssignment(pJob);
  SetCopyAssignments(pJob);
  ApplyUnitAssignment(pJob);
  SetExpectedSlots(pJob);
  SetDefaultCutsOf(pJob, g_pPrintSizeTable);
}

// The slot order, of the expected slots only: the first side's colour
// picture, then (when expected) the blank fill-in of the other side, which
// is attached as soon as the colour picture is in, then the first side's
// SP picture, the other side's colour picture and SP picture. With the
// first side undecided the side with a picture of its own comes first.
void CPrintJobQueue::SetExpectedSlots(PrintJobRecord* pJob) {
  const uint32_t ulFirst = FirstSideOf(pJob);
  const bool bSideBFirst = ulFirst == SIDE_B || (ulFirst != SIDE_A && pJob->ucFillInSlot == SLOT_COLOR_A);
  const uint32_t ulFirstIndex = bSideBFirst ? 1 : 0;
  const uint32_t ulSecondIndex = 1 - ulFirstIndex;
  const uint8_t ucSecondColor = SlotCode(ulSecondIndex, 0);
  const bool bFillInSecond = pJob->ucFillInSlot == ucSecondColor;
  uint8_t aucCandidates[5] = {};
  uint32_t n = 0;
  aucCandidates[n++] = SlotCode(ulFirstIndex, 0);
  if (bFillInSecond) aucCandidates[n++] = ucSecondColor;
  aucCandidates[n++] = SlotCode(ulFirstIndex, 1);
  if (!bFillInSecond) aucCandidates[n++] = ucSecondColor;
  aucCandidates[n++] = SlotCode(ulSecondIndex, 1);

  pJob->ucSlotCount = 0;
  for (uint32_t i = 0; i < n; ++i) {
    const uint8_t ucCode = aucCandidates[i];
    if ((pJob->ucExpectedMask & ucCode) == 0) continue;
    pJob->aucSlotOrder[pJob->ucSlotCount++] = ucCode;
    ImageSlot* pSlot = nullptr;
    GetImageSlot(pJob, ucCode, &pSlot);
    pSlot->usSlotState = SLOT_EXPECTED;
  }
}
