#include "firmware/mechanism/unit_moves.h"

#include "firmware/control/host_status_table.h"
#include "firmware/control/keys.h"
#include "firmware/control/lcd.h"
#include "firmware/control/menu.h"
#include "firmware/devices/analog_sensor.h"
#include "firmware/devices/chop_motor.h"
#include "firmware/devices/life_counters.h"
#include "firmware/devices/machine_actuators.h"
#include "firmware/devices/parameter.h"
#include "firmware/devices/sensors.h"
#include "firmware/devices/settings.h"
#include "firmware/devices/stepper.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/mechanism/cutter.h"
#include "firmware/mechanism/donor_mng.h"
#include "firmware/mechanism/feed_pinch.h"
#include "firmware/mechanism/main_pinch.h"
#include "firmware/mechanism/path_select.h"
#include "firmware/mechanism/roll_rotation.h"
#include "firmware/mechanism/rotation_lock.h"
#include "firmware/mechanism/simple_positioners.h"
#include "firmware/mechanism/step_machine.h"
#include "firmware/platform/time_base.h"
#include "firmware/sequences/ribbon_winding.h"

namespace {

// ---- the positioners as the moves drive them ----

// Start with a request, then step until done.
struct PositionerAdapter {
  int32_t (*pfnStart)(uint32_t ulRequest);
  int32_t (*pfnStep)(int32_t* plDone);
};

template <auto* kpPositioner>
int32_t StartMoveOf(uint32_t ulRequest) {
  return kpPositioner->StartMove(ulRequest);
}
template <auto* kpPositioner>
int32_t StepOf(int32_t* plDone) {
  return kpPositioner->Step(plDone);
}
// The parts reached through a pointer the unit switch or the engine
// variant sets.
template <auto** kppPositioner>
int32_t StartMoveVia(uint32_t ulRequest) {
  return (*kppPositioner)->StartMove(ulRequest);
}
template <auto** kppPositioner>
int32_t MoveOnCurrentUnit(uint32_t ulRequest) {
  return (*kppPositioner)->Move(ulRequest, g_ulCurrentUnit);
}
template <auto** kppPositioner>
int32_t StepVia(int32_t* plDone) {
  return (*kppPositioner)->Step(plDone);
}

constexpr uint32_t kCutterSettle = 2;
int32_t StartCutter(uint32_t ulMode) {
  return ulMode == kCutterSettle ? g_Cutter.SettlePosition() : g_Cutter.Cut(ulMode);
}

enum UnitPart : uint32_t {
  PART_HEAD,
  PART_MAIN_PINCH,
  PART_FEED_PINCH,
  PART_EJECT_PINCH,
  PART_LOAD_BAR,
  PART_LOAD_PINCH,
  PART_PATH_SELECT,
  PART_CUTTER,
  PART_ROTATION_LOCK,
};
constexpr PositionerAdapter kParts[] = {
    {StartMoveVia<&g_pCurHeadLift>, StepVia<&g_pCurHeadLift>},
    {MoveOnCurrentUnit<&g_pProllMain>, StepVia<&g_pProllMain>},
    {MoveOnCurrentUnit<&g_pProllFeed>, StepVia<&g_pProllFeed>},
    {StartMoveOf<&g_EjectPinch>, StepOf<&g_EjectPinch>},
    {StartMoveOf<&g_LoadBar>, StepOf<&g_LoadBar>},
    {StartMoveOf<&g_LoadPinch>, StepOf<&g_LoadPinch>},
    {StartMoveOf<&g_PathSelect>, StepOf<&g_PathSelect>},
    {StartCutter, StepOf<&g_Cutter>},
    {StartMoveOf<&g_RotationLock>, StepOf<&g_RotationLock>},
};

// The abort check of the primitives' own steps.
constexpr uint32_t InnerMask(uint32_t ulMask) { return WithoutHostCheck(ulMask); }

enum MoveStep : uint32_t { STEP_START = 0, STEP_POLL = 10 };

// One poll of a part: its step's result, done noted.
int32_t PollPart(const PositionerAdapter& part, bool* pbDone) {
  int32_t lDone = 0;
  const int32_t lResult = part.pfnStep(&lDone);
  *pbDone = lDone != 0;
  return lResult;
}

// The shape of every single-part move: start, then poll to the end.
int32_t RunUnitMove(UnitPart ePart, uint32_t ulRequest, uint32_t ulMask) {
  const PositionerAdapter& part = kParts[ePart];
  return RunSteps(STEP_START, SEQ_STEP_END, InnerMask(ulMask), [&](SeqStepState& s) -> uint32_t {
    bool bDone = false;
    switch (s.ulStep) {
      case STEP_START:
        s.lResult = part.pfnStart(ulRequest);
        return STEP_POLL;
      case STEP_POLL:
        s.lResult = PollPart(part, &bDone);
        return bDone ? SEQ_STEP_END : STEP_POLL;
      case SEQ_STEP_END:
        return SEQ_STEP_END;
      default:
        s.lResult = -1;
        return s.ulStep;
    }
  });
}

// ---- several parts at once ----

// A part started once ulDelayMs have passed since the first pass.
struct PartMove {
  UnitPart ePart;
  uint32_t ulRequest;
  uint32_t ulDelayMs;
};

// The sub paper stepper's run of MoveHeadEjectAndMainPinch: its countdown
// starts at the steps + 65536 and the run halts at 65536.
constexpr uint32_t kSubCountdownBase = 65536;
constexpr uint32_t kSubRate = 1000;
constexpr uint32_t kSubStepMode = 2;

bool SubStepperArrived() {
  uint32_t ulCountdown = 0;
  g_StpmtrSub.GetCountdown(&ulCountdown);
  if (ulCountdown > kSubCountdownBase) return false;
  g_StpmtrSub.Halt();
  return true;
}

constexpr uint32_t kMaxParts = 3;

// Starts each part when its delay has passed and polls every started part
// until all are done (and the sub stepper, when `bSubStepper`). The first
// failure ends the moves, leaving the others moving.
int32_t RunPartMoves(const PartMove* pMoves, uint32_t ulCount, bool bSubStepper, uint32_t ulMask) {
  bool abStarted[kMaxParts] = {};
  bool abDone[kMaxParts] = {};
  bool bSubDone = !bSubStepper;
  uint32_t ulStartMs = 0;
  return RunSteps(STEP_START, SEQ_STEP_END, InnerMask(ulMask), [&](SeqStepState& s) -> uint32_t {
    switch (s.ulStep) {
      case STEP_START:
        ulStartMs = g_MsTimer.NowMs();
        return STEP_POLL;
      case STEP_POLL: {
        const uint32_t ulElapsed = g_MsTimer.ElapsedMs16(ulStartMs, g_MsTimer.NowMs());
        bool bAllDone = true;
        for (uint32_t i = 0; i < ulCount && s.lResult == 0; ++i) {
          const PositionerAdapter& part = kParts[pMoves[i].ePart];
          if (!abStarted[i] && ulElapsed >= (pMoves[i].ulDelayMs & 0xFFFFu)) {
            abStarted[i] = true;
            s.lResult = part.pfnStart(pMoves[i].ulRequest);
          } else if (abStarted[i] && !abDone[i]) {
            s.lResult = PollPart(part, &abDone[i]);
          }
          bAllDone = bAllDone && abDone[i];
        }
        if (!bSubDone) bSubDone = SubStepperArrived();
        return bAllDone && bSubDone ? SEQ_STEP_END : STEP_POLL;
      }
      case SEQ_STEP_END:
        return SEQ_STEP_END;
      default:
        s.lResult = -1;
        return s.ulStep;
    }
  });
}

// ---- the carousel ----

void PublishCarouselCounter() {
  uint32_t ulValue = 0;
  g_CounterCarousel.GetValue(&ulValue);
  SetStatusItem(SI_COUNTER_CAROUSEL, ulValue, 0);
}

// True when no photo sensor of the list sees paper. A failed sampling
// counts as paper: the carousel must not turn under a sheet it cannot see.
template <uint32_t N>
bool NoPaperAt(CAnalogSensor* const (&sensors)[N]) {
  for (CAnalogSensor* pSensor : sensors) {
    uint32_t ulState = 1;
    pSensor->GetState(&ulState);
    if (ulState != 0) return false;
  }
  return true;
}
CAnalogSensor* const kTopSensors[] = {&g_AdTopL, &g_AdTopR};
CAnalogSensor* const kHomingSensors[] = {&g_AdTopL, &g_AdTopR, &g_AdPaperEmpty};

constexpr uint32_t kLockFlagLocked = 1;
constexpr uint32_t kLockFlagUnlocked = 2;
constexpr uint32_t kLockFlagUndefined = 0;
constexpr uint32_t kSettleBeforeLockMs = 500;

// The life-counter steps of a turn: 0 at the target, 2 from one side to the
// other, else 1.
uint32_t TurnSteps(int32_t lFrom, uint32_t ulTarget) {
  const auto ulFrom = static_cast<uint32_t>(lFrom);
  if (ulFrom == ulTarget) return 0;
  return ulFrom == ROLL_POS_NEUTRAL || ulTarget == ROLL_POS_NEUTRAL ? 1 : 2;
}

// What the carousel's start-up and its turns do before the cycle of
// unlock, motion, count, 500 ms and lock, and in its motion: the checks of
// the first two steps (true goes on; false ends, with the result they
// set), the motion's start and step (roll_rotation.h), and whether
// a turn to neutral follows the count.
struct CarouselCycle {
  bool (*pfnPrepare)(uint32_t ulTarget);
  bool (*pfnCheck)(uint32_t ulTarget, int32_t* plResult);
  int32_t (*pfnStart)(uint32_t ulTarget);
  int32_t (*pfnStep)();
  bool bThenNeutral;
};

// The start-up: a carousel that was not kept locked has lost its position;
// a known one, or paper in the way, ends it without moving.
bool ForgetUnlessLocked(uint32_t) {
  if (SettingValue(g_ParamRotationLockFlag) != kLockFlagLocked) g_ParamRotationFlag.SetValue(ROLL_POS_UNDEFINED);
  return true;
}
bool PositionUnknownAndFree(uint32_t, int32_t*) {
  return !IsRollPosition(SettingValue(g_ParamRotationFlag)) && NoPaperAt(kHomingSensors);
}
int32_t StartHoming(uint32_t) { return StartRollHoming(); }
constexpr CarouselCycle kStartUp = {ForgetUnlessLocked, PositionUnknownAndFree, StartHoming, RollHomingStep, true};

// A turn: nothing at the target; paper at a top sensor refuses it with -1
// (no error index).
bool NotThere(uint32_t ulTarget) { return static_cast<uint32_t>(SettingValue(g_ParamRotationFlag)) != ulTarget; }
bool TopsFree(uint32_t, int32_t* plResult) {
  if (NoPaperAt(kTopSensors)) return true;
  *plResult = -1;
  return false;
}
constexpr CarouselCycle kTurn = {NotThere, TopsFree, StartRollTurn, RollTurnStep, false};

// The cycle both carousel primitives run; the published counter at the
// end, the carousel motor stopped after a failure.
int32_t RunCarouselCycle(const CarouselCycle& cycle, uint32_t ulTarget, uint32_t ulCount, uint32_t ulMask) {
  enum : uint32_t {
    STEP_PREPARE = 0,
    STEP_CHECK = 5,
    STEP_UNLOCK = 10,
    STEP_START_MOTION = 20,
    STEP_MOTION = 21,
    STEP_COUNT = 25,
    STEP_TO_NEUTRAL = 30,
    STEP_SETTLE = 40,
    STEP_LOCK = 50,
  };
  const int32_t lResult =
      RunSteps(STEP_PREPARE, SEQ_STEP_END, InnerMask(ulMask), [&](SeqStepState& s) -> uint32_t {
        switch (s.ulStep) {
          case STEP_PREPARE:
            return cycle.pfnPrepare(ulTarget) ? STEP_CHECK : SEQ_STEP_END;
          case STEP_CHECK:
            return cycle.pfnCheck(ulTarget, &s.lResult) ? STEP_UNLOCK : SEQ_STEP_END;
          case STEP_UNLOCK:
            s.lResult = MoveRotationLock(ROT_LOCK_UNLOCKED, ulMask);
            return STEP_START_MOTION;
          case STEP_START_MOTION:
            s.lResult = cycle.pfnStart(ulTarget);
            return STEP_MOTION;
          case STEP_MOTION: {
            // 1 still moving, 0 arrived; a failure has raised its index.
            const int32_t lMotion = cycle.pfnStep();
            if (lMotion < 0) s.lResult = lMotion;
            return lMotion == 0 ? STEP_COUNT : STEP_MOTION;
          }
          case STEP_COUNT:
            g_CounterCarousel.Add(ulCount);
            return cycle.bThenNeutral ? STEP_TO_NEUTRAL : STEP_SETTLE;
          case STEP_TO_NEUTRAL:
            s.lResult = TurnPaperRoll(ROLL_POS_NEUTRAL, ulMask);
            return STEP_SETTLE;
          case STEP_SETTLE:
            s.lResult = SeqWaitMs(kSettleBeforeLockMs, ulMask);
            return STEP_LOCK;
          case STEP_LOCK:
            s.lResult = MoveRotationLock(ROT_LOCK_LOCKED, ulMask);
            return SEQ_STEP_END;
          case SEQ_STEP_END:
            PublishCarouselCounter();
            return SEQ_STEP_END;
          default:
            s.lResult = -1;
            return s.ulStep;
        }
      });
  if (lResult != 0) g_ChopMotorPaperRot.Stop();
  return lResult;
}

}  // namespace

