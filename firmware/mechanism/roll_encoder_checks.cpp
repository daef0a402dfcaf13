#include "firmware/mechanism/roll_encoder_checks.h"

#include "firmware/control/engine_variant.h"
#include "firmware/control/error_manager.h"
#include "firmware/control/event_set.h"
#include "firmware/devices/encoder_count.h"
#include "firmware/devices/machine_actuators.h"
#include "firmware/devices/paper_position.h"
#include "firmware/devices/ramp_table.h"
#include "firmware/devices/ramps.h"
#include "firmware/devices/slit.h"
#include "firmware/devices/stepper.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/hal/kernel.h"
#include "firmware/mechanism/donor_mng.h"
#include "firmware/mechanism/sensor_feeds.h"
#include "firmware/mechanism/step_machine.h"
#include "firmware/platform/time_base.h"
#include "firmware/printengine/cis.h"
#include "firmware/printengine/print_geometry.h"
#include "firmware/printengine/print_support.h"
#include "firmware/printengine/roll_diameter.h"

uint32_t g_ulRollEndDetected;
uint32_t g_ulLoadFeedLength;

namespace {

constexpr uint32_t kCountsPerTurn = 36;
constexpr uint32_t kDefaultEdge = 80;
constexpr uint32_t kCheckLimitMs = 10000, kStillLimitMs = 100, kLiteLimitMs = 5000, kLiteSettleMs = 50;
constexpr uint32_t kRampTimeParam = 3;
constexpr uint32_t kSubDirectionCheck = 0, kSubDirectionLite = 1, kHalfStepMode = 2;

// The steps of the two checks.
constexpr uint32_t kStepStart = 0, kStepRamp = 5, kStepTime = 10, kStepPoll = 100, kStepMoved = 1000,
                   kStepStill = 2000, kStepStillStart = 2100, kStepStillLong = 2200, kStepStood = 2300,
                   kStepEdges = 2400, kStepTurnedOn = 3000, kStepStopWait = 9993, kStepFinish = 9995;

// FeedToRollEdge's steps.
constexpr uint32_t kEdgeCheck = 1000, kEdgeStart = 2020, kEdgePass = 2023, kEdgeLimit = 2024, kEdgeTurning = 2025,
                   kEdgeTurned = 2026, kEdgeTurnPass = 2027, kEdgeTurnLimit = 2028, kEdgeTurnCount = 2030,
                   kEdgeMeasured = 2040, kEdgeHalt = 2045, kEdgeJam = 2050, kEdgeDiameter = 3000;
constexpr uint32_t kEdgeStepLimit = 12000;
constexpr uint32_t kEdgeLine = 65536;
constexpr uint32_t kFullCountdown = 0xFFFFFFFFu;

// MeasureRibbonVsPaper's targets.
constexpr uint32_t kTakeUpCounts = 420, kSupplyCounts = 72;

// The tracking point of a pair, from the engine's first reference.
constexpr uint32_t kBladeLine = 69663, kPairOffset = 1157;
constexpr uint32_t kPushFirst = 0, kPushShift = 1, kPushAll = 2;

uint32_t RollCount() {
  uint32_t ulCount = 0;
  g_SlitRollEnc.ReadCount(&ulCount);
  return ulCount;
}

uint32_t MainCountdown() {
  uint32_t ulCountdown = 0;
  g_StpmtrMain.GetCountdown(&ulCountdown);
  return ulCountdown;
}

uint32_t RampTimeMs(const CRampTable& ramp) {
  uint32_t ulMs = 0;
  ramp.GetParam(kRampTimeParam, &ulMs);
  return ulMs;
}

// The end of both checks: the sub stepper decelerated and stopped; a stepper
// that does not report its stop within the bound is stopped outright.
struct SubStop {
  uint32_t ulRequestMs = 0;
  uint32_t Request() {
    g_StpmtrSub.RequestDecel();
    ulRequestMs = g_MsTimer.NowMs();
    return kStepStopWait;
  }
  uint32_t Wait(const char* pszCheck) const {
    int32_t lState = STPMTR_IDLE;
    g_StpmtrSub.GetState(&lState);
    if (lState == STPMTR_STOPPED) return kStepFinish;
    if (g_MsTimer.NowMs() - ulRequestMs <= ROLL_CHECK_STOP_WAIT_MS) return kStepStopWait;
    g_StpmtrSub.Stop();
    syslog(LOG_EMERG, "[%s] sub stepper not stopped after %d ms: stopped", pszCheck, ROLL_CHECK_STOP_WAIT_MS);
    return kStepFinish;
  }
};

// Step 2400: the edges by the CIS mode; a failure sets the error flag and
// raises the sensor error, the step's result stays.
void MeasureEdges(uint32_t ulCisMode, uint32_t& ulPaperEdge, uint32_t& ulImageEdge, int32_t* plError) {
  bool bFailed = false;
  if (ulCisMode == ROLL_CHECK_PAPER_EDGE) {
    uint32_t ulEdge = 0;
    bFailed = g_Cis.DetectPaperEdge(&ulEdge) == -1;
    if (!bFailed) ulPaperEdge = ulEdge;
  } else {
    uint32_t ulPaper = 0, ulImage = 0;
    const int32_t lResult = g_Cis.DetectPaperImageEdge(&ulPaper, &ulImage);
    bFailed = lResult == -1 || lResult == -3;
    if (!bFailed) {
      ulPaperEdge = ulPaper;
      ulImageEdge = ulImage;
    }
  }
  if (!bFailed) return;
  if (plError != nullptr) *plError = -1;
  g_ErrorMng.SetError(ROLL_CHECK_CIS_ERROR_INDEX);
}

uint32_t OtherSide() { return g_ulCurrentUnit == 0 ? 1u : 0u; }
uint32_t CurrentSide() { return g_ulCurrentUnit == 0 ? 0u : 1u; }

}  // namespace

