#include "firmware/mechanism/feed_pinch.h"

#include "firmware/devices/digital_sensor.h"
#include "firmware/devices/machine_actuators.h"
#include "firmware/devices/sensors.h"
#include "firmware/mechanism/step_machine.h"

constinit CProllFeed_EM2 g_ProllFeedEM2;
constinit CProllFeed_EM3 g_ProllFeedEM3;
// EM3, the variant of "Engine Version"'s default, until the variant is
// selected.
CProllFeed* g_pProllFeed = &g_ProllFeedEM3;

namespace {

constexpr uint32_t kTimeoutMs = 2000;
constexpr uint16_t kUpTimeoutL = 0x20A, kUpTimeoutR = 0x20B;
constexpr uint32_t kSensorError = 0x305;
constexpr uint32_t kBrakePauseMs = 50;

// The EM3 step after the brake: the pause, the confirmation, the re-drive
// and the arrival.
enum FeedStep : uint16_t {
  FEED_STEP_CONFIRM = 300,
  FEED_STEP_REDRIVE = 400,
  FEED_STEP_AT_TARGET = 9900,
};

CDigitalSensor* const kL = &g_SensorFeedPinchL;
CDigitalSensor* const kR = &g_SensorFeedPinchR;

// EM2: lifts watch "FeedPinch R" from side L Reverse, from anywhere else
// Forward; lowers watch "FeedPinch L" turning off.
constexpr PinchMotion kEm2Motions[] = {
    {PINCH_MOTION_HOME, PINCH_UP, Pos(2) | Pos(3), kR, &kLevelsOffThenOn, POS_DRIVE_REVERSE, PINCH_HALF_L, kUpTimeoutL,
     nullptr, 0},
    {PINCH_MOTION_HOME, PINCH_UP, kFromAny, kR, &kLevelsOffThenOn, POS_DRIVE_FORWARD, PINCH_HALF_R, kUpTimeoutR,
     nullptr, 0},
    {PINCH_MOTION_LOWER, PINCH_DOWN_L, kFromAny, kL, &kLevelsOnThenOff, POS_DRIVE_FORWARD, PINCH_HALF_L, 0, nullptr,
     0},
    {PINCH_MOTION_LOWER, PINCH_DOWN_R, kFromAny, kL, &kLevelsOnThenOff, POS_DRIVE_REVERSE, PINCH_HALF_R, 0, nullptr,
     0},
};
// EM3: each motion watches one sensor and is confirmed by the other; a lift
// from an undefined position runs as from side R but keeps the position.
constexpr PinchMotion kEm3Motions[] = {
    {PINCH_MOTION_HOME, PINCH_UP, Pos(2) | Pos(3), kL, &kLevelsOffThenOn, POS_DRIVE_FORWARD, PINCH_HALF_L, kUpTimeoutL,
     kR, 1},
    {PINCH_MOTION_HOME, PINCH_UP, Pos(4) | Pos(5), kR, &kLevelsOffThenOn, POS_DRIVE_REVERSE, PINCH_HALF_R, kUpTimeoutR,
     kL, 1},
    {PINCH_MOTION_HOME, PINCH_UP, kFromAny, kR, &kLevelsOffThenOn, POS_DRIVE_REVERSE, kKeepPosition, kUpTimeoutR, kL,
     1},
    {PINCH_MOTION_LOWER, PINCH_DOWN_L, kFromAny, kR, &kLevelsOnOffOn, POS_DRIVE_REVERSE, PINCH_HALF_L, 0, kL, 0},
    {PINCH_MOTION_LOWER, PINCH_DOWN_R, kFromAny, kL, &kLevelsOnOffOn, POS_DRIVE_FORWARD, PINCH_HALF_R, 0, kR, 0},
};
constexpr PinchMotions kEm2{kEm2Motions, Count(kEm2Motions)};
constexpr PinchMotions kEm3{kEm3Motions, Count(kEm3Motions)};

constexpr PinchVerifyRow kEm2VerifyRows[] = {{PINCH_UP, kL, 1}, {PINCH_DOWN_L, kR, 0}, {PINCH_DOWN_R, kR, 0}};
constexpr PinchVerifyRow kEm3VerifyRows[] = {
    {PINCH_UP, kL, 1},     {PINCH_UP, kR, 1},     {PINCH_DOWN_L, kL, 0},
    {PINCH_DOWN_L, kR, 1}, {PINCH_DOWN_R, kL, 1}, {PINCH_DOWN_R, kR, 0},
};
constexpr PinchVerifyRows kEm2Verify{kEm2VerifyRows, Count(kEm2VerifyRows)};
constexpr PinchVerifyRows kEm3Verify{kEm3VerifyRows, Count(kEm3VerifyRows)};

constexpr PinchTimeoutRow kTimeouts[] = {{PINCH_UP, kUpTimeoutIndex}, {PINCH_DOWN_L, 0x20C}, {PINCH_DOWN_R, 0x20D}};

}  // namespace

