#include "firmware/mechanism/paper_moves.h"

#include "firmware/control/engine_variant.h"
#include "firmware/control/line_steps.h"
#include "firmware/devices/encoder_count.h"
#include "firmware/devices/machine_actuators.h"
#include "firmware/devices/paper_position.h"
#include "firmware/devices/ramps.h"
#include "firmware/devices/slit.h"
#include "firmware/devices/stepper.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/mechanism/eject_motor.h"
#include "firmware/mechanism/main_pinch.h"
#include "firmware/mechanism/roll_encoder_checks.h"
#include "firmware/mechanism/simple_positioners.h"
#include "firmware/mechanism/step_machine.h"
#include "firmware/platform/time_base.h"
#include "firmware/printengine/roll_diameter.h"

uint32_t g_ulPaperEndFlag;
uint32_t g_ulPaperInNearZone;

namespace {

// The lines from g_ulEngPosRefA back to the two limits.
constexpr uint32_t kLimitARef = 63363;
constexpr uint32_t kLimitBRef = 64934;
constexpr uint32_t kFullCountdown = 0xFFFFFFFFu;
// A feed drive that keeps the eject motor running after the move.
constexpr uint32_t kFeedDriveKeepEject = 50;

constexpr uint32_t kStepStart = 100, kStepWait = 110, kStepIdle = 111, kStepCheck = 200, kStepOnce = 205,
                   kStepFlag = 210, kStepSeen = 220, kStepStopKind = 300, kStepDecel = 310, kStepDecelWait = 320,
                   kStepStop = 400, kStepStopEject = 410, kStepRemain = 500;
// The measuring move's own steps.
constexpr uint32_t kStepRollCheck = 50, kStepRollEnd = 60, kStepTurning = 101, kStepWindow = 102,
                   kStepMeasured = 103;
// The pinch variants' own steps.
constexpr uint32_t kStepPinchStart = 10, kStepPinchPoll = 20;

// What a move watches while it waits.
struct MoveWatch {
  bool bMainOnly;   // the sub stepper is not waited for
  bool bKeepEject;  // the eject motor is left running
  bool bPaperEnd;   // the paper-end handling applies
  uint32_t ulMask;
};

// A move's progress: where its waiting returns to, and the paper end.
struct MoveProgress {
  uint32_t ulWaitStep = kStepWait;
  uint32_t ulRetargeted = 0;
  uint32_t ulSaved = 0;
};

// How a move starts.
enum class MoveKind { Lines, To, Steps };
struct MoveStart {
  MoveKind eKind;
  int32_t lAmount;  // lines or steps; the line of a move to
  int32_t lOffsetLines;
};

int32_t StateOf(const CStpmtr& motor) {
  int32_t lState = STPMTR_IDLE;
  motor.GetState(&lState);
  return lState;
}

uint32_t ParamOf(uint32_t ulId) {
  uint32_t ulValue = 0;
  g_PaperPosition.GetParam(ulId, &ulValue);
  return ulValue;
}

bool Idle(const MoveWatch& w) {
  return StateOf(g_StpmtrMain) == STPMTR_IDLE && (w.bMainOnly || StateOf(g_StpmtrSub) == STPMTR_IDLE);
}

// A stepper is through its deceleration once it runs at constant speed, or
// when it no longer runs at all (halted at its target meanwhile, or not
// run by this move), which would otherwise never report constant speed.
bool DecelDone(const CStpmtr& motor) {
  const int32_t lState = StateOf(motor);
  return lState == STPMTR_CONSTANT || lState == STPMTR_IDLE || lState == STPMTR_STOPPED;
}

int32_t StartMove(const MoveStart& m) {
  switch (m.eKind) {
    case MoveKind::Lines: return g_PaperPosition.MoveLines(m.lAmount);
    case MoveKind::To: return g_PaperPosition.MoveTo(m.lAmount, m.lOffsetLines);
    case MoveKind::Steps: return g_PaperPosition.MoveSteps(m.lAmount);
  }
  return -1;
}

void SetMoveParams(uint32_t ulExcitationMode, uint32_t ulSubStepMode, uint32_t ulMainProfile, uint32_t ulSubProfile) {
  g_PaperPosition.SetParam(PAPER_PARAM_NO_STOP, 0);
  g_PaperPosition.SetParam(PAPER_PARAM_EXCITATION_MODE, ulExcitationMode);
  g_PaperPosition.SetParam(PAPER_PARAM_SUB_STEP_MODE, ulSubStepMode);
  g_PaperPosition.SetParam(PAPER_PARAM_MAIN_PROFILE, ulMainProfile);
  g_PaperPosition.SetParam(PAPER_PARAM_SUB_PROFILE, ulSubProfile);
}

int32_t StopEject(const MoveWatch& w) { return w.bKeepEject ? 0 : g_EjectMotor.Stop(); }

// Steps 110 to 500, shared by every move: the wait for the steppers and
// the paper-end handling. Returns the next step.
uint32_t WaitStep(SeqStepState& s, const MoveWatch& w, MoveProgress& p) {
  switch (s.ulStep) {
    case kStepWait: return Idle(w) ? kStepIdle : kStepCheck;
    case kStepIdle:
      s.lResult = StopEject(w);
      return p.ulRetargeted != 0 ? kStepRemain : SEQ_STEP_END;
    case kStepCheck: return w.bPaperEnd && (w.ulMask & SEQ_CHECK_PAPER_END) != 0 ? kStepOnce : p.ulWaitStep;
    case kStepOnce: return p.ulRetargeted != 0 ? p.ulWaitStep : kStepFlag;
    case kStepFlag: return g_ulPaperEndFlag == 1 ? kStepSeen : p.ulWaitStep;
    case kStepSeen: {
      uint32_t ulRemaining = 0;
      g_PaperPosition.GetRemaining(&ulRemaining);
      p.ulSaved = ulRemaining;
      p.ulRetargeted = 1;
      if (ulRemaining > PaperEndLimitA()) {
        g_ulPaperInNearZone = 0;
        return kStepStopKind;
      }
      g_ulPaperInNearZone = ulRemaining <= PaperEndLimitB() ? 1 : 0;
      return p.ulWaitStep;
    }
    case kStepStopKind: {
      const bool bMainZero = ParamOf(PAPER_PARAM_MAIN_PROFILE) == 0;
      const bool bSubZero = w.bMainOnly || ParamOf(PAPER_PARAM_SUB_PROFILE) == 0;
      return bMainZero && bSubZero ? kStepStop : kStepDecel;
    }
    case kStepDecel:
      g_StpmtrMain.SetPendingState(STPMTR_DECELERATING);
      if (!w.bMainOnly) g_StpmtrSub.SetPendingState(STPMTR_DECELERATING);
      return kStepDecelWait;
    case kStepDecelWait:
      return DecelDone(g_StpmtrMain) && (w.bMainOnly || DecelDone(g_StpmtrSub)) ? kStepStop : kStepDecelWait;
    case kStepStop: g_PaperPosition.StopAtTarget(); return kStepStopEject;
    case kStepStopEject: s.lResult = StopEject(w); return kStepRemain;
    case kStepRemain: {
      uint32_t ulRemaining = 0;
      g_PaperPosition.GetRemaining(&ulRemaining);
      g_PaperPosition.SetRemainSteps(PaperEndLimitA() - (p.ulSaved - ulRemaining));
      return SEQ_STEP_END;
    }
    case SEQ_STEP_END: return SEQ_STEP_END;
    default: s.lResult = -1; return SEQ_STEP_END;
  }
}

int32_t RunMove(const MoveStart& m, const MoveWatch& w) {
  MoveProgress p;
  return RunSteps(kStepStart, SEQ_STEP_END, w.ulMask, [&](SeqStepState& s) -> uint32_t {
    if (s.ulStep != kStepStart) return WaitStep(s, w, p);
    s.lResult = StartMove(m);
    return kStepWait;
  });
}

// The pinch variants: both pinches polled to their ends with the mask
// short of its host and paper-end bits, the move started once the delay has
// passed, then as the plain moves.
int32_t RunMoveWithPinches(const MoveStart& m, const MoveWatch& w, uint32_t ulMainPinchRequest,
                           uint32_t ulEjectPinchPosition, uint32_t ulDelayMs) {
  constexpr uint32_t kPinchMaskOff = SEQ_CHECK_HOST | SEQ_CHECK_PAPER_END | SEQ_CHECK_PAPER_END_JAM;
  MoveProgress p;
  int32_t lMainDone = 0, lEjectDone = 0;
  bool bStarted = false;
  uint32_t ulStartMs = 0;
  SeqStepState s{0, kStepPinchStart, 0};
  bool bDone = false;
  while (!bDone) {
    bDone = s.ulStep == SEQ_STEP_END;
    uint32_t ulNext = SEQ_STEP_END;
    switch (s.ulStep) {
      case kStepPinchStart:
        ulStartMs = g_MsTimer.NowMs();
        s.lResult = g_pProllMain->Move(ulMainPinchRequest, g_ulCurrentUnit);
        if (s.lResult == 0) s.lResult = g_EjectPinch.StartMove(ulEjectPinchPosition);
        ulNext = kStepPinchPoll;
        break;
      case kStepPinchPoll:
        if (lMainDone == 0) s.lResult = g_pProllMain->Step(&lMainDone);
        if (s.lResult == 0 && lEjectDone == 0) s.lResult = g_EjectPinch.Step(&lEjectDone);
        if (s.lResult == 0 && !bStarted && g_MsTimer.NowMs() - ulStartMs > (ulDelayMs & 0xFFFFu)) {
          bStarted = true;
          s.lResult = StartMove(m);
        }
        ulNext = bStarted && lMainDone != 0 && lEjectDone != 0 ? kStepWait : kStepPinchPoll;
        break;
      default: ulNext = WaitStep(s, w, p); break;
    }
    const bool bPinchesDone = lMainDone != 0 && lEjectDone != 0;
    StepAdvance(s, ulNext, SEQ_STEP_END, bPinchesDone ? w.ulMask : (w.ulMask & ~kPinchMaskOff));
  }
  return s.lResult;
}

// The measuring move's end: the diameter and the four feed-matched ramps.
void SetRollFromMeasure(bool bMeasured, uint32_t ulSteps, uint32_t ulExcitationMode, uint32_t ulMask) {
  if (bMeasured) {
    uint32_t ulScaled = ulSteps * 36u / 32u;
    if (ulExcitationMode == 1) ulScaled *= 2u;
    if (ulExcitationMode == 3) ulScaled /= 2u;
    g_RollDiameter.SetFromSteps(ulScaled);
  } else {
    g_RollDiameter.SetDiameter(CRollDiameter::kFullDiameterMm);
  }
  RebuildFeedMatchedRamps(ulMask);
}

}  // namespace

