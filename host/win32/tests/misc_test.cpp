// Critical sections, global memory, local time and the console.
#include <conio.h>
#include <fcntl.h>

#include <cstring>
#include <ctime>

#include "test_support.h"

namespace win32_test {
namespace {

using Win32CriticalSection = VirtualClockTest;

TEST_F(Win32CriticalSection, RecursiveForTheOwnerExclusiveForOthers) {
  CRITICAL_SECTION cs;
  InitializeCriticalSection(&cs);
  EnterCriticalSection(&cs);
  EnterCriticalSection(&cs);
  std::atomic<uint64_t> enteredAt{0};
  HANDLE worker = StartThread([&] {
    LeaveCriticalSection(&cs);  // not its own: ignored
    EnterCriticalSection(&cs);
    enteredAt = Elapsed();
    LeaveCriticalSection(&cs);
    return 0u;
  });
  Sleep(100);
  LeaveCriticalSection(&cs);
  Sleep(100);  // still held once
  LeaveCriticalSection(&cs);
  ASSERT_EQ(WaitForSingleObject(worker, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(enteredAt.load(), 200u);
  DeleteCriticalSection(&cs);
  CloseHandle(worker);
}

TEST(Win32CriticalSectionPlain, ZeroedSectionNeedsNoInitialisation) {
  static CRITICAL_SECTION cs;  // zero-initialised, as after DeleteCriticalSection
  EnterCriticalSection(&cs);
  EXPECT_EQ(cs.OwningThread, GetCurrentThreadId());
  LeaveCriticalSection(&cs);
  EXPECT_EQ(cs.OwningThread, 0u);
}

TEST(Win32Memory, MovableAndFixedBlocks) {
  HGLOBAL movable = GlobalAlloc(GHND, 64);
  ASSERT_NE(movable, nullptr);
  auto *bytes = static_cast<unsigned char *>(GlobalLock(movable));
  ASSERT_NE(bytes, nullptr);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(bytes[i], 0) << i;
  EXPECT_EQ(GlobalLock(movable), bytes);
  EXPECT_TRUE(GlobalUnlock(movable));   // still locked once
  EXPECT_FALSE(GlobalUnlock(movable));  // unlocked now
  EXPECT_EQ(GetLastError(), NO_ERROR);
  EXPECT_FALSE(GlobalUnlock(movable));
  EXPECT_EQ(GetLastError(), ERROR_NOT_LOCKED);
  EXPECT_EQ(GlobalFree(movable), nullptr);
  EXPECT_EQ(GlobalFree(movable), movable);  // a second free is refused, not a corruption
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(GlobalLock(movable), nullptr);

  HGLOBAL fixed = GlobalAlloc(GPTR, 16);
  ASSERT_NE(fixed, nullptr);
  EXPECT_EQ(GlobalLock(fixed), fixed);  // a fixed block is its own address
  std::memset(fixed, 0xAB, 16);
  EXPECT_EQ(GlobalFree(fixed), nullptr);

  HGLOBAL discarded = GlobalAlloc(GMEM_MOVEABLE, 0);
  ASSERT_NE(discarded, nullptr);
  EXPECT_EQ(GlobalLock(discarded), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_DISCARDED);
  EXPECT_EQ(GlobalFree(discarded), nullptr);
}

TEST(Win32Time, LocalTimeFieldsAreTheCalendarOnes) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    timespec before{};
    timespec after{};
    clock_gettime(CLOCK_REALTIME, &before);
    SYSTEMTIME st{};
    GetLocalTime(&st);
    clock_gettime(CLOCK_REALTIME, &after);
    if (before.tv_sec != after.tv_sec) continue;  // a second boundary passed in between
    tm local{};
    localtime_r(&before.tv_sec, &local);
    EXPECT_EQ(st.wYear, local.tm_year + 1900);
    EXPECT_EQ(st.wMonth, local.tm_mon + 1);
    EXPECT_EQ(st.wDay, local.tm_mday);
    EXPECT_EQ(st.wDayOfWeek, local.tm_wday);
    EXPECT_EQ(st.wHour, local.tm_hour);
    EXPECT_EQ(st.wMinute, local.tm_min);
    EXPECT_EQ(st.wSecond, local.tm_sec);
    EXPECT_LT(st.wMilliseconds, 1000);
    return;
  }
  FAIL() << "no stable second to compare";
}

// Standard input replaced by a pipe for the length of a test.
class StdinFrom {
 public:
  explicit StdinFrom(const std::string &text) {
    int fds[2];
    if (pipe(fds) != 0) return;
    ssize_t ignored = write(fds[1], text.data(), text.size());
    (void)ignored;
    close(fds[1]);
    saved_ = dup(STDIN_FILENO);
    dup2(fds[0], STDIN_FILENO);
    close(fds[0]);
  }
  ~StdinFrom() {
    dup2(saved_, STDIN_FILENO);
    close(saved_);
  }

 private:
  int saved_ = -1;
};

TEST(Win32Console, GetchReadsBytesAndReturnsAtEndOfInput) {
  StdinFrom input("a\n");
  EXPECT_EQ(_getch(), 'a');
  EXPECT_EQ(_getch(), '\n');
  EXPECT_EQ(_getch(), EOF);
  EXPECT_EQ(_getch(), EOF);
}

TEST(Win32Console, ClearWritesNothingWhenOutputIsNotATerminal) {
  testing::internal::CaptureStdout();
  std::printf("before ");
  W32X_ClearConsole();
  std::printf("after");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "before after");
}

}  // namespace
}  // namespace win32_test
