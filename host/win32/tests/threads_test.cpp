// Threads: start, ids, exit codes, waits, and TerminateThread cancelling a
// worker's pending I/O.
#include <sys/socket.h>

#include "test_support.h"

namespace win32_test {
namespace {

TEST(Win32Thread, BeginThreadExReportsIdAndExitCode) {
  std::atomic<DWORD> seenId{0};
  unsigned id = 0;
  HANDLE worker = StartThread(
      [&] {
        seenId = GetCurrentThreadId();
        return 7u;
      },
      &id);
  ASSERT_NE(worker, nullptr);
  ASSERT_EQ(WaitForSingleObject(worker, INFINITE), WAIT_OBJECT_0);
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeThread(worker, &code));
  EXPECT_EQ(code, 7u);
  EXPECT_EQ(seenId.load(), id);
  EXPECT_NE(id, GetCurrentThreadId());
  EXPECT_EQ(GetCurrentProcessId(), static_cast<DWORD>(getpid()));
  EXPECT_TRUE(CloseHandle(worker));
}

TEST(Win32Thread, ExitCodeIsStillActiveUntilTheThreadEnds) {
  PipePair pipes;
  HANDLE worker = StartThread([&] {
    char buf[16];
    DWORD got = 0;
    return ReadFile(pipes.a, buf, sizeof buf, &got, nullptr) ? got : 0u;
  });
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeThread(worker, &code));
  EXPECT_EQ(code, STILL_ACTIVE);
  EXPECT_EQ(WaitForSingleObject(worker, 0), WAIT_TIMEOUT);
  DWORD put = 0;
  ASSERT_TRUE(WriteFile(pipes.b, "hello", 5, &put, nullptr));
  ASSERT_EQ(WaitForSingleObject(worker, INFINITE), WAIT_OBJECT_0);
  ASSERT_TRUE(GetExitCodeThread(worker, &code));
  EXPECT_EQ(code, 5u);
  CloseHandle(worker);
  CloseHandle(pipes.a);
  CloseHandle(pipes.b);
}

TEST(Win32Thread, EndThreadExUnwindsAndSetsTheExitCode) {
  std::atomic<bool> unwound{false};
  HANDLE worker = StartThread([&] {
    struct Guard {
      std::atomic<bool> &flag;
      ~Guard() { flag = true; }
    } guard{unwound};
    _endthreadex(9);
    return 1u;
  });
  ASSERT_EQ(WaitForSingleObject(worker, INFINITE), WAIT_OBJECT_0);
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeThread(worker, &code));
  EXPECT_EQ(code, 9u);
  EXPECT_TRUE(unwound);
  CloseHandle(worker);
}

void __cdecl SleepAWhile(void *) { Sleep(100); }

using Win32BeginThread = VirtualClockTest;