uint32_t PaperEndLimitA() { return LinesToSteps(g_ulEngPosRefA - kLimitARef); }
uint32_t PaperEndLimitB() { return LinesToSteps(g_ulEngPosRefA - kLimitBRef); }

int32_t MovePaperBy(int32_t lLines, uint32_t ulExcitationMode, uint32_t ulSubStepMode, uint32_t ulMainProfile,
                    uint32_t ulSubProfile, uint32_t ulMask) {
  SetMoveParams(ulExcitationMode, ulSubStepMode, ulMainProfile, ulSubProfile);
  return RunMove({MoveKind::Lines, lLines, 0}, {false, false, true, ulMask});
}

int32_t MovePaperTo(uint32_t ulLine, int32_t lOffsetLines, uint32_t ulExcitationMode, uint32_t ulSubStepMode,
                    uint32_t ulMainProfile, uint32_t ulSubProfile, uint32_t ulMask) {
  SetMoveParams(ulExcitationMode, ulSubStepMode, ulMainProfile, ulSubProfile);
  return RunMove({MoveKind::To, static_cast<int32_t>(ulLine), lOffsetLines}, {false, false, true, ulMask});
}

int32_t MovePaperToEx(uint32_t ulLine, int32_t lOffsetLines, uint32_t ulExcitationMode, uint32_t ulSubStepMode,
                      uint32_t ulParam9, uint32_t ulMainProfile, uint32_t ulSubProfile, uint32_t ulFeedDrive,
                      uint32_t ulMask) {
  SetMoveParams(ulExcitationMode, ulSubStepMode, ulMainProfile, ulSubProfile);
  g_PaperPosition.SetParam(PAPER_PARAM_AUX, ulParam9);
  g_PaperPosition.SetParam(PAPER_PARAM_FEED_DRIVE, ulFeedDrive);
  return RunMove({MoveKind::To, static_cast<int32_t>(ulLine), lOffsetLines},
                 {false, ulFeedDrive == kFeedDriveKeepEject, true, ulMask});
}

