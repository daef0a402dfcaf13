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
#include "firmware/mechanism/feed_pinch.h"
#include "firmware/mechanism/main_pinch.h"
#include "firmware/mechanism/path_select.h"
#include "firmware/mechanism/roll_rotation.h"
#include "firmware/mechanism/rotation_lock.h"
#include "firmware/mechanism/simple_positioners.h"
#include "firmware/mechanism/step_machine.h"
#include "firmware/platform/time_base.h"

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
constexpr uint32_t InnerMask(uint32_t ulMask) { return ulMask & ~static_cast<uint32_t>(SEQ_CHECK_HOST); }

enum MoveStep : uint32_t { STEP_START = 0, STEP_POLL = 10 };

// The shape of every single-part move: start, then poll to the end.
int32_t RunUnitMove(UnitPart ePart, uint32_t ulRequest, uint32_t ulMask) {
  const PositionerAdapter& part = kParts[ePart];
  SeqStepState s{0, STEP_START, 0};
  bool bDone = false;
  while (!bDone) {
    uint32_t ulNext = s.ulStep;
    switch (s.ulStep) {
      case STEP_START:
        s.lResult = part.pfnStart(ulRequest);
        ulNext = STEP_POLL;
        break;
      case STEP_POLL: {
        int32_t lDone = 0;
        s.lResult = part.pfnStep(&lDone);
        ulNext = lDone != 0 ? SEQ_STEP_END : STEP_POLL;
        break;
      }
      case SEQ_STEP_END:
        bDone = true;
        break;
      default:
        s.lResult = -1;
        break;
    }
    StepAdvance(s, ulNext, SEQ_STEP_END, InnerMask(ulMask));
  }
  return s.lResult;
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
  SeqStepState s{0, STEP_START, 0};
  bool bFinished = false;
  while (!bFinished) {
    uint32_t ulNext = s.ulStep;
    switch (s.ulStep) {
      case STEP_START:
        ulStartMs = g_MsTimer.NowMs();
        ulNext = STEP_POLL;
        break;
      case STEP_POLL: {
        const uint32_t ulElapsed = g_MsTimer.ElapsedMs16(ulStartMs, g_MsTimer.NowMs());
        bool bAllDone = true;
        for (uint32_t i = 0; i < ulCount && s.lResult == 0; ++i) {
          const PositionerAdapter& part = kParts[pMoves[i].ePart];
          if (!abStarted[i] && ulElapsed >= (pMoves[i].ulDelayMs & 0xFFFFu)) {
            abStarted[i] = true;
            s.lResult = part.pfnStart(pMoves[i].ulRequest);
          } else if (abStarted[i] && !abDone[i]) {
            int32_t lDone = 0;
            s.lResult = part.pfnStep(&lDone);
            abDone[i] = lDone != 0;
          }
          bAllDone = bAllDone && abDone[i];
        }
        if (!bSubDone) bSubDone = SubStepperArrived();
        ulNext = bAllDone && bSubDone ? SEQ_STEP_END : STEP_POLL;
        break;
      }
      case SEQ_STEP_END:
        bFinished = true;
        break;
      default:
        s.lResult = -1;
        break;
    }
    StepAdvance(s, ulNext, SEQ_STEP_END, InnerMask(ulMask));
  }
  return s.lResult;
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
  SeqStepState s{0, STEP_START, 0};
  bool bDone = false;
  while (!bDone) {
    uint32_t ulNext = s.ulStep;
    switch (s.ulStep) {
      case STEP_START:
        s.lResult = lock.pfnStart(ulPosition);
        ulNext = STEP_STOP_CAROUSEL;
        break;
      case STEP_STOP_CAROUSEL:
        if (!bMotorStopped && g_MsTimer.ElapsedMs16(ulStartMs, g_MsTimer.NowMs()) >= ulDelayMs) {
          g_ChopMotorPaperRot.Stop();
          bMotorStopped = true;
        }
        ulNext = STEP_POLL_LOCK;
        break;
      case STEP_POLL_LOCK: {
        int32_t lDone = 0;
        s.lResult = lock.pfnStep(&lDone);
        ulNext = lDone != 0 ? SEQ_STEP_END : STEP_STOP_CAROUSEL;
        break;
      }
      case SEQ_STEP_END: {
        uint32_t ulFlag = kLockFlagUndefined;
        if (s.lResult == 0) {
          ulFlag = ulPosition == ROT_LOCK_RELEASE || ulPosition == ROT_LOCK_UNLOCKED ? kLockFlagUnlocked
                                                                                     : kLockFlagLocked;
        }
        g_ParamRotationLockFlag.SetValue(static_cast<int32_t>(ulFlag));
        bDone = true;
        break;
      }
      default:
        s.lResult = -1;
        break;
    }
    StepAdvance(s, ulNext, SEQ_STEP_END, InnerMask(ulMask));
  }
  return s.lResult;
}

