#include "firmware/mechanism/roll_rotation.h"

#include "firmware/control/error_manager.h"
#include "firmware/control/menu.h"
#include "firmware/devices/digital_sensor.h"
#include "firmware/devices/machine_actuators.h"
#include "firmware/devices/parameter.h"
#include "firmware/devices/sensors.h"
#include "firmware/devices/settings.h"
#include "firmware/mechanism/step_machine.h"
#include "firmware/mechanism/unit_moves.h"
#include "firmware/platform/soft_timer.h"

constinit RollRotationState g_RollRotationState;
constinit RollDutyEntry g_aRollDutyRamp[kRollDutyRampEntries];

namespace {

// The turn counts by move: "Engine Version" 1, then every other version.
constexpr uint32_t kTurnCountsEm2[ROLL_MOVE_COUNT] = {376, 630, 736, 270, 1350, 1710};
constexpr uint32_t kTurnCountsEm3[ROLL_MOVE_COUNT] = {676, 330, 436, 570, 1650, 1410};
constexpr int32_t kEngineVersionEm2 = 1;

// Duties: a turn to or from neutral starts at 50 %, one from side to side
// at 80 %; both end at 30 %; the homing runs at 50 %.
constexpr uint32_t kNeutralStartDuty = 50;
constexpr uint32_t kSideStartDuty = 80;
constexpr uint32_t kEndDuty = 30;
constexpr uint32_t kHomingDuty = 50;
// The ramp: the first step after this many counts, each next one a count
// sooner, 5 % each.
constexpr uint32_t kRampFirstCounts = 20;
constexpr uint32_t kRampDutyStep = 5;
// The last counts of a turn are the ramp's and the end duty's.
constexpr uint32_t kSlowDownCounts = 360;
// "UnitPosi" must stay on for more than this many counts in a notch.
constexpr uint32_t kNotchCounts = 24;

// How a turn runs from its start position: the move's count, the motor's
// direction.
struct TurnRow {
  uint32_t ulFrom;
  uint32_t ulTo;
  RollMove eMove;
  bool bForward;  // towards 3
};
constexpr TurnRow kTurns[] = {
    {ROLL_POS_NEUTRAL, ROLL_POS_RIGHT, ROLL_MOVE_1_TO_3, true},
    {ROLL_POS_RIGHT, ROLL_POS_NEUTRAL, ROLL_MOVE_3_TO_1, false},
    {ROLL_POS_NEUTRAL, ROLL_POS_LEFT, ROLL_MOVE_1_TO_2, false},
    {ROLL_POS_LEFT, ROLL_POS_NEUTRAL, ROLL_MOVE_2_TO_1, true},
    {ROLL_POS_LEFT, ROLL_POS_RIGHT, ROLL_MOVE_2_TO_3, true},
    {ROLL_POS_RIGHT, ROLL_POS_LEFT, ROLL_MOVE_3_TO_2, false},
};
const TurnRow* FindTurn(uint32_t ulFrom, uint32_t ulTo) {
  for (const TurnRow& row : kTurns) {
    if (row.ulFrom == ulFrom && row.ulTo == ulTo) return &row;
  }
  return nullptr;
}

// The count of a channel; a failed read leaves the last one.
uint32_t CountOf(CSlit& slit) {
  uint32_t ulCount = 0;
  if (slit.ReadCount(&ulCount) != 0) slit.GetLastCount(&ulCount);
  return ulCount;
}

void RestartChannel(CSlit& slit) {
  slit.Clear();
  slit.Start();
}

// One plain read of "UnitPosi": true only when it succeeds at `ulLevel`.
bool UnitPosiReads(uint32_t ulLevel) {
  uint32_t ulRead = 0xFF;
  return g_SensorUnitPosi.Read(&ulRead) == 0 && ulRead == ulLevel;
}

// The end of a turn or homing that ran out of time, or found its state
// unknown: the motor stops and 540 is raised.
int32_t FailRollMove() {
  g_ChopMotorPaperRot.Stop();
  g_ErrorMng.SetError(kRollRotationError);
  return -1;
}

// A turn still under way: its time-out sends the next step to the failure.
int32_t KeepTurning() {
  if (IsSoftTimerRunning(SOFT_TIMER_LONG) == 0) g_RollRotationState.ulStepState = ROLL_STEP_FAILED;
  return 1;
}

}  // namespace

