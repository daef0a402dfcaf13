#include "firmware/mechanism/simple_positioners.h"

#include "firmware/control/error_manager.h"
#include "firmware/devices/digital_sensor.h"
#include "firmware/devices/machine_actuators.h"
#include "firmware/devices/parameter.h"
#include "firmware/devices/sensors.h"
#include "firmware/devices/settings.h"

constinit CHeadLift g_HeadLiftL;
constinit CHeadLift g_HeadLiftR;
constinit CLoadPinch g_LoadPinch;
constinit CEjectPinch g_EjectPinch;
constinit CLoadBar g_LoadBar;

namespace {

constexpr uint32_t kTimeoutMs = 2000;
constexpr uint32_t kEjectPinchTimeoutMs = 3000;

// Up and down lifts: slot 0 the up sensor, slot 1 the down sensor; up runs
// Reverse and looks first whether the lift is up already.
constexpr VerifyRow kUpDownVerify[] = {{1, SIMPLE_SENSOR_1}, {2, SIMPLE_SENSOR_0}};
constexpr TimeoutRow kUpDownTimeouts[] = {{1, SIMPLE_ERR_TIMEOUT_1}, {2, SIMPLE_ERR_TIMEOUT_2}};

// The heads take the period setting in hundreds of microseconds.
constexpr SubMoveRow kHeadMoves[] = {
    {HEAD_POS_UP, kFromAnyPosition, &g_ParamHeadYmcUpPulse, 100, &g_ParamHeadYmcUpDuty, SIMPLE_SENSOR_0, true,
     POS_DRIVE_REVERSE},
    {HEAD_POS_DOWN, kFromAnyPosition, &g_ParamHeadYmcDownPulse, 100, &g_ParamHeadYmcDownDuty, SIMPLE_SENSOR_1, false,
     POS_DRIVE_FORWARD},
};
// The load bar passes its period setting as it stands.
constexpr SubMoveRow kLoadBarMoves[] = {
    {LOAD_BAR_UP, kFromAnyPosition, &g_ParamLoadBarUpPulse, 1, &g_ParamLoadBarUpDuty, SIMPLE_SENSOR_0, true,
     POS_DRIVE_REVERSE},
    {LOAD_BAR_DOWN, kFromAnyPosition, &g_ParamLoadBarDownPulse, 1, &g_ParamLoadBarDownDuty, SIMPLE_SENSOR_1, false,
     POS_DRIVE_FORWARD},
};
constexpr SubMoveRow kLoadPinchMoves[] = {
    {LOAD_PINCH_UP, kFromAnyPosition, nullptr, 0, nullptr, SIMPLE_SENSOR_0, true, POS_DRIVE_REVERSE},
    {LOAD_PINCH_DOWN, kFromAnyPosition, nullptr, 0, nullptr, SIMPLE_SENSOR_1, false, POS_DRIVE_FORWARD},
};

// The eject pinch turns through Up, CDown, FDown: Forward at the second
// duty goes one position along, every other move runs Reverse at the
// first. Slot 0 is "EjectPin Sb", slot 1 "EjectPin Mn".
constexpr SubMoveRow kEjectPinchMoves[] = {
    {EJECT_PINCH_UP, EJECT_PINCH_FDOWN, nullptr, 0, &g_ParamEjectPinchDuty2, SIMPLE_SENSOR_0, false,
     POS_DRIVE_FORWARD},
    {EJECT_PINCH_UP, kFromAnyPosition, nullptr, 0, &g_ParamEjectPinchDuty1, SIMPLE_SENSOR_0, false,
     POS_DRIVE_REVERSE},
    {EJECT_PINCH_FDOWN, EJECT_PINCH_CDOWN, nullptr, 0, &g_ParamEjectPinchDuty2, SIMPLE_SENSOR_1, true,
     POS_DRIVE_FORWARD},
    {EJECT_PINCH_FDOWN, kFromAnyPosition, nullptr, 0, &g_ParamEjectPinchDuty1, SIMPLE_SENSOR_1, true,
     POS_DRIVE_REVERSE},
    {EJECT_PINCH_CDOWN, EJECT_PINCH_UP, nullptr, 0, &g_ParamEjectPinchDuty2, SIMPLE_SENSOR_0, false,
     POS_DRIVE_FORWARD},
    {EJECT_PINCH_CDOWN, kFromAnyPosition, nullptr, 0, &g_ParamEjectPinchDuty1, SIMPLE_SENSOR_0, false,
     POS_DRIVE_REVERSE},
};
constexpr VerifyRow kEjectPinchVerify[] = {
    {EJECT_PINCH_FDOWN, SIMPLE_SENSOR_0}, {EJECT_PINCH_UP, SIMPLE_SENSOR_1}, {EJECT_PINCH_CDOWN, SIMPLE_SENSOR_1}};
constexpr TimeoutRow kEjectPinchTimeouts[] = {
    {EJECT_PINCH_UP, SIMPLE_ERR_TIMEOUT_1}, {EJECT_PINCH_FDOWN, SIMPLE_ERR_TIMEOUT_2},
    {EJECT_PINCH_CDOWN, SIMPLE_ERR_TIMEOUT_2}};

constexpr SimplePositionerTables kHeadTables{kHeadMoves, Count(kHeadMoves), kUpDownVerify, Count(kUpDownVerify),
                                             kUpDownTimeouts, Count(kUpDownTimeouts)};
constexpr SimplePositionerTables kLoadBarTables{kLoadBarMoves, Count(kLoadBarMoves), kUpDownVerify,
                                                Count(kUpDownVerify), kUpDownTimeouts, Count(kUpDownTimeouts)};
constexpr SimplePositionerTables kLoadPinchTables{kLoadPinchMoves, Count(kLoadPinchMoves), kUpDownVerify,
                                                  Count(kUpDownVerify), kUpDownTimeouts, Count(kUpDownTimeouts)};
constexpr SimplePositionerTables kEjectPinchTables{kEjectPinchMoves,  Count(kEjectPinchMoves),
                                                   kEjectPinchVerify, Count(kEjectPinchVerify),
                                                   kEjectPinchTimeouts, Count(kEjectPinchTimeouts)};

// The error indexes {verification, first time-out, other time-out}.
struct HeadErrors {
  uint32_t aul[3];
};
constexpr HeadErrors kHeadErrors[2] = {{{0x301, 0x201, 0x203}}, {{0x302, 0x202, 0x204}}};

// ---- the maintenance screens ----
constexpr PositionTexts kHeadTexts[] = {
    {HEAD_POS_UP, {{11, "  :"}, {14, "UP"}}},
    {HEAD_POS_DOWN, {{10, " :"}, {12, "DOWN"}}},
    {kOtherPosition, {{10, ":  "}, {11, "UNDEF"}}},
};
constexpr PositionTexts kLoadPinchTexts[] = {
    {LOAD_PINCH_UP, {{10, "   :"}, {14, "UP"}}},
    {LOAD_PINCH_DOWN, {{10, " :"}, {12, "DOWN"}}},
    {kOtherPosition, {{10, ":"}, {11, "UNDEF"}}},
};
constexpr PositionTexts kEjectPinchTexts[] = {
    {EJECT_PINCH_UP, {{10, "   :Up"}, {0, nullptr}}},
    {EJECT_PINCH_FDOWN, {{10, ":FDown"}, {0, nullptr}}},
    {EJECT_PINCH_CDOWN, {{10, ":CDown"}, {0, nullptr}}},
    {kOtherPosition, {{10, ":Undef"}, {0, nullptr}}},
};

// The screen of an up/down positioner: Enter moves down from up, up from
// anywhere else.
struct UpDownScreen {
  SimplePositioner* pCore;
  const PositionTexts* pTexts;
  uint32_t ulTexts;
};
void ShowUpDown(void* pOwner) {
  const auto* pScreen = static_cast<const UpDownScreen*>(pOwner);
  ShowPositionTexts(pScreen->pTexts, pScreen->ulTexts, pScreen->pCore->Position());
}
void EnterUpDown(void* pOwner) {
  SimplePositioner& core = *static_cast<UpDownScreen*>(pOwner)->pCore;
  core.MoveAndWait(core.Position() == 1 ? 2u : 1u);
}
int32_t RunUpDownScreen(const char* pszTitle, SimplePositioner& core, const PositionTexts* pTexts, uint32_t ulTexts) {
  UpDownScreen screen{&core, pTexts, ulTexts};
  return RunPositionerScreen({pszTitle, ShowUpDown, EnterUpDown}, &screen, core.Latch());
}

}  // namespace