// ---- the shared roller ----

CProllFeed::CProllFeed(GlobalBuild)
    : m_rec(kTimeoutMs), m_motor(&g_DcMotorFeedPinch), m_lUpTimeoutError(kUpTimeoutL) {}

int32_t CProllFeed::Home() { return 0; }
int32_t CProllFeed::StartMove(uint32_t) { return 0; }
int32_t CProllFeed::Verify() { return 0; }
int32_t CProllFeed::PollSequence(uint32_t*) { return 0; }
int32_t CProllFeed::Step(int32_t*) { return 0; }

int32_t CProllFeed::Move(uint32_t ulRequest, uint32_t ulUnit) {
  return MoveUpOrDown(*this, m_lLatch, m_rec.usPosition, ulRequest, ulUnit);
}

int32_t CProllFeed::Stop() {
  m_motor.Stop();
  return 0;
}

int32_t CProllFeed::ReportTimeout() {
  return RaisePinchError(PinchTimeoutError(kTimeouts, m_rec.usTarget, m_lUpTimeoutError));
}

bool CProllFeed::IsTimedOut() const { return m_rec.IsTimedOut(); }

int32_t CProllFeed::GetPosition(uint32_t* pulPosition) const { return m_rec.GetPosition(pulPosition); }

int32_t CProllFeed::SetPosition(uint16_t usPosition) {
  m_rec.usPosition = usPosition;
  return 0;
}

int32_t CProllFeed::MoveUpAndWait() { return MoveAndWait(PINCH_UP, 0); }

int32_t CProllFeed::MoveAndWait(uint32_t ulRequest, uint32_t ulUnit) {
  return StepUntilDone(*this, Move(ulRequest, ulUnit));
}

void CProllFeed::StepFollow() {
  uint32_t ulComplete = 0;
  PollSequence(&ulComplete);
  if (ulComplete != 0) m_rec.usStep = POS_STEP_ARRIVED;
}

int32_t CProllFeed::Drive(const PinchMotion* pRow) {
  if (pRow == nullptr) return -1;
  if (pRow->usStartPosition != kKeepPosition) m_rec.usPosition = pRow->usStartPosition;
  if (pRow->usUpTimeoutError != 0) m_lUpTimeoutError = pRow->usUpTimeoutError;
  return m_motor.Drive(pRow->eDrive);
}

void CProllFeed::Show(void* pOwner) {
  ShowPositionTexts(kPinchTextsBetween, Count(kPinchTextsBetween), static_cast<CProllFeed*>(pOwner)->m_rec.usPosition);
}

void CProllFeed::Enter(void* pOwner) {
  auto& self = *static_cast<CProllFeed*>(pOwner);
  if (self.m_rec.usPosition != PINCH_UP) {
    self.MoveUpAndWait();
    return;
  }
  self.MoveAndWait(kPinchRequestDown, self.m_ulScreenUnit);
  self.m_ulScreenUnit ^= 1u;
}

int32_t CProllFeed::TestScreen() {
  m_ulScreenUnit = 0;
  return RunPositionerScreen({"Feed Pinch      ", Show, Enter}, this, &m_lLatch);
}

// ---- EM2 ----

int32_t CProllFeed_EM2::Home() {
  m_rec.usTarget = PINCH_UP;
  if (ReadsOn(kR)) {
    m_rec.usPosition = PINCH_UP;
    return 0;
  }
  return Drive(FollowPinchMotion(kEm2, PINCH_MOTION_HOME, PINCH_UP, m_rec));
}

int32_t CProllFeed_EM2::StartMove(uint32_t ulTarget) {
  return Drive(FollowPinchMotion(kEm2, PINCH_MOTION_LOWER, ulTarget, m_rec));
}

int32_t CProllFeed_EM2::Verify() {
  bool bMismatch = false;
  return VerifyPinch(kEm2Verify, m_rec.usPosition, kSensorError, &bMismatch);
}