void RebuildFeedMatchedRamps(uint32_t ulMask) {
  BuildFeedMatchedRamp(g_Ramp28, g_Ramp30, 1, 2, ulMask);
  BuildFeedMatchedRamp(g_Ramp22, g_Ramp29, 1, 1, ulMask);
  BuildFeedMatchedRamp(g_Ramp18, g_Ramp31, 1, 1, ulMask);
  BuildFeedMatchedRamp(g_Ramp20, g_Ramp32, 1, 1, ulMask);
}

int32_t RollEncoderFeedCheck(uint32_t* pulRollEnd, uint32_t ulCisMode, uint32_t* pulPaperEdge,
                             uint32_t* pulImageEdge, int32_t* plError, uint32_t ulMask) {
  uint32_t ulPaperEdge = kDefaultEdge, ulImageEdge = kDefaultEdge;
  if (plError != nullptr) *plError = 0;
  uint32_t ulRollEnd = 0, ulLast = 0, ulStartMs = 0, ulStillMs = 0;
  bool bStillTiming = false, bDecided = false;
  SubStop stop;
  const int32_t lResult = RunStepsTo(kStepStart, SEQ_STEP_END, kStepFinish, ulMask, [&](SeqStepState& s) -> uint32_t {
    switch (s.ulStep) {
      case kStepStart:
        ulStartMs = g_MsTimer.NowMs();
        ulLast = RollCount();
        s.lResult = RunAlongRamp(g_StpmtrSub, &g_Ramp20, kSubDirectionCheck, kHalfStepMode);
        return kStepRamp;
      case kStepRamp: s.lResult = SeqWaitMs(RampTimeMs(g_Ramp20), ulMask); return kStepTime;
      case kStepTime: return g_MsTimer.NowMs() - ulStartMs > kCheckLimitMs ? kStepTurnedOn : kStepPoll;
      case kStepPoll: return RollCount() != ulLast ? kStepMoved : kStepStill;
      case kStepMoved:
        ulLast = RollCount();
        bStillTiming = false;
        return kStepTime;
      case kStepStill: return bStillTiming ? kStepStillLong : kStepStillStart;
      case kStepStillStart:
        ulStillMs = g_MsTimer.NowMs();
        bStillTiming = true;
        return kStepTime;
      case kStepStillLong: return g_MsTimer.NowMs() - ulStillMs > kStillLimitMs ? kStepStood : kStepTime;
      case kStepStood:
        ulRollEnd = 0;
        bDecided = true;
        return ulCisMode == ROLL_CHECK_NO_CIS ? SEQ_STEP_END : kStepEdges;
      case kStepEdges: MeasureEdges(ulCisMode, ulPaperEdge, ulImageEdge, plError); return SEQ_STEP_END;
      case kStepTurnedOn:
        ulRollEnd = 1;
        bDecided = true;
        return SEQ_STEP_END;
      case SEQ_STEP_END: return stop.Request();
      case kStepStopWait: return stop.Wait("RollEncoderFeedCheck");
      case kStepFinish:
        // A check that never reached its decision leaves the latch alone:
        // the caller's word is no decision.
        if (bDecided && (g_ulRollEndDetected == 0 || g_ulRollEndArmed == 0)) g_ulRollEndDetected = ulRollEnd;
        if (g_ulRollEndDetected != 0) g_pCurEventMng->SetEvent(EV_PAPER_END);
        *pulRollEnd = bDecided ? ulRollEnd : 0;
        return kStepFinish;
      default: s.lResult = -1; return SEQ_STEP_END;
    }
  });
  if (pulPaperEdge != nullptr) *pulPaperEdge = ulPaperEdge;
  if (pulImageEdge != nullptr) *pulImageEdge = ulImageEdge;
  return lResult;
}