SimplePositioner::SimplePositioner(const SimplePositionerTables* pTables, uint32_t ulTimeoutMs,
                                   CDigitalSensor* pSensor0, CDigitalSensor* pSensor1, PositionerMotor motor,
                                   uint32_t ulPositionError, uint32_t ulTimeoutError1, uint32_t ulTimeoutError2)
    : m_rec(ulTimeoutMs),
      m_pTables(pTables),
      m_apSensor{pSensor0, pSensor1},
      m_motor(motor),
      m_aulError{ulPositionError, ulTimeoutError1, ulTimeoutError2} {}

int32_t SimplePositioner::StartMove(uint32_t ulRequest) {
  if (m_lLatch != 0 || ulRequest == m_rec.usPosition) return 0;
  const SubMoveRow* pRow = nullptr;
  for (uint32_t i = 0; i < m_pTables->ulMoves && pRow == nullptr; ++i) {
    const SubMoveRow& row = m_pTables->pMoves[i];
    if (row.usRequest == ulRequest && (row.usFrom == kFromAnyPosition || row.usFrom == m_rec.usPosition)) pRow = &row;
  }
  if (pRow == nullptr) return -1;
  m_rec.usTarget = static_cast<uint16_t>(ulRequest);
  CDigitalSensor* pWatched = m_apSensor[pRow->eWatched];
  // A chopper without a PWM pair refuses the write; the move goes on and
  // the motor call's result is what counts.
  if (pRow->pPeriod != nullptr) m_motor.SetPeriod(static_cast<uint32_t>(SettingValue(*pRow->pPeriod)) * pRow->usPeriodScale);
  if (pRow->pDuty != nullptr) m_motor.SetDuty(static_cast<uint32_t>(SettingValue(*pRow->pDuty)));
  if (pRow->bAlreadyThereCheck && ReadsOn(pWatched)) {
    m_rec.pWatched = pWatched;
    m_rec.usPosition = m_rec.usTarget;
    return 0;
  }
  m_rec.Follow(pWatched, kLevelsOffThenOn);
  return m_motor.Drive(pRow->eDrive);
}

