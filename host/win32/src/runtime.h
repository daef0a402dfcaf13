// The core of libbomwin32: one process-wide lock, a record per thread that
// uses us, the process clock and the waits built on it, and the handle
// registry. Every exported function is a thin layer over these.
//
// Locking: `Runtime::lock` guards every record field marked below, the
// handle table, the window table, critical sections and the module and
// memory tables. It is never held while calling out of the library (handle
// kind operations, dlopen, thread bodies) and never held while blocking,
// except inside the condition-variable waits of this file.
#pragma once

#include <windows.h>
#include <win32_ext.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <stdexcept>
#include <vector>

namespace w32 {

constexpr uint64_t kNoDeadline = UINT64_MAX;

// What a waiting thread's probe says about the thing it waits for, asked
// when every counted thread is blocked.
enum class Readiness {
  kNotReady,  // only another thread of this process can make it ready
  kReady,     // the waiter is about to run
  kOutside,   // something outside the process may make it ready
};

class Object;

struct ThreadRecord {
  uint64_t key = 0;  // unique within the process, never reused; lock owner key
  DWORD tid = 0;     // kernel thread id, as GetCurrentThreadId reports it
  bool apiThread = false;  // started by _beginthread/_beginthreadex

  // Guarded by the runtime lock.
  bool participant = false;  // counted by the virtual clock
  bool clockOwner = false;   // installed the virtual clock
  bool temporary = false;    // counted only during the current wait
  bool idle = false;         // blocked in one of our waits
  uint64_t deadline = kNoDeadline;
  std::function<Readiness()> probe;
  const char *waitWhat = "";
  int wakeFd = -1;  // eventfd that interrupts a wait on a descriptor
  bool inFdWait = false;

  bool terminated = false;  // TerminateThread was called for it
  DWORD terminateCode = 0;
  std::shared_ptr<Object> pendingIo;  // object of the running ReadFile/WriteFile
  bool ioCancelled = false;

  bool started = false;
  bool ended = false;
  DWORD exitCode = STILL_ACTIVE;
  bool explicitExit = false;  // _endthreadex
  DWORD explicitExitCode = 0;

  std::deque<MSG> messages;  // posted to the windows this thread owns

  // Mutexes this thread owns; touched by this thread only.
  std::vector<std::shared_ptr<void>> ownedMutexes;
};

struct Runtime {
  std::mutex lock;
  std::condition_variable cv;  // every change a waiter may look for

  // The process clock.
  std::atomic<bool> virtualClock{false};
  std::atomic<uint64_t> virtualNow{0};
  uint64_t virtualEnd = 0;
  uint32_t stallLimitMs = 10000;
  bool stuck = false;  // all counted threads wait on the outside only
  std::chrono::steady_clock::time_point stuckSince;

  int participants = 0;
  int idleCount = 0;
  std::vector<ThreadRecord *> records;  // every live thread that used us
  uint64_t nextKey = 1;
};

Runtime &Rt();

// The calling thread's record, created on first use. Never call it with the
// runtime lock held.
ThreadRecord &Self();
// Binds a thread started by us to the record its creator made.
void BindStartedThread(const std::shared_ptr<ThreadRecord> &record);

void SetError(DWORD code) noexcept;

// Ends the process with a diagnostic on standard error.
[[noreturn]] void Fatal(const char *format, ...) __attribute__((format(printf, 1, 2)));

// Runs an export's body so that no exception leaves the library.
template <class R, class F>
R Guard(R failure, F &&body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc &) {
    SetError(ERROR_NOT_ENOUGH_MEMORY);
  } catch (const std::exception &) {
    SetError(ERROR_GEN_FAILURE);
  }
  return failure;
}

// ---- Clock ---------------------------------------------------------------

uint64_t RealNowMs();
uint64_t Now();
uint64_t DeadlineAfter(DWORD milliseconds);
std::chrono::steady_clock::time_point RealTimePoint(uint64_t deadline);

// The following require the runtime lock.
void Reevaluate();  // the virtual clock's step: advance or diagnose
void CheckStall();
void Wake(ThreadRecord &record);
void WakeAll();
void LeaveParticipation(ThreadRecord &record);

// Marks the calling thread as blocked for the virtual clock while it lives.
// Constructed and destroyed with the runtime lock held.
class IdleScope {
 public:
  IdleScope(ThreadRecord &me, uint64_t deadline, std::function<Readiness()> probe, const char *what);
  ~IdleScope();
  IdleScope(const IdleScope &) = delete;
  IdleScope &operator=(const IdleScope &) = delete;

 private:
  ThreadRecord &me_;
};

enum class WaitEnd { kReady, kTimeout, kAborted };

// Blocks until ready() holds (evaluated with the lock held), the deadline
// passes on the process clock, or, when abortable, the thread is
// terminated. The lock is held on entry and on return.
WaitEnd WaitLocked(std::unique_lock<std::mutex> &lk, ThreadRecord &me, uint64_t deadline,
                   const std::function<bool()> &ready, const char *what, bool abortable = true);

// ---- Handles -------------------------------------------------------------

class Object {
 public:
  virtual ~Object() = default;
  virtual const char *KindName() const = 0;
  virtual BOOL Read(void *buffer, DWORD bytes, DWORD *done);
  virtual BOOL Write(const void *buffer, DWORD bytes, DWORD *done);
  virtual void CancelIo() {}
  virtual DWORD Wait(DWORD milliseconds);
};

// NULL when the table is full. Takes the lock.
HANDLE AddHandle(std::shared_ptr<Object> object);
std::shared_ptr<Object> LookupHandle(HANDLE handle);
template <class T>
std::shared_ptr<T> LookupAs(HANDLE handle) {
  return std::dynamic_pointer_cast<T>(LookupHandle(handle));
}
// With the lock held; the caller drops the result after unlocking.
std::shared_ptr<Object> RemoveHandleLocked(HANDLE handle);

// ---- Hooks into the other source files ---------------------------------

void DestroyThreadWindowsLocked(ThreadRecord &record);  // windows_msg.cpp
void ForgetMutexMappingsAfterFork();                    // named_mutex.cpp
// Called by a thread as it ends: its mutexes become abandoned at once, as
// on Windows, before anyone can see the thread as ended.
void AbandonOwnedMutexes(ThreadRecord &record);  // named_mutex.cpp

}  // namespace w32