void SetRollTurnCounts(int32_t lEngineVersion) {
  const uint32_t* pulCounts = lEngineVersion == kEngineVersionEm2 ? kTurnCountsEm2 : kTurnCountsEm3;
  for (uint32_t i = 0; i < ROLL_MOVE_COUNT; ++i) g_RollRotationState.aulTurnCounts[i] = pulCounts[i];
}

void BuildRollDutyRamp(uint32_t ulStartDuty, uint32_t ulEndDuty) {
  RollDutyEntry* pRamp = g_aRollDutyRamp;
  g_RollRotationState.ulRampIndex = 0;
  if (ulStartDuty <= ulEndDuty) {
    pRamp[0] = {0, ulStartDuty};
    return;
  }
  // Every ramp ends with an entry of 0 counts, so no entry of an earlier,
  // longer ramp is ever reached.
  if (ulStartDuty - ulEndDuty < kRampDutyStep) {
    pRamp[0] = {1, ulEndDuty};
    pRamp[1] = {0, 0};
    return;
  }
  // The last step to E and the end entry always fit: a ramp longer than the
  // table goes to E from its 18th step.
  constexpr uint32_t kLastStep = kRollDutyRampEntries - 3;
  for (uint32_t i = 0; i <= kLastStep; ++i) {
    pRamp[i] = {kRampFirstCounts - i, ulStartDuty - kRampDutyStep * (i + 1)};
    const uint32_t ulLeft = ulStartDuty - kRampDutyStep * i - ulEndDuty - kRampDutyStep;
    if (ulLeft <= kRampDutyStep || i == kLastStep) {
      pRamp[i + 1] = {kRampFirstCounts - 1 - i, ulEndDuty};
      pRamp[i + 2] = {0, 0};
      return;
    }
  }
}

uint32_t RollDutyRampStep(uint32_t ulCount, uint32_t ulLast) {
  uint32_t& ulIndex = g_RollRotationState.ulRampIndex;
  if (ulIndex >= kRollDutyRampEntries) return ulLast;
  const RollDutyEntry& entry = g_aRollDutyRamp[ulIndex];
  if (entry.ulCounts == 0 || ulCount - ulLast < entry.ulCounts) return ulLast;
  g_ChopMotorPaperRot.SetDuty(entry.ulDuty);
  ++ulIndex;
  return ulCount;
}

int32_t StartRollTurn(uint32_t ulTarget) {
  RollRotationState& s = g_RollRotationState;
  s.ulTarget = ulTarget;
  const int32_t lFrom = SettingValue(g_ParamRotationFlag);
  const auto ulFrom = static_cast<uint32_t>(lFrom);
  if (ulFrom == ulTarget) {
    s.ulStepState = ROLL_STEP_IDLE;
    return 0;
  }
  // The position not defined (or not a position), or a target that is none.
  const TurnRow* pTurn = IsRollPosition(lFrom) ? FindTurn(ulFrom, ulTarget) : nullptr;
  if (pTurn == nullptr) {
    s.ulStepState = ROLL_STEP_IDLE;
    return -1;
  }
  const bool bNeutral = ulTarget == ROLL_POS_NEUTRAL || ulFrom == ROLL_POS_NEUTRAL;
  const uint32_t ulStartDuty = bNeutral ? kNeutralStartDuty : kSideStartDuty;
  BuildRollDutyRamp(ulStartDuty, kEndDuty);
  s.ulMoveCount = s.aulTurnCounts[pTurn->eMove];
  g_ChopMotorPaperRot.SetDuty(ulStartDuty);
  if (pTurn->bForward) {
    g_ChopMotorPaperRot.Forward();
  } else {
    g_ChopMotorPaperRot.Reverse();
  }
  g_ParamRotationFlag.SetValue(ROLL_POS_UNDEFINED);
  StartSoftTimer(SOFT_TIMER_LONG, kRollMoveTimeoutMs);
  s.ulStepState = ROLL_STEP_FIND_NOTCH;
  return 0;
}