int32_t MoveHeadUnit(uint32_t ulPosition, uint32_t ulMask) { return RunUnitMove(PART_HEAD, ulPosition, ulMask); }
int32_t MoveMainPinch(uint32_t ulRequest, uint32_t ulMask) { return RunUnitMove(PART_MAIN_PINCH, ulRequest, ulMask); }
int32_t MoveFeedPinch(uint32_t ulRequest, uint32_t ulMask) { return RunUnitMove(PART_FEED_PINCH, ulRequest, ulMask); }
int32_t MoveEjectPinch(uint32_t ulPosition, uint32_t ulMask) {
  return RunUnitMove(PART_EJECT_PINCH, ulPosition, ulMask);
}
int32_t MoveLoadBar(uint32_t ulPosition, uint32_t ulMask) { return RunUnitMove(PART_LOAD_BAR, ulPosition, ulMask); }
int32_t MoveLoadPinch(uint32_t ulPosition, uint32_t ulMask) {
  return RunUnitMove(PART_LOAD_PINCH, ulPosition, ulMask);
}
int32_t MovePathSelect(uint32_t ulPosition, uint32_t ulMask) {
  return RunUnitMove(PART_PATH_SELECT, ulPosition, ulMask);
}
int32_t MoveCutter(uint32_t ulMode, uint32_t ulMask) { return RunUnitMove(PART_CUTTER, ulMode, ulMask); }

