#include "firmware/sequences/roll_edge.h"

#include "firmware/control/error_manager.h"
#include "firmware/devices/encoder_count.h"
#include "firmware/devices/machine_actuators.h"
#include "firmware/devices/ramps.h"
#include "firmware/devices/sensors.h"
#include "firmware/devices/stepper.h"
#include "firmware/mechanism/roll_encoder_checks.h"
#include "firmware/mechanism/sensor_feeds.h"
#include "firmware/mechanism/step_machine.h"
#include "firmware/mechanism/unit_moves.h"
#include "firmware/platform/time_base.h"
#include "firmware/sequences/sequence_words.h"

uint32_t g_ulRollEdgeThresh1;
uint32_t g_ulRollEdgeThresh2;
uint32_t g_ulRollEncSpanQuarter;
uint32_t g_ulRollEncSpan;
uint32_t g_ulRollEncSpanDouble;
uint32_t g_ulRollEncSpanLong;

namespace {

constexpr uint32_t kAllOnes = 0xFFFFFFFFu;
constexpr uint32_t kLongSpanExtra = 9;
constexpr double kStepsPerTurnExact = 6262.31;
constexpr uint32_t kLoadBarDown = 2;
constexpr uint32_t kSubForward = 0;
constexpr uint32_t kHalfStep = 2, kQuarterStep = 3;
constexpr uint32_t kHighCheckMs = 500;
constexpr uint32_t kAlignCounts = 30, kAlignBackCounts = 39, kAlignAttempts = 20, kAlignPauseMs = 50;

int32_t BoardSample(uint32_t* pulRaw) { return g_AdRollEdge.Sample(pulRaw); }
uint32_t BoardEncoder() {
  uint32_t ulCount = 0;
  g_SlitRollEnc.ReadCount(&ulCount);
  return ulCount;
}
uint32_t BoardCountdown() {
  uint32_t ulCountdown = 0;
  g_StpmtrSub.GetCountdown(&ulCountdown);
  return ulCountdown;
}

uint32_t Sample() {
  uint32_t ulRaw = 0;
  g_pRollEdgeInputs->pfnSample(&ulRaw);
  return ulRaw;
}
uint32_t Encoder() { return g_pRollEdgeInputs->pfnEncoderCount(); }
uint32_t StepsRun() { return kAllOnes - g_pRollEdgeInputs->pfnSubCountdown(); }

// The encoder and the step count of one sub-sequence, from its start.
struct RollWatch {
  uint32_t ulStart = 0;
  void Start() {
    ulStart = Encoder();
    g_StpmtrSub.SetCountdown(kAllOnes);
  }
  bool Past(uint32_t ulCounts) const { return EncoderDistance(ulStart, Encoder()) > static_cast<int32_t>(ulCounts); }
};

// A group of samples reduced to its trimmed mean; the lowest mean kept.
struct TrimmedMeans {
  uint32_t ulLowest = ROLL_EDGE_SAMPLE_MAX;
  uint32_t ulSum = 0, ulHigh = 0, ulLow = ROLL_EDGE_SAMPLE_MAX, ulCount = 0;
  void Add(uint32_t ulRaw) {
    ulSum += ulRaw;
    if (ulRaw > ulHigh) ulHigh = ulRaw;
    if (ulRaw < ulLow) ulLow = ulRaw;
    if (++ulCount < ROLL_EDGE_GROUP) return;
    const uint32_t ulMean = (ulSum - ulHigh - ulLow) / (ROLL_EDGE_GROUP - 2);
    if (ulMean < ulLowest) ulLowest = ulMean;
    ulSum = ulHigh = ulCount = 0;
    ulLow = ROLL_EDGE_SAMPLE_MAX;
  }
  // The threshold of the calibration, or false when the roll reads too dark.
  bool Threshold(uint32_t* pulThreshold) const {
    if (ulLowest > ROLL_EDGE_DARKEST_PAPER) return false;
    *pulThreshold = ulLowest + ROLL_EDGE_MARGIN;
    return true;
  }
};

// Counts samples in a row on the wanted side of a threshold.
struct InARow {
  uint32_t ulCount = 0;
  bool Add(bool bWanted) {
    ulCount = bWanted ? ulCount + 1 : 0;
    return ulCount >= ROLL_EDGE_IN_A_ROW;
  }
};

// The sub stepper decelerated and waited for until it reports its stop; a
// stepper that does not within the roll checks' bound is stopped outright.
int32_t DecelerateSub(uint32_t ulMask) {
  g_StpmtrSub.RequestDecel();
  const uint32_t ulStartMs = g_MsTimer.NowMs();
  return RunSteps(0, SEQ_STEP_ERROR, ulMask, [&](SeqStepState& s) -> uint32_t {
    if (s.ulStep != 0) return SEQ_STEP_END;
    int32_t lState = STPMTR_IDLE;
    g_StpmtrSub.GetState(&lState);
    if (lState == STPMTR_STOPPED) return SEQ_STEP_END;
    if (g_MsTimer.NowMs() - ulStartMs <= ROLL_CHECK_STOP_WAIT_MS) return 0;
    g_StpmtrSub.Stop();
    return SEQ_STEP_END;
  });
}

uint32_t Saturated(double dValue) { return dValue >= 4294967295.0 || dValue != dValue ? kAllOnes : static_cast<uint32_t>(dValue); }

uint32_t TimesSaturated(uint32_t ulValue, uint32_t ulFactor) {
  return ulValue > kAllOnes / ulFactor ? kAllOnes : ulValue * ulFactor;
}

}  // namespace

