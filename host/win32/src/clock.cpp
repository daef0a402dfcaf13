// The process clock, real or virtual, and the waits that run on it.
//
// On the virtual clock time moves only when every counted thread is blocked
// in one of our waits. The last thread to block (or the last to leave)
// runs Reevaluate: when some waiter is about to run nothing happens; else
// time jumps to the earliest deadline among the waiters, who are woken;
// with no deadline at all it is a deadlock (every waiter depends on another
// thread of this process) or a stall (some wait on the outside world, and
// the real-time stall limit decides).
#include "runtime.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <string>

namespace w32 {
namespace {

constexpr uint64_t kDefaultVirtualLimitMs = 60ull * 60 * 1000;
constexpr uint32_t kDefaultStallLimitMs = 10000;
// How often a virtual-clock waiter looks at the stall guard.
constexpr std::chrono::milliseconds kStallCheckPeriod{100};

std::string DescribeWaits() {
  Runtime &rt = Rt();
  std::string text;
  for (const ThreadRecord *r : rt.records) {
    if (!r->participant) continue;
    text += "\n  thread " + std::to_string(r->tid) + ": ";
    if (!r->idle) {
      text += "running";
      continue;
    }
    text += "waits for ";
    text += r->waitWhat;
    if (r->deadline == kNoDeadline) {
      text += " without time-out";
    } else {
      text += " until " + std::to_string(r->deadline) + " ms";
    }
  }
  return text;
}

}  // namespace

uint64_t RealNowMs() {
  using namespace std::chrono;
  return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

uint64_t Now() {
  Runtime &rt = Rt();
  if (rt.virtualClock.load(std::memory_order_acquire)) return rt.virtualNow.load(std::memory_order_acquire);
  return RealNowMs();
}

uint64_t DeadlineAfter(DWORD milliseconds) {
  if (milliseconds == INFINITE) return kNoDeadline;
  return Now() + milliseconds;
}

std::chrono::steady_clock::time_point RealTimePoint(uint64_t deadline) {
  return std::chrono::steady_clock::time_point(std::chrono::milliseconds(deadline));
}

void Wake(ThreadRecord &record) {
  Rt().cv.notify_all();
  if (record.inFdWait && record.wakeFd >= 0) {
    uint64_t one = 1;
    ssize_t ignored = write(record.wakeFd, &one, sizeof one);
    (void)ignored;
  }
}

void WakeAll() {
  Runtime &rt = Rt();
  rt.cv.notify_all();
  for (ThreadRecord *r : rt.records) {
    if (r->inFdWait && r->wakeFd >= 0) {
      uint64_t one = 1;
      ssize_t ignored = write(r->wakeFd, &one, sizeof one);
      (void)ignored;
    }
  }
}

void Reevaluate() {
  Runtime &rt = Rt();
  if (!rt.virtualClock.load(std::memory_order_relaxed)) return;
  if (rt.participants == 0 || rt.idleCount < rt.participants) {
    rt.stuck = false;
    return;
  }
  uint64_t earliest = kNoDeadline;
  bool outside = false;
  for (ThreadRecord *r : rt.records) {
    if (!r->idle) continue;
    Readiness state = r->probe ? r->probe() : Readiness::kNotReady;
    if (state == Readiness::kReady) {
      rt.stuck = false;
      return;
    }
    if (state == Readiness::kOutside) outside = true;
    earliest = std::min(earliest, r->deadline);
  }
  if (earliest != kNoDeadline) {
    if (earliest > rt.virtualEnd) {
      Fatal("the virtual clock would pass its limit of %llu ms: a loop keeps waiting for something that "
            "never comes%s",
            static_cast<unsigned long long>(rt.virtualEnd), DescribeWaits().c_str());
    }
    if (earliest > rt.virtualNow.load(std::memory_order_relaxed)) {
      rt.virtualNow.store(earliest, std::memory_order_release);
    }
    rt.stuck = false;
    WakeAll();
    return;
  }
  if (outside) {
    if (!rt.stuck) {
      rt.stuck = true;
      rt.stuckSince = std::chrono::steady_clock::now();
    }
    return;
  }
  Fatal("deadlock on the virtual clock: every thread waits without time-out and nothing can wake any of "
        "them%s",
        DescribeWaits().c_str());
}

void CheckStall() {
  Runtime &rt = Rt();
  if (!rt.stuck) return;
  auto waited = std::chrono::steady_clock::now() - rt.stuckSince;
  if (waited > std::chrono::milliseconds(rt.stallLimitMs)) {
    Fatal("stalled on the virtual clock: for %u ms of real time every thread has waited on something "
          "outside the process and nothing happened%s",
          rt.stallLimitMs, DescribeWaits().c_str());
  }
}

void LeaveParticipation(ThreadRecord &record) {
  Runtime &rt = Rt();
  if (!record.participant) return;
  record.participant = false;
  record.clockOwner = false;
  record.temporary = false;
  --rt.participants;
  Reevaluate();
}

IdleScope::IdleScope(ThreadRecord &me, uint64_t deadline, std::function<Readiness()> probe, const char *what)
    : me_(me) {
  Runtime &rt = Rt();
  if (!me.participant) {
    me.participant = true;
    me.temporary = true;
    ++rt.participants;
  }
  me.idle = true;
  ++rt.idleCount;
  me.deadline = deadline;
  me.probe = std::move(probe);
  me.waitWhat = what;
  Reevaluate();
}

IdleScope::~IdleScope() {
  Runtime &rt = Rt();
  me_.idle = false;
  --rt.idleCount;
  me_.deadline = kNoDeadline;
  me_.probe = nullptr;
  rt.stuck = false;
  if (me_.temporary) {
    // A thread we do not count holds no time back once it runs again.
    me_.temporary = false;
    me_.participant = false;
    --rt.participants;
    Reevaluate();
  }
}

WaitEnd WaitLocked(std::unique_lock<std::mutex> &lk, ThreadRecord &me, uint64_t deadline,
                   const std::function<bool()> &ready, const char *what, bool abortable) {
  Runtime &rt = Rt();
  auto passed = [&] { return deadline != kNoDeadline && Now() >= deadline; };
  if (ready()) return WaitEnd::kReady;
  if (abortable && me.terminated) return WaitEnd::kAborted;
  if (passed()) return WaitEnd::kTimeout;
  // A thread that TerminateThread aborts is about to run: time must not
  // move past it while it has not yet left its wait.
  IdleScope idle(
      me, deadline,
      [&] { return ready() || (abortable && me.terminated) ? Readiness::kReady : Readiness::kNotReady; }, what);
  for (;;) {
    if (ready()) return WaitEnd::kReady;
    if (abortable && me.terminated) return WaitEnd::kAborted;
    if (passed()) return WaitEnd::kTimeout;
    if (rt.virtualClock.load(std::memory_order_relaxed)) {
      CheckStall();
      rt.cv.wait_for(lk, kStallCheckPeriod);
    } else if (deadline == kNoDeadline) {
      rt.cv.wait(lk);
    } else {
      rt.cv.wait_until(lk, RealTimePoint(deadline));
    }
  }
}

}  // namespace w32

using namespace w32;

DWORD WINAPI GetTickCount(void) noexcept { return static_cast<DWORD>(Now()); }

void WINAPI Sleep(DWORD dwMilliseconds) noexcept {
  Guard<int>(0, [&] {
    if (dwMilliseconds == 0) {
      sched_yield();
      return 0;
    }
    ThreadRecord &me = Self();
    std::unique_lock<std::mutex> lk(Rt().lock);
    WaitLocked(lk, me, DeadlineAfter(dwMilliseconds), [] { return false; }, "Sleep");
    return 0;
  });
}

void WINAPI GetLocalTime(LPSYSTEMTIME lpSystemTime) noexcept {
  if (lpSystemTime == nullptr) return;
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  localtime_r(&now.tv_sec, &local);
  lpSystemTime->wYear = static_cast<WORD>(local.tm_year + 1900);
  lpSystemTime->wMonth = static_cast<WORD>(local.tm_mon + 1);
  lpSystemTime->wDayOfWeek = static_cast<WORD>(local.tm_wday);
  lpSystemTime->wDay = static_cast<WORD>(local.tm_mday);
  lpSystemTime->wHour = static_cast<WORD>(local.tm_hour);
  lpSystemTime->wMinute = static_cast<WORD>(local.tm_min);
  lpSystemTime->wSecond = static_cast<WORD>(local.tm_sec);
  lpSystemTime->wMilliseconds = static_cast<WORD>(now.tv_nsec / 1000000);
}

BOOL W32X_UseVirtualClock(const W32X_VIRTUAL_CLOCK *settings) noexcept {
  return Guard<BOOL>(FALSE, [&] {
    ThreadRecord &me = Self();
    Runtime &rt = Rt();
    std::lock_guard<std::mutex> lk(rt.lock);
    if (rt.idleCount > 0) {
      SetError(ERROR_BUSY);
      return FALSE;
    }
    uint64_t start = settings != nullptr ? settings->startMs : 0;
    uint64_t limit = settings != nullptr && settings->limitMs != 0 ? settings->limitMs : kDefaultVirtualLimitMs;
    uint32_t stall = settings != nullptr && settings->stallLimitMs != 0 ? settings->stallLimitMs : kDefaultStallLimitMs;
    rt.virtualNow.store(start, std::memory_order_release);
    rt.virtualEnd = limit > UINT64_MAX - start ? UINT64_MAX - 1 : start + limit;
    rt.stallLimitMs = stall;
    rt.stuck = false;
    rt.virtualClock.store(true, std::memory_order_release);
    if (!me.participant) {
      me.participant = true;
      ++rt.participants;
    }
    me.clockOwner = true;
    return TRUE;
  });
}

BOOL W32X_UseRealClock(void) noexcept {
  return Guard<BOOL>(FALSE, [&] {
    ThreadRecord &me = Self();
    Runtime &rt = Rt();
    std::lock_guard<std::mutex> lk(rt.lock);
    if (rt.idleCount > 0) {
      SetError(ERROR_BUSY);
      return FALSE;
    }
    rt.virtualClock.store(false, std::memory_order_release);
    rt.stuck = false;
    if (me.clockOwner && !me.apiThread) LeaveParticipation(me);
    me.clockOwner = false;
    return TRUE;
  });
}

uint64_t W32X_ClockNow(void) noexcept { return Now(); }

DWORD W32X_WaitFd(int fd, short events, DWORD milliseconds) noexcept {
  return Guard<DWORD>(WAIT_FAILED, [&]() -> DWORD {
    if (fd < 0) {
      SetError(ERROR_INVALID_HANDLE);
      return WAIT_FAILED;
    }
    ThreadRecord &me = Self();
    Runtime &rt = Rt();
    std::unique_lock<std::mutex> lk(rt.lock);
    auto cancelled = [&] { return me.terminated || me.ioCancelled; };
    auto readyNow = [&] {
      pollfd p{fd, events, 0};
      return poll(&p, 1, 0) > 0;
    };
    if (cancelled()) {
      SetError(ERROR_OPERATION_ABORTED);
      return WAIT_FAILED;
    }
    if (readyNow()) return WAIT_OBJECT_0;
    uint64_t deadline = DeadlineAfter(milliseconds);
    if (milliseconds == 0) return WAIT_TIMEOUT;
    if (me.wakeFd < 0) {
      me.wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
      if (me.wakeFd < 0) {
        SetError(ERROR_TOO_MANY_OPEN_FILES);
        return WAIT_FAILED;
      }
    }
    me.inFdWait = true;
    DWORD result = WAIT_FAILED;
    {
      IdleScope idle(me, deadline,
                     [&] { return cancelled() || readyNow() ? Readiness::kReady : Readiness::kOutside; },
                     "a descriptor");
      for (;;) {
        if (cancelled()) {
          SetError(ERROR_OPERATION_ABORTED);
          result = WAIT_FAILED;
          break;
        }
        if (deadline != kNoDeadline && Now() >= deadline) {
          result = WAIT_TIMEOUT;
          break;
        }
        int timeoutMs;
        if (rt.virtualClock.load(std::memory_order_relaxed)) {
          CheckStall();
          timeoutMs = static_cast<int>(kStallCheckPeriod.count());
        } else if (deadline == kNoDeadline) {
          timeoutMs = -1;
        } else {
          timeoutMs = static_cast<int>(std::min<uint64_t>(deadline - Now(), INT_MAX));
        }
        lk.unlock();
        pollfd p[2] = {{fd, events, 0}, {me.wakeFd, POLLIN, 0}};
        int n = poll(p, 2, timeoutMs);
        if (n > 0 && (p[1].revents & POLLIN)) {
          uint64_t count;
          ssize_t ignored = read(me.wakeFd, &count, sizeof count);
          (void)ignored;
        }
        lk.lock();
        if (n > 0 && p[0].revents != 0 && !cancelled()) {
          result = WAIT_OBJECT_0;
          break;
        }
        if (n < 0 && errno != EINTR) {
          SetError(ERROR_INVALID_HANDLE);
          result = WAIT_FAILED;
          break;
        }
      }
    }
    me.inFdWait = false;
    return result;
  });
}
