// Test rig of the board drivers: one machine per test whose application runs
// a test body, the board's GPIO and FPGA models, the bus trace, and a
// kernel configuration whose GPIO bank-0 handler runs work the test gives
// it (to provoke an interrupt between a task's read and its write).
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "firmware/hal/hw.h"
#include "firmware/hal/kernel.h"
#include "sim/board.h"
#include "sim/bus_trace.h"
#include "sim/fpga/fpga_config_port.h"
#include "sim/fpga/fpga_main_block.h"
#include "sim/memory/nor_flash.h"
#include "sim/soc/gpio.h"
#include "tests/support/machine_test.h"

namespace boardrig {

using testsupport::Ms;

// The virtual start-up (the USB driver's open included) and room for a body.
constexpr sim::Nanos kRunLimit = 3000 * sim::kNsPerMs;
// Room for a 5 s configuration deadline as well.
constexpr sim::Nanos kLongRunLimit = 9000 * sim::kNsPerMs;
constexpr uint32_t kFpgaIrqEvent = sim::GpioController::kEventBank0;

// What the GPIO bank-0 handler does in the rig's kernel configuration.
inline std::function<void()> g_fpgaIrqWork;
inline uint32_t g_ulFpgaIrqCount;

inline void RigFpgaInterrupt() {
  ++g_ulFpgaIrqCount;
  if (g_fpgaIrqWork) g_fpgaIrqWork();
}

// The firmware's kernel configuration with the rig's bank-0 handler.
inline const KernelConfiguration& RigKernel() {
  static std::vector<InterruptConfig> s_interrupts;
  static KernelConfiguration s_config;
  if (s_interrupts.empty()) {
    const KernelConfiguration& k = g_KernelConfiguration;
    s_interrupts.assign(k.pInterrupts, k.pInterrupts + k.ulInterruptCount);
    for (InterruptConfig& i : s_interrupts) {
      if (InterruptEvent(i.inhno) == kFpgaIrqEvent) i.inthdr = RigFpgaInterrupt;
    }
    s_config = k;
    s_config.pInterrupts = s_interrupts.data();
  }
  return s_config;
}

// A traced access without its time, for comparisons.
struct Access {
  bool bWrite;
  PhysAddr addr;
  uint32_t value;
  bool operator==(const Access&) const = default;
};

inline void PrintTo(const Access& a, std::ostream* os) {
  *os << (a.bWrite ? "W " : "R ") << std::hex << a.addr << "=" << a.value;
}

class BoardTest : public testsupport::MachineTest {
 protected:
  // Boots a machine whose application runs `body` and then logs
  // "[test] done"; the test prepares the models, then calls Run.
  sim::Machine& BootWith(std::function<void()> body, sim::MachineOptions options = {}) {
    options.kernel = &RigKernel();
    options.appEntry = [body = std::move(body)] {
      body();
      syslog(LOG_EMERG, "[test] done");
      for (;;) CpuRelax();
    };
    return Boot(std::move(options));
  }
  void Run(sim::Nanos limit = kRunLimit) {
    ASSERT_EQ(m_machine->RunUntil([&] { return m_machine->Logged("[test] done"); }, limit),
              sim::RunResult::ConditionMet);
  }

  sim::Board& TheBoard() { return m_machine->GetBoard(); }
  sim::FpgaMainBlock& Fpga() { return *TheBoard().FindDevice<sim::FpgaMainBlock>(); }
  sim::FpgaConfigPort& ConfigPort() { return *TheBoard().FindDevice<sim::FpgaConfigPort>(); }
  sim::GpioController& Gpio() { return *TheBoard().FindDevice<sim::GpioController>(); }
  sim::NorFlash& Flash() { return *TheBoard().FindDevice<sim::NorFlash>(); }
  sim::BusTrace& Trace() { return TheBoard().GetBus().Trace(); }

  // The traced accesses within [first, last].
  std::vector<Access> Traced(PhysAddr first, PhysAddr last,
                             sim::BusTrace::Kind kind = sim::BusTrace::Kind::Writes) {
    std::vector<Access> out;
    for (const sim::BusAccess& a : Trace().In(first, last, kind)) out.push_back({a.bWrite, a.addr, a.value});
    return out;
  }

  // The records logged from index `from` on whose text is one of `texts`,
  // in their order.
  std::vector<std::string> LoggedAmong(const std::vector<std::string>& texts, size_t from = 0) {
    std::vector<std::string> out;
    const auto& log = m_machine->Log();
    for (size_t i = from; i < log.size(); ++i) {
      for (const std::string& t : texts) {
        if (log[i].text == t) out.push_back(t);
      }
    }
    return out;
  }

  void TearDown() override {
    g_fpgaIrqWork = nullptr;
    testsupport::MachineTest::TearDown();
  }
};

// Inside a body: the board of the running machine.
inline sim::FpgaMainBlock& BoardFpga() { return *sim::Board::Current().FindDevice<sim::FpgaMainBlock>(); }
inline sim::Cpu& BoardCpu() { return sim::Board::Current().GetCpu(); }

}  // namespace boardrig