int32_t CProllFeed_EM2::PollSequence(uint32_t* pulComplete) { return m_rec.PollSequence(pulComplete); }

int32_t CProllFeed_EM2::Step(int32_t* plDone) {
  int32_t lResult = 0;
  bool bFinished = false;
  switch (m_rec.usStep) {
    case POS_STEP_IDLE:
      bFinished = true;
      break;
    case POS_STEP_FOLLOW:
      StepFollow();
      break;
    case POS_STEP_ARRIVED:
      BrakeAtTarget(m_rec, m_motor);
      bFinished = true;
      break;
    default:
      lResult = -1;
      break;
  }
  // A failure leaves the position undefined, so that a later request
  // cannot take an old down position for a reached one.
  return EndPositionerStep(*this, lResult, bFinished, m_rec, m_motor, &m_lLatch, plDone);
}

// ---- EM3 ----

CProllFeed_EM3::CProllFeed_EM3(GlobalBuild build) : CProllFeed(build), m_lVerify(1) {}

int32_t CProllFeed_EM3::DriveConfirmed(const PinchMotion* pRow) {
  if (pRow == nullptr) return -1;
  m_pConfirm = pRow->pConfirm;
  m_lConfirmLevel = pRow->ucConfirmLevel;
  m_eRedrive = pRow->eDrive;
  return Drive(pRow);
}

int32_t CProllFeed_EM3::Home() {
  m_lVerify = 0;
  m_rec.usTarget = PINCH_UP;
  if (ReadsOn(kR) && ReadsOn(kL)) {
    m_rec.usPosition = PINCH_UP;
    return 0;
  }
  return DriveConfirmed(FollowPinchMotion(kEm3, PINCH_MOTION_HOME, PINCH_UP, m_rec));
}

int32_t CProllFeed_EM3::StartMove(uint32_t ulTarget) {
  m_lVerify = 0;
  return DriveConfirmed(FollowPinchMotion(kEm3, PINCH_MOTION_LOWER, ulTarget, m_rec));
}

int32_t CProllFeed_EM3::Verify() {
  bool bMismatch = false;
  const int32_t lResult = VerifyPinch(kEm3Verify, m_rec.usPosition, kSensorError, &bMismatch);
  if (bMismatch) m_rec.usPosition = PINCH_UNDEFINED;
  return lResult;
}

int32_t CProllFeed_EM3::PollSequence(uint32_t* pulComplete) { return m_rec.PollSequence(pulComplete); }

int32_t CProllFeed_EM3::Step(int32_t* plDone) {
  int32_t lResult = 0;
  bool bFinished = false;
  switch (m_rec.usStep) {
    case POS_STEP_IDLE:
      bFinished = true;
      break;
    case POS_STEP_FOLLOW:
      StepFollow();
      break;
    case POS_STEP_ARRIVED:
      m_motor.Brake();
      SeqWaitMs(kBrakePauseMs, 0);
      m_rec.usStep = FEED_STEP_CONFIRM;
      break;
    case FEED_STEP_CONFIRM: {
      uint32_t ulLevel = 0;
      const bool bConfirmed = m_pConfirm != nullptr && m_pConfirm->Read(&ulLevel) == 0 &&
                              static_cast<int32_t>(ulLevel) == m_lConfirmLevel;
      if (bConfirmed) {
        m_rec.usStep = FEED_STEP_AT_TARGET;
      } else {
        m_rec.lIndex = 0;
        m_rec.usStep = FEED_STEP_REDRIVE;
      }
      break;
    }
    case FEED_STEP_REDRIVE:
      // The motion's start time stays: re-drives share its time-out.
      m_motor.Drive(m_eRedrive);
      m_rec.usStep = POS_STEP_FOLLOW;
      break;
    case FEED_STEP_AT_TARGET:
      m_rec.usStep = POS_STEP_IDLE;
      m_rec.usPosition = m_rec.usTarget;
      bFinished = true;
      break;
    default:
      lResult = -1;
      break;
  }
  lResult = CheckPositionerTimeout(*this, lResult, bFinished, false, m_rec, m_motor);
  if (bFinished && m_lVerify != 0) lResult = Verify();
  if (lResult != 0) {
    m_motor.Stop();
    m_lLatch = 1;
  }
  *plDone = bFinished ? 1 : 0;
  return lResult;
}
