// Timer 0's upper half as a free-running 24 MHz counter: the register model
// on its own, and the board support's counter and busy wait over it.
#include "sim/soc/timer0.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "firmware/hal/board.h"
#include "sim/board.h"
#include "sim/clock.h"

namespace sim {
namespace {

constexpr uint32_t kContinuous = 2u << Timer0::kTcrEnaMode34Shift;
constexpr uint32_t kOneShot = 1u << Timer0::kTcrEnaMode34Shift;

// ---- the register model ------------------------------------------------------

class Timer0Model : public ::testing::Test {
 protected:
  // The board support's start sequence, with the given mode and period.
  void Start(uint32_t tcr, uint32_t period) {
    timer.Write(Timer0::kTgcr, 4, 0);
    timer.Write(Timer0::kTcr, 4, tcr);
    timer.Write(Timer0::kPrd34, 4, period);
    timer.Write(Timer0::kTim34, 4, 0);
    timer.Write(Timer0::kTgcr, 4, Timer0::kTgcrTim34Rs);
  }
  uint32_t Count() { return timer.Read(Timer0::kTim34, 4); }
  void AdvanceNs(Nanos ns) { clock.AdvanceTo(clock.Now() + ns); }

  SimClock clock;
  Timer0 timer{clock};
};

TEST_F(Timer0Model, CountsAt24MHzFromZeroOnceOutOfReset) {
  Start(kContinuous, 0xFFFFFFFFu);
  EXPECT_TRUE(timer.UpperRunning());
  EXPECT_EQ(Count(), 0u);
  AdvanceNs(kNsPerMs);
  EXPECT_EQ(Count(), 24000u);
  AdvanceNs(41);  // less than one count more
  EXPECT_EQ(Count(), 24000u);
  AdvanceNs(1);
  EXPECT_EQ(Count(), 24001u);
}

TEST_F(Timer0Model, HoldsItsCountInResetOrWithCountingDisabled) {
  // Never started.
  AdvanceNs(kNsPerMs);
  EXPECT_EQ(Count(), 0u);
  EXPECT_FALSE(timer.UpperRunning());
  // Back into reset after 10 us: the count stays.
  Start(kContinuous, 0xFFFFFFFFu);
  AdvanceNs(10 * kNsPerUs);
  timer.Write(Timer0::kTgcr, 4, 0);
  AdvanceNs(kNsPerMs);
  EXPECT_EQ(Count(), 240u);
  // Out of reset but disabled: still held; enabled again: it goes on.
  timer.Write(Timer0::kTcr, 4, 0);
  timer.Write(Timer0::kTgcr, 4, Timer0::kTgcrTim34Rs);
  AdvanceNs(kNsPerMs);
  EXPECT_EQ(Count(), 240u);
  timer.Write(Timer0::kTcr, 4, kContinuous);
  AdvanceNs(kNsPerUs);
  EXPECT_EQ(Count(), 264u);
}

TEST_F(Timer0Model, ContinuousModeWrapsAfterThePeriodAndOneShotStopsAtIt) {
  Start(kContinuous, 99);
  AdvanceNs(150 * kNsPerUs / 24);  // 150 counts: 0..99, then 0..49
  EXPECT_EQ(Count(), 50u);

  Start(kOneShot, 99);
  AdvanceNs(150 * kNsPerUs / 24);
  EXPECT_EQ(Count(), 99u);
  EXPECT_EQ(timer.Read(Timer0::kTcr, 4) & Timer0::kTcrEnaMode34Mask, 0u);
  EXPECT_FALSE(timer.UpperRunning());
}

TEST_F(Timer0Model, ACounterWriteWhileRunningGoesOnFromTheValueWritten) {
  Start(kContinuous, 0xFFFFFFFFu);
  AdvanceNs(kNsPerMs);
  timer.Write(Timer0::kTim34, 4, 0xFFFFFFF0u);
  AdvanceNs(kNsPerUs);  // 24 counts: across the 32-bit wrap
  EXPECT_EQ(Count(), 8u);
}

TEST_F(Timer0Model, NarrowAccessesUseTheirByteLanes) {
  // Enable mode 2 through the byte lane of bits 16-23 of the control register.
  timer.Write(Timer0::kTcr + 2, 1, 0x80);
  EXPECT_EQ(timer.Read(Timer0::kTcr, 4), kContinuous);
  timer.Write(Timer0::kTim34, 4, 0x12345678u);
  EXPECT_EQ(timer.Read(Timer0::kTim34 + 2, 2), 0x1234u);
  EXPECT_EQ(timer.Read(Timer0::kTim34 + 1, 1), 0x56u);
  timer.Write(Timer0::kPrd12, 2, 0xBEEF);
  EXPECT_EQ(timer.Read(Timer0::kPrd12, 4), 0xBEEFu);
  EXPECT_EQ(timer.Read(0x100, 4), 0u);  // no register there
}

// ---- the board support over the model --------------------------------------------

class BoardUsCounter : public ::testing::Test {
 protected:
  BoardUsCounter() : board(BoardConfig{}) {}
  void SetUp() override { timer = &InstallTimer0(board); }
  void AdvanceNs(Nanos ns) { board.Clock().AdvanceTo(board.Clock().Now() + ns); }

