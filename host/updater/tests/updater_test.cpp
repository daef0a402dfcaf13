// The updater against the scripted library: golden console transcripts of
// whole runs, what each printer received, the countdown and the ini file.
#include <unistd.h>
#include <win32_ext.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bom7300upgrade.h"
#include "host_result_codes.h"
#include "scripted_library.h"
#include "transcript.h"
#include "updater.h"

namespace updater_test {
namespace {

using Strings = std::vector<std::string>;

std::string g_output;
int g_keysRead = 0;

void Capture(const char *text) { g_output += text; }
int EndOfInput() {
  ++g_keysRead;
  return EOF;
}
void NoClear() {}

class UpdaterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedConsole_ = updater::g_Console;
    updater::g_Console = {Capture, EndOfInput, NoClear};
    W32X_VIRTUAL_CLOCK clock{5000, 0, 0};
    ASSERT_TRUE(W32X_UseVirtualClock(&clock));
    home_ = std::filesystem::current_path();
    root_ = std::filesystem::path(::testing::TempDir()) /
            ("updater-" + std::to_string(getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    FreshRun();
  }
  void TearDown() override {
    std::filesystem::current_path(home_);
    std::filesystem::remove_all(root_);
    updater::g_Console = savedConsole_;
    EXPECT_TRUE(W32X_UseRealClock());
  }

  // A clean start for one run: its own current directory, no printers, no
  // output, nothing configured, and the time counted from here.
  void FreshRun() {
    scripted_library::Reset();
    g_output.clear();
    g_keysRead = 0;
    updater::g_UpdaterConfig = {};
    const std::filesystem::path dir = root_ / std::to_string(runs_++);
    std::filesystem::create_directories(dir);
    std::filesystem::current_path(dir);
    start_ = W32X_ClockNow();
  }

  static void WriteFile(const std::string &name, const std::string &content) {
    std::ofstream(name, std::ios::binary) << content;
  }
  uint64_t Elapsed() const { return W32X_ClockNow() - start_; }

  updater::Console savedConsole_{};
  std::filesystem::path home_;
  std::filesystem::path root_;
  int runs_ = 0;
  uint64_t start_ = 0;
};

// ---- Pieces of the transcripts ------------------------------------------------

using namespace updater_transcript;

std::string Countdown(const std::vector<int> &seconds) {
  std::string text;
  for (int s : seconds) text += CountdownLine(s);
  return text;
}
// A download that went, and its countdown showing `seconds`.
std::string SentMain(const std::vector<int> &seconds = {0}) { return Sent(kMain, Countdown(seconds)); }
std::string SentDsp(const std::vector<int> &seconds = {0}) { return Sent(kDsp, Countdown(seconds)); }
std::string SentTable(const std::vector<int> &seconds = {0}) { return Sent(kTable, Countdown(seconds)); }

// Firmware information as a printer reports it: the boot area, then MAIN,
// DSP and TABLE records with these names (short ones end in zero bytes).
std::vector<uint8_t> Info(const std::string &main, const std::string &dsp, const std::string &table) {
  std::vector<uint8_t> info(KT_FIRMWARE_INFO_SIZE, 0);
  info[0] = 4;
  const std::string names[4] = {"BOOT", main, dsp, table};
  for (int n = 0; n < 4; ++n) {
    uint8_t *record = info.data() + 1 + 38 * n;
    std::memcpy(record, names[n].data(), std::min<size_t>(names[n].size(), 8));
    std::memcpy(record + 8, "Program type 16c", 16);
    std::memcpy(record + 24, "2026/12/10", 10);
    record[34] = static_cast<uint8_t>(n + 1);
    record[35] = 0x2A;
  }
  return info;
}

std::string ReadBack(const std::string &main, const std::string &dsp, const std::string &table) {
  auto record = [](const std::string &name, int version) {
    return Record{name, "Program type 16c", "2026/12/10", "0" + std::to_string(version) + ".2a"};
  };
  return updater_transcript::ReadBack(record(main, 2), record(dsp, 3), record(table, 4));
}

const char kAllFiles[] =
    "[MAIN]\nFILEPATH=MAIN.BIN\n[DSP]\nFILEPATH=DSP.BIN\n[TABLE]\nFILEPATH=TABLE.BIN\n"
    "[TIME]\nMAIN_WAIT_TIME=0\nDSP_WAIT_TIME=0\nTABLE_WAIT_TIME=0\nDISP_WAIT_TIME=300\n";

scripted_library::PrinterScript Printer(const std::string &serial) {
  scripted_library::PrinterScript p;
  p.serial = serial;
  p.info = Info("MAIN0203", "DSP", "TBL00001");
  return p;
}

// ---- Whole runs -----------------------------------------------------------------

TEST_F(UpdaterTest, GoldenTranscripts) {
  struct Case {
    const char *what;
    const char *ini;  // null: no ini file
    std::map<std::string, std::string> files;
    std::function<void()> printers;
    std::string transcript;
    std::map<std::string, Strings> received;
    uint64_t elapsedMs;
  };
  const std::string package = std::string(300, 'P');
  const std::map<std::string, std::string> allFiles = {
      {"MAIN.BIN", package}, {"DSP.BIN", package}, {"TABLE.BIN", package}};
  const Strings all = {"MAIN", "DSP", "TABLE"};
  const std::string readBack = ReadBack("MAIN0203", "DSP", "TBL00001");
  const Case cases[] = {
      {"only MAIN configured: sent to every printer, nothing read back",
       "[MAIN]\nFILEPATH=MAIN.BIN\n[TIME]\nMAIN_WAIT_TIME=1000\nDISP_WAIT_TIME=300\n",
       {{"MAIN.BIN", package}},
       [] {
         scripted_library::AddPrinter(Printer("R0000001"));
         scripted_library::AddPrinter(Printer("R0000002"));
       },
       kBanner + FileList("MAIN.BIN", "None", "None") + Start(2) + PrinterHeading(1, "R0000001") + SentMain({1, 0}) +
           "No dsp downloadFile...\nNo Table downloadFile...\n\n" + PrinterHeading(2, "R0000002") +
           SentMain({1, 0}) + "No dsp downloadFile...\nNo Table downloadFile...\n\n",
       {{"R0000001", {"MAIN"}}, {"R0000002", {"MAIN"}}},
       1000 + 1000 + 300},
      {"the whole package to two printers, each read back",
       kAllFiles,
       allFiles,
       [] {
         scripted_library::AddPrinter(Printer("R0000001"));
         scripted_library::AddPrinter(Printer("R0000002"));
       },
       kBanner + FileList("MAIN.BIN", "DSP.BIN", "TABLE.BIN") + Start(2) + PrinterHeading(1, "R0000001") + SentMain() +
           SentDsp() + SentTable() + readBack + "\n" + PrinterHeading(2, "R0000002") + SentMain() + SentDsp() +
           SentTable() + readBack + "\n",
       {{"R0000001", all}, {"R0000002", all}},
       6 * 500 + 300},
      {"a file missing at start: no printer is touched",
       kAllFiles,
       {{"MAIN.BIN", package}, {"TABLE.BIN", package}},
       [] { scripted_library::AddPrinter(Printer("R0000001")); },
       kBanner + "File Data Open Error \n DSP program file size error.\n",
       {{"R0000001", {}}},
       0},
      {"no printer: the library cannot open the port",
       kAllFiles,
       allFiles,
       [] {},
       kBanner + FileList("MAIN.BIN", "DSP.BIN", "TABLE.BIN") + "Error: Cannot open the USB port.(1004)\n",
       {},
       300},
      {"no ini file: nothing is configured",
       nullptr,
       {},
       [] { scripted_library::AddPrinter(Printer("R0000001")); },
       kBanner + FileList("None", "None", "None") + Start(1) + PrinterHeading(1, "R0000001") +
           "No main downloadFile...\nNo dsp downloadFile...\nNo Table downloadFile...\n\n",
       {{"R0000001", {}}},
       1000},
      {"a failed DSP download on the second of three printers leaves the third untouched",
       kAllFiles,
       allFiles,
       [] {
         scripted_library::AddPrinter(Printer("R0000001"));
         scripted_library::PrinterScript busy = Printer("R0000002");
         busy.refusal[FIRMWARE_TYPE_DSP - 1] = RESULT_DOWNLOADING;
         scripted_library::AddPrinter(busy);
         scripted_library::AddPrinter(Printer("R0000003"));
       },
       kBanner + FileList("MAIN.BIN", "DSP.BIN", "TABLE.BIN") + Start(3) + PrinterHeading(1, "R0000001") + SentMain() +
           SentDsp() + SentTable() + readBack + "\n" + PrinterHeading(2, "R0000002") + SentMain() +
           "Downloading DSP file... [DSP.BIN]\nError: Download is being executed.(2107)\n",
       {{"R0000001", all}, {"R0000002", {"MAIN"}}, {"R0000003", {}}},
       4 * 500 + 300},
      {"a printer that does not come back from its restart stops the run; no other printer gets its file",
       kAllFiles,
       allFiles,
       [] {
         scripted_library::AddPrinter(Printer("R0000001"));
         scripted_library::PrinterScript gone = Printer("R0000002");
         gone.filesBeforeGone = 1;
         scripted_library::AddPrinter(gone);
       },
       kBanner + FileList("MAIN.BIN", "DSP.BIN", "TABLE.BIN") + Start(2) + PrinterHeading(1, "R0000001") + SentMain() +
           SentDsp() + SentTable() + readBack + "\n" + PrinterHeading(2, "R0000002") + SentMain() +
           "Downloading DSP file... [DSP.BIN]\nError: Printer with selected number is not found.(1008)\n",
       {{"R0000001", all}, {"R0000002", {"MAIN"}}},
       4 * 500 + 300},
      {"the first printer gone after its restart, the second still listed",
       kAllFiles,
       allFiles,
       [] {
         scripted_library::PrinterScript gone = Printer("R0000001");
         gone.filesBeforeGone = 1;
         scripted_library::AddPrinter(gone);
         scripted_library::AddPrinter(Printer("R0000002"));
       },
       kBanner + FileList("MAIN.BIN", "DSP.BIN", "TABLE.BIN") + Start(2) + PrinterHeading(1, "R0000001") + SentMain() +
           "Downloading DSP file... [DSP.BIN]\nError: Printer with selected number is not found.(1008)\n",
       {{"R0000001", {"MAIN"}}, {"R0000002", {}}},
       500 + 300},
      {"the list order changes with every session: each file still reaches its printer",
       kAllFiles,
       allFiles,
       [] {
         scripted_library::AddPrinter(Printer("R0000001"));
         scripted_library::AddPrinter(Printer("R0000002"));
         scripted_library::ReverseOrderEachSession(true);
       },
       kBanner + FileList("MAIN.BIN", "DSP.BIN", "TABLE.BIN") + Start(2) + PrinterHeading(1, "R0000001") + SentMain() +
           SentDsp() + SentTable() + readBack + "\n" + PrinterHeading(2, "R0000002") + SentMain() + SentDsp() +
           SentTable() + readBack + "\n",
       {{"R0000001", all}, {"R0000002", all}},
       6 * 500 + 300},
      {"an empty file is refused by the library",
       "[MAIN]\nFILEPATH=MAIN.BIN\n[TIME]\nDISP_WAIT_TIME=0\n",
       {{"MAIN.BIN", ""}},
       [] { scripted_library::AddPrinter(Printer("R0000001")); },
       kBanner + FileList("MAIN.BIN", "None", "None") + Start(1) + PrinterHeading(1, "R0000001") +
           "Downloading MAIN file... [MAIN.BIN]\nError: The specified parameter is not available.(1006)\n",
       {{"R0000001", {}}},
       0},
      {"a record count past the four records shows no more than the three it holds",
       "[MAIN]\nFILEPATH=MAIN.BIN\n[DSP]\nFILEPATH=DSP.BIN\n[TABLE]\nFILEPATH=TABLE.BIN\n"
       "[TIME]\nMAIN_WAIT_TIME=0\nDSP_WAIT_TIME=0\nTABLE_WAIT_TIME=0\nDISP_WAIT_TIME=0\n",
       allFiles,
       [] {
         scripted_library::PrinterScript odd = Printer("R0000001");
         odd.info[0] = 200;
         scripted_library::AddPrinter(odd);
       },
       kBanner + FileList("MAIN.BIN", "DSP.BIN", "TABLE.BIN") + Start(1) + PrinterHeading(1, "R0000001") + SentMain() +
           SentDsp() + SentTable() + readBack + "\n",
       {{"R0000001", all}},
       3 * 500},
      {"a read-back that fails is reported and the run goes on",
       kAllFiles,
       allFiles,
       [] {
         scripted_library::PrinterScript mute = Printer("R0000001");
         mute.infoFails = true;
         scripted_library::AddPrinter(mute);
         scripted_library::AddPrinter(Printer("R0000002"));
       },
       kBanner + FileList("MAIN.BIN", "DSP.BIN", "TABLE.BIN") + Start(2) + PrinterHeading(1, "R0000001") + SentMain() +
           SentDsp() + SentTable() + "Completed firmware upgrade.\nPINFTAG_ENGID information acquisition failure.\n\n" +
           PrinterHeading(2, "R0000002") + SentMain() + SentDsp() + SentTable() + readBack + "\n",
       {{"R0000001", all}, {"R0000002", all}},
       6 * 500 + 300},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    FreshRun();
    if (c.ini != nullptr) WriteFile("update.ini", c.ini);
    for (const auto &[name, content] : c.files) WriteFile(name, content);
    c.printers();
    char program[] = "BOM7300upgrade";
    char ini[] = "update.ini";
    char *argv[] = {program, ini, nullptr};
    EXPECT_EQ(updater::UpdaterMain(2, argv), 0);
    EXPECT_EQ(g_output, c.transcript);
    for (const auto &[serial, files] : c.received) EXPECT_EQ(scripted_library::Received(serial), files) << serial;
    EXPECT_EQ(scripted_library::OpenSessions(), 0);
    EXPECT_EQ(Elapsed(), c.elapsedMs);
    EXPECT_EQ(g_keysRead, 0);
  }
}

TEST_F(UpdaterTest, WithoutAnArgumentItWaitsForAKey) {
  char program[] = "BOM7300upgrade";
  char *argv[] = {program, nullptr};
  EXPECT_EQ(updater::UpdaterMain(1, argv), 0);
  EXPECT_EQ(g_output, "Ini File Error []\n\n\nHit any key please\n");
  EXPECT_EQ(g_keysRead, 1);
  EXPECT_EQ(scripted_library::OpenSessions(), 0);
}

// The countdown on the process clock: the seconds left, twice a second,
// until it has shown 0 once.
TEST_F(UpdaterTest, CountdownShowsTheSecondsLeft) {
  struct Case {
    uint32_t waitMs;
    std::vector<int> shown;
    uint64_t elapsedMs;
  };
  for (const Case &c : {Case{2500, {2, 2, 1, 1, 0}, 2500}, Case{0, {0}, 500}, Case{1000, {1, 0}, 1000},
                        Case{1600, {1, 1, 0}, 1500}}) {
    SCOPED_TRACE(c.waitMs);
    g_output.clear();
    const uint64_t start = Elapsed();
    updater::RunCountdown(c.waitMs);
    std::string expected;
    for (int s : c.shown) expected += CountdownLine(s);
    EXPECT_EQ(g_output, expected);
    EXPECT_EQ(Elapsed() - start, c.elapsedMs);
  }
}

// The ini file: defaults for what is missing, Windows profile rules for
// what is there, found in the current directory through a backslash.
TEST_F(UpdaterTest, IniFileFillsTheConfiguration) {
  struct Case {
    const char *what;
    const char *ini;
    std::string main;
    std::string dsp;
    std::string table;
    uint32_t waits[4];
  };
  const Case cases[] = {
      {"absent", nullptr, "None", "None", "None", {80000, 40000, 40000, 1000}},
      {"empty", "", "None", "None", "None", {80000, 40000, 40000, 1000}},
      {"all keys",
       "[main]\nfilepath = \"pkg\\MAIN.BIN\"\n[DSP]\nFILEPATH=DSP.BIN\n[TABLE]\nFILEPATH=T.BIN\n"
       "[TIME]\nMAIN_WAIT_TIME=1\nDSP_WAIT_TIME=2\nTABLE_WAIT_TIME=3\nDISP_WAIT_TIME=4\n",
       "pkg\\MAIN.BIN", "DSP.BIN", "T.BIN", {1, 2, 3, 4}},
      {"a path longer than 259 characters is cut", nullptr, "", "None", "None", {80000, 40000, 40000, 1000}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove("update.ini");
    std::string expectedMain = c.main;
    if (c.ini != nullptr) {
      WriteFile("update.ini", c.ini);
    } else if (c.main.empty()) {
      WriteFile("update.ini", "[MAIN]\nFILEPATH=" + std::string(300, 'x') + "\n");
      expectedMain = std::string(259, 'x');
    }
    updater::ReadIniFile("update.ini");
    const updater::UpdaterConfig &config = updater::g_UpdaterConfig;
    EXPECT_EQ(std::string(config.mainPath), expectedMain);
    EXPECT_EQ(std::string(config.dspPath), c.dsp);
    EXPECT_EQ(std::string(config.tablePath), c.table);
    EXPECT_EQ(config.mainWaitMs, c.waits[0]);
    EXPECT_EQ(config.dspWaitMs, c.waits[1]);
    EXPECT_EQ(config.tableWaitMs, c.waits[2]);
    EXPECT_EQ(config.dispWaitMs, c.waits[3]);
  }
}

TEST_F(UpdaterTest, FileSizesAndResultTexts) {
  WriteFile("FOUR.BIN", "1234");
  WriteFile("EMPTY.BIN", "");
  EXPECT_EQ(updater::GetFirmwareFileSize("None"), -1);
  EXPECT_EQ(updater::GetFirmwareFileSize("FOUR.BIN"), 4);
  EXPECT_EQ(updater::GetFirmwareFileSize("EMPTY.BIN"), 0);
  EXPECT_EQ(g_output, "");
  EXPECT_EQ(updater::GetFirmwareFileSize("MISSING.BIN"), -2);
  EXPECT_EQ(g_output, "File Data Open Error \n ");

  struct Text {
    uint16_t code;
    const char *text;
  };
  for (const Text &t : {Text{0, "The printer is a ready state."}, Text{1005, "Cannot access the specified profile."},
                        Text{1008, "Printer with selected number is not found."},
                        Text{2107, "Download is being executed."}, Text{2600, "USB communication error."},
                        Text{2601, "Refer to WRT3-N586K"}, Text{65535, "Refer to WRT3-N586K"}}) {
    char buffer[128];
    updater::GetResultMessage(t.code, buffer, sizeof buffer);
    EXPECT_STREQ(buffer, t.text);
  }
  char small[8];
  updater::GetResultMessage(2600, small, sizeof small);
  EXPECT_STREQ(small, "USB com");
}

}  // namespace
}  // namespace updater_test
