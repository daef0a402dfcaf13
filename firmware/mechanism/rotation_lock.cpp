#include "firmware/mechanism/rotation_lock.h"

#include "firmware/control/error_manager.h"
#include "firmware/devices/digital_sensor.h"
#include "firmware/devices/machine_actuators.h"
#include "firmware/devices/parameter.h"
#include "firmware/devices/sensors.h"
#include "firmware/devices/settings.h"

constinit CRotationLock g_RotationLock;

namespace {

constexpr uint32_t kTimeoutMs = 2000;
constexpr uint32_t kPauseMs = 200;

struct LockSubMove {
  uint16_t usTarget;
  const PositionerLevels* pLevels;
  CParameter* pDuty;
  PositionerDrive eDrive;
  uint16_t usTimeoutError;
};
constexpr LockSubMove kSubMoves[] = {
    {ROT_LOCK_RELEASE, &kLevelsTurnOn, &g_ParamRotLockUnlockDuty1, POS_DRIVE_REVERSE, 0x21F},
    {ROT_LOCK_RELEASE_BACKOFF, &kLevelsTurnOff, &g_ParamRotLockUnlockDuty1, POS_DRIVE_FORWARD, 0x21F},
    {ROT_LOCK_UNLOCKED, &kLevelsTurnOn, &g_ParamRotLockUnlockDuty2, POS_DRIVE_REVERSE, 0x220},
    {ROT_LOCK_LOCK_DRIVE, &kLevelsTurnOn, &g_ParamRotLockLockDuty, POS_DRIVE_FORWARD, 0x221},
    {ROT_LOCK_LOCKED, &kLevelsTurnOff, &g_ParamRotLockUnlockDuty2, POS_DRIVE_REVERSE, 0x221},
};
const LockSubMove* FindSubMove(uint32_t ulTarget) { return FindRow(kSubMoves, &LockSubMove::usTarget, ulTarget); }

// Requests and the sub-move each starts with.
struct LockRequest {
  uint16_t usRequest;
  uint16_t usFirst;
};
constexpr LockRequest kRequests[] = {
    {ROT_LOCK_RELEASE, ROT_LOCK_RELEASE},
    {ROT_LOCK_UNLOCKED, ROT_LOCK_UNLOCKED},
    {ROT_LOCK_LOCKED, ROT_LOCK_LOCK_DRIVE},
};
// After the pause: the sub-move that follows the one that paused.
struct LockFollowUp {
  uint16_t usPaused;
  uint16_t usNext;
};
constexpr LockFollowUp kFollowUps[] = {
    {ROT_LOCK_RELEASE, ROT_LOCK_RELEASE_BACKOFF},
    {ROT_LOCK_LOCK_DRIVE, ROT_LOCK_LOCKED},
};

bool EndsUnlocked(uint32_t ulTarget) { return ulTarget == ROT_LOCK_RELEASE || ulTarget == ROT_LOCK_RELEASE_BACKOFF; }

constexpr PositionTexts kTexts[] = {
    {ROT_LOCK_UNLOCKED, {{0, "Rot.Lock :Unlock"}, {0, nullptr}}},
    {ROT_LOCK_LOCKED, {{0, "Rot.Lock   :Lock"}, {0, nullptr}}},
    {ROT_LOCK_UNDEFINED, {{0, "Rot.Lock  :Undef"}, {0, nullptr}}},
    {kOtherPosition, {{0, "Rot.Lock    :xxx"}, {0, nullptr}}},
};

// Enter: undefined releases, unlocked locks, locked unlocks.
constexpr ScreenMove kScreenMoves[] = {
    {ROT_LOCK_UNDEFINED, ROT_LOCK_RELEASE}, {ROT_LOCK_UNLOCKED, ROT_LOCK_LOCKED}, {ROT_LOCK_LOCKED, ROT_LOCK_UNLOCKED}};

}  // namespace

CRotationLock::CRotationLock(GlobalBuild) : m_rec(kTimeoutMs), m_motor(&g_ChopMotorRotLock) {
  m_rec.pWatched = &g_SensorLockMain;
}

void CRotationLock::StartSubMove(uint16_t usTarget) {
  const LockSubMove* pRow = FindSubMove(usTarget);
  if (pRow == nullptr) return;
  m_rec.usTarget = usTarget;
  m_rec.Follow(&g_SensorLockMain, *pRow->pLevels);
  m_motor.SetDuty(static_cast<uint32_t>(SettingValue(*pRow->pDuty)));
}