const RollEdgeInputs g_BoardRollEdgeInputs = {BoardSample, BoardEncoder, BoardCountdown};
const RollEdgeInputs* g_pRollEdgeInputs = &g_BoardRollEdgeInputs;

void InitRollEdgeSpans() {
  const uint32_t ulX = static_cast<uint32_t>(100.0 * 36.0 / 21.0 * 1000.0);
  g_ulRollEncSpanQuarter = (ulX >> 2) / 1000;
  g_ulRollEncSpan = ulX / 1000;
  g_ulRollEncSpanDouble = (2 * ulX) / 1000;
  g_ulRollEncSpanLong = g_ulRollEncSpan + kLongSpanExtra;
}

uint32_t RollEdgeLoadBarBudget() {
  const uint32_t ulPerSpan = Saturated(kStepsPerTurnExact / g_ulRollEncSpan * 9.0);
  return 2 * (6 * ROLL_QUARTER_STEPS + 4 * (ROLL_QUARTER_STEPS + ulPerSpan));
}

uint32_t RollFeedBudget(uint32_t ulEncoderLimit, uint32_t ulExcitationMode) {
  const double dSteps = static_cast<double>(ROLL_TURN_STEPS) / g_ulRollEncSpan * ulEncoderLimit;
  uint32_t ulBudget = TimesSaturated(Saturated(dSteps), 2);
  if (ulExcitationMode == 2) ulBudget = TimesSaturated(ulBudget, 2);
  if (ulExcitationMode == 3) ulBudget = TimesSaturated(ulBudget, 4);
  return ulBudget;
}

uint8_t RollEdgeDiagLevel(uint32_t ulThreshold) {
  if (ulThreshold == 0) return 0;
  return static_cast<uint8_t>((ulThreshold - ROLL_EDGE_MARGIN) >> 2);
}

int32_t CalibrateRollEdgeLevel(uint32_t* pulThreshold, uint32_t ulMask) {
  RollWatch watch;
  TrimmedMeans means;
  watch.Start();
  return RunSteps(0, SEQ_STEP_ERROR, ulMask, [&](SeqStepState& s) -> uint32_t {
    switch (s.ulStep) {
      case 0:
        if (watch.Past(g_ulRollEncSpanQuarter)) return 100;
        if (StepsRun() > ROLL_EDGE_CALIBRATE_BUDGET) {
          s.lResult = -1;
          return SEQ_STEP_ERROR;
        }
        means.Add(Sample());
        return 0;
      case 100:
        if (!means.Threshold(pulThreshold)) s.lResult = -1;
        return SEQ_STEP_END;
      case SEQ_STEP_ERROR: return SEQ_STEP_END;
      case SEQ_STEP_END: return SEQ_STEP_END;
      default: s.lResult = -1; return SEQ_STEP_END;
    }
  });
}

