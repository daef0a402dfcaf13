// The kernel and the CPU on a configuration of test tasks and handlers.
#include "sim/kernel.h"

#include <gtest/gtest.h>

#include <string>

#include "firmware/hal/board.h"
#include "firmware/hal/hw.h"
#include "firmware/hal/kernel.h"
#include "sim/board.h"
#include "sim/costs.h"

namespace sim {
namespace {

std::string g_trace;

void Append(const char* text) { g_trace += text; }

RunState RunBoard(const KernelConfiguration& config, Nanos limit) {
  BoardConfig bc;
  bc.kernel = &config;
  Board board(bc);
  board.PowerOn();
  const RunState state = board.Run(limit);
  EXPECT_TRUE(board.Faults().empty()) << board.Faults().front();
  return state;
}

// ---- semaphores: waiters leave by priority (TA_TPRI) or arrival (TA_TFIFO) ----

void SemWaiter(VP_INT exinf) {
  wai_sem(1);
  g_trace += static_cast<char>('0' + exinf);
}

void SemController(VP_INT) {
  // The waiters arrive in the order 2, 3, 4 with the priorities 8, 6, 7.
  for (ID id = 2; id <= 4; ++id) {
    act_tsk(id);
    dly_tsk(1);
  }
  for (int i = 0; i < 3; ++i) {
    sig_sem(1);
    dly_tsk(1);  // the released waiter runs and records itself
  }
  kernel_exit();
}

struct SemCase {
  ATR attribute;
  const char* releaseOrder;
};

class SemaphoreOrder : public ::testing::TestWithParam<SemCase> {};

TEST_P(SemaphoreOrder, ReleasesWaitersInTheAttributesOrder) {
  static const TaskConfig tasks[] = {
      {1, "CTL", TA_ACT, 1, SemController, 5, 8192},
      {2, "W2", 0, 2, SemWaiter, 8, 8192},
      {3, "W3", 0, 3, SemWaiter, 6, 8192},
      {4, "W4", 0, 4, SemWaiter, 7, 8192},
  };
  const SemaphoreConfig sems[] = {{1, GetParam().attribute, 0, 1}};
  static const InterruptConfig ints[] = {{0x00020015u, timer_handler}};
  const KernelConfiguration config{tasks, 4, sems, 1, ints, 1, nullptr, 0};
  g_trace.clear();
  EXPECT_EQ(RunBoard(config, 100 * kNsPerMs), RunState::Ended);
  EXPECT_EQ(g_trace, GetParam().releaseOrder);
}

INSTANTIATE_TEST_SUITE_P(Attributes, SemaphoreOrder,
                         ::testing::Values(SemCase{TA_TPRI, "342"}, SemCase{TA_TFIFO, "234"}));

// ---- dly_tsk keeps its promise of at least n ms, counted in serviced ticks ----

void DelayTask(VP_INT) {
  SYSTIM before = 0;
  SYSTIM after = 0;
  BoardStartUsCounter();
  dly_tsk(1);  // now at the start of a tick
  get_tim(&before);
  const uint32_t usBefore = BoardReadUsCounter();
  dly_tsk(2);
  get_tim(&after);
  const uint32_t elapsedUs = BoardReadUsCounter() - usBefore;
  g_trace = std::to_string(after - before) + (elapsedUs >= 2000 ? " >=2ms" : " <2ms");
  kernel_exit();
}

TEST(Kernel, DelayWakesOnTheTickAfterTheNthAndNeverEarly) {
  static const TaskConfig tasks[] = {{1, "T", TA_ACT, 1, DelayTask, 5, 8192}};
  static const InterruptConfig ints[] = {{0x00020015u, timer_handler}};
  const KernelConfiguration config{tasks, 1, nullptr, 0, ints, 1, nullptr, 0};
  g_trace.clear();
  BoardConfig bc;
  bc.kernel = &config;
  Board board(bc);
  board.PowerOn();
  EXPECT_EQ(board.Run(100 * kNsPerMs), RunState::Ended);
  EXPECT_EQ(g_trace, "3 >=2ms");
}

// ---- interrupts: channel order, nesting only of a higher channel ----

int g_handler5Runs = 0;

void Handler3() { Append("3"); }
void Handler4() { Append("4"); }
void Handler5() {
  if (++g_handler5Runs > 1) {
    Append("5");
    return;
  }
  Append("5<");
  Board::Current().RaiseInterrupt(30);  // channel 3: nests at the next switch point
  CpuRelax();
  Board::Current().RaiseInterrupt(50);  // its own channel: waits until this handler returns
  CpuRelax();
  Append(">");
}

void InterruptTask(VP_INT) {
  Board::Current().GetCpu().InjectAtSwitchPoint(50, 1);
  Board::Current().GetCpu().InjectAtSwitchPoint(40, 1);
  CpuRelax();  // both fall due here: channel 4 first
  Append("|");
  CpuRelax();
  kernel_exit();
}

TEST(Kernel, InterruptsTakeChannelOrderAndOnlyAHigherChannelNests) {
  static const TaskConfig tasks[] = {{1, "T", TA_ACT, 1, InterruptTask, 5, 8192}};
  static const InterruptConfig ints[] = {
      {0x00020015u, timer_handler}, {0x0003001Eu, Handler3}, {0x00040028u, Handler4}, {0x00050032u, Handler5}};
  const KernelConfiguration config{tasks, 1, nullptr, 0, ints, 4, nullptr, 0};
  g_trace.clear();
  EXPECT_EQ(RunBoard(config, 10 * kNsPerMs), RunState::Ended);
  EXPECT_EQ(g_trace, "45<3>5|");
}

// ---- a spin on a clock lets time jump to the next event ----

uint32_t g_spinTurns = 0;

void SpinTask(VP_INT) {
  SYSTIM now = 0;
  do {
    get_tim(&now);
    ++g_spinTurns;
  } while (now < 100);
  kernel_exit();
}

TEST(Kernel, SpinningOnTheSystemTimeJumpsFromTickToTick) {
  static const TaskConfig tasks[] = {{1, "T", TA_ACT, 1, SpinTask, 5, 8192}};
  static const InterruptConfig ints[] = {{0x00020015u, timer_handler}};
  const KernelConfiguration config{tasks, 1, nullptr, 0, ints, 1, nullptr, 0};
  BoardConfig bc;
  bc.kernel = &config;
  Board board(bc);
  board.PowerOn();
  EXPECT_EQ(board.Run(1000 * kNsPerMs), RunState::Ended);
  EXPECT_EQ(board.GetKernel().Ticks(), 100u);
  // A few reads a tick (the spin skips ahead by what it has spun, up to the
  // next tick), not one read per 60 ns.
  EXPECT_LE(g_spinTurns, 2000u);
  EXPECT_LT(board.Clock().Now(), 101 * kNsPerMs);
}

// ---- a spin that knows its counter cannot get there sooner lets time pass ----

struct RelaxSeen {
  Nanos start = 0, end = 0;
  Nanos eventAt[2] = {};
  Nanos handlerAt = 0;
  Nanos wokeAt = 0;
  uint32_t ticksAtEnd = 0;
};
RelaxSeen g_relax;

void RelaxHandler() { g_relax.handlerAt = Board::Current().Clock().Now(); }

// Higher priority: asleep when the relaxing task starts its wait.
void RelaxWakerTask(VP_INT) {
  dly_tsk(1);
  g_relax.wokeAt = Board::Current().Clock().Now();
}

void RelaxTask(VP_INT) {
  Board& board = Board::Current();
  SimClock& clock = board.Clock();
  g_relax.start = clock.Now();
  clock.Schedule(g_relax.start + 3 * kNsPerUs, [&clock] { g_relax.eventAt[0] = clock.Now(); });
  clock.Schedule(g_relax.start + 7 * kNsPerUs, [&board, &clock] {
    g_relax.eventAt[1] = clock.Now();
    board.RaiseInterrupt(40);
  });
  CpuRelaxUs(3000);
  g_relax.end = clock.Now();
  g_relax.ticksAtEnd = board.GetKernel().Ticks();
  kernel_exit();
}

TEST(Kernel, ARelaxOfNMicrosecondsRunsEveryEventOnItsWayAtItsTime) {
  static const TaskConfig tasks[] = {{1, "T", TA_ACT, 1, RelaxTask, 5, 8192},
                                     {2, "H", TA_ACT, 2, RelaxWakerTask, 3, 8192}};
  static const InterruptConfig ints[] = {{0x00020015u, timer_handler}, {0x00040028u, RelaxHandler}};
  const KernelConfiguration config{tasks, 2, nullptr, 0, ints, 2, nullptr, 0};
  g_relax = RelaxSeen{};
  EXPECT_EQ(RunBoard(config, 100 * kNsPerMs), RunState::Ended);
  const Nanos start = g_relax.start;
  // Scheduled events run at their own times, not at the end of the wait.
  EXPECT_EQ(g_relax.eventAt[0], start + 3 * kNsPerUs);
  EXPECT_EQ(g_relax.eventAt[1], start + 7 * kNsPerUs);
  // The interrupt raised there is taken at once (after its entry cost).
  EXPECT_EQ(g_relax.handlerAt, start + 7 * kNsPerUs + cost::kInterruptEntry);
  // The higher-priority task woken by the second tick runs at that tick,
  // inside the wait.
  EXPECT_GE(g_relax.wokeAt, 2 * kNsPerMs);
  EXPECT_LT(g_relax.wokeAt, 2 * kNsPerMs + 10 * kNsPerUs);
  EXPECT_LT(g_relax.wokeAt, g_relax.end);
  // Three ticks serviced; the wait lasts its 3 ms plus the interrupts and
  // the other task taken inside it, and no more.
  EXPECT_EQ(g_relax.ticksAtEnd, 3u);
  EXPECT_GE(g_relax.end - start, 3 * kNsPerMs);
  EXPECT_LE(g_relax.end - start, 3 * kNsPerMs + 20 * kNsPerUs);
}

}  // namespace
}  // namespace sim