int32_t RollEncoderFeedCheckLite(uint32_t ulTurns, uint32_t ulMask) {
  const uint32_t ulCounts = ulTurns * kCountsPerTurn;
  uint32_t ulStartMs = 0, ulC0 = 0;
  SubStop stop;
  return RunStepsTo(kStepStart, SEQ_STEP_END, kStepFinish, ulMask, [&](SeqStepState& s) -> uint32_t {
    switch (s.ulStep) {
      case kStepStart:
        ulStartMs = g_MsTimer.NowMs();
        ulC0 = RollCount();
        s.lResult = RunAlongRamp(g_StpmtrSub, &g_Ramp20, kSubDirectionLite, kHalfStepMode);
        return kStepRamp;
      case kStepRamp: s.lResult = SeqWaitMs(RampTimeMs(g_Ramp20), ulMask); return kStepTime;
      case kStepTime: return g_MsTimer.NowMs() - ulStartMs > kLiteLimitMs ? SEQ_STEP_END : kStepPoll;
      case kStepPoll:
        // Modulo 2^16: the counter wraps under a long check.
        return EncoderDistance(ulC0, RollCount()) >= static_cast<int32_t>(ulCounts) ? SEQ_STEP_END : kStepTime;
      case SEQ_STEP_END: return stop.Request();
      case kStepStopWait: return stop.Wait("RollEncoderFeedCheckLite");
      case kStepFinish: SeqWaitMs(kLiteSettleMs, ulMask); return kStepFinish;
      default: s.lResult = -1; return SEQ_STEP_END;
    }
  });
}

int32_t FeedToRollEdge(uint32_t ulMask, uint32_t* pulOffset) {
  uint32_t ulRollEnd = 0, ulC0 = 0, ulD1 = 0;
  const uint32_t ulStartCountdown = kFullCountdown;
  const auto stepsRun = [&] { return ulStartCountdown - MainCountdown(); };
  return RunSteps(kEdgeCheck, SEQ_STEP_ERROR, ulMask, [&](SeqStepState& s) -> uint32_t {
    switch (s.ulStep) {
      case kEdgeCheck:
        s.lResult = RollEncoderFeedCheck(&ulRollEnd, ROLL_CHECK_NO_CIS, nullptr, nullptr, nullptr, ulMask);
        g_ulLoadFeedLength = 0;
        return ulRollEnd == 1 ? kEdgeDiameter : kEdgeStart;
      case kEdgeStart:
        g_StpmtrMain.SetCountdown(kFullCountdown);
        g_SlitRollEnc.Clear();
        g_SlitRollEnc.Start();
        ulC0 = RollCount();
        s.lResult = RunAlongRamp(g_StpmtrMain, &g_Ramp28, 0, kHalfStepMode);
        return kEdgePass;
      case kEdgePass: return kEdgeLimit;
      case kEdgeLimit: return stepsRun() > kEdgeStepLimit ? kEdgeJam : kEdgeTurning;
      case kEdgeTurning: {
        const uint32_t ulCount = RollCount();
        ulD1 = MainCountdown();
        if (EncoderDistance(ulC0, ulCount) <= 2) return kEdgePass;
        ulC0 = ulCount;
        return kEdgeTurned;
      }
      case kEdgeTurned: return kEdgeTurnPass;
      case kEdgeTurnPass: return kEdgeTurnLimit;
      case kEdgeTurnLimit: return stepsRun() > kEdgeStepLimit ? kEdgeJam : kEdgeTurnCount;
      case kEdgeTurnCount:
        return EncoderDistance(ulC0, RollCount()) > static_cast<int32_t>(kCountsPerTurn - 1) ? kEdgeMeasured
                                                                                              : kEdgeTurnPass;
      case kEdgeMeasured: {
        const uint32_t ulD2 = MainCountdown();
        g_ulLoadFeedLength = ulD1 - ulD2;
        *pulOffset = ulStartCountdown - ulD2;
        return kEdgeHalt;
      }
      case kEdgeHalt:
        g_StpmtrMain.Halt();
        g_PaperPosition.SetCurrentPointOffset(kEdgeLine, static_cast<int32_t>(*pulOffset));
        return kEdgeDiameter;
      case kEdgeJam:
        g_StpmtrMain.Halt();
        ulRollEnd = 1;
        g_ErrorMng.SetError(g_ulCurErrUpperJam65);
        s.lResult = -1;
        return SEQ_STEP_ERROR;
      case kEdgeDiameter:
        if (ulRollEnd == 0) {
          g_RollDiameter.SetFromSteps(g_ulLoadFeedLength);
        } else {
          g_RollDiameter.SetDiameter(CRollDiameter::kFullDiameterMm);
        }
        RebuildFeedMatchedRamps(ulMask);
        return SEQ_STEP_END;
      case SEQ_STEP_ERROR:
        g_StpmtrMain.Halt();
        s.lResult = -1;
        return SEQ_STEP_END;
      case SEQ_STEP_END: return SEQ_STEP_END;
      default: s.lResult = -1; return SEQ_STEP_END;
    }
  });
}