int32_t WaitRollEdgeLow(uint32_t ulMask) {
  RollWatch watch;
  InARow low;
  watch.Start();
  return RunSteps(0, SEQ_STEP_ERROR, ulMask, [&](SeqStepState& s) -> uint32_t {
    switch (s.ulStep) {
      case 0:
        if (watch.Past(g_ulRollEncSpan) || StepsRun() > ROLL_EDGE_SEARCH_BUDGET) {
          s.lResult = -1;
          return SEQ_STEP_ERROR;
        }
        return low.Add(Sample() <= g_ulRollEdgeThresh1) ? SEQ_STEP_END : 0u;
      case SEQ_STEP_ERROR: return SEQ_STEP_END;
      case SEQ_STEP_END: return SEQ_STEP_END;
      default: s.lResult = -1; return SEQ_STEP_END;
    }
  });
}

int32_t SearchRollEdge(uint32_t* pulNotFound, uint32_t ulMask) {
  RollWatch watch;
  InARow high;
  watch.Start();
  *pulNotFound = 1;
  return RunSteps(0, SEQ_STEP_ERROR, ulMask, [&](SeqStepState& s) -> uint32_t {
    switch (s.ulStep) {
      case 0:
        if (watch.Past(g_ulRollEncSpan)) return SEQ_STEP_END;
        if (StepsRun() > ROLL_EDGE_SEARCH_BUDGET) {
          s.lResult = -1;
          return SEQ_STEP_ERROR;
        }
        if (!high.Add(Sample() > g_ulRollEdgeThresh1)) return 0;
        *pulNotFound = 0;
        return SEQ_STEP_END;
      case SEQ_STEP_ERROR: return SEQ_STEP_END;
      case SEQ_STEP_END: return SEQ_STEP_END;
      default: s.lResult = -1; return SEQ_STEP_END;
    }
  });
}

int32_t CalibrateRollEdgeAtLoadBar(uint32_t ulMask) {
  RollWatch watch;
  TrimmedMeans means;
  const uint32_t ulBudget = RollEdgeLoadBarBudget();
  const uint32_t ulSampleSpan = g_ulRollEncSpan - g_ulRollEncSpanQuarter;
  watch.Start();
  const auto overBudget = [&] { return StepsRun() > ulBudget; };
  return RunSteps(1000, SEQ_STEP_STOP, ulMask, [&](SeqStepState& s) -> uint32_t {
    switch (s.ulStep) {
      case 1000:
        s.lResult = RunAlongRamp(g_StpmtrSub, &g_Ramp20, kSubForward, kHalfStep);
        return 1100;
      case 1100:
        if (overBudget()) return SEQ_STEP_STOP;
        return watch.Past(g_ulRollEncSpanQuarter) ? 1300u : 1100u;
      case 1300:
        s.lResult = MoveLoadBar(kLoadBarDown, ulMask);
        return 2000;
      case 2000:
        if (overBudget()) return SEQ_STEP_STOP;
        if (watch.Past(ulSampleSpan)) return 6000;
        means.Add(Sample());
        return 2000;
      case 6000:
        return means.Threshold(&g_ulRollEdgeThresh2) ? 7500u : SEQ_STEP_STOP;
      case 7500:
        s.lResult = DecelerateSub(ulMask);
        return 8000;
      case 8000:
        s.lResult = RunAlongRamp(g_StpmtrSub, &g_Ramp26, kSubForward, kQuarterStep);
        return 8100;
      case 8100:
        if (overBudget()) return SEQ_STEP_STOP;
        return watch.Past(g_ulRollEncSpanLong) ? 8300u : 8100u;
      case 8300:
        g_StpmtrSub.Halt();
        return SEQ_STEP_END;
      case SEQ_STEP_STOP:
        DecelerateSub(ulMask);
        s.lResult = -1;
        return SEQ_STEP_END;
      case SEQ_STEP_END: return SEQ_STEP_END;
      default: s.lResult = -1; return SEQ_STEP_END;
    }
  });
}

