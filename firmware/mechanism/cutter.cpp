#include "firmware/mechanism/cutter.h"

#include "firmware/control/error_manager.h"
#include "firmware/devices/digital_sensor.h"
#include "firmware/devices/machine_actuators.h"
#include "firmware/devices/sensors.h"
#include "firmware/devices/stepper.h"
#include "firmware/platform/time_base.h"

constinit CCutter g_Cutter;

namespace {

constexpr uint32_t kTimeoutMs = 1000;
constexpr uint32_t kCentreErrorIndex = 0x30A;
constexpr uint32_t kBothEndsErrorIndex = 0x30D;
// The mode that brings the carriage home to LEFT when settling finds it
// between the ends.
constexpr uint32_t kHomingMode = 2;

// Duties in percent: the start duty up to the centre switch, the run duty
// after it; without the centre stage the cut follows the destination
// switch from the start.
struct CutMode {
  uint16_t usMode;
  uint8_t ucStartDuty;
  uint8_t ucRunDuty;
  bool bCentreStage;
};
constexpr CutMode kCutModes[] = {
    {1, 100, 42, true},
    {2, 50, 50, false},
    {3, 50, 22, true},
};

// The crossing from a side: the side it ends at, the switch that tells the
// arrival, the drive. The arrival is checked against the other end's
// switch, a time-out raises the index of the destination.
struct Crossing {
  uint16_t usFrom;
  uint16_t usTo;
  CutterSensor eDestination;
  PositionerDrive eDrive;
};
constexpr Crossing kCrossings[] = {
    {CUTTER_LEFT, CUTTER_RIGHT, CUTTER_SENSOR_RIGHT, POS_DRIVE_FORWARD},
    {CUTTER_RIGHT, CUTTER_LEFT, CUTTER_SENSOR_LEFT, POS_DRIVE_REVERSE},
};

struct SideCheck {
  uint16_t usPosition;
  CutterSensor eMustBeOff;
  uint16_t usError;
};
constexpr SideCheck kVerify[] = {
    {CUTTER_RIGHT, CUTTER_SENSOR_LEFT, 0x30B},
    {CUTTER_LEFT, CUTTER_SENSOR_RIGHT, 0x30C},
};

struct TimeoutRow {
  uint16_t usTarget;
  uint16_t usError;
};
constexpr TimeoutRow kTimeouts[] = {{CUTTER_RIGHT, 0x219}, {CUTTER_LEFT, 0x21A}};

// ---- the maintenance screen ----
constexpr PositionTexts kTexts[] = {
    {CUTTER_RIGHT, {{10, ": "}, {11, "RIGHT"}}},
    {CUTTER_LEFT, {{10, " :"}, {12, "LEFT"}}},
    {kOtherPosition, {{10, ": "}, {11, "UNDEF"}}},
};

// Mode 1 holds a stopped paper stepper energised from before a cut to
// after it.
constexpr uint32_t kExcitedMode = 1;
constexpr uint32_t kExcitationLeadMs = 50;

struct CutterScreen {
  CCutter* pCutter;
  uint32_t ulMode;
  int32_t lStepperState;  // read when the screen opened
};

void ShowCutter(void* pOwner) {
  uint32_t ulPosition = 0;
  static_cast<CutterScreen*>(pOwner)->pCutter->GetPosition(&ulPosition);
  ShowPositionTexts(kTexts, Count(kTexts), ulPosition);
}

void EnterCutter(void* pOwner) {
  const CutterScreen& screen = *static_cast<CutterScreen*>(pOwner);
  if (screen.ulMode != kExcitedMode || screen.lStepperState != STPMTR_STOPPED) {
    screen.pCutter->MoveAndWait(screen.ulMode);
    return;
  }
  g_StpmtrMain.SetExcitation(1);
  g_MsTimer.WaitMs(kExcitationLeadMs);
  screen.pCutter->MoveAndWait(screen.ulMode);
  g_MsTimer.WaitMs(kExcitationLeadMs);
  g_StpmtrMain.SetExcitation(0);
}

}  // namespace

CCutter::CCutter(GlobalBuild)
    : m_rec(kTimeoutMs),
      m_apSensor{&g_SensorCutterR, &g_SensorCutterL, &g_SensorCutterC},
      m_motor(&g_ChopMotorCutter) {}

