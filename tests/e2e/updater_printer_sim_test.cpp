// The firmware-package updater end to end: the real BOM7300upgrade program,
// over the real library and BOM7300UsbCtrl, updates two printer-sim
// processes on a bus directory of the test's own with a package made by
// `bom-images package`. Each printer restarts after each file; the updater
// waits for it as its ini file says.
//
// The printers run paced at factor 1, so their time and the updater's
// GetTickCount agree, and the ini's waits are the short ones of
// update_waits.h, which the system test update_restart_times_test checks
// against the model's update-and-restart times. Standard input is at end
// of file. Whether a printer answers kt_status is asked by the status probe
// (status_probe_main.cpp), a host program over the same library.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "host_result_codes.h"
#include "sim/exit_codes.h"
#include "tests/e2e/printer_sim_bus.h"
#include "tests/e2e/update_waits.h"
#include "tools/images/dsp_image.h"
#include "tools/images/flash_map.h"
#include "tools/images/main_image.h"
#include "tools/images/table_image.h"
#include "transcript.h"

namespace {

using Bytes = std::vector<uint8_t>;
using namespace updater_transcript;

// The package's version and date; the printers' flash holds 02.10 of
// 2024/01/15.
constexpr char kVersion[] = "03.07";
constexpr char kDate[] = "2026/03/07";
// The pause before the updater ends.
constexpr char kDispWaitMs[] = "500";
// Bounds of waits, never expectations.
constexpr int kToolLimitMs = 60000;
constexpr int kUpdaterLimitMs = 480000;
constexpr int kStopLimitMs = 20000;

// What each printer runs with.
const std::vector<std::string> kComesBack = {"--paced=1", "--on-reset=exec"};
const std::vector<std::string> kStaysDown = {"--paced=1", "--on-reset=exit"};

Bytes ReadBytes(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The flash from `offset` holds the file.
bool AreaHolds(const Bytes &flash, uint32_t offset, const Bytes &file) {
  return !file.empty() && flash.size() >= offset + file.size() &&
         std::equal(file.begin(), file.end(), flash.begin() + offset);
}

// The count of `text` in `log`.
size_t Occurrences(const std::string &log, const std::string &text) {
  size_t n = 0;
  for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
  return n;
}

// True when the texts stand in `log` in this order.
bool InOrder(const std::string &log, const std::vector<std::string> &texts) {
  size_t at = 0;
  for (const std::string &text : texts) {
    at = log.find(text, at);
    if (at == std::string::npos) return false;
    at += text.size();
  }
  return true;
}

// What a printer shows from power-on through the MAIN, DSP and TABLE
// updates, restarting after each.
const std::vector<std::string> kThreeUpdates = {
    "[board] boot 1",     "[lcd] |Checking...     |", "[lcd] |System Reset... |", "[board] boot 2",
    "[lcd] |DSP update ...  |", "[lcd] |System reset... |", "[board] boot 3", "[lcd] |TABLE update ...|",
    "[lcd] |System reset... |", "[board] boot 4"};

// The record of a component as the package's images carry it.
Record PackageRecord(std::string name, std::string type) {
  type.resize(16, ' ');
  return Record{std::move(name), std::move(type), kDate, kVersion};
}

// The updater's output with each countdown (the lines it rewrites in place)
// replaced by "<countdown>"; the seconds each one showed go to `shown`.
std::string WithoutCountdowns(const std::string &output, std::vector<std::vector<int>> *shown) {
  static const std::regex kLine("Waiting for the printer to finish rewriting firmware\\.  Remaining (\\d+) sec\\.  \\r");
  std::string rest;
  size_t copied = 0;
  for (auto it = std::sregex_iterator(output.begin(), output.end(), kLine); it != std::sregex_iterator(); ++it) {
    const size_t at = static_cast<size_t>(it->position());
    if (shown->empty() || at != copied) {
      rest += output.substr(copied, at - copied) + "<countdown>";
      shown->emplace_back();
    }
    shown->back().push_back(std::stoi((*it)[1]));
    copied = at + static_cast<size_t>(it->length());
  }
  return rest + output.substr(copied);
}

class UpdaterOverTheCable : public e2e::PrinterSimBusTest {
 protected:
  struct Printer {
    std::string name;
    std::string serial;
    std::string port;
    std::unique_ptr<e2e::ChildProcess> process;
  };

  // A run that passed leaves nothing behind; a failed one keeps its logs,
  // state directories and package.
  void TearDown() override {
    for (Printer &p : m_printers) p.process.reset();
    if (!HasFailure()) std::filesystem::remove_all(m_dir);
  }

  // Two printers in the order of the library's list (by their ports on
  // the bus), with distinct serial numbers; the second runs with
  // `secondOptions`. Returns when both are ready.
  void StartPrinters(const std::vector<std::string> &secondOptions) {
    m_printers[0].name = "a";
    m_printers[1].name = "b";
    if (PortOf("a") > PortOf("b")) std::swap(m_printers[0].name, m_printers[1].name);
    const char *serials[2] = {"P7300021", "P7300022"};
    for (int i = 0; i < 2; ++i) {
      Printer &p = m_printers[i];
      p.serial = serials[i];
      p.port = PortOf(p.name);
      p.process = StartPrinter(p.name, p.serial, i == 0 ? kComesBack : secondOptions);
    }
    ASSERT_TRUE(WaitForPorts({m_printers[0].port, m_printers[1].port})) << Logs();
    // Ready, with printer-sim's default media: colour 8x10 ribbons in both units.
    for (Printer &p : m_printers) {
      ASSERT_TRUE(e2e::PollUntil([&] { return p.process->Log().find("[lcd] |8x10 YMC-YMC    |") != std::string::npos; },
                                 e2e::kBootLimitMs))
          << p.process->Log();
      ASSERT_EQ(StatusOf(p.serial), RESULT_OK) << p.process->Log();
    }
  }

  // The package, with the short waits after each file.
  void MakePackage() {
    m_package = m_dir + "/package";
    e2e::ChildProcess tool({BOM_IMAGES_PATH, "package", m_package, "--version", kVersion, "--date", kDate,
                            "--wait-ms", kDispWaitMs},
                           m_dir + "/package.log");
    ASSERT_TRUE(tool.WaitExit(kToolLimitMs));
    ASSERT_EQ(tool.Stop(), 0) << tool.Log();
    const std::string ini = m_package + "/update.ini";
    std::string text = ReadText(ini);
    for (const auto &[key, ms] : {std::pair<std::string, uint32_t>{"MAIN_WAIT_TIME", e2e::kMainWaitMs},
                                  {"DSP_WAIT_TIME", e2e::kDspWaitMs},
                                  {"TABLE_WAIT_TIME", e2e::kTableWaitMs}}) {
      text = std::regex_replace(text, std::regex(key + "=\\d+"), key + "=" + std::to_string(ms));
    }
    std::ofstream(ini, std::ios::trunc) << text;
    for (const char *name : {"MAIN.BIN", "DSP.BIN", "TABLE.BIN"}) m_files.push_back(ReadBytes(m_package + "/" + name));
  }

  // BOM7300upgrade update.ini, in the package's directory, to its end; its
  // output.
  std::string RunUpdater() {
    e2e::ChildProcess updater({UPDATER_PATH, "update.ini"}, m_dir + "/updater.log", m_package);
    EXPECT_TRUE(updater.WaitExit(kUpdaterLimitMs)) << updater.Log() << Logs();
    EXPECT_EQ(updater.Stop(), 0);
    return updater.Log();
  }

  // kt_status of the printer with this serial, asked by the status probe
  // (a host process of its own): its result code, or the code of the step
  // that failed; -1 when the probe gave no answer.
  int StatusOf(const std::string &serial) {
    const std::string log = m_dir + "/status-probe-" + std::to_string(m_probes++) + ".log";
    e2e::ChildProcess probe({STATUS_PROBE_PATH, serial}, log);
    if (!probe.WaitExit(e2e::kNoticeLimitMs) || probe.Stop() != 0) return -1;
    const std::string answer = probe.Log();
    if (answer.rfind(serial + " ", 0) != 0) return -1;
    return std::stoi(answer.substr(serial.size() + 1));
  }

  // The flash's MAIN, DSP and TABLE areas hold the package's files.
  void ExpectPackageInFlash(const Printer &p, int files) {
    const Bytes flash = ReadBytes(StateDir(p.name) + "/flash.bin");
    const uint32_t areas[3] = {images::kAreaMain.offset, images::kAreaDsp.offset, images::kAreaTable.offset};
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(AreaHolds(flash, areas[i], m_files[static_cast<size_t>(i)]), i < files) << p.name << " area " << i;
    }
  }

  // The transcript up to the end of the first printer, which takes the
  // whole package and is read back.
  std::string FirstPrinterUpdated() const {
    return kBanner + FileList("MAIN.BIN", "DSP.BIN", "TABLE.BIN") + Start(2) + WholePackage(1, m_printers[0].serial);
  }
  static std::string WholePackage(int number, const std::string &serial) {
    const images::MainImageParams main;
    const images::DspImageParams dsp;
    const images::TableImageParams table;
    return PrinterHeading(number, serial) + Sent(kMain, "<countdown>") + Sent(kDsp, "<countdown>") +
           Sent(kTable, "<countdown>") +
           ReadBack(PackageRecord(main.programName, main.programType), PackageRecord(dsp.programName, dsp.programType),
                    PackageRecord(table.programName, table.programType)) +
           "\n";
  }

  // Each countdown showed its file's wait in whole seconds, counting down.
  static void ExpectCountdowns(const std::vector<std::vector<int>> &shown, size_t files) {
    ASSERT_EQ(shown.size(), files);
    const uint32_t waits[3] = {e2e::kMainWaitMs, e2e::kDspWaitMs, e2e::kTableWaitMs};
    for (size_t i = 0; i < files; ++i) {
      SCOPED_TRACE(i);
      ASSERT_FALSE(shown[i].empty());
      EXPECT_LE(shown[i].front(), static_cast<int>(waits[i % 3] / 1000));
      EXPECT_TRUE(std::is_sorted(shown[i].rbegin(), shown[i].rend()));
    }
  }

  static std::string ReadText(const std::string &path) {
    const Bytes bytes = ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
  }
  std::string Logs() const {
    std::string text;
    for (const Printer &p : m_printers) {
      if (p.process) text += "\n---- printer " + p.serial + " ----\n" + p.process->Log();
    }
    return text;
  }

  Printer m_printers[2];
  std::string m_package;
  std::vector<Bytes> m_files;  // MAIN, DSP, TABLE
  int m_probes = 0;
};

// Both printers take MAIN, DSP and TABLE in list order, restart after each
// and are read back with the package's records; their flash then holds
// the package and both answer.
TEST_F(UpdaterOverTheCable, UpdatesEveryPrinterWithTheWholePackage) {
  ASSERT_NO_FATAL_FAILURE(MakePackage());
  ASSERT_NO_FATAL_FAILURE(StartPrinters(kComesBack));
  const std::string output = RunUpdater();

  std::vector<std::vector<int>> shown;
  EXPECT_EQ(WithoutCountdowns(output, &shown), FirstPrinterUpdated() + WholePackage(2, m_printers[1].serial))
      << Logs();
  ExpectCountdowns(shown, 6);
  for (const Printer &p : m_printers) {
    SCOPED_TRACE(p.serial);
    const std::string log = p.process->Log();
    EXPECT_TRUE(InOrder(log, kThreeUpdates)) << log;
    EXPECT_EQ(Occurrences(log, "[board] boot "), 4u) << log;
    ExpectPackageInFlash(p, 3);
    EXPECT_EQ(StatusOf(p.serial), RESULT_OK);
  }
}

// The second printer does not come back from its MAIN update: the updater
// cannot find it for its DSP file, says so and stops. The first printer,
// updated already, receives nothing more and still answers.
TEST_F(UpdaterOverTheCable, APrinterThatDoesNotComeBackStopsTheRun) {
  ASSERT_NO_FATAL_FAILURE(MakePackage());
  ASSERT_NO_FATAL_FAILURE(StartPrinters(kStaysDown));
  const std::string output = RunUpdater();

  std::vector<std::vector<int>> shown;
  EXPECT_EQ(WithoutCountdowns(output, &shown),
            FirstPrinterUpdated() + PrinterHeading(2, m_printers[1].serial) + Sent(kMain, "<countdown>") +
                Failed(kDsp, "Error: Printer with selected number is not found.(1008)\n"))
      << Logs();
  ExpectCountdowns(shown, 4);

  const Printer &first = m_printers[0];
  const Printer &second = m_printers[1];
  EXPECT_EQ(StatusOf(first.serial), RESULT_OK);
  EXPECT_EQ(StatusOf(second.serial), RESULT_PRINTER_NOT_FOUND);
  EXPECT_EQ(first.process->Stop(SIGTERM, kStopLimitMs), sim::kExitEnded);
  const std::string log = first.process->Log();
  EXPECT_TRUE(InOrder(log, kThreeUpdates)) << log;
  EXPECT_EQ(Occurrences(log, "[board] boot "), 4u) << log;
  EXPECT_EQ(Occurrences(log, "[lcd] |DSP update ...  |"), 1u) << log;
  ExpectPackageInFlash(first, 3);

  ASSERT_TRUE(second.process->WaitExit(kStopLimitMs));
  EXPECT_EQ(second.process->ExitCode(), sim::kExitWatchdogRestart);
  EXPECT_EQ(Occurrences(second.process->Log(), "[board] boot "), 1u);
  ExpectPackageInFlash(second, 1);
}

}  // namespace
