// The positioners: the parts of the mechanism with a few fixed positions
// (heads, pinch rollers, cutter, rotation lock, path selector, load bar).
// Each owns one motor and two or three end sensors, keeps its position as a
// small code (0: undefined) and reaches a requested position through a step
// machine that its caller polls once per pass. This file holds what every
// positioner shares: the position codes, the move record that follows a
// sequence of sensor levels against a time-out, the motor handle and the
// maintenance-screen frame.
#pragma once

#include <cstdint>

class CChopMotor;
class CDcMotor;
class CDigitalSensor;
class CFpgaChopMotor;
class CFpgaDcMotor;

enum HeadPosition : uint16_t { HEAD_POS_UNDEFINED = 0, HEAD_POS_UP = 1, HEAD_POS_DOWN = 2 };
enum EjectPinchPosition : uint16_t {
  EJECT_PINCH_UNDEFINED = 0,
  EJECT_PINCH_UP = 1,
  EJECT_PINCH_FDOWN = 2,
  EJECT_PINCH_CDOWN = 3,
};
enum LoadPinchPosition : uint16_t { LOAD_PINCH_UNDEFINED = 0, LOAD_PINCH_UP = 1, LOAD_PINCH_DOWN = 2 };
enum LoadBarPosition : uint16_t { LOAD_BAR_UNDEFINED = 0, LOAD_BAR_UP = 1, LOAD_BAR_DOWN = 2 };
enum CutterPosition : uint16_t { CUTTER_UNDEFINED = 0, CUTTER_LEFT = 1, CUTTER_RIGHT = 2 };
enum RotationLockPosition : uint16_t {
  ROT_LOCK_UNDEFINED = 0,
  ROT_LOCK_RELEASE = 1,          // a request; the move ends unlocked
  ROT_LOCK_RELEASE_BACKOFF = 2,  // internal
  ROT_LOCK_UNLOCKED = 3,
  ROT_LOCK_LOCK_DRIVE = 4,  // internal
  ROT_LOCK_LOCKED = 5,
};
enum PathSelectPosition : uint16_t {
  PATH_SEL_UNDEFINED = 0,
  PATH_SEL_FIND = 1,     // a request; a finished find ends at one of the paths
  PATH_SEL_REVERSE = 2,  // internal: the way back after a find that ran out of time
  PATH_SEL_PATH_L = 3,
  PATH_SEL_PATH_R = 4,
};

// The pinch rollers: up, or down on the side of unit L or R, with a
// position between (the EM3 main pinch's half position) on each side.
enum PinchPosition : uint16_t {
  PINCH_UNDEFINED = 0,
  PINCH_UP = 1,
  PINCH_HALF_L = 2,  // the main pinch's half position on EM3; else between up and down L
  PINCH_DOWN_L = 3,
  PINCH_HALF_R = 4,
  PINCH_DOWN_R = 5,
};
// Pinch requests besides the position codes: down, or half down, on the
// side of the given unit (0: L, any other R).
constexpr uint32_t kPinchRequestDown = 10;
constexpr uint32_t kPinchRequestHalf = 11;

// The states of a positioner's step machine.
enum PositionerStep : uint16_t {
  POS_STEP_IDLE = 0,           // finished, or nothing started
  POS_STEP_FOLLOW = 100,       // following the watched sensor's levels
  POS_STEP_PAUSE = 150,        // waiting before the next motion of a compound move
  POS_STEP_ARRIVED = 200,      // the sequence is complete: brake next
  POS_STEP_SWEEP_PAUSE = 250,  // waiting before the way back of a sweep
};

// Ways to start a motor.
enum PositionerDrive : uint8_t { POS_DRIVE_FORWARD = 0, POS_DRIVE_REVERSE = 1 };

// The motor of a positioner: a chopper (duty and period) or a plain DC
// motor (both are ignored).
class PositionerMotor {
 public:
  constexpr PositionerMotor() = default;
  explicit PositionerMotor(CFpgaChopMotor* pChopper);
  explicit PositionerMotor(CFpgaDcMotor* pMotor);
  int32_t Drive(PositionerDrive eDrive);
  int32_t Brake();
  int32_t Stop();
  // The chopper's result; 0 for a DC motor.
  int32_t SetDuty(uint32_t ulPercent);
  int32_t SetPeriod(uint32_t ulCounts);