int32_t InitPaperRollRotation(uint32_t ulMask) {
  enum : uint32_t {
    STEP_FORGET = 0,
    STEP_CHECK = 5,
    STEP_UNLOCK = 10,
    STEP_HOME = 20,
    STEP_HOMING = 21,
    STEP_COUNT = 25,
    STEP_TO_NEUTRAL = 30,
    STEP_SETTLE = 40,
    STEP_LOCK = 50,
  };
  SeqStepState s{0, STEP_FORGET, 0};
  bool bDone = false;
  while (!bDone) {
    uint32_t ulNext = s.ulStep;
    switch (s.ulStep) {
      case STEP_FORGET:
        // A carousel that was not kept locked has lost its position.
        if (SettingValue(g_ParamRotationLockFlag) != kLockFlagLocked) {
          g_ParamRotationFlag.SetValue(ROLL_POS_UNDEFINED);
        }
        ulNext = STEP_CHECK;
        break;
      case STEP_CHECK:
        if (IsRollPosition(SettingValue(g_ParamRotationFlag))) {
          ulNext = SEQ_STEP_END;
        } else {
          ulNext = NoPaperAt(kHomingSensors) ? STEP_UNLOCK : SEQ_STEP_END;
        }
        break;
      case STEP_UNLOCK:
        s.lResult = MoveRotationLock(ROT_LOCK_UNLOCKED, ulMask);
        ulNext = STEP_HOME;
        break;
      case STEP_HOME:
        s.lResult = StartRollHoming();
        ulNext = STEP_HOMING;
        break;
      case STEP_HOMING: {
        const int32_t lHoming = RollHomingStep();
        if (lHoming < 0) s.lResult = lHoming;
        ulNext = lHoming == 0 ? STEP_COUNT : STEP_HOMING;
        break;
      }
      case STEP_COUNT:
        g_CounterCarousel.Increment();
        ulNext = STEP_TO_NEUTRAL;
        break;
      case STEP_TO_NEUTRAL:
        s.lResult = TurnPaperRoll(ROLL_POS_NEUTRAL, ulMask);
        ulNext = STEP_SETTLE;
        break;
      case STEP_SETTLE:
        s.lResult = SeqWaitMs(kSettleBeforeLockMs, ulMask);
        ulNext = STEP_LOCK;
        break;
      case STEP_LOCK:
        s.lResult = MoveRotationLock(ROT_LOCK_LOCKED, ulMask);
        ulNext = SEQ_STEP_END;
        break;
      case SEQ_STEP_END:
        PublishCarouselCounter();
        bDone = true;
        break;
      default:
        s.lResult = -1;
        break;
    }
    StepAdvance(s, ulNext, SEQ_STEP_END, InnerMask(ulMask));
  }
  if (s.lResult != 0) g_ChopMotorPaperRot.Stop();
  return s.lResult;
}

