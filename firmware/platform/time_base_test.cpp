// The millisecond time base and the soft timers. The 16-bit arithmetic is
// checked as plain functions; waits and timers run on the virtual board.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>

#include "firmware/hal/hw.h"
#include "firmware/hal/kernel.h"
#include "firmware/platform/soft_timer.h"
#include "firmware/platform/time_base.h"
#include "sim/board.h"
#include "tests/support/machine_test.h"

namespace {

using testsupport::Ms;

// ---- 16-bit arithmetic -------------------------------------------------------------

struct ElapsedCase {
  uint32_t start;
  uint32_t now;
  uint16_t ms16;
  uint16_t sec;
};

TEST(MsTimer, ElapsedTimesAreUnsignedDifferencesCutTo16Bits) {
  static const ElapsedCase kCases[] = {
      {1000, 1250, 250, 0},
      {0xFFF0, 0x10010, 0x20, 0},            // across the 16-bit wrap
      {0xFFFFFFF0u, 0x10, 0x20, 0},          // across the 32-bit wrap
      {0, 0x12345, 0x2345, 74},              // more than 65535 ms: cut
      {5, 5, 0, 0},
      {0, 65536u * 1000u + 1500u, 1500, 1},  // seconds cut to 16 bits as well
  };
  for (const ElapsedCase& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.start << " -> " << c.now);
    EXPECT_EQ(g_MsTimer.ElapsedMs16(c.start, c.now), c.ms16);
    EXPECT_EQ(g_MsTimer.ElapsedSec(c.start, c.now), c.sec);
  }
}

TEST(MsTimer, TicksAreMillisecondsIn16BitsAndMicrosecondsGiveNone) {
  EXPECT_EQ(g_MsTimer.MsToTicks(500), 500);
  EXPECT_EQ(g_MsTimer.MsToTicks(70000), 4464);
  for (uint32_t us : {0u, 1u, 500u, 2000u, 1000000u}) EXPECT_EQ(g_MsTimer.UsToTicks(us), 0) << us;
}

// ---- On the board ----------------------------------------------------------------------

class TimeBase : public testsupport::MachineTest {
 protected:
  void RunApp(std::function<void()> body, sim::Nanos limit) {
    sim::MachineOptions options;
    options.appEntry = [body = std::move(body)] {
      body();
      syslog(LOG_EMERG, "[test] done");
      for (;;) CpuRelax();
    };
    sim::Machine& m = Boot(std::move(options));
    ASSERT_EQ(m.RunUntil([&] { return m.Logged("[test] done"); }, limit), sim::RunResult::ConditionMet);
  }
};

uint32_t KernelTime() {
  SYSTIM now = 0;
  get_tim(&now);
  return now;
}

// On the virtual board back-to-back readings of a clock are a spin: each
// returns the time and then lets time jump to the next event (a tick). The
// tests below therefore allow one millisecond of slack where readings
// follow each other, and use that jump to count WaitMs(0)'s readings.

TEST_F(TimeBase, NowMsIsTheKernelsTimeAndWaitMsWaits16BitsOfMilliseconds) {
  RunApp(
      [] {
        CpuRelax();
        EXPECT_EQ(g_MsTimer.NowMs(), KernelTime());
        CpuRelax();
        EXPECT_EQ(GetSystemTimeMs(), KernelTime());
        // WaitMs(0) takes a single reading: a second one would come after the
        // jump and return a later millisecond.
        CpuRelax();
        const uint32_t now = g_MsTimer.NowMs();
        EXPECT_EQ(g_MsTimer.WaitMs(0), now);
        for (uint32_t ms : {1u, 5u, 70000u}) {
          SCOPED_TRACE(ms);
          CpuRelax();
          const uint32_t before = g_MsTimer.NowMs();
          const uint32_t last = g_MsTimer.WaitMs(ms);
          EXPECT_GE(last - before, ms & 0xFFFF);
          EXPECT_LE(last - before, (ms & 0xFFFF) + 1);
        }
      },
      Ms(10000));
}

TEST_F(TimeBase, SoftTimersRunForTheirDurationAndBadOrUnstartedIdsReadAsExpired) {
  RunApp(
      [] {
        // Bad ids store nothing and read as expired.
        for (uint32_t id : {0u, 7u, 0xFFFFFFFFu}) {
          SCOPED_TRACE(id);
          EXPECT_EQ(StartSoftTimer(id, 100), -1);
          EXPECT_EQ(IsSoftTimerRunning(id), 0);
          EXPECT_EQ(GetSoftTimerRemaining(id), 0u);
        }
        // Never started: zeros, expired.
        for (uint32_t id : {SOFT_TIMER_3, SOFT_TIMER_5}) {
          EXPECT_EQ(IsSoftTimerRunning(id), 0) << id;
          EXPECT_EQ(GetSoftTimerRemaining(id), 0u) << id;
        }
        // A zero duration has expired at once.
        EXPECT_EQ(StartSoftTimer(SOFT_TIMER_WAIT, 0), 0);
        EXPECT_EQ(IsSoftTimerRunning(SOFT_TIMER_WAIT), 0);

        // Runs for its duration, then expires.
        EXPECT_EQ(StartSoftTimer(SOFT_TIMER_USB_REPLY, 50), 0);
        EXPECT_EQ(IsSoftTimerRunning(SOFT_TIMER_USB_REPLY), -1);
        EXPECT_NEAR(GetSoftTimerRemaining(SOFT_TIMER_USB_REPLY), 49.5, 0.5);
        g_MsTimer.WaitMs(30);
        EXPECT_EQ(IsSoftTimerRunning(SOFT_TIMER_USB_REPLY), -1);
        EXPECT_NEAR(GetSoftTimerRemaining(SOFT_TIMER_USB_REPLY), 18.5, 1.5);
        g_MsTimer.WaitMs(25);
        EXPECT_EQ(IsSoftTimerRunning(SOFT_TIMER_USB_REPLY), 0);
        EXPECT_EQ(GetSoftTimerRemaining(SOFT_TIMER_USB_REPLY), 0u);

        // Started 16 ms before the millisecond clock wrapped, for 50 ms after
        // now: it runs across the wrap and expires on time.
        const uint32_t now = g_MsTimer.NowMs();
        g_SoftTimers[SOFT_TIMER_LONG - 1] = SoftTimer{0xFFFFFFF0u, now + 16 + 50};
        EXPECT_EQ(IsSoftTimerRunning(SOFT_TIMER_LONG), -1);
        EXPECT_NEAR(GetSoftTimerRemaining(SOFT_TIMER_LONG), 49, 1);
        g_MsTimer.WaitMs(45);
        EXPECT_EQ(IsSoftTimerRunning(SOFT_TIMER_LONG), -1);
        g_MsTimer.WaitMs(6);
        EXPECT_EQ(IsSoftTimerRunning(SOFT_TIMER_LONG), 0);
        EXPECT_EQ(GetSoftTimerRemaining(SOFT_TIMER_LONG), 0u);
      },
      testsupport::kStartUp + Ms(1000));
}

}  // namespace
