#include "firmware/mechanism/main_pinch.h"

#include "firmware/control/engine_variant.h"
#include "firmware/control/lcd.h"
#include "firmware/devices/analog_sensor.h"
#include "firmware/devices/digital_sensor.h"
#include "firmware/devices/machine_actuators.h"
#include "firmware/devices/parameter.h"
#include "firmware/devices/sensors.h"
#include "firmware/devices/settings.h"
#include "firmware/platform/time_base.h"

constinit CProllMain_EM2 g_ProllMainEM2;
constinit CProllMain_EM3 g_ProllMainEM3;

namespace {

constexpr uint32_t kTimeoutMs = 2000;
constexpr uint16_t kUpTimeoutL = 0x222, kUpTimeoutR = 0x223;
constexpr uint32_t kSensorError = 0x303;
constexpr uint32_t kPaperMessageMs = 1000;
constexpr const char* kTitle = "Main Pinch      ";

CDigitalSensor* const kC = &g_SensorMainPinC;
CDigitalSensor* const kL = &g_SensorMainPinL;

constexpr uint16_t kSideL = Pos(PINCH_HALF_L) | Pos(PINCH_DOWN_L);
constexpr uint16_t kSideR = Pos(PINCH_HALF_R) | Pos(PINCH_DOWN_R);

// EM2: a lift watches "MainPin C" turning on, from side L Reverse and from
// side R Forward; a lowering watches "MainPin L" turning off, to side L
// Forward. Each takes the between-position of its side as it starts.
constexpr PinchMotion kEm2Motions[] = {
    {PINCH_MOTION_HOME, PINCH_UP, kSideL, kC, &kLevelsOffThenOn, POS_DRIVE_REVERSE, PINCH_HALF_L, kUpTimeoutL, nullptr,
     0},
    {PINCH_MOTION_HOME, PINCH_UP, kSideR, kC, &kLevelsOffThenOn, POS_DRIVE_FORWARD, PINCH_HALF_R, kUpTimeoutR, nullptr,
     0},
    {PINCH_MOTION_LOWER, PINCH_DOWN_L, kFromAny, kL, &kLevelsOnThenOff, POS_DRIVE_FORWARD, PINCH_HALF_L, 0, nullptr, 0},
    {PINCH_MOTION_LOWER, PINCH_DOWN_R, kFromAny, kL, &kLevelsOnThenOff, POS_DRIVE_REVERSE, PINCH_HALF_R, 0, nullptr, 0},
};
// EM3: the lift chooses its direction by the side it starts from (from
// side L Forward), the others by their target; positions change only on
// arrival.
constexpr PinchMotion kEm3Motions[] = {
    {PINCH_MOTION_HOME, PINCH_UP, kSideL, kC, &kLevelsOffThenOn, POS_DRIVE_FORWARD, kKeepPosition, kUpTimeoutL,
     nullptr, 0},
    {PINCH_MOTION_HOME, PINCH_UP, kSideR, kC, &kLevelsOffThenOn, POS_DRIVE_REVERSE, kKeepPosition, kUpTimeoutR,
     nullptr, 0},
    {PINCH_MOTION_LOWER, PINCH_DOWN_L, Pos(PINCH_UP), kL, &kLevelsOffThenOn, POS_DRIVE_REVERSE, kKeepPosition, 0,
     nullptr, 0},
    {PINCH_MOTION_LOWER, PINCH_DOWN_R, Pos(PINCH_UP), kL, &kLevelsOffThenOn, POS_DRIVE_FORWARD, kKeepPosition, 0,
     nullptr, 0},
    {PINCH_MOTION_LOWER_HALF, PINCH_DOWN_L, Pos(PINCH_HALF_L) | Pos(PINCH_HALF_R), kL, &kLevelsOnThenOff,
     POS_DRIVE_FORWARD, kKeepPosition, 0, nullptr, 0},
    {PINCH_MOTION_LOWER_HALF, PINCH_DOWN_R, Pos(PINCH_HALF_L) | Pos(PINCH_HALF_R), kL, &kLevelsOnThenOff,
     POS_DRIVE_REVERSE, kKeepPosition, 0, nullptr, 0},
    {PINCH_MOTION_TO_HALF, PINCH_HALF_L, Pos(PINCH_UP) | Pos(PINCH_DOWN_L) | Pos(PINCH_DOWN_R), kC, &kLevelsOffThenOn,
     POS_DRIVE_REVERSE, kKeepPosition, 0, nullptr, 0},
    {PINCH_MOTION_TO_HALF, PINCH_HALF_R, Pos(PINCH_UP) | Pos(PINCH_DOWN_L) | Pos(PINCH_DOWN_R), kC, &kLevelsOffThenOn,
     POS_DRIVE_FORWARD, kKeepPosition, 0, nullptr, 0},
};
constexpr PinchMotions kEm2{kEm2Motions, Count(kEm2Motions)};
constexpr PinchMotions kEm3{kEm3Motions, Count(kEm3Motions)};

constexpr PinchVerifyRow kEm2VerifyRows[] = {{PINCH_UP, kL, 1}, {PINCH_DOWN_L, kC, 0}, {PINCH_DOWN_R, kC, 0}};
constexpr PinchVerifyRow kEm3VerifyRows[] = {{PINCH_UP, kL, 0},     {PINCH_HALF_L, kL, 1}, {PINCH_HALF_R, kL, 1},
                                             {PINCH_DOWN_L, kC, 0}, {PINCH_DOWN_R, kC, 0}};
constexpr PinchVerifyRows kEm2Verify{kEm2VerifyRows, Count(kEm2VerifyRows)};
constexpr PinchVerifyRows kEm3Verify{kEm3VerifyRows, Count(kEm3VerifyRows)};

constexpr PinchTimeoutRow kEm2Timeouts[] = {{PINCH_UP, kUpTimeoutIndex}, {PINCH_DOWN_L, 0x224}, {PINCH_DOWN_R, 0x225}};
constexpr PinchTimeoutRow kEm3Timeouts[] = {{PINCH_UP, kUpTimeoutIndex},
                                            {PINCH_HALF_L, 0x226},
                                            {PINCH_DOWN_L, 0x224},
                                            {PINCH_HALF_R, 0x227},
                                            {PINCH_DOWN_R, 0x225}};

// "MainPinStatus" on EM3.
constexpr uint32_t kStatusPositionMask = 0x07u;
constexpr uint32_t kStatusTargetShift = 3;
constexpr uint32_t kStatusTargetMask = 0x38u;
constexpr uint32_t kStatusMoving = 0x40u;

// Whether the A/D sensor sees paper.
bool PaperAt(CAnalogSensor& sensor) {
  uint32_t ulState = 0;
  return sensor.GetState(&ulState) == 0 && ulState == 1;
}

}  // namespace