int32_t MovePaperSteps(int32_t lSteps, uint32_t ulExcitationMode, uint32_t ulSubStepMode, uint32_t ulMainProfile,
                       uint32_t ulSubProfile, uint32_t ulMask) {
  SetMoveParams(ulExcitationMode, ulSubStepMode, ulMainProfile, ulSubProfile);
  return RunMove({MoveKind::Steps, lSteps, 0}, {false, false, false, ulMask});
}

int32_t MovePaperByWithPinches(int32_t lLines, uint32_t ulExcitationMode, uint32_t ulSubStepMode,
                               uint32_t ulMainProfile, uint32_t ulSubProfile, uint32_t ulMainPinchRequest,
                               uint32_t ulEjectPinchPosition, uint32_t ulDelayMs, uint32_t ulMask) {
  SetMoveParams(ulExcitationMode, ulSubStepMode, ulMainProfile, ulSubProfile);
  return RunMoveWithPinches({MoveKind::Lines, lLines, 0}, {false, false, true, ulMask}, ulMainPinchRequest,
                            ulEjectPinchPosition, ulDelayMs);
}

int32_t MovePaperToWithPinches(uint32_t ulLine, int32_t lOffsetLines, uint32_t ulExcitationMode,
                               uint32_t ulSubStepMode, uint32_t ulMainProfile, uint32_t ulSubProfile,
                               uint32_t ulMainPinchRequest, uint32_t ulEjectPinchPosition, uint32_t ulDelayMs,
                               uint32_t ulMask) {
  SetMoveParams(ulExcitationMode, ulSubStepMode, ulMainProfile, ulSubProfile);
  return RunMoveWithPinches({MoveKind::To, static_cast<int32_t>(ulLine), lOffsetLines}, {false, false, true, ulMask},
                            ulMainPinchRequest, ulEjectPinchPosition, ulDelayMs);
}

