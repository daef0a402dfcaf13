#include "firmware/mechanism/sensor_feeds.h"

#include "firmware/control/debug_records.h"
#include "firmware/control/error_manager.h"
#include "firmware/control/line_steps.h"
#include "firmware/devices/analog_sensor.h"
#include "firmware/devices/encoder_count.h"
#include "firmware/devices/machine_actuators.h"
#include "firmware/devices/ramps.h"
#include "firmware/devices/settings.h"
#include "firmware/devices/stepper.h"
#include "firmware/mechanism/simple_positioners.h"
#include "firmware/mechanism/step_machine.h"
#include "firmware/platform/saturate.h"
#include "firmware/printengine/roll_diameter.h"
#include "firmware/printengine/table_store.h"

namespace {

// The countdown's offset: the limit counts as reached once the countdown
// has fallen below it.
constexpr uint32_t kCountdownBase = 0x10000u;

// One feed variant: the sub stepper's ramp and step mode, the main
// stepper's, and the conversion of lines to steps.
struct FeedRow {
  const CRampTable* pSubRamp;
  uint32_t ulSubMode;
  const CRampTable* pMainRamp;
  uint32_t ulMainMode;
  uint32_t (*pfnLinesToSteps)(uint32_t);
};
constexpr FeedRow kFeedToSensorRow{&g_Ramp18, 3, &g_Ramp27, 2, LinesToSteps};
constexpr FeedRow kFeedCoarseRow{&g_Ramp30, 2, &g_Ramp27, 1, LinesToStepsHalf};
// FeedUntilSensor's conversions by excitation mode; modes past the table
// convert at half rate.
constexpr uint32_t (*kUntilConversions[])(uint32_t) = {LinesToStepsHalf, LinesToStepsHalf, LinesToSteps,
                                                        LinesToStepsX4};
constexpr uint32_t kUntilConversionCount = sizeof(kUntilConversions) / sizeof(kUntilConversions[0]);

enum class FeedKind { Plain, Traced, Targeted };

// The caller's arguments with the distances in steps.
struct FeedArgs {
  CAnalogSensor* pSensor;
  uint32_t ulDirection;
  uint32_t ulTarget;
  uint32_t ulLimitSteps;
  uint32_t ulErrorIndex;
  uint32_t ulStopFlag;
  uint32_t ulExtraSteps;
  uint32_t ulMask;
};

// The feed's steps.
constexpr uint32_t kStepStart = 0, kStepPoll = 10, kStepLimit = 20, kStepJam = 30, kStepReached = 100,
                   kStepExtra = 110, kStepSettle = 120, kStepHalt = 9010;

uint32_t Inverted(uint32_t ulDirection) { return ulDirection == 0 ? 1u : 0u; }

// Step 0 of every feed: the sub stepper the other way round, then the main
// stepper, whose start result is the step's.
int32_t StartBoth(const FeedRow& row, uint32_t ulDirection) {
  RunAlongRamp(g_StpmtrSub, row.pSubRamp, Inverted(ulDirection), row.ulSubMode);
  return RunAlongRamp(g_StpmtrMain, row.pMainRamp, ulDirection, row.ulMainMode);
}

// Steps 9000 and 9010, and any step the feed does not know.
uint32_t FinishStep(SeqStepState& s, uint32_t ulStopFlag) {
  switch (s.ulStep) {
    case SEQ_STEP_STOP: return ulStopFlag == 1 ? kStepHalt : SEQ_STEP_END;
    case kStepHalt:
      g_StpmtrMain.Halt();
      g_StpmtrSub.Halt();
      return SEQ_STEP_END;
    case SEQ_STEP_END: return SEQ_STEP_END;
    default: s.lResult = -1; return SEQ_STEP_END;
  }
}

uint32_t CountdownPlusBase(uint32_t ulSteps) {
  return ulSteps > 0xFFFFFFFFu - kCountdownBase ? 0xFFFFFFFFu : ulSteps + kCountdownBase;
}

bool IsRamping(const CStpmtr& motor) {
  int32_t lState = STPMTR_IDLE;
  motor.GetState(&lState);
  return lState == STPMTR_ACCELERATING || lState == STPMTR_TOP_SPEED || lState == STPMTR_DECELERATING;
}

// The targeted feed's wait after the main stepper was given the extra
// distance as its target: true once neither stepper runs up, at top speed
// or down any more. A target the stepper never sees (none for 0 steps; a
// single step runs out before it is looked at) and a sub stepper running on
// its own, which the main stepper's deceleration does not take down, would
// keep them at speed for ever: once the extra distance has run on the
// countdown the main stepper comes down all the same, and once it is down
// the sub stepper follows.
bool BothCameDown(uint32_t ulStopCountdown) {
  uint32_t ulCountdown = 0;
  g_StpmtrMain.GetCountdown(&ulCountdown);
  if (ulCountdown <= ulStopCountdown) g_StpmtrMain.JoinDecel();
  if (IsRamping(g_StpmtrMain)) return false;
  g_StpmtrSub.JoinDecel();
  return !IsRamping(g_StpmtrSub);
}

void StoreTrace(uint32_t ulKind, const FeedArgs& a) {
  uint32_t ulPinch = 0;
  g_LoadPinch.GetPosition(&ulPinch);
  int32_t lPath = 0;
  g_ParamPrintpathFlag.GetValue(&lPath);
  uint32_t ulRaw = 0;
  a.pSensor->GetLastAverage(&ulRaw);
  const uint32_t aulRecord[5] = {a.ulDirection, a.ulDirection, ulPinch, static_cast<uint32_t>(lPath), ulRaw};
  StoreDebugRecord(ulKind, aulRecord, 5);
}

int32_t RunFeed(const FeedRow& row, const FeedArgs& a, FeedKind eKind) {
  g_StpmtrMain.SetCountdown(CountdownPlusBase(a.ulLimitSteps));
  uint32_t ulStopCountdown = 0;
  const uint32_t ulMask = eKind == FeedKind::Targeted ? WithoutHostCheck(a.ulMask) : a.ulMask;
  return RunSteps(kStepStart, SEQ_STEP_STOP, ulMask, [&](SeqStepState& s) -> uint32_t {
    switch (s.ulStep) {
      case kStepStart:
        s.lResult = StartBoth(row, a.ulDirection);
        return kStepPoll;
      case kStepPoll: {
        uint32_t ulState = 0;
        const int32_t lRead = a.pSensor->GetState(&ulState);
        if (lRead != 0) {
          s.lResult = lRead;
          return SEQ_STEP_STOP;
        }
        const bool bReached = ulState == a.ulTarget;
        if (eKind == FeedKind::Traced) StoreTrace(bReached ? 3 : 2, a);
        return bReached ? kStepReached : kStepLimit;
      }
      case kStepLimit: {
        uint32_t ulCountdown = 0;
        g_StpmtrMain.GetCountdown(&ulCountdown);
        return ulCountdown >= kCountdownBase ? kStepPoll : kStepJam;
      }
      case kStepJam:
        if (eKind == FeedKind::Traced) StoreTrace(4, a);
        g_ErrorMng.SetError(a.ulErrorIndex);
        s.lResult = -1;
        return SEQ_STEP_STOP;
      case kStepReached: {
        uint32_t ulCountdown = 0;
        g_StpmtrMain.GetCountdown(&ulCountdown);
        ulStopCountdown = ulCountdown - a.ulExtraSteps;
        if (eKind != FeedKind::Targeted) return kStepExtra;
        g_StpmtrMain.SetTargetSteps(a.ulExtraSteps);
        return kStepSettle;
      }
      case kStepExtra: {
        uint32_t ulCountdown = 0;
        g_StpmtrMain.GetCountdown(&ulCountdown);
        return ulCountdown <= ulStopCountdown ? SEQ_STEP_STOP : kStepExtra;
      }
      case kStepSettle: return BothCameDown(ulStopCountdown) ? SEQ_STEP_STOP : kStepSettle;
      default: return FinishStep(s, a.ulStopFlag);
    }
  });
}

// A feed of a row with the caller's arguments, distances in lines.
int32_t FeedByRow(const FeedRow& row, FeedKind eKind, CAnalogSensor* pSensor, uint32_t ulDirection, uint32_t ulTarget,
                  uint32_t ulLimitLines, uint32_t ulErrorIndex, uint32_t ulStopFlag, uint32_t ulExtraLines,
                  uint32_t ulMask) {
  const FeedArgs args{pSensor,      ulDirection, ulTarget, row.pfnLinesToSteps(ulLimitLines), ulErrorIndex,
                      ulStopFlag, row.pfnLinesToSteps(ulExtraLines), ulMask};
  return RunFeed(row, args, eKind);
}

}  // namespace

