// Process-wide state, thread records, the last-error value and fork safety.
#include "runtime.h"

#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace w32 {
namespace {

thread_local DWORD t_lastError = ERROR_SUCCESS;

DWORD KernelThreadId() { return static_cast<DWORD>(syscall(SYS_gettid)); }

// Owns the calling thread's record; its end is the thread's end as far as
// the clock, the windows and the record list are concerned.
struct ThreadHolder {
  std::shared_ptr<ThreadRecord> record;
  ~ThreadHolder();
};
thread_local ThreadHolder t_holder;

void ForkPrepare() { Rt().lock.lock(); }
void ForkParent() { Rt().lock.unlock(); }

// In the child only the forking thread exists: the others' records are
// dropped from the clock's view, and the condition variable, whose internal
// state may count waiters that no longer exist, is made anew.
void ForkChild() {
  Runtime &rt = Rt();
  new (&rt.cv) std::condition_variable();
  ThreadRecord *self = t_holder.record.get();
  rt.records.clear();
  rt.participants = 0;
  rt.idleCount = 0;
  rt.stuck = false;
  if (self != nullptr) {
    self->tid = KernelThreadId();
    self->ownedMutexes.clear();  // owned by the parent's thread, not by this one
    self->idle = false;
    rt.records.push_back(self);
    if (self->participant) rt.participants = 1;
  }
  ForgetMutexMappingsAfterFork();
  rt.lock.unlock();
}

Runtime *MakeRuntime() {
  auto *rt = new Runtime();  // never destroyed: threads may outlive static destruction
  pthread_atfork(ForkPrepare, ForkParent, ForkChild);
  return rt;
}

}  // namespace

Runtime &Rt() {
  static Runtime *rt = MakeRuntime();
  return *rt;
}

ThreadRecord &Self() {
  if (!t_holder.record) {
    auto record = std::make_shared<ThreadRecord>();
    record->tid = KernelThreadId();
    record->started = true;
    Runtime &rt = Rt();
    std::lock_guard<std::mutex> lk(rt.lock);
    record->key = rt.nextKey++;
    rt.records.push_back(record.get());
    t_holder.record = std::move(record);
  }
  return *t_holder.record;
}

void BindStartedThread(const std::shared_ptr<ThreadRecord> &record) {
  t_holder.record = record;
  Runtime &rt = Rt();
  std::lock_guard<std::mutex> lk(rt.lock);
  record->tid = KernelThreadId();
  record->started = true;
  rt.cv.notify_all();
}

ThreadHolder::~ThreadHolder() {
  if (!record) return;
  AbandonOwnedMutexes(*record);
  Runtime &rt = Rt();
  {
    std::lock_guard<std::mutex> lk(rt.lock);
    DestroyThreadWindowsLocked(*record);
    LeaveParticipation(*record);
    rt.records.erase(std::remove(rt.records.begin(), rt.records.end(), record.get()), rt.records.end());
    if (record->wakeFd >= 0) {
      close(record->wakeFd);
      record->wakeFd = -1;
    }
  }
  record.reset();
}

void SetError(DWORD code) noexcept { t_lastError = code; }

void Fatal(const char *format, ...) {
  std::fflush(stdout);
  std::fputs("bomwin32: ", stderr);
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
  std::fputc('\n', stderr);
  std::fflush(stderr);
  std::abort();
}

}  // namespace w32

using namespace w32;

DWORD WINAPI GetLastError(void) noexcept { return t_lastError; }

void WINAPI SetLastError(DWORD dwErrCode) noexcept { t_lastError = dwErrCode; }

DWORD WINAPI GetCurrentThreadId(void) noexcept {
  return Guard<DWORD>(KernelThreadId(), [] { return Self().tid; });
}

DWORD WINAPI GetCurrentProcessId(void) noexcept { return static_cast<DWORD>(getpid()); }