int32_t MovePaperMeasureRoll(int32_t lLines, uint32_t ulExcitationMode, uint32_t ulParam9, uint32_t ulMainProfile,
                             uint32_t ulParam10, uint32_t ulMask) {
  SetMoveParams(ulExcitationMode, 1, ulMainProfile, PAPER_PROFILE_NONE);
  g_PaperPosition.SetParam(PAPER_PARAM_AUX, ulParam9);
  g_PaperPosition.SetParam(PAPER_PARAM_FEED_DRIVE, ulParam10);
  g_SlitRollEnc.Clear();
  g_SlitRollEnc.Start();
  constexpr uint32_t kWindow = 32;
  const MoveWatch w{true, false, true, ulMask};
  MoveProgress p;
  uint32_t ulAfterStart = kStepTurning;
  uint32_t ulC0 = 0, ulC1 = 0, ulD0 = 0, ulSteps = 0;
  bool bTurning = false, bMeasured = false;
  const auto count = [] {
    uint32_t ulCount = 0;
    g_SlitRollEnc.ReadCount(&ulCount);
    return ulCount;
  };
  const auto countdown = [] {
    uint32_t ulCountdown = 0;
    g_StpmtrMain.GetCountdown(&ulCountdown);
    return ulCountdown;
  };
  return RunSteps(kStepRollCheck, SEQ_STEP_END, ulMask, [&](SeqStepState& s) -> uint32_t {
    switch (s.ulStep) {
      case kStepRollCheck: {
        ulAfterStart = kStepTurning;
        uint32_t ulRollEnd = 0;
        s.lResult = RollEncoderFeedCheck(&ulRollEnd, 0, nullptr, nullptr, nullptr, ulMask);
        return ulRollEnd != 0 ? kStepRollEnd : kStepStart;
      }
      case kStepRollEnd: ulAfterStart = kStepWait; return kStepStart;
      case kStepStart:
        // The countdown counts only while above 0: loaded in full, it
        // counts every step of the move, whatever ran before.
        g_StpmtrMain.SetCountdown(kFullCountdown);
        s.lResult = g_PaperPosition.MoveLines(lLines);
        ulC0 = count();
        return ulAfterStart;
      case kStepTurning: {
        const uint32_t ulCount = count();
        if (EncoderDistance(ulC0, ulCount) <= 1) return kStepWait;
        if (!bTurning) {
          bTurning = true;
          ulD0 = countdown();
          ulC1 = ulCount;
        }
        return kStepWindow;
      }
      case kStepWindow: return EncoderDistance(ulC1, count()) > static_cast<int32_t>(kWindow - 1) ? kStepMeasured
                                                                                                  : kStepWait;
      case kStepMeasured:
        ulSteps = ulD0 - countdown();
        bMeasured = true;
        ulAfterStart = kStepWait;
        return kStepWait;
      case SEQ_STEP_END:
        // Only a move that went through sets the roll: after an abort or a
        // failure the diameter and the ramps stay as they were.
        if (s.lResult == 0) SetRollFromMeasure(bMeasured, ulSteps, ulExcitationMode, ulMask);
        return SEQ_STEP_END;
      default: {
        p.ulWaitStep = ulAfterStart;
        return WaitStep(s, w, p);
      }
    }
  });
}
