// The firmware's three tasks on the virtual board: start-up order,
// preemption by the USB task, the end of the system, data aborts, and runs
// that repeat exactly.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "firmware/hal/board.h"
#include "firmware/hal/hw.h"
#include "firmware/hal/isr_shared.h"
#include "firmware/hal/kernel.h"
#include "firmware/hostif/usb_command_layer.h"
#include "firmware/platform/sftprn.h"
#include "sim/board.h"
#include "sim/run_boots.h"
#include "tests/support/forked_boots.h"
#include "tests/support/machine_test.h"

namespace {

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;
using testsupport::MachineTest;
using testsupport::kStartUp;
using testsupport::Ms;

constexpr PhysAddr kUnmapped = 0x70000000u;
// MainTask opens the USB driver before the application starts: the PHY
// reset alone holds it 1 s.

sim::Kernel& TheKernel() { return sim::Board::Current().GetKernel(); }

// Dispatches of one task within [from, to).
std::vector<sim::Nanos> DispatchTimes(const sim::Kernel& kernel, ID task, sim::Nanos from, sim::Nanos to) {
  std::vector<sim::Nanos> times;
  for (const auto& d : kernel.Dispatches()) {
    if (d.task == task && d.at >= from && d.at < to) times.push_back(d.at);
  }
  return times;
}

// ---- the USB task preempts the application at its wake-ups -------------------

sim::Nanos g_spinFrom = 0;
sim::Nanos g_spinTo = 0;
hal::IsrShared<uint32_t> g_neverWritten;

void ExpectUsbPassesEvery2To3Ms(const sim::Kernel& kernel, sim::Nanos from, sim::Nanos to) {
  const auto usb = DispatchTimes(kernel, USB_TASK, from, to);
  ASSERT_GE(usb.size(), 8u);
  for (size_t i = 1; i < usb.size(); ++i) {
    const sim::Nanos gap = usb[i] - usb[i - 1];
    EXPECT_GE(gap, Ms(2));
    EXPECT_LE(gap, Ms(3) + 100 * sim::kNsPerUs);
  }
  // After each pass the application goes on.
  const auto app = DispatchTimes(kernel, APP_TASK, from, to);
  EXPECT_GE(app.size(), usb.size() - 1);
}

TEST_F(MachineTest, UsbTaskPreemptsTheApplicationBusyWaitingOnTheClock) {
  sim::MachineOptions options;
  options.bTraceDispatches = true;
  options.appEntry = [] {
    SYSTIM start = 0;
    SYSTIM now = 0;
    get_tim(&start);
    g_spinFrom = sim::Board::Current().Clock().Now();
    do {
      get_tim(&now);
    } while (now - start < 30);
    g_spinTo = sim::Board::Current().Clock().Now();
    syslog(LOG_EMERG, "[test] spin done");
    for (;;) CpuRelax();
  };
  sim::Machine& m = Boot(std::move(options));
  ASSERT_EQ(m.RunUntil([&] { return m.Logged("[test] spin done"); }, kStartUp + Ms(200)), sim::RunResult::ConditionMet);
  EXPECT_NEAR(static_cast<double>(g_spinTo - g_spinFrom), static_cast<double>(Ms(30)), static_cast<double>(Ms(1)));
  ExpectUsbPassesEvery2To3Ms(m.GetBoard().GetKernel(), g_spinFrom, g_spinTo);
}

TEST_F(MachineTest, UsbTaskPreemptsTheApplicationSpinningOnASharedWord) {
  sim::MachineOptions options;
  options.bTraceDispatches = true;
  options.appEntry = [] {
    g_spinFrom = sim::Board::Current().Clock().Now();
    while (g_neverWritten == 0u) {
    }
  };
  sim::Machine& m = Boot(std::move(options));
  EXPECT_EQ(m.RunFor(kStartUp + Ms(40)), sim::RunResult::TimeLimit);
  ExpectUsbPassesEvery2To3Ms(m.GetBoard().GetKernel(), g_spinFrom, m.Now());
}

// ---- start-up order ---------------------------------------------------------------

bool g_bUsbPassDoneAtEntry = false;
uint32_t g_ulUsbPassesAtEntry = 0;

TEST_F(MachineTest, UsbTaskLogsAndRunsOnePassBeforeTheApplicationGoesOn) {
  sim::MachineOptions options;
  options.bTraceDispatches = true;
  options.appEntry = [] {
    // The USB task has run its first pass and sleeps until its next one.
    g_bUsbPassDoneAtEntry = TheKernel().IsDelayed(USB_TASK);
    g_ulUsbPassesAtEntry = GetUsbPollCount();
    syslog(LOG_EMERG, "[test] application entry");
    for (;;) CpuRelax();
  };
  sim::Machine& m = Boot(std::move(options));
  ASSERT_EQ(m.RunUntil([&] { return m.Logged("[test] application entry"); }, kStartUp + Ms(50)), sim::RunResult::ConditionMet);
  const size_t app = m.FindLog("APP Task is active.\n");
  const size_t usb = m.FindLog("USB Task is active.\n");
  const size_t entry = m.FindLog("[test] application entry");
  ASSERT_NE(app, sim::Machine::npos);
  ASSERT_NE(usb, sim::Machine::npos);
  EXPECT_LT(app, usb);
  EXPECT_LT(usb, entry);
  EXPECT_TRUE(g_bUsbPassDoneAtEntry);
  EXPECT_EQ(g_ulUsbPassesAtEntry, 1u) << "the USB task's first pass ran before the application's entry";
  // MAIN_TASK, APP_TASK, USB_TASK, then APP_TASK again.
  const auto& d = m.GetBoard().GetKernel().Dispatches();
  ASSERT_GE(d.size(), 4u);
  EXPECT_EQ(d[0].task, MAIN_TASK);
  EXPECT_EQ(d[1].task, APP_TASK);
  EXPECT_EQ(d[2].task, USB_TASK);
  EXPECT_EQ(d[3].task, APP_TASK);
  EXPECT_THAT(m.Console(), HasSubstr("APP Task is active.\nUSB Task is active.\n"));
}

// ---- the end of the system ------------------------------------------------------

TEST_F(MachineTest, AppFinIsFollowedByAllTaskIsTerminatedWithoutUsbFin) {
  sim::MachineOptions options;
  options.appEntry = [] { syslog(LOG_NOTICE, "[test] recorded only"); };
  options.bStopAtKernelEnd = true;
  sim::Machine& m = Boot(std::move(options));
  ASSERT_EQ(m.RunFor(kStartUp + Ms(100)), sim::RunResult::Ended);
  const size_t fin = m.FindLog("APP fin\n");
  const size_t all = m.FindLog("all task is terminated");
  ASSERT_NE(fin, sim::Machine::npos);
  ASSERT_NE(all, sim::Machine::npos);
  EXPECT_LT(fin, all);
  EXPECT_FALSE(m.Logged("USB fin\n"));  // it was asleep when MAIN_TASK ran
  // The log buffer (the last 32 records) is printed at shutdown: a line
  // below priority 0 was only recorded.
  const std::string& console = m.Console();
  const size_t last = console.find("all task is terminated\n");
  ASSERT_NE(last, std::string::npos);
  EXPECT_THAT(console.substr(last), HasSubstr("[test] recorded only\n"));
  EXPECT_EQ(console.find("[test] recorded only"), console.rfind("[test] recorded only"));
}

// ---- data aborts ------------------------------------------------------------------

std::vector<std::string> Texts(const std::vector<sim::LogRecord>& log) {
  std::vector<std::string> texts;
  for (const auto& r : log) texts.push_back(r.text);
  return texts;
}

TEST_F(MachineTest, DataAbortInATaskIsReportedAndTheTaskGoesOn) {
  sim::MachineOptions options;
  options.appEntry = [] {
    HwRead32(kUnmapped);
    syslog(LOG_EMERG, "[test] after the abort");
    for (;;) CpuRelax();
  };
  sim::Machine& m = Boot(std::move(options));
  m.ExpectDataAborts(1);
  ASSERT_EQ(m.RunUntil([&] { return m.Logged("[test] after the abort"); }, kStartUp + Ms(50)), sim::RunResult::ConditionMet);
  // Printed at once, with the context's address in low RAM.
  EXPECT_THAT(m.Console(), HasSubstr("CPU exception handler (p_excinf = 00fff000).\n"));
  const auto texts = Texts(m.Log());
  // The refused task-exception raise is recorded at priority 3 ...
  const size_t raise = m.FindLog("E_OBJ reported by `iras_tex(tskid, 0x8000)' in line 38 of `sftprn'.");
  ASSERT_NE(raise, sim::Machine::npos);
  EXPECT_EQ(m.Log()[raise].prio, LOG_ERROR);
  EXPECT_THAT(m.Console(), Not(HasSubstr("E_OBJ reported")));
  // ... while iget_tid succeeded silently and the two priority-7 lines were dropped.
  for (const std::string& t : texts) {
    EXPECT_THAT(t, Not(HasSubstr("iget_tid")));
    EXPECT_THAT(t, Not(HasSubstr("sns_loc")));
    EXPECT_THAT(t, Not(HasSubstr("not TRUE")));
  }
  ASSERT_EQ(m.GetBoard().DataAborts().size(), 1u);
  EXPECT_EQ(m.GetBoard().DataAborts()[0].addr, kUnmapped);
  EXPECT_EQ(m.GetBoard().DataAborts()[0].task, "APP_TASK");
}

// A kernel configuration like the firmware's, with the UART2 handler
// replaced by `handler`.
struct ConfigWithUart2Handler {
  explicit ConfigWithUart2Handler(InterruptHandler handler) {
    const KernelConfiguration& fw = g_KernelConfiguration;
    interrupts.assign(fw.pInterrupts, fw.pInterrupts + fw.ulInterruptCount);
    for (auto& i : interrupts) {
      if (InterruptEvent(i.inhno) == 61) i.inthdr = handler;
    }
    config = fw;
    config.pInterrupts = interrupts.data();
  }
  std::vector<InterruptConfig> interrupts;
  KernelConfiguration config{};
};

void AbortingHandler() { HwRead32(kUnmapped); }

TEST_F(MachineTest, DataAbortInAHandlerEndsTheSystem) {
  static ConfigWithUart2Handler config(AbortingHandler);
  sim::MachineOptions options;
  options.kernel = &config.config;
  options.appEntry = [] {
    sim::Board::Current().GetCpu().InjectAtSwitchPoint(61, 1);
    for (;;) CpuRelax();
  };
  options.bStopAtKernelEnd = true;
  sim::Machine& m = Boot(std::move(options));
  m.ExpectDataAborts(1);
  ASSERT_EQ(m.RunFor(kStartUp + Ms(50)), sim::RunResult::Ended);
  const size_t ends = m.FindLog("Sample program ends with exception.");
  ASSERT_NE(ends, sim::Machine::npos);
  EXPECT_EQ(m.Log()[ends].prio, LOG_NOTICE);
  EXPECT_FALSE(m.Logged("E_OBJ reported by `iras_tex(tskid, 0x8000)' in line 38 of `sftprn'."));
  // Recorded only, so it appears once: in the buffer printed at shutdown.
  EXPECT_THAT(m.Console(), HasSubstr("Sample program ends with exception.\n"));
  EXPECT_EQ(m.GetBoard().DataAborts()[0].task, "APP_TASK");
}

TEST_F(MachineTest, AnInterruptOnEvent61IsAcceptedAndIgnored) {
  sim::MachineOptions options;
  options.appEntry = [] {
    sim::Board::Current().GetCpu().InjectAtSwitchPoint(61, 1);
    CpuRelax();
    syslog(LOG_EMERG, "[test] still running");
    for (;;) CpuRelax();
  };
  sim::Machine& m = Boot(std::move(options));
  EXPECT_EQ(m.RunUntil([&] { return m.Logged("[test] still running"); }, kStartUp + Ms(20)), sim::RunResult::ConditionMet);
  EXPECT_FALSE(m.GetBoard().Intc().IsPending(61));
}

// ---- no task switch while interrupts are masked -------------------------------------

sim::Nanos g_maskedFrom = 0;
sim::Nanos g_maskedTo = 0;

TEST_F(MachineTest, NoTaskSwitchWhileInterruptsAreMasked) {
  sim::MachineOptions options;
  options.bTraceDispatches = true;
  options.appEntry = [] {
    DisableIrq();
    g_maskedFrom = sim::Board::Current().Clock().Now();
    const uint32_t start = BoardReadUsCounter();
    while (BoardReadUsCounter() - start < 10000u) {
    }
    g_maskedTo = sim::Board::Current().Clock().Now();
    EnableIrq();
    for (;;) CpuRelax();
  };
  sim::Machine& m = Boot(std::move(options));
  EXPECT_EQ(m.RunFor(kStartUp + Ms(30)), sim::RunResult::TimeLimit);
  ASSERT_GE(g_maskedTo - g_maskedFrom, Ms(10));
  const sim::Kernel& kernel = m.GetBoard().GetKernel();
  EXPECT_TRUE(DispatchTimes(kernel, USB_TASK, g_maskedFrom, g_maskedTo).empty());
  // Unmasking delivers the pending tick at once; the USB task is back within a few ms.
  EXPECT_FALSE(DispatchTimes(kernel, USB_TASK, g_maskedTo, g_maskedTo + Ms(4)).empty());
}

// ---- boots in their own processes -------------------------------------------------

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

TEST(Boots, AMultiBootRunKeepsItsStateDirectoryAcrossBoots) {
  testsupport::ForkedBoots boots;
  const std::vector<int> codes = boots.Run(3, [](int, sim::MachineOptions options) {
    sim::Machine m(options);
    const bool bBooted = m.RunFor(Ms(5)) == sim::RunResult::TimeLimit && m.UnexpectedFaults().empty();
    return bBooted ? static_cast<int>(m.BootNumber()) : 100;
  });
  EXPECT_EQ(codes, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(ReadFile(boots.Path("boot-count")), "3\n");
  EXPECT_EQ(boots.ReadBytes("flash.bin").size(), 8u * 1024u * 1024u);
}

TEST(Boots, TheSameVirtualTimeRunGivesTheSameLogByteForByte) {
  const std::string dir = testsupport::MakeTempDir();
  const std::vector<int> codes = sim::RunBoots(2, [&](int index) {
    sim::MachineOptions options;
    options.stateDir = dir + "/printer" + std::to_string(index);
    sim::Machine m(options);
    m.RunFor(kStartUp + testsupport::kFirstBootFormat + Ms(100));
    std::ofstream(dir + "/console" + std::to_string(index)) << m.Console();
    return m.UnexpectedFaults().empty() ? 0 : 1;
  });
  EXPECT_EQ(codes, (std::vector<int>{0, 0}));
  const std::string first = ReadFile(dir + "/console0");
  EXPECT_THAT(first, HasSubstr("USB Task is active."));
  EXPECT_EQ(first, ReadFile(dir + "/console1"));
}

}  // namespace
