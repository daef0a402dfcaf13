#include "firmware/mechanism/path_select.h"

#include "firmware/control/error_manager.h"
#include "firmware/devices/analog_sensor.h"
#include "firmware/devices/digital_sensor.h"
#include "firmware/devices/machine_actuators.h"
#include "firmware/devices/parameter.h"
#include "firmware/devices/sensors.h"
#include "firmware/devices/settings.h"

constinit CPathSelect g_PathSelect;

namespace {

constexpr uint32_t kTimeoutMs = 2000;
constexpr uint32_t kPauseMs = 200;
constexpr uint32_t kBothSwitchesError = 0x307;
constexpr uint32_t kFindTimeoutError = 0x20F;

// The two ends, by seek direction 1 (position 3) and 2 (position 4).
struct PathEnd {
  uint16_t usPosition;
  CDigitalSensor* pArrive;
  CDigitalSensor* pOther;
  PositionerDrive eDrive;
  PositionerDrive eBack;
  uint16_t usTimeoutError;
};
constexpr PathEnd kEnds[2] = {
    {PATH_SEL_PATH_L, &g_SensorPathPosiR, &g_SensorPathPosiL, POS_DRIVE_FORWARD, POS_DRIVE_REVERSE, 0x210},
    {PATH_SEL_PATH_R, &g_SensorPathPosiL, &g_SensorPathPosiR, POS_DRIVE_REVERSE, POS_DRIVE_FORWARD, 0x211},
};
const PathEnd* EndOfPosition(uint32_t ulPosition) { return FindRow(kEnds, &PathEnd::usPosition, ulPosition); }
const PathEnd* EndOfDirection(int32_t lDirection) {
  return lDirection == 1 || lDirection == 2 ? &kEnds[lDirection - 1] : nullptr;
}

// clang-format off
constexpr PathFindRow kFindRows[] = {
    {0x0000, PATH_FIND_NO_PAPER_AT_TOPS}, {0x0100, PATH_FIND_NO_PAPER_AT_TOPS}, {0x1000, PATH_FIND_NO_PAPER_AT_TOPS},
    {0x0001, PATH_FIND_SEEK_4},
    {0x0010, PATH_FIND_SEEK_3},
    {0x0011, PATH_FIND_STAY}, {0x0111, PATH_FIND_STAY}, {0x1011, PATH_FIND_STAY}, {0x1111, PATH_FIND_STAY},
    {0x0101, PATH_FIND_AT_4},
    {0x1010, PATH_FIND_AT_3},
    {0x1100, PATH_FIND_BOTH_SWITCHES}, {0x1101, PATH_FIND_BOTH_SWITCHES}, {0x1110, PATH_FIND_BOTH_SWITCHES},
    {0x0110, PATH_FIND_CONTRADICTION}, {0x1001, PATH_FIND_CONTRADICTION},
};
// clang-format on

uint32_t On(CAnalogSensor& sensor) {
  uint32_t ulState = 0;
  sensor.GetState(&ulState);
  return ulState != 0 ? 1u : 0u;
}

constexpr PositionTexts kTexts[] = {
    {PATH_SEL_PATH_L, {{0, "Path Select   :L"}, {0, nullptr}}},
    {PATH_SEL_PATH_R, {{0, "Path Select   :R"}, {0, nullptr}}},
    {PATH_SEL_UNDEFINED, {{0, "Path Sel. :Undef"}, {0, nullptr}}},
    {kOtherPosition, {{0, "Path Select :xxx"}, {0, nullptr}}},
};

// Enter: undefined finds, each path goes to the other.
constexpr ScreenMove kScreenMoves[] = {
    {PATH_SEL_UNDEFINED, PATH_SEL_FIND}, {PATH_SEL_PATH_L, PATH_SEL_PATH_R}, {PATH_SEL_PATH_R, PATH_SEL_PATH_L}};

}  // namespace

PathFindAction ClassifyPathCode(uint32_t ulCode) {
  const PathFindRow* pRow = FindRow(kFindRows, &PathFindRow::usCode, ulCode);
  return pRow != nullptr ? pRow->eAction : PATH_FIND_STAY;
}

CPathSelect::CPathSelect(GlobalBuild) : m_rec(kTimeoutMs), m_motor(&g_DcMotorPathSel) {}