  Board board;
  Timer0* timer = nullptr;
};

TEST_F(BoardUsCounter, StartProgramsTheUpperHalfContinuousOverTheFullPeriod) {
  timer->Write(Timer0::kTgcr, 4, 0x5u);  // lower half out of reset, as the kernel's tick runs
  timer->Write(Timer0::kTcr, 4, 0x80u);
  BoardStartUsCounter();
  EXPECT_EQ(timer->Read(Timer0::kTgcr, 4), 0x5u | Timer0::kTgcrTim34Rs);
  EXPECT_EQ(timer->Read(Timer0::kTcr, 4), 0x80u | kContinuous);
  EXPECT_EQ(timer->Read(Timer0::kPrd34, 4), 0xFFFFFFFFu);
  EXPECT_TRUE(timer->UpperRunning());
  const uint32_t start = BoardReadUsCounter();
  AdvanceNs(1234 * kNsPerUs);
  EXPECT_EQ(BoardReadUsCounter() - start, 1234u);
}

TEST_F(BoardUsCounter, MicrosecondsWrapAt32BitsNotWithThe179SecondCounter) {
  BoardStartUsCounter();
  const uint32_t start = BoardReadUsCounter();
  // Read every 100 s, well within the counter's wrap.
  for (int i = 0; i < 3; ++i) {
    AdvanceNs(100'000 * kNsPerMs);
    BoardReadUsCounter();
  }
  // 300 s: the 24 MHz counter has wrapped once, the microseconds have not.
  const uint64_t unwrapped = 300ull * Timer0::kCountHz;
  EXPECT_NEAR(static_cast<double>(timer->Read(Timer0::kTim34, 4)), static_cast<double>(unwrapped - (1ull << 32)),
              100.0);
  EXPECT_NEAR(static_cast<double>(BoardReadUsCounter() - start), 300'000'000.0, 1.0);
}

TEST_F(BoardUsCounter, BusyWaitLastsItsMicrosecondsAcrossEvents) {
  BoardStartUsCounter();
  int eventsRun = 0;
  board.Clock().ScheduleIn(500 * kNsPerUs, [&] { ++eventsRun; });
  for (uint32_t us : {0u, 1u, 2u, 1000u, 65535u, 200'000'000u}) {
    SCOPED_TRACE(us);
    BoardReadUsCounter();  // a reading just before must not shorten or lengthen the wait
    const Nanos before = board.Clock().Now();
    BoardWaitUs(us);
    const Nanos waited = board.Clock().Now() - before;
    EXPECT_GE(waited, us * kNsPerUs);
    EXPECT_LE(waited, us * kNsPerUs + 200);  // the counter reads around the wait
  }
  EXPECT_EQ(eventsRun, 1);
  EXPECT_TRUE(board.Faults().empty());
}

TEST_F(BoardUsCounter, BusyWaitOnAStoppedCounterIsAFault) {
  BoardWaitUs(10);
  ASSERT_EQ(board.Faults().size(), 1u);
  EXPECT_NE(board.Faults()[0].find("timer 0 does not count"), std::string::npos);
}

}  // namespace
}  // namespace sim