int32_t FeedRollByEncoder(const CRampTable* pRamp, uint32_t ulEncoderLimit, uint32_t ulDirection,
                          uint32_t ulExcitationMode, uint32_t ulDecelerate, int32_t* plCoastCounts,
                          uint32_t ulErrorIndex, uint32_t ulMask) {
  RollWatch watch;
  const uint32_t ulBudget = RollFeedBudget(ulEncoderLimit, ulExcitationMode);
  uint32_t ulC0 = 0;
  watch.Start();
  return RunStepsTo(100, SEQ_STEP_END, 9995, ulMask, [&](SeqStepState& s) -> uint32_t {
    switch (s.ulStep) {
      case 100:
        s.lResult = RunAlongRamp(g_StpmtrSub, pRamp, ulDirection == 0 ? 1u : 0u, ulExcitationMode);
        return 400;
      case 400:
        if (watch.Past(ulEncoderLimit)) return SEQ_STEP_END;
        return StepsRun() > ulBudget ? SEQ_STEP_ERROR : 400u;
      case SEQ_STEP_ERROR:
        if (ulErrorIndex != 0) g_ErrorMng.SetError(ulErrorIndex);
        s.lResult = -1;
        return SEQ_STEP_END;
      case SEQ_STEP_END:
        ulC0 = Encoder();
        if (ulDecelerate != 0) {
          DecelerateSub(ulMask);
        } else {
          g_StpmtrSub.Halt();
        }
        return 9995;
      case 9995:
        if (plCoastCounts != nullptr) *plCoastCounts = EncoderDistance(ulC0, Encoder());
        return 9995;
      default: s.lResult = -1; return SEQ_STEP_END;
    }
  });
}

int32_t CheckRollEdgeHigh(uint32_t* pulNotFound, uint32_t ulMask) {
  InARow high;
  const uint32_t ulStartMs = g_MsTimer.NowMs();
  *pulNotFound = 1;
  return RunStepsTo(0, SEQ_STEP_ERROR, SEQ_STEP_ERROR, ulMask, [&](SeqStepState& s) -> uint32_t {
    if (s.ulStep != 0) return SEQ_STEP_ERROR;
    if (g_MsTimer.NowMs() - ulStartMs > kHighCheckMs) return SEQ_STEP_ERROR;
    if (!high.Add(Sample() > g_ulRollEdgeThresh2)) return 0;
    *pulNotFound = 0;
    return SEQ_STEP_ERROR;
  });
}

int32_t AlignRollEdge(uint32_t ulMode, uint32_t ulMask) {
  uint32_t ulAttempts = 0, ulNotFound = 1;
  int32_t lCoast = 0;
  return RunStepsTo(1000, 9900, 9900, ulMask, [&](SeqStepState& s) -> uint32_t {
    switch (s.ulStep) {
      case 1000:
        s.lResult = FeedRollByEncoder(&g_Ramp20, kAlignCounts, kSubForward, kQuarterStep, 1, &lCoast, 0, ulMask);
        ++ulAttempts;
        return 2000;
      case 2000:
        s.lResult = CheckRollEdgeHigh(&ulNotFound, ulMask);
        return ulNotFound == 0 ? 9900u : 2100u;
      case 2100:
        if (ulMode == 2 || ulAttempts >= kAlignAttempts) {
          s.lResult = -1;
          return 9900;
        }
        return 3000;
      case 3000: {
        const uint32_t ulBack = kAlignBackCounts + (lCoast > 0 ? static_cast<uint32_t>(lCoast) : 0u);
        s.lResult = FeedRollByEncoder(&g_Ramp26, ulBack, 1, kQuarterStep, 0, nullptr, 0, ulMask);
        if (s.lResult == 0) s.lResult = SeqWaitMs(kAlignPauseMs, ulMask);
        return 1000;
      }
      case 9900: return 9900;
      default: s.lResult = -1; return 9900;
    }
  });
}

int32_t MeasureRollEdgeMax(uint32_t ulMask) {
  RollWatch watch;
  uint32_t ulHighest = 0;
  watch.Start();
  const int32_t lResult = RunSteps(0, SEQ_STEP_ERROR, ulMask, [&](SeqStepState& s) -> uint32_t {
    switch (s.ulStep) {
      case 0: {
        if (watch.Past(g_ulRollEncSpan)) return SEQ_STEP_END;
        if (StepsRun() > ROLL_EDGE_SEARCH_BUDGET) {
          s.lResult = -1;
          return SEQ_STEP_ERROR;
        }
        const uint32_t ulRaw = Sample();
        if (ulRaw > ulHighest) ulHighest = ulRaw;
        return 0;
      }
      case SEQ_STEP_ERROR: return SEQ_STEP_END;
      case SEQ_STEP_END: return SEQ_STEP_END;
      default: s.lResult = -1; return SEQ_STEP_END;
    }
  });
  g_ucDiagResults[DIAG_ROLL_EDGE_PEAK] = static_cast<uint8_t>(ulHighest >> 2);
  return lResult;
}