int32_t RunAlongRamp(CStpmtr& motor, const CRampTable* pRamp, uint32_t ulDirection, uint32_t ulMode,
                     uint32_t ulTarget) {
  uint16_t* pusTable = nullptr;
  uint32_t ulCount = 0;
  pRamp->GetTable(&pusTable);
  pRamp->GetCount(&ulCount);
  return motor.RunRamp(pusTable, pusTable, ulCount, ulDirection, ulMode, ulTarget, 0);
}

int32_t FeedToSensor(CAnalogSensor* pSensor, uint32_t ulDirection, uint32_t ulTarget, uint32_t ulLimitLines,
                     uint32_t ulErrorIndex, uint32_t ulStopFlag, uint32_t ulExtraLines, uint32_t ulMask) {
  return FeedByRow(kFeedToSensorRow, FeedKind::Plain, pSensor, ulDirection, ulTarget, ulLimitLines, ulErrorIndex,
                   ulStopFlag, ulExtraLines, ulMask);
}

int32_t FeedUntilSensor(CAnalogSensor* pSensor, uint32_t ulDirection, uint32_t ulExcitationMode, uint32_t ulTarget,
                        uint32_t ulLimitLines, uint32_t ulErrorIndex, uint32_t ulStopFlag, uint32_t ulExtraLines,
                        uint32_t ulMask) {
  const uint32_t ulConversion = ulExcitationMode < kUntilConversionCount ? ulExcitationMode : 0;
  const FeedRow row{&g_Ramp39, ulExcitationMode, &g_Ramp27, ulExcitationMode, kUntilConversions[ulConversion]};
  return FeedByRow(row, FeedKind::Plain, pSensor, ulDirection, ulTarget, ulLimitLines, ulErrorIndex,
                   ulStopFlag, ulExtraLines, ulMask);
}