// ---- the shared roller ----

CProllMain::CProllMain(GlobalBuild)
    : m_rec(kTimeoutMs), m_motor(&g_DcMotorMainPinch), m_lUpTimeoutError(kUpTimeoutL) {}

int32_t CProllMain::Home() { return 0; }
int32_t CProllMain::StartMove(uint32_t) { return 0; }
int32_t CProllMain::ReportTimeout() { return 0; }
int32_t CProllMain::Verify() { return 0; }
int32_t CProllMain::Move(uint32_t, uint32_t) { return 0; }
int32_t CProllMain::Stop() { return 0; }
void CProllMain::CheckUpState(uint32_t*) {}
int32_t CProllMain::Step(int32_t*) { return 0; }
void CProllMain::SetVerify(int32_t) {}
int32_t CProllMain::GetStoredStatus(uint32_t*, uint32_t*, uint32_t*, uint32_t*) { return 0; }
int32_t CProllMain::SetPosition(uint16_t) { return 0; }
int32_t CProllMain::SetTarget(uint16_t) { return 0; }
int32_t CProllMain::TestScreen() { return 0; }
int32_t CProllMain::TestScreen2() { return 0; }

int32_t CProllMain::GetPosition(uint32_t* pulPosition) const { return m_rec.GetPosition(pulPosition); }

int32_t CProllMain::SetPositionNoSave(uint16_t usPosition) {
  m_rec.usPosition = usPosition;
  return 0;
}

int32_t CProllMain::PollSequence(uint32_t* pulComplete) { return m_rec.PollSequence(pulComplete); }

bool CProllMain::IsTimedOut() const { return m_rec.IsTimedOut(); }