int32_t SimplePositioner::Step(int32_t* plDone) {
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
      BrakeAtTarget(m_rec, m_motor);
      bFinished = true;
      break;
    default:
      lResult = -1;
      break;
  }
  return EndPositionerStep(*this, lResult, bFinished, m_rec, m_motor, &m_lLatch, plDone);
}

int32_t SimplePositioner::Stop() { return StopPositioner(m_rec, m_motor); }

int32_t SimplePositioner::GetPosition(uint32_t* pulPosition) const { return m_rec.GetPosition(pulPosition); }

int32_t SimplePositioner::MoveAndWait(uint32_t ulRequest) { return MoveAndWaitFor(*this, ulRequest); }

int32_t SimplePositioner::Verify() {
  for (uint32_t i = 0; i < m_pTables->ulVerify; ++i) {
    const VerifyRow& row = m_pTables->pVerify[i];
    if (row.usPosition != m_rec.usPosition) continue;
    return CheckSensorOff(m_apSensor[row.eMustBeOff], m_aulError[SIMPLE_ERR_POSITION]);
  }
  return -1;
}

int32_t SimplePositioner::ReportTimeout() {
  for (uint32_t i = 0; i < m_pTables->ulTimeouts; ++i) {
    const TimeoutRow& row = m_pTables->pTimeouts[i];
    if (row.usTarget == m_rec.usTarget) return g_ErrorMng.SetError(m_aulError[row.eError]);
  }
  return 0;
}