int32_t MeasureRibbonVsPaper(uint32_t* pulSupplyTravel, uint32_t* pulTakeUpTravel, uint32_t ulMask) {
  uint32_t ulD0 = 0, ulTakeUpDone = 0, ulSupplyDone = 0;
  bool bTakeUpReached = false, bSupplyReached = false;
  return RunSteps(0, SEQ_STEP_END, ulMask, [&](SeqStepState& s) -> uint32_t {
    switch (s.ulStep) {
      case 0:
        s.lResult = g_pDonorMng->SetTakeUpTarget(kTakeUpCounts);
        if (s.lResult == 0) s.lResult = g_pDonorMng->SetTarget(kSupplyCounts);
        ulD0 = MainCountdown();
        return 1;
      case 1: return bTakeUpReached ? 4 : 2;
      case 2:
        s.lResult = g_pDonorMng->IsAtTakeUpTarget(1, &ulTakeUpDone);
        return ulTakeUpDone != 0 ? 3 : 4;
      case 3:
        bTakeUpReached = true;
        *pulTakeUpTravel = ulD0 - MainCountdown();
        return 4;
      case 4: return bSupplyReached ? 7 : 5;
      case 5:
        s.lResult = g_pDonorMng->IsAtTarget(1, &ulSupplyDone);
        return ulSupplyDone != 0 ? 6 : 7;
      case 6:
        bSupplyReached = true;
        *pulSupplyTravel = ulD0 - MainCountdown();
        return 7;
      case 7: return bTakeUpReached && bSupplyReached ? SEQ_STEP_END : 1;
      case SEQ_STEP_END: return SEQ_STEP_END;
      default: s.lResult = -1; return SEQ_STEP_END;
    }
  });
}

int32_t ResetTrackingPoints() {
  int32_t lResult = g_TrackCorrect.PushLength(0, 0, kPushAll);
  if (lResult == 0) lResult = g_TrackCorrect.PushLength(1, 0, kPushAll);
  if (lResult == 0) lResult = g_TrackCorrect.ClearActive();
  return lResult;
}

int32_t SetTrackingPointPair(uint32_t ulFedLines) {
  const uint32_t ulValue = kBladeLine - g_ulEngPosRefA + kPairOffset;
  uint32_t ulActive = 0;
  int32_t lResult = g_TrackCorrect.IsActive(&ulActive);
  const uint32_t ulMode = ulActive != 0 ? kPushShift : kPushFirst;
  if (lResult == 0) lResult = g_TrackCorrect.ConsumeLength(OtherSide(), ulFedLines);
  if (lResult == 0) lResult = g_TrackCorrect.PushLength(OtherSide(), ulValue, ulMode);
  if (lResult == 0) lResult = g_TrackCorrect.ConsumeLength(CurrentSide(), ulFedLines);
  if (lResult == 0) lResult = g_TrackCorrect.ClearActive();
  return lResult;
}

int32_t SetTrackingPoint(uint32_t ulLines) {
  int32_t lResult = g_TrackCorrect.PushLength(OtherSide(), ulLines, kPushFirst);
  if (lResult == 0) lResult = g_TrackCorrect.ClearActive();
  return lResult;
}

int32_t RaiseTrackingPoint(uint32_t ulLines) {
  uint32_t ulActive = 0;
  int32_t lResult = g_TrackCorrect.IsActive(&ulActive);
  if (lResult != 0) return lResult;
  if (ulActive != 0) {
    lResult = g_TrackCorrect.PushLength(OtherSide(), ulLines, kPushShift);
    if (lResult == 0) lResult = g_TrackCorrect.ClearActive();
    return lResult;
  }
  uint32_t aulLengths[3] = {};
  lResult = g_TrackCorrect.GetLengths(OtherSide(), aulLengths);
  if (lResult == 0 && ulLines > aulLengths[0]) lResult = g_TrackCorrect.PushLength(OtherSide(), ulLines, kPushFirst);
  return lResult;
}
