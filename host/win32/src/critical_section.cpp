// Critical sections: recursive locks within the process. Their state lives
// in the CRITICAL_SECTION itself and is guarded by the runtime lock, so that
// a thread waiting to enter is seen by the virtual clock (and a deadlock
// between sections is diagnosed instead of hanging).
#include <cstring>

#include "runtime.h"

using namespace w32;

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection) noexcept {
  if (lpCriticalSection == nullptr) return;
  std::memset(lpCriticalSection, 0, sizeof *lpCriticalSection);
}

void WINAPI EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) noexcept {
  if (lpCriticalSection == nullptr) return;
  CRITICAL_SECTION &cs = *lpCriticalSection;
  // No failure can be reported here; running unlocked would be worse than
  // ending, so an exception (only an exhausted heap) ends the process.
  ThreadRecord &me = Self();
  std::unique_lock<std::mutex> lk(Rt().lock);
  if (cs.OwnerKey == me.key) {
    ++cs.RecursionCount;
    return;
  }
  if (cs.OwnerKey != 0) {
    ++cs.WaiterCount;
    WaitLocked(lk, me, kNoDeadline, [&] { return cs.OwnerKey == 0; }, "a critical section", false);
    --cs.WaiterCount;
  }
  cs.OwnerKey = me.key;
  cs.RecursionCount = 1;
  cs.OwningThread = me.tid;
}

void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection) noexcept {
  if (lpCriticalSection == nullptr) return;
  CRITICAL_SECTION &cs = *lpCriticalSection;
  ThreadRecord &me = Self();
  std::lock_guard<std::mutex> lk(Rt().lock);
  if (cs.OwnerKey != me.key) return;  // not ours to leave: ignored rather than corrupting the owner's hold
  if (--cs.RecursionCount > 0) return;
  cs.OwnerKey = 0;
  cs.RecursionCount = 0;
  cs.OwningThread = 0;
  if (cs.WaiterCount > 0) Rt().cv.notify_all();
}

void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection) noexcept {
  if (lpCriticalSection == nullptr) return;
  std::lock_guard<std::mutex> lk(Rt().lock);
  LONG waiters = lpCriticalSection->WaiterCount;
  std::memset(lpCriticalSection, 0, sizeof *lpCriticalSection);
  lpCriticalSection->WaiterCount = waiters;
  if (waiters > 0) Rt().cv.notify_all();
}
