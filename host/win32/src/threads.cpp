// Threads started through the runtime-library calls, their handles, exit
// codes, waits and forced termination.
//
// TerminateThread cannot stop a POSIX thread where it stands. It cancels
// the I/O the thread has pending on our handles, makes every later blocking
// call of that thread fail at once, and then waits for the thread to run to
// its end, which a worker blocked in a read does within microseconds. The
// join has a bound: a thread still running after it would outlive the
// objects its creator is about to free, so the process ends with a
// diagnostic instead.
#include <process.h>

#include <pthread.h>

#include <algorithm>
#include <cerrno>
#include <climits>

#include "runtime.h"

namespace w32 {
namespace {

constexpr std::chrono::seconds kTerminateJoinBound{5};

class ThreadObject final : public Object {
 public:
  explicit ThreadObject(std::shared_ptr<ThreadRecord> target) : record(std::move(target)) {}
  const char *KindName() const override { return "thread"; }
  DWORD Wait(DWORD milliseconds) override {
    ThreadRecord &me = Self();
    std::unique_lock<std::mutex> lk(Rt().lock);
    auto &target = *record;
    switch (WaitLocked(lk, me, DeadlineAfter(milliseconds), [&] { return target.ended; }, "a thread to end")) {
      case WaitEnd::kReady:
        return WAIT_OBJECT_0;
      case WaitEnd::kTimeout:
        return WAIT_TIMEOUT;
      case WaitEnd::kAborted:
        break;
    }
    SetError(ERROR_OPERATION_ABORTED);
    return WAIT_FAILED;
  }

  std::shared_ptr<ThreadRecord> record;
};

struct StartBlock {
  std::shared_ptr<ThreadRecord> record;
  unsigned(__stdcall *bodyEx)(void *);
  void(__cdecl *body)(void *);
  void *argument;
  HANDLE closeAtEnd;  // _beginthread's handle, closed when the thread ends
};

// Publishes the end of the thread: runs when the body returns and when
// _endthreadex unwinds it.
class EndOfThread {
 public:
  EndOfThread(std::shared_ptr<ThreadRecord> record, const unsigned *code, HANDLE closeAtEnd)
      : record_(std::move(record)), code_(code), closeAtEnd_(closeAtEnd) {}
  ~EndOfThread() {
    AbandonOwnedMutexes(*record_);
    std::shared_ptr<Object> dropped;
    Runtime &rt = Rt();
    {
      std::lock_guard<std::mutex> lk(rt.lock);
      ThreadRecord &r = *record_;
      if (r.terminated) {
        r.exitCode = r.terminateCode;
      } else {
        r.exitCode = r.explicitExit ? r.explicitExitCode : *code_;
      }
      r.ended = true;
      DestroyThreadWindowsLocked(r);
      rt.cv.notify_all();
      if (closeAtEnd_ != nullptr) dropped = RemoveHandleLocked(closeAtEnd_);
      LeaveParticipation(r);
    }
  }
  EndOfThread(const EndOfThread &) = delete;
  EndOfThread &operator=(const EndOfThread &) = delete;

 private:
  std::shared_ptr<ThreadRecord> record_;
  const unsigned *code_;
  HANDLE closeAtEnd_;
};

void *Trampoline(void *raw) {
  StartBlock start = *static_cast<StartBlock *>(raw);
  delete static_cast<StartBlock *>(raw);
  BindStartedThread(start.record);
  unsigned code = 0;
  EndOfThread end(start.record, &code, start.closeAtEnd);
  if (start.bodyEx != nullptr) {
    code = start.bodyEx(start.argument);
  } else {
    start.body(start.argument);
  }
  return nullptr;
}

// Returns the handle, or nullptr with errno set.
HANDLE StartThread(unsigned stackSize, unsigned(__stdcall *bodyEx)(void *), void(__cdecl *body)(void *),
                   void *argument, bool closeAtEnd, unsigned *threadId) {
  auto record = std::make_shared<ThreadRecord>();
  record->apiThread = true;
  HANDLE handle = AddHandle(std::make_shared<ThreadObject>(record));
  if (handle == nullptr) {
    errno = EAGAIN;
    return nullptr;
  }
  Runtime &rt = Rt();
  {
    std::lock_guard<std::mutex> lk(rt.lock);
    record->key = rt.nextKey++;
    record->participant = true;  // counted from now on, so the clock never runs ahead of its start
    ++rt.participants;
    rt.records.push_back(record.get());
  }
  auto *start = new StartBlock{record, bodyEx, body, argument, closeAtEnd ? handle : nullptr};
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
  if (stackSize != 0) pthread_attr_setstacksize(&attr, std::max<size_t>(stackSize, PTHREAD_STACK_MIN));
  pthread_t thread;
  int rc = pthread_create(&thread, &attr, Trampoline, start);
  pthread_attr_destroy(&attr);
  if (rc != 0) {
    delete start;
    std::shared_ptr<Object> dropped;
    {
      std::lock_guard<std::mutex> lk(rt.lock);
      rt.records.erase(std::remove(rt.records.begin(), rt.records.end(), record.get()), rt.records.end());
      LeaveParticipation(*record);
      dropped = RemoveHandleLocked(handle);
    }
    errno = rc == EAGAIN ? EAGAIN : EINVAL;
    return nullptr;
  }
  // The id is the kernel's thread id, known once the thread runs.
  std::unique_lock<std::mutex> lk(rt.lock);
  rt.cv.wait(lk, [&] { return record->started; });
  if (threadId != nullptr) *threadId = record->tid;
  return handle;
}

}  // namespace
}  // namespace w32

using namespace w32;

