// The paper-roll carousel's rotation: the roll turns between three
// positions on one line, left (2) - neutral (1) - right (3), right being the
// end stop. The carousel motor has no position switch of its own: a turn
// counts "TurnEnc" counts from the edge of the notch that "UnitPosi" sees
// at the position it leaves, slowing down through a duty ramp before the
// end of its travel; the homing drives into the end stop until "FaultChk"
// stops counting. Turn and homing are start/step pairs on one state block;
// the callers release the rotation lock before and lock it after
// (unit_moves.h). "Rotation Flag" keeps the position over power-off and
// reads 0 from the start of a turn until its end.
#pragma once

#include <cstdint>

// The carousel positions, as "Rotation Flag" holds them.
enum RollTurnPosition : uint32_t {
  ROLL_POS_UNDEFINED = 0,
  ROLL_POS_NEUTRAL = 1,
  ROLL_POS_LEFT = 2,
  ROLL_POS_RIGHT = 3,  // the end stop
};

// A "Rotation Flag" value that names a position (1-3).
inline bool IsRollPosition(int32_t lFlag) {
  const auto ulFlag = static_cast<uint32_t>(lFlag);
  return ulFlag >= ROLL_POS_NEUTRAL && ulFlag <= ROLL_POS_RIGHT;
}

// The six moves, in the order of the turn-count table.
enum RollMove : uint32_t {
  ROLL_MOVE_1_TO_3 = 0,
  ROLL_MOVE_3_TO_1 = 1,
  ROLL_MOVE_1_TO_2 = 2,
  ROLL_MOVE_2_TO_1 = 3,
  ROLL_MOVE_2_TO_3 = 4,
  ROLL_MOVE_3_TO_2 = 5,
  ROLL_MOVE_COUNT = 6,
};

// The step states of a turn and of the homing.
enum RollStep : uint32_t {
  ROLL_STEP_IDLE = 0,
  ROLL_STEP_FIND_NOTCH = 100,  // also the homing's one running state
  ROLL_STEP_IN_NOTCH = 101,
  ROLL_STEP_LEAVE_NOTCH = 102,
  ROLL_STEP_FROM_EDGE = 103,
  ROLL_STEP_FULL_SPEED = 104,
  ROLL_STEP_RAMP_DOWN = 105,
  ROLL_STEP_FAILED = 999,
};

struct RollRotationState {
  uint32_t ulRampIndex;   // next entry of the duty ramp
  uint32_t ulTarget;      // the position being turned to
  uint32_t ulMoveCount;   // "TurnEnc" counts of the turn from the notch edge
  uint32_t ulStartCount;  // "TurnEnc" count at the reference point
  uint32_t ulLastCount;   // turn: count at the last duty change; homing: last "FaultChk" count
  uint32_t ulStepState;
  uint32_t aulTurnCounts[ROLL_MOVE_COUNT];
};
extern RollRotationState g_RollRotationState;

// The duty ramp of the current turn: {counts since the last change, duty};
// an entry with counts 0 ends it.
struct RollDutyEntry {
  uint32_t ulCounts;
  uint32_t ulDuty;
};
constexpr uint32_t kRollDutyRampEntries = 20;
extern RollDutyEntry g_aRollDutyRamp[kRollDutyRampEntries];

// A turn or the homing failed: "Mecha Error 28".
constexpr uint32_t kRollRotationError = 0x021C;
// The move time-out, and the time without a "FaultChk" count that finds the
// end stop.
constexpr uint32_t kRollMoveTimeoutMs = 10000;
constexpr uint32_t kRollStallMs = 500;

// The six turn counts of the "Engine Version": 1 takes the first column of
// the table, any other value the second.
void SetRollTurnCounts(int32_t lEngineVersion);

// 0 started, or nothing to do at the target; -1 with the position not
// defined, or a target outside 1-3 (nothing starts).
int32_t StartRollTurn(uint32_t ulTarget);
// 1 still turning, 0 arrived ("Rotation Flag" holds the target), -1 failed
// (the motor stopped, 540 raised).
int32_t RollTurnStep();
// Runs the motor towards the end stop at 50 %; 0.
int32_t StartRollHoming();
// 1 still moving, 0 at the end stop ("Rotation Flag" 3), -1 failed (the
// motor stopped, 540 raised).
int32_t RollHomingStep();

// Builds the ramp from start duty S down to end duty E in steps of 5, the
// first after 20 counts, each next one a count sooner, then E; the index
// goes back to 0.
void BuildRollDutyRamp(uint32_t ulStartDuty, uint32_t ulEndDuty);
// Applies the entry at the ramp index once the count has gone its counts
// past the last change: the carousel motor's duty becomes the entry's and
// the index advances. Returns the last count: ulCount after a change, else
// ulLast.
uint32_t RollDutyRampStep(uint32_t ulCount, uint32_t ulLast);

// The paper-roll menu's entries "To Right", "To Left", "To Neutral"
// (selections 1-3): the carousel initialised, then turned there.
int32_t TurnPaperRollFromMenu();
