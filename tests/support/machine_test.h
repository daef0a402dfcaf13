// The fixture of system tests: one virtual printer per test (each test runs
// in its own process under CTest), a private temporary directory, and a
// check after every test that the board saw no fault the test did not
// declare.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "sim/machine.h"
#include "sim/panel/panel.h"
#include "tests/support/sample_printer.h"
#include "tests/support/temp_dir.h"

namespace testsupport {

class MachineTest : public ::testing::Test {
 protected:
  sim::Machine& Boot(sim::MachineOptions options = {}) {
    m_machine = std::make_unique<sim::Machine>(std::move(options));
    return *m_machine;
  }
  // A new printer out of the box: a state directory of its own with the
  // sample printer's flash and EEPROMs (sample_printer.h), so it starts up
  // without an error.
  sim::Machine& BootNewPrinter(sim::MachineOptions options = {}, const SamplePrinter& printer = {}) {
    options.stateDir = MakeTempDir();
    std::string error;
    if (!ProvisionSamplePrinter(options.stateDir, printer, &error)) ADD_FAILURE() << error;
    return Boot(std::move(options));
  }
  // A new printer at its ready line (the machine's default media).
  void BootReadyPrinter();
  void TearDown() override {
    if (!m_machine) return;
    for (const std::string& fault : m_machine->UnexpectedFaults()) ADD_FAILURE() << "board fault: " << fault;
    if (HasFailure()) {
      // The end of the console says where the printer was.
      const std::string& console = m_machine->Console();
      const size_t from = console.size() > kConsoleTail ? console.size() - kConsoleTail : 0;
      std::fprintf(stderr, "---- console at %llu ns (last %zu bytes) ----\n%s----\n",
                   static_cast<unsigned long long>(m_machine->Now()), console.size() - from, console.c_str() + from);
    }
  }
  static constexpr size_t kConsoleTail = 3000;
  std::unique_ptr<sim::Machine> m_machine;
};

// A test of one layer: the application task runs `body` in place of the
// firmware's start-up and main loop, then logs "[test] done"; the machine
// runs until then (the test fails when `limit` passes first).
class AppBodyTest : public MachineTest {
 protected:
  void RunInApp(std::function<void()> body, sim::Nanos limit, sim::MachineOptions options = {}) {
    static std::function<void()> s_body;
    s_body = std::move(body);
    options.appEntry = [] {
      s_body();
      syslog(LOG_NOTICE, "[test] done");
    };
    sim::Machine& m = Boot(std::move(options));
    ASSERT_EQ(m.RunUntil([&] { return m.Logged("[test] done"); }, limit), sim::RunResult::ConditionMet);
  }
};

inline constexpr sim::Nanos Ms(uint64_t ms) { return ms * sim::kNsPerMs; }

// The LCD line of a ready printer with the machine's default media: colour
// 8x10 ribbons in both units ("Ribbon Status" 0).
inline constexpr const char* kReadyLine = "8x10 YMC-YMC    ";

// From power-on to the application entry: MainTask's start-up, dominated by
// the USB PHY's reset wait when the driver opens.
inline constexpr sim::Nanos kStartUp = Ms(1100);
// A fresh state directory's blank EEPROMs are formatted at the first start
// (every byte and then every cell's default, each a programming cycle of
// the part): add this to the first boot's limits.
inline constexpr sim::Nanos kFirstBootFormat = Ms(4000);
// Every start-up copies the main EEPROM to its backup device while the
// backup's "Eeprom Backup" byte asks for it (a blank backup does): 512
// programming cycles before the DSP step.
inline constexpr sim::Nanos kEepromBackup = Ms(3000);
// From power-on to a new printer's ready state, as a limit: the start-up
// with its EEPROM backup, then the first start's tone-curve banks, the CIS
// gains, the head supply's walk to its rest step and the mechanism's home
// run.
inline constexpr sim::Nanos kSettleToReady = kStartUp + kEepromBackup + Ms(8000);

inline void MachineTest::BootReadyPrinter() {
  BootNewPrinter();
  auto& lcd = *m_machine->GetBoard().FindDevice<sim::LcdController>();
  m_machine->RunUntil([&lcd] { return lcd.Visible() == kReadyLine; }, kSettleToReady + kFirstBootFormat);
  ASSERT_EQ(lcd.Visible(), kReadyLine);
}

}  // namespace testsupport
