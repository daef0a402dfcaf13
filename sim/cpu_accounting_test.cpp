// The CPU's accounting of virtual time per interrupt event: each handler's
// own time (less the handlers that preempted it), its masked stretches,
// the time its polling loops waited, and the longest masked stretch.
#include <gtest/gtest.h>

#include <cstdint>

#include "firmware/hal/board.h"
#include "firmware/hal/hw.h"
#include "firmware/hal/kernel.h"
#include "sim/board.h"
#include "sim/costs.h"

namespace sim {
namespace {

constexpr PhysAddr kAnswerWord = 0x80013E02u;
constexpr uint32_t kEventOuter = 40;  // channel 4
constexpr uint32_t kEventInner = 30;  // channel 3: preempts the outer one

// The outer handler: the inner one preempts it at once; then 200 us of work
// with interrupts masked; then a wait of 300 us on a word that a device
// event answers.
void OuterHandler() {
  Board& board = Board::Current();
  board.RaiseInterrupt(kEventInner);
  CpuRelax();
  DisableIrq();
  CpuRelaxUs(200);
  EnableIrq();
  const Nanos answerAt = board.Clock().Now() + 300 * kNsPerUs;
  board.Clock().Schedule(answerAt, [&board] { board.GetBus().RamPointer(kAnswerWord, 2)[0] = 1; });
  while (HwRead16(kAnswerWord) == 0) {
  }
}

void InnerHandler() { CpuRelaxUs(100); }

void AccountingTask(VP_INT) {
  // 50 us masked at task level, then the interrupts, then 1 ms masked.
  DisableIrq();
  CpuRelaxUs(50);
  EnableIrq();
  Board::Current().GetCpu().InjectAtSwitchPoint(kEventOuter, 1);
  CpuRelax();
  CpuRelaxUs(2000);
  const Cpu::MaskedStretch before = Board::Current().GetCpu().LongestMasked();
  EXPECT_EQ(before.event, static_cast<int32_t>(kEventOuter));
  DisableIrq();
  CpuRelaxUs(1000);
  EnableIrq();
  kernel_exit();
}

TEST(CpuAccounting, HandlersOwnTimeMaskedStretchesAndWaitsPerEvent) {
  static const TaskConfig tasks[] = {{1, "T", TA_ACT, 1, AccountingTask, 5, 8192}};
  static const InterruptConfig ints[] = {
      {0x00020015u, timer_handler}, {0x0003001Eu, InnerHandler}, {0x00040028u, OuterHandler}};
  const KernelConfiguration config{tasks, 1, nullptr, 0, ints, 3, nullptr, 0};
  BoardConfig bc;
  bc.kernel = &config;
  Board board(bc);
  board.PowerOn();
  ASSERT_EQ(board.Run(100 * kNsPerMs), RunState::Ended);
  EXPECT_TRUE(board.Faults().empty());
  const Cpu& cpu = board.GetCpu();

  // The inner handler: its 100 us and its entry.
  const Cpu::InterruptFigures& inner = cpu.Figures(kEventInner);
  EXPECT_EQ(inner.entries, 1u);
  EXPECT_GE(inner.handlerNs, 100 * kNsPerUs);
  EXPECT_LT(inner.handlerNs, 102 * kNsPerUs);
  EXPECT_EQ(inner.maxHandlerNs, inner.handlerNs);
  EXPECT_EQ(inner.maskedNs, 0);
  EXPECT_EQ(inner.waitNs, 0);

  // The outer one: 200 us masked and a wait of at least 300 us (a polling
  // loop may skip past its answer by up to what it has waited, when no
  // other event comes sooner), the inner one's time left out.
  const Cpu::InterruptFigures& outer = cpu.Figures(kEventOuter);
  EXPECT_EQ(outer.entries, 1u);
  EXPECT_GE(outer.maskedNs, 200 * kNsPerUs);
  EXPECT_LT(outer.maskedNs, 201 * kNsPerUs);
  EXPECT_EQ(outer.maxMaskedNs, outer.maskedNs);
  EXPECT_GT(outer.waitNs, 295 * kNsPerUs) << "the loop skipped ahead to the answer";
  EXPECT_LE(outer.waitNs, 600 * kNsPerUs);
  EXPECT_GE(outer.handlerNs - outer.waitNs, 200 * kNsPerUs) << "its own work";
  EXPECT_LT(outer.handlerNs - outer.waitNs, 210 * kNsPerUs) << "the inner handler's 100 us left out";
  EXPECT_EQ(outer.maxHandlerNs, outer.handlerNs);

  // The longest stretch: the task's millisecond.
  const Cpu::MaskedStretch& longest = cpu.LongestMasked();
  EXPECT_EQ(longest.event, -1);
  EXPECT_GE(longest.length, 1000 * kNsPerUs);
  EXPECT_LT(longest.length, 1001 * kNsPerUs);
  EXPECT_EQ(cpu.Figures(kEventOuter + 1).entries, 0u);
}

}  // namespace
}  // namespace sim