int32_t CCutter::SettlePosition() {
  if (m_lSettled == 1) return 0;
  m_lSettled = 1;
  uint32_t ulRight = 0, ulLeft = 0;
  int32_t lResult = ReadStableOn(m_apSensor[CUTTER_SENSOR_RIGHT], &ulRight);
  if (lResult != 0) return lResult;
  lResult = ReadStableOn(m_apSensor[CUTTER_SENSOR_LEFT], &ulLeft);
  if (lResult != 0) return lResult;
  if (ulRight != 0 && ulLeft != 0) {
    g_ErrorMng.SetError(kBothEndsErrorIndex);
    return 0;
  }
  if (ulRight != 0 || ulLeft != 0) {
    m_rec.usPosition = ulRight != 0 ? CUTTER_RIGHT : CUTTER_LEFT;
    m_rec.usTarget = m_rec.usPosition;
    return 0;
  }
  // Between the ends: taken as RIGHT, so that the cut goes home to LEFT.
  m_rec.usPosition = CUTTER_RIGHT;
  return Cut(kHomingMode);
}

int32_t CCutter::Cut(uint32_t ulMode) {
  const CutMode* pMode = FindRow(kCutModes, &CutMode::usMode, ulMode);
  if (pMode == nullptr) return -1;
  if (m_rec.usPosition == CUTTER_UNDEFINED) return SettlePosition();
  const Crossing* pCrossing = FindRow(kCrossings, &Crossing::usFrom, m_rec.usPosition);
  if (pCrossing == nullptr) return -1;
  CDigitalSensor* pDestination = m_apSensor[pCrossing->eDestination];
  uint32_t ulThere = 0;
  const int32_t lResult = ReadStableOn(pDestination, &ulThere);
  if (lResult != 0) return lResult;
  if (ulThere != 0) {
    m_rec.usPosition = pCrossing->usTo;
    return Verify();
  }
  m_rec.usTarget = pCrossing->usTo;
  m_lRunDuty = pMode->ucRunDuty;
  m_motor.SetDuty(pMode->ucStartDuty);
  m_rec.Follow(pDestination, kLevelsTwoOnPhases);
  m_rec.usStep = pMode->bCentreStage ? CUTTER_STEP_CENTRE : CUTTER_STEP_FOLLOW;
  return m_motor.Drive(pCrossing->eDrive);
}

int32_t CCutter::Step(int32_t* plDone) {
  int32_t lResult = 0;
  bool bFinished = false;
  switch (m_rec.usStep) {
    case CUTTER_STEP_IDLE:
      bFinished = true;
      break;
    case CUTTER_STEP_CENTRE:
      if (ReadsOn(m_apSensor[CUTTER_SENSOR_CENTRE])) m_rec.usStep = CUTTER_STEP_RUN_DUTY;
      break;
    case CUTTER_STEP_RUN_DUTY:
      m_motor.SetDuty(static_cast<uint32_t>(m_lRunDuty));
      m_rec.usStep = CUTTER_STEP_FOLLOW;
      break;
    case CUTTER_STEP_FOLLOW:
      m_rec.StepFollow(CUTTER_STEP_ARRIVED);
      break;
    case CUTTER_STEP_ARRIVED:
      BrakeAtTarget(m_rec, m_motor);
      bFinished = true;
      break;
    default:
      lResult = -1;
      break;
  }
  return EndPositionerStep(*this, lResult, bFinished, m_rec, m_motor, &m_lErrorFlag, plDone);
}

int32_t CCutter::Stop() {
  if (m_rec.usTarget != m_rec.usPosition) m_lSettled = 0;
  return StopPositioner(m_rec, m_motor);
}

int32_t CCutter::MoveAndWait(uint32_t ulMode) { return StepUntilDone(*this, Cut(ulMode)); }

int32_t CCutter::Verify() {
  const SideCheck* pCheck = FindRow(kVerify, &SideCheck::usPosition, m_rec.usPosition);
  if (pCheck == nullptr) return -1;
  const int32_t lResult = CheckSensorOff(m_apSensor[pCheck->eMustBeOff], pCheck->usError);
  if (lResult != 0) return lResult;
  return CheckSensorOff(m_apSensor[CUTTER_SENSOR_CENTRE], kCentreErrorIndex);
}

int32_t CCutter::ReportTimeout() {
  const TimeoutRow* pRow = FindRow(kTimeouts, &TimeoutRow::usTarget, m_rec.usTarget);
  return pRow != nullptr ? g_ErrorMng.SetError(pRow->usError) : 0;
}

int32_t CCutter::TestScreen(uint32_t ulMode) {
  CutterScreen screen{this, ulMode, 0};
  g_StpmtrMain.GetState(&screen.lStepperState);
  return RunPositionerScreen({"Cutter          ", ShowCutter, EnterCutter}, &screen, &m_lErrorFlag);
}