int32_t FeedToSensorCoarse(CAnalogSensor* pSensor, uint32_t ulDirection, uint32_t ulTarget, uint32_t ulLimitLines,
                           uint32_t ulErrorIndex, uint32_t ulStopFlag, uint32_t ulExtraLines, uint32_t ulMask) {
  return FeedByRow(kFeedCoarseRow, FeedKind::Plain, pSensor, ulDirection, ulTarget, ulLimitLines, ulErrorIndex,
                   ulStopFlag, ulExtraLines, ulMask);
}

int32_t FeedToSensorTraced(CAnalogSensor* pSensor, uint32_t ulDirection, uint32_t ulTarget, uint32_t ulLimitLines,
                           uint32_t ulErrorIndex, uint32_t ulStopFlag, uint32_t ulExtraLines, uint32_t ulMask) {
  return FeedByRow(kFeedToSensorRow, FeedKind::Traced, pSensor, ulDirection, ulTarget, ulLimitLines, ulErrorIndex,
                   ulStopFlag, ulExtraLines, ulMask);
}

int32_t FeedToSensorTargeted(CAnalogSensor* pSensor, uint32_t ulDirection, uint32_t ulTarget, uint32_t ulMainMode,
                             uint32_t ulSubMode, const CRampTable* pMainRamp, const CRampTable* pSubRamp,
                             uint32_t ulLimitLines, uint32_t ulErrorIndex, uint32_t ulStopFlag, uint32_t ulExtraLines,
                             uint32_t ulMask) {
  if (ulMainMode != 1 && ulMainMode != 2) return -1;
  const FeedRow row{pSubRamp, ulSubMode, pMainRamp, ulMainMode, LinesToSteps};
  return FeedByRow(row, FeedKind::Targeted, pSensor, ulDirection, ulTarget, ulLimitLines, ulErrorIndex,
                   ulStopFlag, ulExtraLines, ulMask);
}