 private:
  CChopMotor* m_pChopper = nullptr;
  CDcMotor* m_pMotor = nullptr;
};

// Expected levels of a watched sensor.
struct PositionerLevels {
  int32_t alLevel[4];
  uint32_t ulLength;
};
// Three polls off, then one on.
constexpr PositionerLevels kLevelsOffThenOn{{0, 0, 0, 1}, 4};
// Off, on, off, on: two on-phases.
constexpr PositionerLevels kLevelsTwoOnPhases{{0, 1, 0, 1}, 4};
// Three polls on, then one off.
constexpr PositionerLevels kLevelsOnThenOff{{1, 1, 1, 0}, 4};
// On, off, on again.
constexpr PositionerLevels kLevelsOnOffOn{{1, 0, 1, -1}, 3};
constexpr PositionerLevels kLevelsTurnOn{{0, 1, -1, -1}, 2};
constexpr PositionerLevels kLevelsTurnOff{{1, 0, -1, -1}, 2};

// The move record every positioner holds: the sequence of levels the
// watched sensor must show, the time the move started and its time-out, and
// position, target and step state.
class PositionerRecord {
 public:
  static constexpr uint32_t kLevelSlots = 10;

  constexpr PositionerRecord() = default;
  // Every level -1, everything else 0.
  explicit PositionerRecord(uint32_t ulTimeoutMs);

  // Starts following pSensor through the levels: index 0, start time now,
  // step state POS_STEP_FOLLOW.
  void Follow(CDigitalSensor* pSensor, const PositionerLevels& levels);
  // The start time becomes now.
  void Restart();
  // One read of the watched sensor: a read level that equals the next
  // expected one advances the index; anything else (another level, a
  // bouncing input, a failed read) leaves it. Complete once the index has
  // reached the length. Returns the read's result.
  int32_t PollSequence(uint32_t* pulComplete);
  // The step that follows the sequence: one poll; a complete sequence
  // moves on to the arrival state.
  void StepFollow(uint16_t usArrived = POS_STEP_ARRIVED);
  int32_t GetPosition(uint32_t* pulPosition) const {
    *pulPosition = usPosition;
    return 0;
  }
  // More ms than the time-out since the start time (unsigned difference).
  bool IsTimedOut() const;
  // At least ulMs since the start time, in the 16-bit elapsed time.
  bool PauseOver(uint32_t ulMs) const;

  int32_t alLevel[kLevelSlots] = {};
  int32_t lIndex = 0;
  int32_t lLength = 0;
  uint32_t ulStartMs = 0;
  uint32_t ulTimeoutMs = 0;
  uint16_t usPosition = 0;
  uint16_t usTarget = 0;
  uint16_t usStep = POS_STEP_IDLE;
  CDigitalSensor* pWatched = nullptr;
};

// The end of every positioner's Step: a failure stops the motor, sets the
// latch and makes the position undefined; done is written. Returns the
// result.
int32_t FinishPositionerStep(int32_t lResult, bool bFinished, PositionerRecord& rec, PositionerMotor& motor,
                             int32_t* plLatch, int32_t* plDone);

// Arrived: brake, and the target is the position; the step machine is
// idle.
void BrakeAtTarget(PositionerRecord& rec, PositionerMotor& motor);

// Every positioner's Stop: the motor stops, and a positioner short of its
// target forgets its position. Returns 0.
int32_t StopPositioner(PositionerRecord& rec, PositionerMotor& motor);

// A drive that ran out of time, or arrived, before a pause: brake, and the
// pause counts from now.
void PausePositioner(PositionerRecord& rec, PositionerMotor& motor);

// Every positioner's time-out check in Step, after its own states ran with
// `lResult` and `bFinished`: a move still running past its time-out either
// backs off (it brakes and pauses, when `bBacksOff`) or raises its time-out
// error and fails. Returns the step's result.
template <typename Positioner>
int32_t CheckPositionerTimeout(Positioner& positioner, int32_t lResult, bool bFinished, bool bBacksOff,
                               PositionerRecord& rec, PositionerMotor& motor) {
  if (lResult != 0 || bFinished || !rec.IsTimedOut()) return lResult;
  if (bBacksOff) {
    PausePositioner(rec, motor);
    return lResult;
  }
  positioner.ReportTimeout();
  return -1;
}