CHeadLift::CHeadLift(uint32_t ulUnit) {
  const bool bUnitR = ulUnit != 0;
  const HeadErrors& errors = kHeadErrors[bUnitR ? 1 : 0];
  m_core = SimplePositioner(&kHeadTables, kTimeoutMs, bUnitR ? &g_SensorHeadRUp : &g_SensorHeadLUp,
                            bUnitR ? &g_SensorHeadRDn : &g_SensorHeadLDn,
                            PositionerMotor(bUnitR ? &g_ChopMotorHeadR : &g_ChopMotorHeadL), errors.aul[0],
                            errors.aul[1], errors.aul[2]);
}

int32_t CHeadLift::TestScreen() { return RunUpDownScreen("Head            ", m_core, kHeadTexts, Count(kHeadTexts)); }

CLoadBar::CLoadBar(GlobalBuild)
    : m_core(&kLoadBarTables, kTimeoutMs, &g_SensorLoadBarUp, &g_SensorLoadBarDn, PositionerMotor(&g_ChopMotorLoadBar),
             0x30E, 0x21D, 0x21E) {}

int32_t CLoadBar::TestScreen() {
  return RunUpDownScreen("Load Bar        ", m_core, kHeadTexts, Count(kHeadTexts));
}

CLoadPinch::CLoadPinch(GlobalBuild)
    : m_core(&kLoadPinchTables, kTimeoutMs, &g_SensorLoadPinUp, &g_SensorLoadPinDn,
             PositionerMotor(&g_DcMotorLoadPinch), 0x308, 0x212, 0x213) {}

int32_t CLoadPinch::TestScreen() {
  return RunUpDownScreen("Load Pinch     ", m_core, kLoadPinchTexts, Count(kLoadPinchTexts));
}

CEjectPinch::CEjectPinch(GlobalBuild)
    : m_core(&kEjectPinchTables, kEjectPinchTimeoutMs, &g_SensorEjectPinSb, &g_SensorEjectPinMn,
             PositionerMotor(&g_ChopMotorEjectPinch), 0x309, 0x217, 0x218) {}

void CEjectPinch::Show(void* pOwner) {
  auto& self = *static_cast<CEjectPinch*>(pOwner);
  const uint32_t ulPosition = self.m_core.Position();
  if (ulPosition == EJECT_PINCH_FDOWN || ulPosition == EJECT_PINCH_UNDEFINED) self.m_ulNextDown = 0;
  if (ulPosition == EJECT_PINCH_CDOWN) self.m_ulNextDown = 1;
  ShowPositionTexts(kEjectPinchTexts, Count(kEjectPinchTexts), ulPosition);
}

void CEjectPinch::Enter(void* pOwner) {
  auto& self = *static_cast<CEjectPinch*>(pOwner);
  switch (self.m_core.Position()) {
    case EJECT_PINCH_FDOWN:
      self.MoveUpAndWait();
      break;
    case EJECT_PINCH_UP:
      if (self.m_ulNextDown == 0) {
        self.MoveCDownAndWait();
      } else {
        self.MoveFDownAndWait();
      }
      break;
    default:  // CDown and undefined
      self.MoveFDownAndWait();
      break;
  }
}

int32_t CEjectPinch::TestScreen() {
  m_ulNextDown = 0;
  return RunPositionerScreen({"EjectPinch      ", Show, Enter}, this, m_core.Latch());
}