int32_t CPathSelect::StartMove(uint32_t ulRequest) {
  if (m_lLatch != 0 || ulRequest == m_rec.usPosition) return 0;
  g_ParamPrintpathFlag.SetValue(0);
  if (ulRequest == PATH_SEL_FIND) return StartFind();
  if (EndOfPosition(ulRequest) != nullptr) return StartEnd(static_cast<uint16_t>(ulRequest));
  return -1;
}

int32_t CPathSelect::StartEnd(uint16_t usTarget) {
  const PathEnd& end = *EndOfPosition(usTarget);
  m_rec.usTarget = usTarget;
  m_rec.pWatched = end.pArrive;
  if (ReadsOn(end.pArrive)) {
    m_rec.usPosition = usTarget;
    m_rec.usStep = POS_STEP_IDLE;
    return 0;
  }
  m_rec.Follow(end.pArrive, kLevelsOffThenOn);
  return m_motor.Drive(end.eDrive);
}

void CPathSelect::Classify() {
  const uint32_t ulR = ReadsOn(&g_SensorPathPosiR) ? 1u : 0u;
  const uint32_t ulL = ReadsOn(&g_SensorPathPosiL) ? 1u : 0u;
  const uint32_t ulTopL = On(g_AdTopL);
  const uint32_t ulTopR = On(g_AdTopR);
  const uint32_t ulPaper = On(g_AdPaperEmpty);
  m_lSeekDirection = 0;
  m_lSweep = 0;
  switch (ClassifyPathCode(ulR * 0x1000u + ulL * 0x100u + ulTopL * 0x10u + ulTopR)) {
    case PATH_FIND_NO_PAPER_AT_TOPS:
      if (ulPaper == 0) {
        m_lSweep = 1;
        m_lSeekDirection = 2;
      } else if (ulR != 0) {
        g_ParamPrintpathFlag.SetValue(PATH_SEL_PATH_L);
        m_rec.usTarget = PATH_SEL_PATH_L;
      } else if (ulL != 0) {
        g_ParamPrintpathFlag.SetValue(PATH_SEL_PATH_R);
        m_rec.usTarget = PATH_SEL_PATH_R;
      } else {
        m_lSeekDirection = 1;
      }
      break;
    case PATH_FIND_SEEK_3:
      m_lSeekDirection = 1;
      break;
    case PATH_FIND_SEEK_4:
      m_lSeekDirection = 2;
      break;
    case PATH_FIND_AT_3:
      g_ParamPrintpathFlag.SetValue(PATH_SEL_PATH_L);
      m_rec.usTarget = PATH_SEL_PATH_L;
      break;
    case PATH_FIND_AT_4:
      g_ParamPrintpathFlag.SetValue(PATH_SEL_PATH_R);
      m_rec.usTarget = PATH_SEL_PATH_R;
      break;
    case PATH_FIND_BOTH_SWITCHES:
      g_ErrorMng.SetError(kBothSwitchesError);
      break;
    case PATH_FIND_CONTRADICTION:
      g_ParamPrintpathFlag.SetValue(0);
      break;
    case PATH_FIND_STAY:
      break;
  }
}

int32_t CPathSelect::StartFind() {
  m_rec.usTarget = PATH_SEL_FIND;
  Classify();
  const PathEnd* pEnd = EndOfDirection(m_lSeekDirection);
  if (pEnd == nullptr) {
    m_rec.usPosition = static_cast<uint16_t>(SettingValue(g_ParamPrintpathFlag));
    m_rec.usStep = POS_STEP_IDLE;
    return 0;
  }
  m_rec.pWatched = pEnd->pArrive;
  if (ReadsOn(pEnd->pArrive)) {
    m_rec.usPosition = pEnd->usPosition;
    m_rec.usStep = m_lSweep == 1 ? POS_STEP_ARRIVED : POS_STEP_IDLE;
    return 0;
  }
  return Seek(PATH_SEL_FIND, false);
}

int32_t CPathSelect::Seek(uint16_t usTarget, bool bBack) {
  const PathEnd& end = *EndOfDirection(m_lSeekDirection);
  m_rec.usTarget = usTarget;
  // The way back keeps watching the switch of the find's end.
  m_rec.Follow(bBack ? m_rec.pWatched : end.pArrive, kLevelsOffThenOn);
  return m_motor.Drive(bBack ? end.eBack : end.eDrive);
}