uint32_t RollEncoderLimit(uint32_t ulLimitLines) {
  return SaturateToU32(static_cast<double>(ulLimitLines) * 25.4 / 300.0 / 272.238 * 100.0 / 21.0 * 36.0 * 1.2);
}

uint32_t RollSubStepLimit(uint32_t ulRollEncoderLimit) {
  uint32_t ulSteps = 0;
  g_RollDiameter.LengthToSteps(&ulSteps, ulRollEncoderLimit, 3);
  return SaturateToU32(2.0 * ulSteps);
}

int32_t FeedToSensorRollLimited(CAnalogSensor* pSensor, uint32_t ulDirection, uint32_t ulTarget,
                                uint32_t ulLimitLines, uint32_t ulErrorIndex, uint32_t ulStopFlag, uint32_t ulMask) {
  constexpr FeedRow kRow{&g_Ramp16, 3, &g_Ramp27, 2, LinesToSteps};
  constexpr uint32_t kStepSubLimit = 25;
  const uint32_t ulRollLimit = RollEncoderLimit(ulLimitLines);
  const uint32_t ulSubLimit = RollSubStepLimit(ulRollLimit);
  g_StpmtrSub.SetCountdown(0xFFFFFFFFu);
  uint32_t ulStartCount = 0;
  return RunSteps(kStepStart, SEQ_STEP_STOP, ulMask, [&](SeqStepState& s) -> uint32_t {
    switch (s.ulStep) {
      case kStepStart:
        s.lResult = StartBoth(kRow, ulDirection);
        g_SlitRollEnc.ReadCount(&ulStartCount);
        return kStepPoll;
      case kStepPoll: {
        uint32_t ulState = 0;
        const int32_t lRead = pSensor->GetState(&ulState);
        if (lRead != 0) {
          s.lResult = lRead;
          return SEQ_STEP_STOP;
        }
        return ulState == ulTarget ? SEQ_STEP_STOP : kStepLimit;
      }
      case kStepLimit: {
        // The counter wraps at 16 bits and is never cleared here: the
        // distance is taken modulo 2^16.
        uint32_t ulCount = ulStartCount;
        g_SlitRollEnc.ReadCount(&ulCount);
        const int32_t lTurned = EncoderDistance(ulStartCount, ulCount);
        return lTurned > 0 && static_cast<uint32_t>(lTurned) > ulRollLimit ? kStepJam : kStepSubLimit;
      }
      case kStepSubLimit: {
        uint32_t ulCountdown = 0;
        g_StpmtrSub.GetCountdown(&ulCountdown);
        return 0xFFFFFFFFu - ulCountdown > ulSubLimit ? kStepJam : kStepPoll;
      }
      case kStepJam:
        g_ErrorMng.SetError(ulErrorIndex);
        s.lResult = -1;
        return SEQ_STEP_STOP;
      default: return FinishStep(s, ulStopFlag);
    }
  });
}

namespace {

// The main stepper's steps since its countdown read ulStartCountdown.
int32_t MainStepsSince(uint32_t ulStartCountdown, uint32_t* pulMoved) {
  uint32_t ulCountdown = 0;
  const int32_t lResult = g_StpmtrMain.GetCountdown(&ulCountdown);
  if (lResult == 0) *pulMoved = ulStartCountdown - ulCountdown;
  return lResult;
}

}  // namespace

int32_t CheckSensorHeldDuringFeed(CAnalogSensor* pSensor, uint32_t ulExpected, uint32_t& ulDone,
                                  uint32_t ulStartCountdown, uint32_t ulWindowSteps, uint32_t& ulTravelled,
                                  uint32_t ulErrorIndex) {
  ulDone = 0;
  uint32_t ulMoved = 0;
  int32_t lResult = MainStepsSince(ulStartCountdown, &ulMoved);
  if (lResult != 0) return lResult;
  if (ulMoved > ulWindowSteps) {
    ulDone = 1;
  } else {
    uint32_t ulState = 0;
    lResult = pSensor->GetState(&ulState);
    if (lResult != 0) return lResult;
    if (ulState != ulExpected) {
      g_ErrorMng.SetError(ulErrorIndex);
      lResult = -1;
    }
  }
  ulTravelled = ulMoved;
  return lResult;
}

