// The panel language on the whole printer (sim::Machine, as printer-sim
// plays it): key actions at virtual time with their console lines, a
// wait-lcd that gives up, and the Menu key's action while the host talks
// to the printer: the menu keeps answering host commands, the host sees the
// printer in operation until the menu is left.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "firmware/control/host_status_table.h"
#include "firmware/control/idle_supervisor.h"
#include "firmware/devices/main_loop_stop.h"
#include "firmware/hostif/usb_command_test_support.h"
#include "protocol/codes.h"
#include "sim/panel/panel.h"
#include "sim/panel/panel_player.h"
#include "sim/usb/usb_host_port.h"
#include "tests/support/machine_test.h"

namespace {

using hostiftest::Command;
using testsupport::Ms;

class PanelMenu : public testsupport::MachineTest {
 protected:
  void SetUp() override {
    BootNewPrinter();
    ASSERT_TRUE(Play("wait-lcd \"" + std::string(testsupport::kReadyLine) + "\" 20000\n", testsupport::kSettleToReady));
    ASSERT_TRUE(m_machine->UsbHost().WaitForConfigured(Ms(5000)));
  }
  bool Play(const std::string& script, sim::Nanos limit = Ms(10000)) {
    std::string error;
    const bool bPlayed = m_machine->RunPanelScript(script, limit, &error);
    EXPECT_TRUE(bPlayed) << error;
    return bPlayed;
  }
  // The virtual times of the console's "[panel]" lines that end in `what`.
  std::vector<uint64_t> PanelTimes(const std::string& what) {
    std::vector<uint64_t> times;
    const std::string& console = m_machine->Console();
    for (size_t at = console.find("[panel] "); at != std::string::npos; at = console.find("[panel] ", at + 1)) {
      const size_t end = console.find('\n', at);
      const std::string line = console.substr(at, end - at);
      if (line.size() >= what.size() && line.compare(line.size() - what.size(), what.size(), what) == 0) {
        times.push_back(std::strtoull(line.c_str() + 8, nullptr, 10));
      }
    }
    return times;
  }
};

TEST_F(PanelMenu, AHostRequestIsAnsweredWhileTheMenuWaitsForAKey) {
  ASSERT_TRUE(m_machine->RunStep([] { g_usServiceMode = 3; }, Ms(1000)));
  ASSERT_TRUE(Play("menu\nwait-lcd \"MntPrintCounter \" 3000\n"));
  EXPECT_EQ(GetStatusItem(SI_PRINTER_STATE), static_cast<uint32_t>(protocol::PRINTER_STATE_OPERATION));

  const hostiftest::Reply reply = Command(m_machine->UsbHost(), protocol::CMD_GET_SERIAL_NO, {}, Ms(3000));
  ASSERT_EQ(reply.outcome, sim::UsbOutcome::Done);
  EXPECT_EQ(std::string(reply.data.begin(), reply.data.end()), testsupport::kSampleSerial);
  EXPECT_EQ(m_machine->GetBoard().FindDevice<sim::LcdController>()->Visible(), "MntPrintCounter ")
      << "the menu is still open";

  ASSERT_TRUE(Play("clear\nwait-lcd \"" + std::string(testsupport::kReadyLine) + "\" 3000\nwait 100\n"));
  EXPECT_NE(GetStatusItem(SI_PRINTER_STATE), static_cast<uint32_t>(protocol::PRINTER_STATE_OPERATION));
}

// Each key line acts at virtual now and is one console line; a tap holds
// its keys and then leaves them up for the key gap; "end" ends the script
// and what follows it is not played.
TEST_F(PanelMenu, KeyLinesActAtVirtualTimeAndEndStopsTheScript) {
  sim::PanelKeys& keys = m_machine->Keys();
  ASSERT_TRUE(m_machine->PlayPanelScript("press inc\nwait 300\nhold 700 dec+feed\nrelease\nwait 50\nend\nmenu\n"));
  m_machine->RunFor(Ms(100));
  EXPECT_TRUE(keys.IsPressed(sim::PanelKey::Inc));
  m_machine->RunUntil([this] { return m_machine->Panel().Ended(); }, Ms(5000));
  ASSERT_TRUE(m_machine->Panel().Ended());
  EXPECT_FALSE(keys.IsPressed(sim::PanelKey::Inc));

  const std::vector<uint64_t> press = PanelTimes("press inc");
  const std::vector<uint64_t> hold = PanelTimes("tap feed+dec 700 ms");
  const std::vector<uint64_t> release = PanelTimes("release all");
  const std::vector<uint64_t> end = PanelTimes("end");
  ASSERT_EQ(press.size(), 1u);
  ASSERT_EQ(hold.size(), 1u);
  ASSERT_EQ(release.size(), 1u);
  ASSERT_EQ(end.size(), 1u);
  EXPECT_EQ(hold[0] - press[0], 300u);
  EXPECT_EQ(release[0] - hold[0], 700u + 100u);
  EXPECT_EQ(end[0] - release[0], 100u + 50u);
  EXPECT_TRUE(PanelTimes("tap menu 200 ms").empty()) << "nothing after end";
}

TEST_F(PanelMenu, AWaitLcdThatDoesNotSeeItsTextStopsTheScriptNamingItsLine) {
  std::string error;
  EXPECT_FALSE(m_machine->RunPanelScript("wait 10\nwait-lcd \"No Such Line\" 200\nmenu\n", Ms(5000), &error));
  EXPECT_EQ(error.rfind("line 2: wait-lcd \"No Such Line\": not shown within 200 ms", 0), 0u) << error;
  EXPECT_TRUE(PanelTimes("tap menu 200 ms").empty()) << "the lines after a failed wait are dropped";

  EXPECT_FALSE(m_machine->PlayPanelScript("menu\nmenu\npress nothing\n", &error));
  EXPECT_EQ(error.rfind("line 3: 'nothing' is not a key", 0), 0u) << error;
  EXPECT_TRUE(m_machine->Panel().Idle()) << "a refused script plays nothing";
}

// Enter and Clear held through the start-up's mode window end the
// application: the main loop never runs a pass and the kernel ends.
class PanelStartUp : public testsupport::MachineTest {};

TEST_F(PanelStartUp, TheUserModeChordEndsTheApplicationBeforeTheMainLoop) {
  sim::MachineOptions options;
  options.bStopAtKernelEnd = true;
  sim::Machine& m = BootNewPrinter(std::move(options));
  // The loop's first stop check follows the board's idle step.
  uint32_t ulStopAtFirstCheck = 0;
  m.AtNextPass([&ulStopAtFirstCheck] { ulStopAtFirstCheck = g_ulMainLoopStop; });
  ASSERT_TRUE(m.PlayPanelScript("press enter+clear\n"));
  EXPECT_EQ(m.RunFor(testsupport::kSettleToReady), sim::RunResult::Ended);
  EXPECT_EQ(ulStopAtFirstCheck, 1u) << "the main loop stops before its first pass";
  for (const sim::LcdController::Screen& screen : m.GetBoard().FindDevice<sim::LcdController>()->Screens()) {
    EXPECT_NE(screen.text, testsupport::kReadyLine) << "no printer state drew its line";
  }
  EXPECT_EQ(g_ulMainLoopStop, 1u);
  EXPECT_NE(m.FindLog("[MAIN] g_ucRibbonControlType = 1 "), sim::Machine::npos) << "the start-up ran to the window";
}

}  // namespace