int32_t MoveRotationLock(uint32_t ulPosition, uint32_t ulMask) {
  enum : uint32_t { STEP_STOP_CAROUSEL = 10, STEP_POLL_LOCK = 20 };
  const PositionerAdapter& lock = kParts[PART_ROTATION_LOCK];
  const auto ulDelayMs = static_cast<uint32_t>(SettingValue(g_ParamWait10ms)) * 10u;
  const uint32_t ulStartMs = g_MsTimer.NowMs();
  // Only a lock stops the carousel motor, once its delay has passed.
  bool bMotorStopped = ulPosition != ROT_LOCK_LOCKED;
  return RunSteps(STEP_START, SEQ_STEP_END, InnerMask(ulMask), [&](SeqStepState& s) -> uint32_t {
    bool bDone = false;
    switch (s.ulStep) {
      case STEP_START:
        s.lResult = lock.pfnStart(ulPosition);
        return STEP_STOP_CAROUSEL;
      case STEP_STOP_CAROUSEL:
        if (!bMotorStopped && g_MsTimer.ElapsedMs16(ulStartMs, g_MsTimer.NowMs()) >= ulDelayMs) {
          g_ChopMotorPaperRot.Stop();
          bMotorStopped = true;
        }
        return STEP_POLL_LOCK;
      case STEP_POLL_LOCK:
        s.lResult = PollPart(lock, &bDone);
        return bDone ? SEQ_STEP_END : STEP_STOP_CAROUSEL;
      case SEQ_STEP_END: {
        uint32_t ulFlag = kLockFlagUndefined;
        if (s.lResult == 0) {
          ulFlag = ulPosition == ROT_LOCK_RELEASE || ulPosition == ROT_LOCK_UNLOCKED ? kLockFlagUnlocked
                                                                                     : kLockFlagLocked;
        }
        g_ParamRotationLockFlag.SetValue(static_cast<int32_t>(ulFlag));
        return SEQ_STEP_END;
      }
      default:
        s.lResult = -1;
        return s.ulStep;
    }
  });
}

