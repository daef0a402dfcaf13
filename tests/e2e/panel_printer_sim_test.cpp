// The panel of printer-sim driven from outside: a script file checked
// before the boot (a bad line refuses the run with exit code 2 and names
// the line), a script played in virtual time from power-on, and lines fed
// through a pipe into a paced printer's standard input, as a person at a
// terminal types them. Each printer has its own state directory and bus.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <string>
#include <vector>

#include "tests/e2e/child_process.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr int kRunLimitMs = 180000;

class PanelPrinterSim : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = testsupport::MakeTempDir("e2e-panel");
    m_bus = m_dir + "/bus";
    mkdir(m_bus.c_str(), 0700);
  }

  // A state directory provisioned as the sample printer leaves the factory.
  std::string ProvisionedState(const std::string& name) {
    const std::string state = m_dir + "/" + name;
    mkdir(state.c_str(), 0700);
    const std::vector<std::vector<std::string>> steps = {
        {BOM_EEPROM_PATH, "serial", state, "R1234567"},
        {BOM_IMAGES_PATH, "flash", state + "/flash.bin", "--cis-serial", "R1234567"},
    };
    for (size_t i = 0; i < steps.size(); ++i) {
      e2e::ChildProcess run(steps[i], m_dir + "/" + name + "-provisioning-" + std::to_string(i) + ".log");
      EXPECT_TRUE(run.WaitExit(30000));
      EXPECT_EQ(run.Stop(), 0) << run.Log();
    }
    return state;
  }

  std::string WriteScript(const std::string& name, const std::string& text) {
    const std::string path = m_dir + "/" + name;
    std::ofstream(path) << text;
    return path;
  }

  std::string m_dir;
  std::string m_bus;
};

TEST_F(PanelPrinterSim, AScriptWithAnUnknownKeyIsRefusedBeforeTheBootNamingItsLine) {
  const std::string script = WriteScript("bad.panel", "# the Menu key twice\nmenu\nwait 500\ntap menu+okay\n");
  e2e::ChildProcess printer({PRINTER_SIM_PATH, "--state", m_dir + "/never-booted", "--usb-bus", m_bus, "--virtual",
                             "--panel-script", script},
                            m_dir + "/bad.log");
  ASSERT_TRUE(printer.WaitExit(kRunLimitMs));
  EXPECT_EQ(printer.ExitCode(), 2);
  const std::string log = printer.Log();
  EXPECT_NE(log.find("line 4: 'menu+okay' is not a key"), std::string::npos) << log;
  EXPECT_NE(log.find("menu enter feed advance clear inc dec + -"), std::string::npos) << log;
  EXPECT_EQ(log.find("[board] boot"), std::string::npos) << "refused before the boot: " << log;
}