int32_t CProllMain::MoveUpAndWait() { return MoveAndWait(PINCH_UP, 0); }

int32_t CProllMain::MoveAndWait(uint32_t ulRequest, uint32_t ulUnit) {
  return StepUntilDone(*this, Move(ulRequest, ulUnit));
}

int32_t CProllMain::Drive(const PinchMotion* pRow) {
  if (pRow == nullptr) return -1;
  if (pRow->usStartPosition != kKeepPosition) SetPosition(pRow->usStartPosition);
  if (pRow->usUpTimeoutError != 0) m_lUpTimeoutError = pRow->usUpTimeoutError;
  return m_motor.Drive(pRow->eDrive);
}

int32_t CProllMain::ModelStep(int32_t* plDone, bool bVerify) {
  int32_t lResult = 0;
  bool bFinished = false;
  switch (m_rec.usStep) {
    case POS_STEP_IDLE:
      bFinished = true;
      break;
    case POS_STEP_FOLLOW:
      m_rec.StepFollow();
      break;
    case POS_STEP_ARRIVED:
      m_motor.Brake();
      m_rec.usStep = POS_STEP_IDLE;
      SetPosition(m_rec.usTarget);
      bFinished = true;
      break;
    default:
      lResult = -1;
      break;
  }
  lResult = EndPositionerStep(*this, lResult, bFinished, m_rec, m_motor, &m_lLatch, plDone, bVerify);
  // Both variants forget the position, "MainPinStatus" included, so that a
  // later request cannot take an old down position for a reached one, and
  // the start-up finds the roller again.
  if (lResult != 0) SetPosition(PINCH_UNDEFINED);
  return lResult;
}

// ---- EM2 ----

int32_t CProllMain_EM2::HomeFrom(uint32_t ulFrom) {
  m_rec.usTarget = PINCH_UP;
  m_rec.pWatched = kC;
  if (ReadsOn(kC)) {
    SetPosition(PINCH_UP);
    return 0;
  }
  const PinchMotion* pRow = FindPinchMotion(kEm2, PINCH_MOTION_HOME, PINCH_UP, ulFrom);
  m_rec.Follow(kC, kLevelsOffThenOn);
  return Drive(pRow);
}

int32_t CProllMain_EM2::Home() { return HomeFrom(m_rec.usPosition); }

int32_t CProllMain_EM2::HomeFromSide(uint32_t ulSide) {
  if (ulSide > 1) return -1;
  return HomeFrom(ulSide == 0 ? PINCH_DOWN_L : PINCH_DOWN_R);
}

int32_t CProllMain_EM2::HomeFromSideAndWait(uint32_t ulSide) { return StepUntilDone(*this, HomeFromSide(ulSide)); }

int32_t CProllMain_EM2::StartMove(uint32_t ulTarget) {
  return Drive(FollowPinchMotion(kEm2, PINCH_MOTION_LOWER, ulTarget, m_rec));
}

int32_t CProllMain_EM2::ReportTimeout() {
  return RaisePinchError(PinchTimeoutError(kEm2Timeouts, m_rec.usTarget, m_lUpTimeoutError));
}

int32_t CProllMain_EM2::Verify() {
  bool bMismatch = false;
  return VerifyPinch(kEm2Verify, m_rec.usPosition, kSensorError, &bMismatch);
}

int32_t CProllMain_EM2::Move(uint32_t ulRequest, uint32_t ulUnit) {
  return MoveUpOrDown(*this, m_lLatch, m_rec.usPosition, ulRequest, ulUnit);
}

int32_t CProllMain_EM2::Stop() {
  m_motor.Stop();
  return 0;
}

int32_t CProllMain_EM2::Step(int32_t* plDone) { return ModelStep(plDone, true); }

int32_t CProllMain_EM2::SetPosition(uint16_t usPosition) {
  m_rec.usPosition = usPosition;
  return g_ParamMainPinStatus.SetValue(usPosition);
}

void CProllMain_EM2::Show(void* pOwner) {
  ShowPositionTexts(kPinchTextsBetween, Count(kPinchTextsBetween),
                    static_cast<CProllMain_EM2*>(pOwner)->m_rec.usPosition);
}