int32_t InitPaperRollRotation(uint32_t ulMask) { return RunCarouselCycle(kStartUp, ROLL_POS_RIGHT, 1, ulMask); }

int32_t TurnPaperRoll(uint32_t ulTarget, uint32_t ulMask) {
  const uint32_t ulTurns = TurnSteps(SettingValue(g_ParamRotationFlag), ulTarget);
  return RunCarouselCycle(kTurn, ulTarget, ulTurns, ulMask);
}

// ---- the primitives no sequence calls ----

int32_t SeqPromptAnyKey(uint32_t ulMask) {
  enum : uint32_t { STEP_SAVE = 1000, STEP_PROMPT = 1010, STEP_WAIT_KEY = 2000, STEP_RESTORE = 3000 };
  char acSaved[CLcd::kVisibleColumns] = {};
  return RunSteps(STEP_SAVE, SEQ_STEP_END, InnerMask(ulMask), [&](SeqStepState& s) -> uint32_t {
    uint32_t ulKey = KEY_NONE;
    switch (s.ulStep) {
      case STEP_SAVE:
        s.lResult = g_Lcd.ReadText(acSaved, 0, CLcd::kVisibleColumns);
        return STEP_PROMPT;
      case STEP_PROMPT:
        g_Lcd.WriteText("Hit Any Key ... ", 0, CLcd::kVisibleColumns);
        return STEP_WAIT_KEY;
      case STEP_WAIT_KEY:
        return g_KeyMng.WaitKey(1, &ulKey) == 1 ? STEP_RESTORE : STEP_WAIT_KEY;
      case STEP_RESTORE:
        g_Lcd.WriteText(acSaved, 0, CLcd::kVisibleColumns);
        return SEQ_STEP_END;
      case SEQ_STEP_END:
        return SEQ_STEP_END;
      default:
        s.lResult = -1;
        return s.ulStep;
    }
  });
}