int32_t CRotationLock::StartMove(uint32_t ulRequest) {
  if (m_lLatch != 0 || ulRequest == m_rec.usPosition) return 0;
  for (const LockRequest& request : kRequests) {
    if (request.usRequest != ulRequest) continue;
    StartSubMove(request.usFirst);
    return m_motor.Drive(FindSubMove(request.usFirst)->eDrive);
  }
  return -1;
}

int32_t CRotationLock::Step(int32_t* plDone) {
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
      if (m_rec.PauseOver(kPauseMs)) {
        for (const LockFollowUp& next : kFollowUps) {
          if (next.usPaused != m_rec.usTarget) continue;
          StartSubMove(next.usNext);
          lResult = m_motor.Drive(FindSubMove(next.usNext)->eDrive);
          break;
        }
      }
      break;
    case POS_STEP_ARRIVED:
      m_motor.Brake();
      m_rec.usStep = POS_STEP_IDLE;
      m_rec.usPosition = EndsUnlocked(m_rec.usTarget) ? static_cast<uint16_t>(ROT_LOCK_UNLOCKED) : m_rec.usTarget;
      if (m_rec.usTarget == ROT_LOCK_LOCK_DRIVE) {
        m_rec.Restart();
        m_rec.usStep = POS_STEP_PAUSE;
      } else {
        bFinished = true;
      }
      break;
    default:
      lResult = -1;
      break;
  }
  // The first drive of a release that does not find the end backs off the
  // other way after the pause.
  lResult = CheckPositionerTimeout(*this, lResult, bFinished, m_rec.usTarget == ROT_LOCK_RELEASE, m_rec, m_motor);
  if (bFinished) {
    if (EndsUnlocked(m_rec.usTarget)) m_rec.usTarget = ROT_LOCK_UNLOCKED;
    lResult = Verify();
  }
  return FinishPositionerStep(lResult, bFinished, m_rec, m_motor, &m_lLatch, plDone);
}

int32_t CRotationLock::Stop() { return StopPositioner(m_rec, m_motor); }

int32_t CRotationLock::GetPosition(uint32_t* pulPosition) const { return m_rec.GetPosition(pulPosition); }

int32_t CRotationLock::SetPosition(uint16_t usPosition) {
  m_rec.usPosition = usPosition;
  m_rec.usTarget = usPosition;
  return 0;
}

int32_t CRotationLock::SaveLockFlag() {
  int32_t lFlag = 0;
  if (m_rec.usPosition == ROT_LOCK_UNLOCKED) lFlag = 2;
  if (m_rec.usPosition == ROT_LOCK_LOCKED) lFlag = 1;
  return g_ParamRotationLockFlag.SetValue(lFlag);
}

int32_t CRotationLock::MoveAndWait(uint32_t ulRequest) { return MoveAndWaitFor(*this, ulRequest); }

int32_t CRotationLock::Verify() {
  if (m_rec.usPosition == ROT_LOCK_LOCKED) return 0;
  if (m_rec.usPosition != ROT_LOCK_UNLOCKED) return -1;
  return CheckSensorOff(&g_SensorLockSub, 0x306);
}

int32_t CRotationLock::ReportTimeout() {
  const LockSubMove* pRow = FindSubMove(m_rec.usTarget);
  return pRow != nullptr ? g_ErrorMng.SetError(pRow->usTimeoutError) : 0;
}

void CRotationLock::Show(void* pOwner) {
  ShowPositionTexts(kTexts, sizeof kTexts / sizeof kTexts[0], static_cast<CRotationLock*>(pOwner)->m_rec.usPosition);
}

void CRotationLock::Enter(void* pOwner) {
  auto& self = *static_cast<CRotationLock*>(pOwner);
  const uint32_t ulRequest = ScreenRequest(kScreenMoves, sizeof kScreenMoves / sizeof kScreenMoves[0], self.m_rec.usPosition);
  if (ulRequest != 0) self.MoveAndWait(ulRequest);
  self.SaveLockFlag();
}

int32_t CRotationLock::TestScreen() { return RunPositionerScreen({"Rot. Lock       ", Show, Enter}, this, &m_lLatch); }