void CProllMain_EM2::Enter(void* pOwner) {
  auto& self = *static_cast<CProllMain_EM2*>(pOwner);
  const uint32_t ulPosition = self.m_rec.usPosition;
  if (ulPosition == PINCH_UP) {
    self.MoveAndWait(kPinchRequestDown, self.m_ulScreenUnit);
    self.m_ulScreenUnit ^= 1u;
  } else if (ulPosition >= PINCH_HALF_L && ulPosition <= PINCH_DOWN_R) {
    self.MoveUpAndWait();
  } else {
    self.HomeFromSideAndWait(0);
  }
}

int32_t CProllMain_EM2::TestScreen() {
  m_ulScreenUnit = 0;
  return RunPositionerScreen({kTitle, Show, Enter}, this, &m_lLatch);
}

// ---- EM3 ----

CProllMain_EM3::CProllMain_EM3(GlobalBuild build) : CProllMain(build), m_lVerify(1) {}

int32_t CProllMain_EM3::StartMotion(PinchMotionKind eKind) {
  return Drive(FollowPinchMotion(kEm3, eKind, m_rec.usTarget, m_rec));
}

int32_t CProllMain_EM3::Home() { return StartMotion(PINCH_MOTION_HOME); }

int32_t CProllMain_EM3::StartMove(uint32_t ulTarget) {
  m_rec.usTarget = static_cast<uint16_t>(ulTarget);
  return StartMotion(PINCH_MOTION_LOWER);
}

int32_t CProllMain_EM3::MoveToHalf() { return StartMotion(PINCH_MOTION_TO_HALF); }

int32_t CProllMain_EM3::LowerFromHalf() { return StartMotion(PINCH_MOTION_LOWER_HALF); }

int32_t CProllMain_EM3::ReportTimeout() {
  return RaisePinchError(PinchTimeoutError(kEm3Timeouts, m_rec.usTarget, m_lUpTimeoutError));
}

int32_t CProllMain_EM3::Verify() {
  bool bMismatch = false;
  return VerifyPinch(kEm3Verify, m_rec.usPosition, kSensorError, &bMismatch);
}

int32_t CProllMain_EM3::Move(uint32_t ulRequest, uint32_t ulUnit) {
  if (m_lLatch != 0) return 0;
  const uint32_t ulTarget = PinchHalfTarget(PinchDownTarget(ulRequest, ulUnit), ulUnit);
  const uint32_t ulPosition = m_rec.usPosition;
  if (ulTarget == ulPosition) return 0;
  if (ulTarget == PINCH_UP) {
    SetTargetAndSave(PINCH_UP);
    uint32_t ulUp = 0;
    CheckUpState(&ulUp);
    if (ulUp != 0) return 0;
    return ulPosition >= PINCH_HALF_L && ulPosition <= PINCH_DOWN_R ? Home() : -1;
  }
  // Which motion reaches the target from here: a request that cannot
  // start leaves the target and "MainPinStatus" as they are, so neither a
  // later Stop nor the next start-up takes the roller for moving.
  PinchMotionKind eKind = PINCH_MOTION_TO_HALF;
  if (ulTarget == PINCH_DOWN_L || ulTarget == PINCH_DOWN_R) {
    eKind = ulPosition == PINCH_UP ? PINCH_MOTION_LOWER : PINCH_MOTION_LOWER_HALF;
  }
  if (FindPinchMotion(kEm3, eKind, ulTarget, ulPosition) == nullptr) return -1;
  SetTargetAndSave(static_cast<uint16_t>(ulTarget));
  return StartMotion(eKind);
}

int32_t CProllMain_EM3::Stop() { return StopPositioner(m_rec, m_motor); }

void CProllMain_EM3::CheckUpState(uint32_t* pulUp) {
  *pulUp = 0;
  if (!ReadsOn(kC)) return;
  uint32_t ulLevel = 0;
  if (kL->Read(&ulLevel) != 0 || ulLevel != 0) return;
  SetPosition(PINCH_UP);
  m_rec.usTarget = PINCH_UP;
  *pulUp = 1;
}

int32_t CProllMain_EM3::Step(int32_t* plDone) { return ModelStep(plDone, m_lVerify != 0); }

void CProllMain_EM3::SetVerify(int32_t lFlag) { m_lVerify = lFlag; }