void ShowPhaseAndWaitKey(uint32_t ulPhase) {
  // "Phase :" and the number right-aligned in the nine columns after it
  // (four of them for the phases of up to four digits).
  constexpr uint32_t kLabelColumns = 7;
  FormatDecimal(static_cast<int32_t>(ulPhase), 0);
  g_Lcd.WriteText("Phase :", 0, kLabelColumns);
  g_Lcd.WriteText(g_acNumberText + 1, kLabelColumns, CLcd::kVisibleColumns - kLabelColumns);
  WaitAnyKey();
}

int32_t MoveMainAndEjectPinch(uint32_t ulMainRequest, uint32_t ulEjectPosition, uint32_t ulDelayMs, uint32_t ulMask) {
  const PartMove moves[] = {{PART_MAIN_PINCH, ulMainRequest, 0}, {PART_EJECT_PINCH, ulEjectPosition, ulDelayMs}};
  return RunPartMoves(moves, 2, false, ulMask);
}

int32_t MoveHeadEjectAndMainPinch(uint32_t ulHeadPosition, uint32_t ulEjectPosition, uint32_t ulMainRequest,
                                  uint32_t ulDelayMs, uint32_t ulReverse, uint32_t ulSubSteps, uint32_t ulMask) {
  const bool bSubStepper = ulSubSteps != 0;
  if (bSubStepper) {
    g_StpmtrSub.SetCountdown(ulSubSteps + kSubCountdownBase);
    const int32_t lResult = g_StpmtrSub.RunConstant(kSubRate, ulReverse == 0 ? 1 : 0, kSubStepMode, 0);
    if (lResult != 0) return lResult;
  }
  const PartMove moves[] = {
      {PART_HEAD, ulHeadPosition, 0}, {PART_EJECT_PINCH, ulEjectPosition, 0}, {PART_MAIN_PINCH, ulMainRequest, ulDelayMs}};
  return RunPartMoves(moves, 3, bSubStepper, ulMask);
}

int32_t MoveMainPinchAndCutter(uint32_t ulMainRequest, uint32_t ulCutterMode, uint32_t ulDelayMs, uint32_t ulMask) {
  const PartMove moves[] = {{PART_MAIN_PINCH, ulMainRequest, 0}, {PART_CUTTER, ulCutterMode, ulDelayMs}};
  return RunPartMoves(moves, 2, false, ulMask);
}

int32_t RunRibbonPhaseOnce() {
  enum : uint32_t { STEP_DUMMY_RUN, STEP_START, STEP_POLL, STEP_STOP };
  constexpr uint32_t kMask = SEQ_CHECK_HOST;
  return RunSteps(STEP_DUMMY_RUN, SEQ_STEP_ERROR, kMask, [](SeqStepState& s) -> uint32_t {
    switch (s.ulStep) {
      case STEP_DUMMY_RUN:
        s.lResult = RibbonDummyRun(kMask);
        return STEP_START;
      case STEP_START:
        g_pCurSlitRibEncSrc->Start();
        s.lResult = g_pDonorMng->SetRibbonPhase(RIBPH_WIND_M, 1);
        return STEP_POLL;
      case STEP_POLL: {
        // 1 while the wind runs, 0 once it has ended, anything else a failure.
        uint32_t ulDone = 0;
        const int32_t lStep = g_pDonorMng->Step(&ulDone);
        if (lStep == 1) return STEP_POLL;
        if (lStep != 0) s.lResult = -1;
        return STEP_STOP;
      }
      case STEP_STOP:
      case SEQ_STEP_ERROR:
        // The counts stay for the caller; the clutch is released either way.
        g_pDonorMng->StopRibbon(1, 1);
        return SEQ_STEP_END;
      case SEQ_STEP_END:
        return SEQ_STEP_END;
      default:
        s.lResult = -1;
        return s.ulStep;
    }
  });
}