int32_t RollTurnStep() {
  RollRotationState& s = g_RollRotationState;
  switch (s.ulStepState) {
    case ROLL_STEP_IDLE:
      return 0;
    case ROLL_STEP_FIND_NOTCH: {
      uint32_t ulOn = 0;
      if (g_SensorUnitPosi.ReadStable(&ulOn) != 0 || ulOn != 1) return KeepTurning();
      RestartChannel(g_SlitTurnEnc);
      s.ulStartCount = CountOf(g_SlitTurnEnc);
      s.ulStepState = ROLL_STEP_IN_NOTCH;
      return 1;
    }
    case ROLL_STEP_IN_NOTCH:
      if (!UnitPosiReads(1) || CountOf(g_SlitTurnEnc) - s.ulStartCount <= kNotchCounts) return KeepTurning();
      s.ulStepState = ROLL_STEP_LEAVE_NOTCH;
      return 1;
    case ROLL_STEP_LEAVE_NOTCH:
      if (!UnitPosiReads(0)) return KeepTurning();
      s.ulStartCount = CountOf(g_SlitTurnEnc);
      s.ulStepState = ROLL_STEP_FROM_EDGE;
      return 1;
    case ROLL_STEP_FROM_EDGE:
      s.ulLastCount = CountOf(g_SlitTurnEnc);
      s.ulStepState = s.ulMoveCount >= kSlowDownCounts ? ROLL_STEP_FULL_SPEED : ROLL_STEP_RAMP_DOWN;
      return 1;
    case ROLL_STEP_FULL_SPEED: {
      const uint32_t ulCount = CountOf(g_SlitTurnEnc);
      if (ulCount - s.ulStartCount <= s.ulMoveCount - kSlowDownCounts) return KeepTurning();
      s.ulLastCount = ulCount;
      s.ulStepState = ROLL_STEP_RAMP_DOWN;
      return 1;
    }
    case ROLL_STEP_RAMP_DOWN: {
      const uint32_t ulCount = CountOf(g_SlitTurnEnc);
      s.ulLastCount = RollDutyRampStep(ulCount, s.ulLastCount);
      if (ulCount - s.ulStartCount < s.ulMoveCount) return KeepTurning();
      g_ChopMotorPaperRot.Brake();
      s.ulStepState = ROLL_STEP_IDLE;
      g_ParamRotationFlag.SetValue(static_cast<int32_t>(s.ulTarget));
      return 0;
    }
    default:
      return FailRollMove();
  }
}

int32_t StartRollHoming() {
  RollRotationState& s = g_RollRotationState;
  g_ChopMotorPaperRot.SetDuty(kHomingDuty);
  g_ChopMotorPaperRot.Forward();
  RestartChannel(g_SlitTurnEnc);
  RestartChannel(g_SlitFaultChk);
  s.ulLastCount = CountOf(g_SlitFaultChk);
  StartSoftTimer(SOFT_TIMER_LONG, kRollMoveTimeoutMs);
  StartSoftTimer(SOFT_TIMER_WAIT, kRollStallMs);
  s.ulStepState = ROLL_STEP_FIND_NOTCH;
  return 0;
}

int32_t RollHomingStep() {
  RollRotationState& s = g_RollRotationState;
  switch (s.ulStepState) {
    case ROLL_STEP_IDLE:
      return 0;
    case ROLL_STEP_FIND_NOTCH: {
      const uint32_t ulCount = CountOf(g_SlitFaultChk);
      if (ulCount != s.ulLastCount) {
        // Still turning: the stall watch starts again.
        s.ulLastCount = ulCount;
        StartSoftTimer(SOFT_TIMER_WAIT, kRollStallMs);
        if (IsSoftTimerRunning(SOFT_TIMER_LONG) == 0) s.ulStepState = ROLL_STEP_FAILED;
        return 1;
      }
      if (IsSoftTimerRunning(SOFT_TIMER_WAIT) != 0) return 1;
      g_ChopMotorPaperRot.Stop();
      s.ulStepState = ROLL_STEP_IDLE;
      g_ParamRotationFlag.SetValue(ROLL_POS_RIGHT);
      return 0;
    }
    default:
      return FailRollMove();
  }
}

int32_t TurnPaperRollFromMenu() {
  constexpr uint32_t kMask = SEQ_CHECK_HOST;
  // The menu's entries in order: "To Right", "To Left", "To Neutral".
  constexpr uint32_t kTargets[] = {ROLL_POS_RIGHT, ROLL_POS_LEFT, ROLL_POS_NEUTRAL};
  const int32_t lResult = InitPaperRollRotation(kMask);
  if (lResult != 0) return lResult;
  const uint32_t ulSelection = GetMenuSelection();
  if (ulSelection < 1 || ulSelection > sizeof kTargets / sizeof kTargets[0]) return 0;
  return TurnPaperRoll(kTargets[ulSelection - 1], kMask);
}