int32_t CProllMain_EM3::GetStoredStatus(uint32_t* pulRaw, uint32_t* pulMoving, uint32_t* pulTarget,
                                        uint32_t* pulPosition) {
  const auto ulRaw = static_cast<uint32_t>(SettingValue(g_ParamMainPinStatus));
  *pulRaw = ulRaw;
  *pulMoving = (ulRaw & kStatusMoving) != 0 ? 1u : 0u;
  *pulTarget = (ulRaw & kStatusTargetMask) >> kStatusTargetShift;
  *pulPosition = ulRaw & kStatusPositionMask;
  return 0;
}

int32_t CProllMain_EM3::WriteStatus(uint32_t ulClear, uint32_t ulSet) {
  m_ulStatus = static_cast<uint32_t>(SettingValue(g_ParamMainPinStatus));
  m_ulStatus = (m_ulStatus & ~ulClear) | ulSet;
  return g_ParamMainPinStatus.SetValue(static_cast<int32_t>(m_ulStatus & 0xFFu));
}

int32_t CProllMain_EM3::SetPosition(uint16_t usPosition) {
  m_rec.usPosition = usPosition;
  return WriteStatus(kStatusMoving | kStatusPositionMask, usPosition & kStatusPositionMask);
}

int32_t CProllMain_EM3::SetTarget(uint16_t usTarget) {
  m_rec.usTarget = usTarget;
  return 0;
}

int32_t CProllMain_EM3::SetTargetAndSave(uint16_t usTarget) {
  m_rec.usTarget = usTarget;
  return WriteStatus(kStatusTargetMask, kStatusMoving | ((usTarget << kStatusTargetShift) & kStatusTargetMask));
}

void CProllMain_EM3::Show(void* pOwner) {
  ShowPositionTexts(kPinchTextsHalf, Count(kPinchTextsHalf), static_cast<CProllMain_EM3*>(pOwner)->m_rec.usPosition);
}

void CProllMain_EM3::EnterAt(bool bHalfFromUp) {
  const bool bTopL = PaperAt(g_AdTopL);
  const bool bTopR = PaperAt(g_AdTopR);
  switch (m_rec.usPosition) {
    case PINCH_UP: {
      m_ulScreenHalfNext = 1;
      if (!bTopL && !bTopR) {
        g_Lcd.WriteLine("Set Paper!      ");
        g_MsTimer.WaitMs(kPaperMessageMs);
        g_Lcd.WriteLine(kTitle);
        break;
      }
      uint32_t ulUnit = bTopL ? 0u : 1u;
      if (bTopL && bTopR) {
        ulUnit = m_ulScreenUnit;
        m_ulScreenUnit ^= 1u;
      }
      MoveAndWait(bHalfFromUp ? kPinchRequestHalf : kPinchRequestDown, ulUnit);
      break;
    }
    case PINCH_HALF_L:
    case PINCH_HALF_R:
      if (bHalfFromUp) {
        MoveUpAndWait();
      } else {
        MoveAndWait(kPinchRequestDown, m_rec.usPosition == PINCH_HALF_L ? 0u : 1u);
      }
      break;
    case PINCH_DOWN_L:
    case PINCH_DOWN_R:
      if (!bHalfFromUp && m_ulScreenHalfNext != 0) {
        m_ulScreenHalfNext = 0;
        MoveAndWait(kPinchRequestHalf, m_rec.usPosition == PINCH_DOWN_L ? 0u : 1u);
      } else {
        m_ulScreenHalfNext = 1;
        MoveUpAndWait();
      }
      break;
    default:
      g_pfnInitMainPinch(1, 0);
      break;
  }
}

void CProllMain_EM3::Enter(void* pOwner) { static_cast<CProllMain_EM3*>(pOwner)->EnterAt(false); }
void CProllMain_EM3::Enter2(void* pOwner) { static_cast<CProllMain_EM3*>(pOwner)->EnterAt(true); }

int32_t CProllMain_EM3::RunScreen(bool bHalfFromUp) {
  m_ulScreenUnit = 0;
  m_ulScreenHalfNext = 0;
  return RunPositionerScreen({kTitle, Show, bHalfFromUp ? Enter2 : Enter}, this, &m_lLatch);
}

int32_t CProllMain_EM3::TestScreen() { return RunScreen(false); }
int32_t CProllMain_EM3::TestScreen2() { return RunScreen(true); }
