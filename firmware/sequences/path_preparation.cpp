// The path preparation before a job and its event action. Both engine
// variants bring the paper to the top sensor of the unit that prints the
// job's first row and then on to the start position; they differ in the
// way to the top sensor (EM2 backs the paper off it, EM3 feeds up to it)
// and in the order of the feed pinch's closing and the settling wait.
#include "firmware/sequences/path_preparation.h"

#include "firmware/control/engine_variant.h"
#include "firmware/control/event_set.h"
#include "firmware/devices/paper_position.h"
#include "firmware/devices/sensors.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/mechanism/donor_mng.h"
#include "firmware/mechanism/step_machine.h"
#include "firmware/platform/time_base.h"
#include "firmware/printengine/print_conditioning.h"
#include "firmware/printengine/print_job_queue.h"
#include "firmware/printengine/print_sequence_support.h"
#include "firmware/sequences/event_actions.h"
#include "firmware/sequences/path_change.h"
#include "firmware/sequences/path_moves.h"
#include "firmware/sequences/sequence_words.h"

namespace {

constexpr uint32_t kTop = 0x10000;
constexpr uint32_t kStart = 67133;
constexpr uint32_t kMargin = 120;
constexpr uint32_t kHalt = 1;
constexpr uint32_t kUp = 1, kDown = 10;
constexpr uint32_t kLockEngage = 5;
constexpr uint32_t kFirstRow = 0;
constexpr uint32_t kIdleChange = 1;

// What the engine variants do differently.
struct PrepareVariant {
  // The feed at the top sensor: direction, wanted state, extra checks.
  uint32_t ulTopDirection;
  uint32_t ulTopState;
  uint32_t ulTopMaskExtra;
  // EM2 opens the feed pinch before that feed.
  bool bFeedPinchUpFirst;
  // Step 60 and 70: the feed pinch closed, then a settling wait (EM2), or
  // a settling wait after a path change, then the feed pinch closed (EM3).
  bool bFeedPinchBeforeWait;
  uint32_t ulSettleMs;
};

constexpr PrepareVariant kEm2 = {1, 0, 0, true, true, 100};
constexpr PrepareVariant kEm3 = {0, 1, SEQ_CHECK_PAPER_END, false, false, 200};

// The lines between two points of the paper path.
uint32_t Distance(uint32_t ulA, uint32_t ulB) { return ulA > ulB ? ulA - ulB : ulB - ulA; }

int32_t BuildFirstCopyOrder(PrintJobRecord* pJob) {
  uint32_t ulPrinted = 0, ulFirstSide = 0, ulUnitA = 0, ulUnitB = 0;
  int32_t lResult = g_PrintJobQueue.GetPrintedCount(pJob, &ulPrinted);
  if (lResult == 0) lResult = g_PrintJobQueue.GetCopyAssignment(pJob, ulPrinted + 1, &ulFirstSide, &ulUnitA, &ulUnitB);
  if (lResult == 0) lResult = g_PrintJobQueue.BuildPrintOrder(pJob, ulFirstSide, ulUnitA, ulUnitB);
  return lResult;
}

int32_t PreparePathSequence(const PrepareVariant& v, uint32_t ulMask) {
  g_PaperPosition.Reset(0);
  g_ulPreheatWaited = 0;
  PrintJobRecord* pJob = nullptr;
  if (const int32_t lJob = g_PrintJobQueue.GetCurrentJob(&pJob); lJob != 0 || pJob == nullptr) {
    return lJob != 0 ? lJob : -1;
  }
  pJob->ucPrinting = 1;
  g_ulPathPrepTime = g_MsTimer.NowMs();
  const PathMoves& m = *g_pPathMoves;
  uint32_t ulChanged = 0;
  return RunSteps(0, SEQ_STEP_ERROR, ulMask, [&](SeqStepState& s) -> uint32_t {
    if (const uint32_t ulNext = StartPositionStep(s, {75, 80, 90, SEQ_STEP_END},
                                                  Distance(kStart, g_ulEngPosRefB) + kMargin, g_ulCurErrUpperJam61,
                                                  ulMask);
        ulNext != 0) {
      return ulNext;
    }
    switch (s.ulStep) {
      case 0:
        s.lResult = m.pfnMoveRotationLock(kLockEngage, ulMask);
        return 1;
      case 1:
        s.lResult = m.pfnMoveEjectPinch(kUp, ulMask);
        return 5;
      case 5:
        s.lResult = BuildFirstCopyOrder(pJob);
        if (s.lResult == 0) s.lResult = ChangePathIfNeeded(kFirstRow, kIdleChange, &ulChanged, ulMask);
        return 10;
      case 10:
        s.lResult = RecordPrintUnit();
        return 15;
      case 15:
        s.lResult = m.pfnPreheatWait(ulMask, 0);
        if (s.lResult == 0) g_ulPreheatWaited = 1;
        return ulChanged != 0 ? 60u : 30u;
      case 30:
        s.lResult = m.pfnMoveMainPinch(kDown, ulMask);
        return v.bFeedPinchUpFirst ? 40u : 50u;
      case 40:
        s.lResult = m.pfnMoveFeedPinch(kUp, ulMask);
        return 50;
      case 50:
        s.lResult = m.pfnFeedToSensor(g_pCurAdTop, v.ulTopDirection, v.ulTopState,
                                      Distance(g_ulEngPosRefB, kTop) + kMargin, g_ulCurErrUpperJam60, kHalt, 0,
                                      ulMask | v.ulTopMaskExtra);
        if (s.lResult == 0) s.lResult = g_PaperPosition.SetCurrentPoint(kTop);
        return v.bFeedPinchBeforeWait ? 60u : 70u;
      case 60:
        if (v.bFeedPinchBeforeWait) {
          s.lResult = m.pfnMoveFeedPinch(kDown, ulMask);
        } else {
          s.lResult = SeqWaitMs(v.ulSettleMs, ulMask);
        }
        return 70;
      case 70:
        if (v.bFeedPinchBeforeWait) {
          s.lResult = SeqWaitMs(v.ulSettleMs, ulMask);
        } else {
          s.lResult = m.pfnMoveFeedPinch(kDown, ulMask);
        }
        return 75;
      case SEQ_STEP_ERROR:
        return SEQ_STEP_END;
      case SEQ_STEP_END:
        g_pDonorMng->StopRibbon(1, 1);
        return SEQ_STEP_END;
      default:
        s.lResult = -1;
        return SEQ_STEP_ERROR;
    }
  });
}

}  // namespace

int32_t PreparePathSequence_EM2(uint32_t ulMask) { return PreparePathSequence(kEm2, ulMask); }
int32_t PreparePathSequence_EM3(uint32_t ulMask) { return PreparePathSequence(kEm3, ulMask); }

int32_t PreparePathAction() {
  const int32_t lResult = g_pfnPreparePath(SEQ_CHECK_HOST | SEQ_CHECK_COVERS);
  if (lResult != 0) {
    MechaAllOff();
    RestoreMechaHome();
    g_PrintJobQueue.ClearPrintingFlags();
  }
  g_pCurEventMng->ClearEvent(EV_PREPARE_JOB);
  return lResult;
}
