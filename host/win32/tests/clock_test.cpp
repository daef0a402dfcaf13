// The process clock: virtual time moves only to the earliest deadline of
// threads that all wait, and a wait that can never end fails clearly.
#include <vector>

#include "test_support.h"

namespace win32_test {
namespace {

using Win32Clock = VirtualClockTest;

TEST_F(Win32Clock, SleepAdvancesVirtualTimeExactly) {
  EXPECT_EQ(GetTickCount(), 1000u);
  Sleep(500);
  EXPECT_EQ(GetTickCount(), 1500u);
  Sleep(0);
  EXPECT_EQ(W32X_ClockNow(), 1500u);
}

TEST(Win32ClockWrap, TickCountWrapsAtThirtyTwoBits) {
  W32X_VIRTUAL_CLOCK clock{0xFFFFFF00ull, 0, 0};
  ASSERT_TRUE(W32X_UseVirtualClock(&clock));
  const DWORD start = GetTickCount();
  Sleep(0x200);
  EXPECT_EQ(GetTickCount(), 0x100u);
  EXPECT_EQ(GetTickCount() - start, 0x200u);  // unsigned differences survive the wrap
  EXPECT_EQ(W32X_ClockNow(), 0x100000100ull);
  W32X_UseRealClock();
}

// Each thread wakes at its own deadline, whatever the others do; the clock
// never passes a deadline without waking its sleeper.
TEST_F(Win32Clock, SleepersWakeAtTheirOwnDeadlines) {
  std::vector<uint64_t> workerWakes;
  HANDLE worker = StartThread([&] {
    for (int i = 0; i < 10; ++i) {
      Sleep(10);
      workerWakes.push_back(Elapsed());
    }
    return 0u;
  });
  Sleep(55);
  EXPECT_EQ(Elapsed(), 55u);
  ASSERT_EQ(WaitForSingleObject(worker, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(Elapsed(), 100u);
  ASSERT_EQ(workerWakes.size(), 10u);
  for (size_t i = 0; i < workerWakes.size(); ++i) EXPECT_EQ(workerWakes[i], 10 * (i + 1));
  CloseHandle(worker);
}

TEST_F(Win32Clock, WaitTimeOutAndWaitEndRunOnTheClock) {
  HANDLE shortWorker = StartThread([] {
    Sleep(300);
    return 0u;
  });
  EXPECT_EQ(WaitForSingleObject(shortWorker, 1000), WAIT_OBJECT_0);
  EXPECT_EQ(Elapsed(), 300u);

  HANDLE longWorker = StartThread([] {
    Sleep(5000);
    return 0u;
  });
  EXPECT_EQ(WaitForSingleObject(longWorker, 1000), WAIT_TIMEOUT);
  EXPECT_EQ(Elapsed(), 1300u);
  EXPECT_EQ(WaitForSingleObject(longWorker, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(Elapsed(), 5300u);
  CloseHandle(shortWorker);
  CloseHandle(longWorker);
}

class Win32ClockDeathTest : public ::testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

void SleepForever() {
  W32X_UseVirtualClock(nullptr);
  Sleep(INFINITE);
}

void WaitOnAThreadThatWaitsOnUs() {
  W32X_UseVirtualClock(nullptr);
  static CRITICAL_SECTION cs;
  EnterCriticalSection(&cs);
  HANDLE worker = StartThread([] {
    EnterCriticalSection(&cs);
    return 0u;
  });
  WaitForSingleObject(worker, INFINITE);
}

void KeepSleepingForNothing() {
  W32X_VIRTUAL_CLOCK clock{0, 10000, 0};
  W32X_UseVirtualClock(&clock);
  for (;;) Sleep(200);
}

void WaitOnAPipeNobodyWrites() {
  W32X_VIRTUAL_CLOCK clock{0, 0, 200};
  W32X_UseVirtualClock(&clock);
  int fds[2];
  if (pipe(fds) == 0) W32X_WaitFd(fds[0], POLLIN, INFINITE);
}

TEST_F(Win32ClockDeathTest, WaitWithNothingToWakeItFailsInsteadOfHanging) {
  EXPECT_DEATH(SleepForever(), "deadlock on the virtual clock");
}

TEST_F(Win32ClockDeathTest, ThreadsWaitingOnEachOtherAreADeadlock) {
  EXPECT_DEATH(WaitOnAThreadThatWaitsOnUs(),
               "deadlock on the virtual clock(.|\n)*a thread to end(.|\n)*a critical section");
}

TEST_F(Win32ClockDeathTest, LoopThatNeverGetsWhatItWaitsForHitsTheLimit) {
  EXPECT_DEATH(KeepSleepingForNothing(), "would pass its limit of 10000 ms");
}

// Real time passes here (the 200 ms stall limit): this is the guard itself.
TEST_F(Win32ClockDeathTest, WaitOnTheOutsideThatNeverEndsStalls) {
  EXPECT_DEATH(WaitOnAPipeNobodyWrites(), "stalled on the virtual clock(.|\n)*a descriptor");
}

}  // namespace
}  // namespace win32_test