int32_t CheckSensorReachedInWindow(CAnalogSensor* pSensor, uint32_t ulExpected, uint32_t& ulReached,
                                   uint32_t ulStartCountdown, uint32_t ulWindowSteps, uint32_t& ulTravelled,
                                   uint32_t ulErrorIndex) {
  ulReached = 0;
  uint32_t ulMoved = 0;
  int32_t lResult = MainStepsSince(ulStartCountdown, &ulMoved);
  if (lResult != 0) return lResult;
  if (ulMoved > ulWindowSteps) {
    g_ErrorMng.SetError(ulErrorIndex);
    lResult = -1;
  } else {
    uint32_t ulState = 0;
    lResult = pSensor->GetState(&ulState);
    if (lResult != 0) return lResult;
    if (ulState == ulExpected) ulReached = 1;
  }
  ulTravelled = ulMoved;
  return lResult;
}

int32_t LoadRampTablesFromTable(uint32_t ulIndex, CRampTable* pRampA, CRampTable* pRampB, uint32_t ulMask) {
  // Top period, start periods A and B, ramp times A and B.
  constexpr uint32_t kOffsets[5] = {0, 8, 16, 24, 32};
  uint32_t aulValue[5] = {};
  return RunSteps(100, SEQ_STEP_END, ulMask, [&](SeqStepState& s) -> uint32_t {
    switch (s.ulStep) {
      case 100:
        for (uint32_t i = 0; i < 5 && s.lResult == 0; ++i) s.lResult = GetTableValue(ulIndex + kOffsets[i], &aulValue[i]);
        return 110;
      case 110:
        s.lResult = pRampA->SetupByLinePeriod(aulValue[1], aulValue[0], aulValue[3]);
        return 120;
      case 120:
        s.lResult = pRampB->SetupByLinePeriod(aulValue[2], aulValue[0], aulValue[4]);
        return SEQ_STEP_END;
      case SEQ_STEP_END: return SEQ_STEP_END;
      default: s.lResult = -1; return SEQ_STEP_END;
    }
  });
}

namespace {

int32_t RunSub(const CRampTable* pRamp, uint32_t ulStepMode, uint32_t ulSteps, uint32_t ulExtraSteps,
               uint32_t ulReverse, uint32_t ulShortBy) {
  g_StpmtrSub.SetCountdown(CountdownPlusBase(ulSteps));
  uint32_t ulTarget = 0;
  if (ulExtraSteps != 0) {
    g_StpmtrSub.SetIndependent(1);
    ulTarget = ulSteps + ulExtraSteps - ulShortBy;
  } else {
    g_StpmtrSub.SetIndependent(0);
  }
  int32_t lResult = RunAlongRamp(g_StpmtrSub, pRamp, ulReverse == 0 ? 1u : 0u, ulStepMode, ulTarget);
  if (lResult != 0) return lResult;
  for (;;) {
    uint32_t ulCountdown = 0;
    lResult = g_StpmtrSub.GetCountdown(&ulCountdown);
    if (lResult != 0 || ulCountdown <= kCountdownBase) return lResult;
  }
}

}  // namespace

int32_t RunSubStepper(const CRampTable* pRamp, uint32_t ulStepMode, uint32_t ulSteps, uint32_t ulExtraSteps,
                      uint32_t ulReverse) {
  return RunSub(pRamp, ulStepMode, ulSteps, ulExtraSteps, ulReverse, 0);
}

int32_t RunSubStepperShort(const CRampTable* pRamp, uint32_t ulStepMode, uint32_t ulSteps, uint32_t ulExtraSteps,
                           uint32_t ulReverse) {
  return RunSub(pRamp, ulStepMode, ulSteps, ulExtraSteps, ulReverse, 80);
}