int32_t CPathSelect::Step(int32_t* plDone) {
  int32_t lResult = 0;
  bool bFinished = false;
  switch (m_rec.usStep) {
    case POS_STEP_IDLE:
      bFinished = true;
      break;
    case POS_STEP_FOLLOW:
      m_rec.StepFollow();
      break;
    case POS_STEP_PAUSE:
      if (m_rec.PauseOver(kPauseMs)) lResult = Seek(PATH_SEL_REVERSE, true);
      break;
    case POS_STEP_ARRIVED:
      BrakeAtTarget(m_rec, m_motor);
      if (m_lSweep == 1) {
        m_rec.Restart();
        m_rec.usStep = POS_STEP_SWEEP_PAUSE;
      }
      bFinished = true;
      break;
    case POS_STEP_SWEEP_PAUSE:
      if (m_rec.PauseOver(kPauseMs)) {
        m_lSweep = 0;
        m_lSeekDirection = m_lSeekDirection == 1 ? 2 : 1;
        lResult = Seek(PATH_SEL_FIND, false);
      }
      break;
    default:
      lResult = -1;
      break;
  }
  // A find that does not reach its end backs off the other way.
  lResult = CheckPositionerTimeout(*this, lResult, bFinished, m_rec.usTarget == PATH_SEL_FIND, m_rec, m_motor);
  if (bFinished) {
    lResult = Verify();
    g_ParamPrintpathFlag.SetValue(m_rec.usPosition);
    if (m_lSweep == 1) bFinished = false;
  }
  return FinishPositionerStep(lResult, bFinished, m_rec, m_motor, &m_lLatch, plDone);
}

int32_t CPathSelect::Stop() { return StopPositioner(m_rec, m_motor); }

int32_t CPathSelect::GetPosition(uint32_t* pulPosition) const { return m_rec.GetPosition(pulPosition); }

int32_t CPathSelect::MoveAndWait(uint32_t ulRequest) { return MoveAndWaitFor(*this, ulRequest); }

int32_t CPathSelect::Verify() {
  const PathEnd* pEnd = EndOfPosition(m_rec.usPosition);
  const bool bFindEnd = m_rec.usPosition == PATH_SEL_FIND || m_rec.usPosition == PATH_SEL_REVERSE;
  if (bFindEnd) pEnd = EndOfDirection(m_lSeekDirection);
  if (pEnd == nullptr) return -1;
  uint32_t ulOn = 0;
  const int32_t lResult = ReadStableOn(pEnd->pOther, &ulOn);
  if (lResult != 0) return lResult;
  if (ulOn != 0) {
    g_ErrorMng.SetError(kBothSwitchesError);
    return -1;
  }
  if (bFindEnd) {
    m_rec.usPosition = pEnd->usPosition;
    m_rec.usTarget = pEnd->usPosition;
  }
  return 0;
}

int32_t CPathSelect::ReportTimeout() {
  if (m_rec.usTarget == PATH_SEL_FIND || m_rec.usTarget == PATH_SEL_REVERSE) {
    return g_ErrorMng.SetError(kFindTimeoutError);
  }
  const PathEnd* pEnd = EndOfPosition(m_rec.usTarget);
  return pEnd != nullptr ? g_ErrorMng.SetError(pEnd->usTimeoutError) : 0;
}

void CPathSelect::Show(void* pOwner) {
  ShowPositionTexts(kTexts, sizeof kTexts / sizeof kTexts[0], static_cast<CPathSelect*>(pOwner)->m_rec.usPosition);
}

void CPathSelect::Enter(void* pOwner) {
  auto& self = *static_cast<CPathSelect*>(pOwner);
  const uint32_t ulRequest = ScreenRequest(kScreenMoves, sizeof kScreenMoves / sizeof kScreenMoves[0], self.m_rec.usPosition);
  if (ulRequest != 0) self.MoveAndWait(ulRequest);
}

int32_t CPathSelect::TestScreen() { return RunPositionerScreen({"Path Select     ", Show, Enter}, this, &m_lLatch); }