int32_t TurnPaperRoll(uint32_t ulTarget, uint32_t ulMask) {
  enum : uint32_t {
    STEP_AT_TARGET = 0,
    STEP_CHECK_PAPER = 1,
    STEP_UNLOCK = 2,
    STEP_TURN = 10,
    STEP_TURNING = 11,
    STEP_COUNT = 15,
    STEP_SETTLE = 20,
    STEP_LOCK = 25,
  };
  const uint32_t ulTurns = TurnSteps(SettingValue(g_ParamRotationFlag), ulTarget);
  SeqStepState s{0, STEP_AT_TARGET, 0};
  bool bDone = false;
  while (!bDone) {
    uint32_t ulNext = s.ulStep;
    switch (s.ulStep) {
      case STEP_AT_TARGET:
        ulNext = static_cast<uint32_t>(SettingValue(g_ParamRotationFlag)) == ulTarget ? SEQ_STEP_END
                                                                                       : STEP_CHECK_PAPER;
        break;
      case STEP_CHECK_PAPER:
        // Paper at a top sensor: the carousel must not turn.
        if (NoPaperAt(kTopSensors)) {
          ulNext = STEP_UNLOCK;
        } else {
          s.lResult = -1;
        }
        break;
      case STEP_UNLOCK:
        s.lResult = MoveRotationLock(ROT_LOCK_UNLOCKED, ulMask);
        ulNext = STEP_TURN;
        break;
      case STEP_TURN:
        s.lResult = StartRollTurn(ulTarget);
        ulNext = STEP_TURNING;
        break;
      case STEP_TURNING: {
        const int32_t lTurn = RollTurnStep();
        if (lTurn < 0) s.lResult = lTurn;
        ulNext = lTurn == 0 ? STEP_COUNT : STEP_TURNING;
        break;
      }
      case STEP_COUNT:
        g_CounterCarousel.Add(ulTurns);
        ulNext = STEP_SETTLE;
        break;
      case STEP_SETTLE:
        s.lResult = SeqWaitMs(kSettleBeforeLockMs, ulMask);
        ulNext = STEP_LOCK;
        break;
      case STEP_LOCK:
        s.lResult = MoveRotationLock(ROT_LOCK_LOCKED, ulMask);
        ulNext = SEQ_STEP_END;
        break;
      case SEQ_STEP_END:
        PublishCarouselCounter();
        bDone = true;
        break;
      default:
        s.lResult = -1;
        break;
    }
    StepAdvance(s, ulNext, SEQ_STEP_END, InnerMask(ulMask));
  }
  if (s.lResult != 0) g_ChopMotorPaperRot.Stop();
  return s.lResult;
}

// ---- the primitives no sequence calls ----

int32_t SeqPromptAnyKey(uint32_t ulMask) {
  enum : uint32_t { STEP_SAVE = 1000, STEP_PROMPT = 1010, STEP_WAIT_KEY = 2000, STEP_RESTORE = 3000 };
  char acSaved[CLcd::kVisibleColumns] = {};
  SeqStepState s{0, STEP_SAVE, 0};
  bool bDone = false;
  while (!bDone) {
    uint32_t ulNext = s.ulStep;
    switch (s.ulStep) {
      case STEP_SAVE:
        s.lResult = g_Lcd.ReadText(acSaved, 0, CLcd::kVisibleColumns);
        ulNext = STEP_PROMPT;
        break;
      case STEP_PROMPT:
        g_Lcd.WriteText("Hit Any Key ... ", 0, CLcd::kVisibleColumns);
        ulNext = STEP_WAIT_KEY;
        break;
      case STEP_WAIT_KEY: {
        uint32_t ulKey = KEY_NONE;
        ulNext = g_KeyMng.WaitKey(1, &ulKey) == 1 ? STEP_RESTORE : STEP_WAIT_KEY;
        break;
      }
      case STEP_RESTORE:
        g_Lcd.WriteText(acSaved, 0, CLcd::kVisibleColumns);
        ulNext = SEQ_STEP_END;
        break;
      case SEQ_STEP_END:
        bDone = true;
        break;
      default:
        s.lResult = -1;
        break;
    }
    StepAdvance(s, ulNext, SEQ_STEP_END, InnerMask(ulMask));
  }
  return s.lResult;
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

// RunRibbonPhaseOnce (the ribbon manager's one-phase run) goes here.