uintptr_t __cdecl _beginthread(void(__cdecl *start_address)(void *), unsigned stack_size, void *arglist) noexcept {
  if (start_address == nullptr) {
    errno = EINVAL;
    return static_cast<uintptr_t>(-1);
  }
  try {
    HANDLE handle = StartThread(stack_size, nullptr, start_address, arglist, true, nullptr);
    return handle != nullptr ? reinterpret_cast<uintptr_t>(handle) : static_cast<uintptr_t>(-1);
  } catch (const std::exception &) {
    errno = EAGAIN;
    return static_cast<uintptr_t>(-1);
  }
}

uintptr_t __cdecl _beginthreadex(void *, unsigned stack_size, unsigned(__stdcall *start_address)(void *),
                                 void *arglist, unsigned initflag, unsigned *thrdaddr) noexcept {
  if (start_address == nullptr || (initflag & CREATE_SUSPENDED) != 0) {
    errno = EINVAL;
    return 0;
  }
  try {
    return reinterpret_cast<uintptr_t>(StartThread(stack_size, start_address, nullptr, arglist, false, thrdaddr));
  } catch (const std::exception &) {
    errno = EAGAIN;
    return 0;
  }
}

void __cdecl _endthreadex(unsigned retval) {
  ThreadRecord &me = Self();
  {
    std::lock_guard<std::mutex> lk(Rt().lock);
    me.explicitExit = true;
    me.explicitExitCode = retval;
  }
  pthread_exit(nullptr);
}

BOOL WINAPI GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode) noexcept {
  return Guard<BOOL>(FALSE, [&] {
    auto thread = LookupAs<ThreadObject>(hThread);
    if (!thread) {
      SetError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    if (lpExitCode == nullptr) {
      SetError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    std::lock_guard<std::mutex> lk(Rt().lock);
    *lpExitCode = thread->record->ended ? thread->record->exitCode : STILL_ACTIVE;
    return TRUE;
  });
}

BOOL WINAPI TerminateThread(HANDLE hThread, DWORD dwExitCode) noexcept {
  return Guard<BOOL>(FALSE, [&] {
    auto thread = LookupAs<ThreadObject>(hThread);
    if (!thread) {
      SetError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    ThreadRecord &me = Self();
    std::shared_ptr<ThreadRecord> target = thread->record;
    if (target.get() == &me) {
      SetError(ERROR_NOT_SUPPORTED);  // a thread ends itself with _endthreadex
      return FALSE;
    }
    Runtime &rt = Rt();
    std::shared_ptr<Object> pending;
    {
      std::lock_guard<std::mutex> lk(rt.lock);
      if (target->ended) return TRUE;
      if (!target->terminated) {
        target->terminated = true;
        target->terminateCode = dwExitCode;
      }
      pending = target->pendingIo;
      Wake(*target);
    }
    if (pending) pending->CancelIo();
    pending.reset();
    // The join is a wait like any other for the virtual clock, bounded in
    // real time whatever the clock.
    std::unique_lock<std::mutex> lk(rt.lock);
    const auto bound = std::chrono::steady_clock::now() + kTerminateJoinBound;
    IdleScope idle(me, kNoDeadline, [&] { return target->ended ? Readiness::kReady : Readiness::kNotReady; },
                   "a terminated thread to end");
    while (!target->ended) {
      if (std::chrono::steady_clock::now() >= bound) {
        Fatal("TerminateThread: thread %u is still running %lld s after its I/O was cancelled; it is blocked "
              "or busy outside the calls that can be cancelled",
              target->tid, static_cast<long long>(kTerminateJoinBound.count()));
      }
      rt.cv.wait_until(lk, std::min(bound, std::chrono::steady_clock::now() + std::chrono::milliseconds(100)));
    }
    return TRUE;
  });
}

DWORD WINAPI WaitForMultipleObjects(DWORD nCount, const HANDLE *lpHandles, BOOL bWaitAll,
                                    DWORD dwMilliseconds) noexcept {
  return Guard<DWORD>(WAIT_FAILED, [&]() -> DWORD {
    if (nCount == 0 || nCount > MAXIMUM_WAIT_OBJECTS || lpHandles == nullptr) {
      SetError(ERROR_INVALID_PARAMETER);
      return WAIT_FAILED;
    }
    std::vector<std::shared_ptr<ThreadRecord>> targets;
    for (DWORD i = 0; i < nCount; ++i) {
      std::shared_ptr<Object> object = LookupHandle(lpHandles[i]);
      if (!object) {
        SetError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
      }
      auto thread = std::dynamic_pointer_cast<ThreadObject>(object);
      if (!thread) {
        SetError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
      }
      targets.push_back(thread->record);
    }
    ThreadRecord &me = Self();
    std::unique_lock<std::mutex> lk(Rt().lock);
    auto firstEnded = [&]() -> DWORD {
      for (DWORD i = 0; i < nCount; ++i) {
        if (targets[i]->ended) return i;
      }
      return nCount;
    };
    auto allEnded = [&] {
      return std::all_of(targets.begin(), targets.end(), [](const auto &t) { return t->ended; });
    };
    auto ready = [&] { return bWaitAll ? allEnded() : firstEnded() < nCount; };
    switch (WaitLocked(lk, me, DeadlineAfter(dwMilliseconds), ready, "threads to end")) {
      case WaitEnd::kReady:
        return bWaitAll ? WAIT_OBJECT_0 : WAIT_OBJECT_0 + firstEnded();
      case WaitEnd::kTimeout:
        return WAIT_TIMEOUT;
      case WaitEnd::kAborted:
        break;
    }
    SetError(ERROR_OPERATION_ABORTED);
    return WAIT_FAILED;
  });
}
