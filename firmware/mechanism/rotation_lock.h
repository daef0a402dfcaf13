// The rotation lock of the paper-roll carousel: released before the
// carousel turns and locked after. Every motion follows "Lock Main"; a lock
// is a drive into the lock, a pause and a short back-off, and the release
// after power-on backs off the other way when its first drive runs out of
// time. "RotationLockFlag" keeps the lock's state over power-off.
#pragma once

#include <cstdint>

#include "firmware/mechanism/positioner.h"
#include "firmware/platform/global_build.h"

class CRotationLock {
 public:
  constexpr CRotationLock() = default;
  explicit CRotationLock(GlobalBuild);

  // 1 release, 3 unlock, 5 lock; nothing while the latch is set or at the
  // requested position; -1 for any other request.
  int32_t StartMove(uint32_t ulRequest);
  int32_t Step(int32_t* plDone);
  int32_t Stop();
  int32_t GetPosition(uint32_t* pulPosition) const;
  // Position and target without a motion (the state restored at start-up).
  int32_t SetPosition(uint16_t usPosition);
  // "RotationLockFlag" from the position: unlocked 2, locked 1, else 0.
  int32_t SaveLockFlag();
  int32_t MoveAndWait(uint32_t ulRequest);
  int32_t TestScreen();
  int32_t Verify();
  int32_t ReportTimeout();

 private:
  void StartSubMove(uint16_t usTarget);
  static void Show(void* pOwner);
  static void Enter(void* pOwner);

  PositionerRecord m_rec;
  int32_t m_lLatch = 0;
  PositionerMotor m_motor;
};

extern CRotationLock g_RotationLock;
