// What the main and the feed pinch rollers share: their motions as table
// rows (the operation, the target, the start positions, the watched sensor
// and its levels, the direction, the position taken as the motion starts,
// the up time-out index and, for a motion confirmed after its brake, the
// confirming sensor), their arrival checks and time-outs as rows, the
// conversion of the side requests and the screens' position texts.
#pragma once

#include <cstdint>

#include "firmware/mechanism/positioner.h"

// The operations a motion row belongs to.
enum PinchMotionKind : uint8_t {
  PINCH_MOTION_HOME = 0,         // lift to up
  PINCH_MOTION_LOWER = 1,        // lower to a down position
  PINCH_MOTION_LOWER_HALF = 2,   // lower from a half position
  PINCH_MOTION_TO_HALF = 3,      // move to a half position
};

// Start positions as a mask: bit n stands for position n.
constexpr uint16_t Pos(uint32_t ulPosition) { return static_cast<uint16_t>(1u << ulPosition); }
constexpr uint16_t kFromAny = 0xFFFF;
// The motion keeps the position it starts from.
constexpr uint16_t kKeepPosition = 0xFFFF;

struct PinchMotion {
  PinchMotionKind eKind;
  uint16_t usTarget;
  uint16_t usFrom;  // mask of start positions
  CDigitalSensor* pWatched;
  const PositionerLevels* pLevels;
  PositionerDrive eDrive;
  uint16_t usStartPosition;   // kKeepPosition: the position stays
  uint16_t usUpTimeoutError;  // 0: the up time-out index stays
  CDigitalSensor* pConfirm;   // null: nothing confirms the end
  uint8_t ucConfirmLevel;
};
struct PinchMotions {
  const PinchMotion* pRows;
  uint32_t ulRows;
};

// The row of the operation for the target from the position; null when
// the operation cannot start there.
const PinchMotion* FindPinchMotion(const PinchMotions& motions, PinchMotionKind eKind, uint32_t ulTarget,
                                   uint32_t ulPosition);
// Every motion fills its sequence before it looks at the position: the
// target is set and the record follows the row's watched sensor (the
// operation's first row when none fits, so a caller polling after a
// refused start runs into the time-out of the target). The row found, or
// null.
const PinchMotion* FollowPinchMotion(const PinchMotions& motions, PinchMotionKind eKind, uint32_t ulTarget,
                                     PositionerRecord& rec);

// An arrival check: at the position each of its rows' sensors must read
// its level.
struct PinchVerifyRow {
  uint16_t usPosition;
  CDigitalSensor* pSensor;
  uint8_t ucLevel;
};
struct PinchVerifyRows {
  const PinchVerifyRow* pRows;
  uint32_t ulRows;
};
// 0 when every row of the position reads its level; at the first that
// does not, the error index is raised, *pbMismatch set and -1 returned; a
// failed read gives its result; a position without a row gives -1 and
// raises nothing.
int32_t VerifyPinch(const PinchVerifyRows& rows, uint32_t ulPosition, uint32_t ulErrorIndex, bool* pbMismatch);

// The time-out index of a target; kUpTimeoutIndex stands for the roller's
// up time-out index of its last lift.
struct PinchTimeoutRow {
  uint16_t usTarget;
  uint16_t usError;
};
constexpr uint16_t kUpTimeoutIndex = 0xFFFF;
// The index to raise for the target, 0 for a target without a row.
template <uint32_t N>
uint32_t PinchTimeoutError(const PinchTimeoutRow (&rows)[N], uint32_t ulTarget, int32_t lUpTimeoutError) {
  const PinchTimeoutRow* pRow = FindRow(rows, &PinchTimeoutRow::usTarget, ulTarget);
  if (pRow == nullptr) return 0;
  return pRow->usError == kUpTimeoutIndex ? static_cast<uint32_t>(lUpTimeoutError) : pRow->usError;
}

// Raises the index; 0 raises nothing. The raise's result.
int32_t RaisePinchError(uint32_t ulError);

// Request 10 is down on the side of the unit (0: L, any other R); any other
// request is itself.
uint32_t PinchDownTarget(uint32_t ulRequest, uint32_t ulUnit);
// Request 11 is half down on the side of the unit; any other request is
// itself.
uint32_t PinchHalfTarget(uint32_t ulRequest, uint32_t ulUnit);

// The Move of a roller that is up or down (the feed rollers, the EM2 main
// roller): nothing while latched or at the request; a lowering (3 or 5, 10
// on the unit's side) only from up, else -2; 1 lifts; any other request -1.
template <typename Roller>
int32_t MoveUpOrDown(Roller& roller, int32_t lLatch, uint32_t ulPosition, uint32_t ulRequest, uint32_t ulUnit) {
  if (lLatch != 0) return 0;
  const uint32_t ulTarget = PinchDownTarget(ulRequest, ulUnit);
  if (ulTarget == ulPosition) return 0;
  if (ulTarget == PINCH_DOWN_L || ulTarget == PINCH_DOWN_R) {
    return ulPosition == PINCH_UP ? roller.StartMove(ulTarget) : -2;
  }
  return ulTarget == PINCH_UP ? roller.Home() : -1;
}

// The screens' position texts at column 4, with a between-position on
// each side (the EM2 rollers) or a half position (the EM3 main pinch).
extern const PositionTexts kPinchTextsBetween[6];
extern const PositionTexts kPinchTextsHalf[6];