// Step after a start that gave `lResult`, until done or a failure; the
// result.
template <typename Positioner>
int32_t StepUntilDone(Positioner& positioner, int32_t lResult) {
  int32_t lDone = 0;
  while (lResult == 0 && lDone == 0) lResult = positioner.Step(&lDone);
  return lResult;
}

// The end of Step for a positioner that never backs off, after its own
// states ran with `lResult` and `bFinished`: the time-out check, the
// arrival check once finished, then FinishPositionerStep.
// A positioner may leave out the arrival check (`bVerify` false).
template <typename Positioner>
int32_t EndPositionerStep(Positioner& positioner, int32_t lResult, bool bFinished, PositionerRecord& rec,
                          PositionerMotor& motor, int32_t* plLatch, int32_t* plDone, bool bVerify = true) {
  lResult = CheckPositionerTimeout(positioner, lResult, bFinished, false, rec, motor);
  if (bFinished && bVerify) lResult = positioner.Verify();
  return FinishPositionerStep(lResult, bFinished, rec, motor, plLatch, plDone);
}

// Every positioner's MoveAndWait: StartMove, then Step until done or a
// failure; the result.
template <typename Positioner>
int32_t MoveAndWaitFor(Positioner& positioner, uint32_t ulRequest) {
  return StepUntilDone(positioner, positioner.StartMove(ulRequest));
}

// The number of rows of a table.
template <typename T, uint32_t N>
constexpr uint32_t Count(const T (&)[N]) {
  return N;
}

// The first of the rows whose key field holds `ulKey`; null when none does.
template <typename Row, uint32_t N>
const Row* FindRow(const Row (&rows)[N], uint16_t Row::*pKey, uint32_t ulKey) {
  for (const Row& row : rows) {
    if (row.*pKey == ulKey) return &row;
  }
  return nullptr;
}

// A maintenance screen's Enter: the request made at a position.
struct ScreenMove {
  uint16_t usAt;
  uint16_t usRequest;
};
// The request of the position's row, 0 when it has none.
uint32_t ScreenRequest(const ScreenMove* pRows, uint32_t ulRows, uint32_t ulPosition);

// 1 when the sensor reads a steady 1, 0 when it reads 0; a failed read
// gives its result (the sensor has raised its own error).
int32_t ReadStableOn(CDigitalSensor* pSensor, uint32_t* pulOn);
// One plain read: true only when it succeeds with level 1.
bool ReadsOn(CDigitalSensor* pSensor);
// An arrival check: 0 when the sensor reads a steady `ulLevel` (0 or 1);
// otherwise the error index is raised and the result is -1; a failed read
// gives its result.
int32_t CheckSensorLevel(CDigitalSensor* pSensor, uint32_t ulLevel, uint32_t ulErrorIndex);
inline int32_t CheckSensorOff(CDigitalSensor* pSensor, uint32_t ulErrorIndex) {
  return CheckSensorLevel(pSensor, 0, ulErrorIndex);
}

// One text written at one column.
struct ScreenText {
  uint8_t ucColumn;
  const char* pszText;
};
// The texts a maintenance screen shows for one position (an unlisted
// position shows the row of position 0xFFFF).
struct PositionTexts {
  uint16_t usPosition;
  ScreenText aText[2];
};
constexpr uint16_t kOtherPosition = 0xFFFF;
// Writes the row of the position (texts with a null pointer are skipped).
void ShowPositionTexts(const PositionTexts* pRows, uint32_t ulRows, uint32_t ulPosition);

// The maintenance screen every positioner opens: the latch is saved and
// cleared, the title written, then until Clear the position is shown and
// Enter runs the owner's action; the latch is restored at the end.
struct PositionerScreen {
  const char* pszTitle;
  void (*pfnShow)(void* pOwner);
  void (*pfnEnter)(void* pOwner);
};
int32_t RunPositionerScreen(const PositionerScreen& screen, void* pOwner, int32_t* plLatch);