// The Diagnostics chord held at power-on: its name during the start-up;
// at idle the Menu key opens the Diagnostics menu, and Enter on "Status
// Print    " closes the menus (the printer back at its ready line).
TEST_F(PanelPrinterSim, ADiagnosticsChordAtPowerOnAndTheMenuKeyInVirtualTime) {
  const std::string state = ProvisionedState("diagnostics");
  const std::string script = WriteScript("diagnostics.panel",
                                         "press inc+dec+feed\n"
                                         "wait-lcd \"Diagnostics     \" 30000\n"
                                         "release\n"
                                         "wait-lcd \"8x10 YMC-YMC\" 60000\n"
                                         "menu\n"
                                         "wait-lcd \"Diagnostics     \" 3000\n"
                                         "menu\nmenu\nmenu\nmenu\nmenu\n"
                                         "wait-lcd \"Status Print    \" 3000\n"
                                         "enter\n"
                                         "wait-lcd \"8x10 YMC-YMC\" 10000\n"
                                         "end\n");
  e2e::ChildProcess printer(
      {PRINTER_SIM_PATH, "--state", state, "--usb-bus", m_bus, "--virtual", "--panel-script", script},
      m_dir + "/diagnostics.log");
  ASSERT_TRUE(printer.WaitExit(kRunLimitMs));
  const std::string log = printer.Log();
  EXPECT_EQ(printer.ExitCode(), 0) << log;
  const size_t startUp = log.find("[lcd] |Diagnostics     |");
  const size_t menuKey = log.find("ms tap menu");
  ASSERT_NE(startUp, std::string::npos) << log;
  ASSERT_NE(menuKey, std::string::npos) << log;
  EXPECT_LT(startUp, menuKey);
  EXPECT_NE(log.find("[lcd] |Diagnostics     |", menuKey), std::string::npos) << "the menu's first item: " << log;
  const size_t enterKey = log.find("ms tap enter", log.find("[lcd] |Status Print    |", menuKey));
  ASSERT_NE(enterKey, std::string::npos) << log;
  EXPECT_NE(log.find("[lcd] |8x10 YMC-YMC    |", enterKey), std::string::npos) << log;
  EXPECT_NE(log.find("ms press feed+inc+dec"), std::string::npos) << log;
  EXPECT_NE(log.find("ms end"), std::string::npos) << log;
}

// A paced printer takes its lines from a pipe: the Maintenance chord at
// power-on, the Menu key at idle opens the Maintenance menu, ten more steps
// reach "Serial Number   ", and Enter shows the serial the printer was
// provisioned with.
TEST_F(PanelPrinterSim, PacedLinesThroughAPipeWalkToTheSerialNumber) {
  const std::string state = ProvisionedState("maintenance");
  const std::string lines = WriteScript("typed.txt",
                                        "press enter+inc\n"
                                        "wait-lcd \"Maintenance     \" 30000\n"
                                        "release\n"
                                        "push the button\n"
                                        "wait-lcd \"8x10 YMC-YMC\" 60000\n"
                                        "menu\n"
                                        "wait-lcd \"MntPrintCounter \" 3000\n"
                                        "menu\nmenu\nmenu\nmenu\nmenu\nmenu\nmenu\nmenu\nmenu\nmenu\n"
                                        "wait-lcd \"Serial Number   \" 3000\n"
                                        "enter\n"
                                        "wait-lcd \"        R1234567\" 3000\n"
                                        "clear\n"
                                        "wait-lcd \"Serial Number   \" 3000\n"
                                        "clear\n"
                                        "wait-lcd \"8x10 YMC-YMC\" 3000\n"
                                        "end\n");
  const std::string command = std::string("cat '") + lines + "' | '" + PRINTER_SIM_PATH + "' --state '" + state +
                              "' --usb-bus '" + m_bus + "' --paced=8 --panel=stdin";
  e2e::ChildProcess printer({"/bin/sh", "-c", command}, m_dir + "/maintenance.log");
  ASSERT_TRUE(printer.WaitExit(kRunLimitMs));
  const std::string log = printer.Log();
  EXPECT_EQ(printer.ExitCode(), 0) << log;
  EXPECT_NE(log.find("line 4: unknown word 'push'; the words are: menu enter"), std::string::npos)
      << "a bad typed line is named and skipped: " << log;
  const size_t menuKey = log.find("ms tap menu");
  ASSERT_NE(menuKey, std::string::npos) << log;
  const size_t firstItem = log.find("[lcd] |MntPrintCounter |", menuKey);
  const size_t serialItem = log.find("[lcd] |Serial Number   |", firstItem);
  const size_t enterKey = log.find("ms tap enter", serialItem);
  EXPECT_NE(firstItem, std::string::npos) << log;
  EXPECT_NE(serialItem, std::string::npos) << log;
  EXPECT_NE(log.find("[lcd] |        R1234567|", enterKey), std::string::npos) << log;
  EXPECT_NE(log.find("ms end"), std::string::npos) << log;
}

}  // namespace