// _beginthread's handle belongs to the thread: it is valid while the thread
// runs, a wait already in progress sees the end, and then it is gone. (On
// the virtual clock the thread cannot end before the wait has begun.)
TEST_F(Win32BeginThread, HandleClosesItselfAtTheEnd) {
  uintptr_t raw = _beginthread(SleepAWhile, 0, nullptr);
  ASSERT_NE(raw, static_cast<uintptr_t>(-1));
  HANDLE worker = reinterpret_cast<HANDLE>(raw);
  EXPECT_EQ(WaitForSingleObject(worker, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(Elapsed(), 100u);
  EXPECT_FALSE(CloseHandle(worker));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(Win32Thread, StartWithoutBodyFails) {
  EXPECT_EQ(_beginthreadex(nullptr, 0, nullptr, nullptr, 0, nullptr), 0u);
  EXPECT_EQ(_beginthread(nullptr, 0, nullptr), static_cast<uintptr_t>(-1));
  auto body = [](void *) -> unsigned { return 0; };
  EXPECT_EQ(_beginthreadex(nullptr, 0, body, nullptr, CREATE_SUSPENDED, nullptr), 0u);
}

using Win32ThreadWait = VirtualClockTest;

TEST_F(Win32ThreadWait, WaitForAnyAndForAllThreads) {
  HANDLE workers[2] = {StartThread([] {
                         Sleep(300);
                         return 0u;
                       }),
                       StartThread([] {
                         Sleep(100);
                         return 0u;
                       })};
  EXPECT_EQ(WaitForMultipleObjects(2, workers, FALSE, 50), WAIT_TIMEOUT);
  EXPECT_EQ(WaitForMultipleObjects(2, workers, FALSE, INFINITE), WAIT_OBJECT_0 + 1);
  EXPECT_EQ(Elapsed(), 100u);
  EXPECT_EQ(WaitForMultipleObjects(2, workers, TRUE, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(Elapsed(), 300u);
  HANDLE notAThread = CreateMutexA(nullptr, FALSE, nullptr);
  HANDLE mixed[2] = {workers[0], notAThread};
  EXPECT_EQ(WaitForMultipleObjects(2, mixed, FALSE, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  CloseHandle(notAThread);
  CloseHandle(workers[0]);
  CloseHandle(workers[1]);
}

using Win32Terminate = VirtualClockTest;

// The transport's pattern: a worker stuck in a pipe read, a 60 s wait that
// times out, then TerminateThread. The read fails as aborted, the worker's
// later blocking calls return at once, and the pipe still works afterwards.
TEST_F(Win32Terminate, WorkerStuckInPipeReadIsCancelled) {
  PipePair pipes;
  std::atomic<BOOL> readResult{TRUE};
  std::atomic<DWORD> readError{0};
  HANDLE worker = StartThread([&] {
    char buf[300];
    DWORD got = 0;
    readResult = ReadFile(pipes.a, buf, sizeof buf, &got, nullptr);
    readError = GetLastError();
    Sleep(10000);
    return 0u;
  });
  EXPECT_EQ(WaitForSingleObject(worker, 60000), WAIT_TIMEOUT);
  EXPECT_EQ(Elapsed(), 60000u);
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeThread(worker, &code));
  EXPECT_EQ(code, STILL_ACTIVE);

  ASSERT_TRUE(TerminateThread(worker, 0xDEAD));
  EXPECT_EQ(WaitForSingleObject(worker, 0), WAIT_OBJECT_0);
  EXPECT_FALSE(readResult);
  EXPECT_EQ(readError.load(), ERROR_OPERATION_ABORTED);
  EXPECT_EQ(Elapsed(), 60000u);
  ASSERT_TRUE(GetExitCodeThread(worker, &code));
  EXPECT_EQ(code, 0xDEADu);
  EXPECT_TRUE(TerminateThread(worker, 1));  // already ended: nothing changes
  ASSERT_TRUE(GetExitCodeThread(worker, &code));
  EXPECT_EQ(code, 0xDEADu);

  DWORD put = 0;
  DWORD got = 0;
  char buf[8] = {};
  ASSERT_TRUE(WriteFile(pipes.b, "ok", 2, &put, nullptr));
  ASSERT_TRUE(ReadFile(pipes.a, buf, sizeof buf, &got, nullptr));
  EXPECT_EQ(std::string(buf, got), "ok");
  CloseHandle(worker);
  CloseHandle(pipes.a);
  CloseHandle(pipes.b);
}

// While a terminated worker has not yet left its wait, the clock must not
// jump to another thread's deadline.
TEST_F(Win32Terminate, TerminationMovesNoTimeWhileOthersSleep) {
  PipePair pipes;
  HANDLE sleeper = StartThread([] {
    Sleep(200);
    Sleep(200);
    return 0u;
  });
  HANDLE worker = StartThread([&] {
    char buf[16];
    DWORD got = 0;
    ReadFile(pipes.a, buf, sizeof buf, &got, nullptr);
    return 0u;
  });
  EXPECT_EQ(WaitForSingleObject(worker, 100), WAIT_TIMEOUT);
  ASSERT_TRUE(TerminateThread(worker, 1));
  EXPECT_EQ(Elapsed(), 100u);
  EXPECT_EQ(WaitForSingleObject(sleeper, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(Elapsed(), 400u);
  CloseHandle(sleeper);
  CloseHandle(worker);
  CloseHandle(pipes.a);
  CloseHandle(pipes.b);
}

// A kind that blocks in a plain recv() and is woken by its CancelIo.
struct RawPipe {
  int fd;
  int enteredFd;  // told when a read is about to block
  std::atomic<bool> cancelled{false};
};

BOOL RawPipeRead(void *object, void *buffer, DWORD bytes, DWORD *done) {
  auto *pipe = static_cast<RawPipe *>(object);
  char entered = 'r';
  if (write(pipe->enteredFd, &entered, 1) != 1) return FALSE;
  ssize_t n = recv(pipe->fd, buffer, bytes, 0);
  if (n <= 0 || pipe->cancelled) {
    SetLastError(pipe->cancelled ? ERROR_OPERATION_ABORTED : ERROR_BROKEN_PIPE);
    return FALSE;
  }
  *done = static_cast<DWORD>(n);
  return TRUE;
}

void RawPipeCancel(void *object) {
  auto *pipe = static_cast<RawPipe *>(object);
  pipe->cancelled = true;
  shutdown(pipe->fd, SHUT_RDWR);
}

void RawPipeClose(void *object) { close(static_cast<RawPipe *>(object)->fd); }

const W32X_HANDLE_KIND kRawPipeKind = {"raw pipe", RawPipeRead, nullptr, RawPipeCancel, nullptr, RawPipeClose};

TEST(Win32TerminateRaw, KindBlockingElsewhereIsWokenByItsCancelIo) {
  int fds[2];
  int entered[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET, 0, fds), 0);
  ASSERT_EQ(pipe(entered), 0);
  RawPipe raw{fds[0], entered[1]};
  HANDLE handle = W32X_CreateHandle(&kRawPipeKind, &raw);
  std::atomic<DWORD> readError{0};
  HANDLE worker = StartThread([&] {
    char buf[16];
    DWORD got = 0;
    if (!ReadFile(handle, buf, sizeof buf, &got, nullptr)) readError = GetLastError();
    return 0u;
  });
  char c;
  ASSERT_EQ(read(entered[0], &c, 1), 1);  // the worker is in its read
  ASSERT_TRUE(TerminateThread(worker, 3));
  EXPECT_EQ(readError.load(), ERROR_OPERATION_ABORTED);
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeThread(worker, &code));
  EXPECT_EQ(code, 3u);
  CloseHandle(worker);
  CloseHandle(handle);
  close(fds[1]);
  close(entered[0]);
  close(entered[1]);
}

using Win32CloseDuringRead = VirtualClockTest;

// The kind's Close runs once the read has left the object (under the
// sanitizer build a close during the read would be a use after free).
TEST_F(Win32CloseDuringRead, CloseHandleCancelsThePendingReadAndClosesAfterIt) {
  PipePair pipes;
  std::atomic<DWORD> readError{0};
  HANDLE worker = StartThread([&] {
    char buf[16];
    DWORD got = 0;
    if (!ReadFile(pipes.a, buf, sizeof buf, &got, nullptr)) readError = GetLastError();
    return 0u;
  });
  Sleep(1);  // returns only once the worker is blocked in its read
  EXPECT_TRUE(CloseHandle(pipes.a));
  ASSERT_EQ(WaitForSingleObject(worker, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(readError.load(), ERROR_OPERATION_ABORTED);
  EXPECT_EQ(pipes.closes.load(), 1);
  char buf[4];
  DWORD got;
  EXPECT_FALSE(ReadFile(pipes.a, buf, sizeof buf, &got, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  CloseHandle(worker);
  CloseHandle(pipes.b);
  EXPECT_EQ(pipes.closes.load(), 2);
}

TEST(Win32TerminateEdges, RefusesWhatItCannotTerminate) {
  EXPECT_FALSE(TerminateThread(nullptr, 0));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  HANDLE mutex = CreateMutexA(nullptr, FALSE, nullptr);
  EXPECT_FALSE(TerminateThread(mutex, 0));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  CloseHandle(mutex);

  // A thread ends itself with _endthreadex, not TerminateThread.
  PipePair pipes;
  std::atomic<HANDLE> own{nullptr};
  std::atomic<BOOL> selfResult{TRUE};
  std::atomic<DWORD> selfError{0};
  HANDLE worker = StartThread([&] {
    char c;
    DWORD got;
    ReadFile(pipes.a, &c, 1, &got, nullptr);  // until its handle is known
    selfResult = TerminateThread(own.load(), 0);
    selfError = GetLastError();
    return 4u;
  });
  own = worker;
  DWORD put;
  ASSERT_TRUE(WriteFile(pipes.b, "x", 1, &put, nullptr));
  ASSERT_EQ(WaitForSingleObject(worker, INFINITE), WAIT_OBJECT_0);
  EXPECT_FALSE(selfResult);
  EXPECT_EQ(selfError.load(), ERROR_NOT_SUPPORTED);
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeThread(worker, &code));
  EXPECT_EQ(code, 4u);
  CloseHandle(worker);
  CloseHandle(pipes.a);
  CloseHandle(pipes.b);
}

}  // namespace
}  // namespace win32_test
