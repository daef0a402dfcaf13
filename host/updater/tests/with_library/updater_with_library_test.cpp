// The updater over the real printer-access library and fake printers: what
// each printer receives in a whole run, and how a printer that stops
// answering ends it.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "library_test_support.h"
#include "protocol/codes.h"
#include "updater.h"

namespace updater_with_library_test {
namespace {

using hostlib_test::Bytes;

std::string g_output;
void Capture(const char *text) { g_output += text; }
int EndOfInput() { return EOF; }
void NoClear() {}

class UpdaterWithLibraryTest : public hostlib_test::LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    saved_ = updater::g_Console;
    updater::g_Console = {Capture, EndOfInput, NoClear};
    g_output.clear();
    updater::g_UpdaterConfig = {};
    home_ = std::filesystem::current_path();
    dir_ = std::filesystem::path(::testing::TempDir()) /
           ("updater-library-" + std::to_string(getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
    std::filesystem::current_path(dir_);
    Write("update.ini",
          "[MAIN]\nFILEPATH=MAIN.BIN\n[DSP]\nFILEPATH=DSP.BIN\n[TABLE]\nFILEPATH=TABLE.BIN\n"
          "[TIME]\nMAIN_WAIT_TIME=0\nDSP_WAIT_TIME=0\nTABLE_WAIT_TIME=0\nDISP_WAIT_TIME=0\n");
    Write("MAIN.BIN", std::string(10000, '\xFF'));
    Write("DSP.BIN", std::string(262144, '\xFF'));
    Write("TABLE.BIN", std::string(5000, '\xFF'));
  }
  void TearDown() override {
    std::filesystem::current_path(home_);
    std::filesystem::remove_all(dir_);
    updater::g_Console = saved_;
    LibraryTest::TearDown();
  }
  static void Write(const std::string &name, const std::string &content) {
    std::ofstream(name, std::ios::binary) << content;
  }
  static int Run() {
    char program[] = "BOM7300upgrade";
    char ini[] = "update.ini";
    char *argv[] = {program, ini, nullptr};
    return updater::UpdaterMain(2, argv);
  }
  // The Update commands the printer received, as (kind, size).
  static std::vector<std::pair<int, uint32_t>> Announced(int printer) {
    std::vector<std::pair<int, uint32_t>> announced;
    for (const Bytes &packet : usbctrl_double::Written(printer)) {
      if (packet.size() == 14 && packet[0] == 0x04 && packet[1] == 0xC0) {
        announced.emplace_back(packet[4], packet[10] | packet[11] << 8 | packet[12] << 16 | uint32_t{packet[13]} << 24);
      }
    }
    return announced;
  }
  static size_t BytesOfData(int printer) {
    size_t bytes = 0;
    for (const Bytes &packet : usbctrl_double::Written(printer)) {
      if (!packet.empty() && packet[0] == 0xFF) bytes += packet.size();
    }
    return bytes;
  }

  updater::Console saved_{};
  std::filesystem::path home_;
  std::filesystem::path dir_;
};

const std::vector<std::pair<int, uint32_t>> kPackage = {
    {protocol::UPDATE_KIND_MAIN, 10000}, {protocol::UPDATE_KIND_DSP, 262144}, {protocol::UPDATE_KIND_TABLE, 5000}};

TEST_F(UpdaterWithLibraryTest, EveryPrinterGetsThePackageAndIsReadBack) {
  usbctrl_double::AddPrinter("R0000001");
  usbctrl_double::AddPrinter("R0000002");
  EXPECT_EQ(Run(), 0);
  for (int printer : {0, 1}) {
    SCOPED_TRACE(printer);
    EXPECT_EQ(Announced(printer), kPackage);
    EXPECT_EQ(BytesOfData(printer), 10000u + 262144u + 5000u);
    EXPECT_EQ(hostlib_test::CommandsSent(printer, protocol::CMD_GET_FIRMWARE_INFO), 4u);
  }
  EXPECT_NE(g_output.find("No2.  Printer S/N = [R0000002] \n\nDownloading MAIN file... [MAIN.BIN]\nFinished."),
            std::string::npos);
  // The fake printers report empty records.
  const std::string readBack =
      "Completed firmware upgrade.\nverifying the information on the upgraded firmware.\n\n----- MAIN -----\n"
      "Program Name  = \nProgram Type  = \nCreate Date   = \nVersion       = 00.00 \n";
  EXPECT_NE(g_output.find(readBack), std::string::npos);
  EXPECT_EQ(g_output.find("Error"), std::string::npos);
  EXPECT_EQ(hostlib::g_apSessions[0].load(), nullptr);  // every session closed
}

// The first printer stops answering Update commands: after the read
// time-out the run ends with the USB error, and the second printer
// receives nothing at all.
TEST_F(UpdaterWithLibraryTest, APrinterThatStopsAnsweringEndsTheRun) {
  usbctrl_double::AddPrinter("R0000001");
  usbctrl_double::AddPrinter("R0000002");
  usbctrl_double::DropCommands(0, protocol::CMD_UPDATE, -1);
  const uint64_t start = Elapsed();
  EXPECT_EQ(Run(), 0);
  // The read time-out, and the library's own short waits at each kt_close.
  EXPECT_GE(Elapsed() - start, hostlib::kTransferTimeoutMs);
  EXPECT_LT(Elapsed() - start, hostlib::kTransferTimeoutMs + 1000);
  const std::string end = "No1.  Printer S/N = [R0000001] \n\nDownloading MAIN file... [MAIN.BIN]\n"
                          "Error: USB communication error.(2600)\n";
  ASSERT_GE(g_output.size(), end.size());
  EXPECT_EQ(g_output.substr(g_output.size() - end.size()), end);
  EXPECT_EQ(Announced(0).size(), 1u);
  EXPECT_EQ(BytesOfData(0), 0u);
  EXPECT_EQ(usbctrl_double::Written(1).size(), hostlib_test::CommandsSent(1, protocol::CMD_GET_SERIAL_NO));
  EXPECT_EQ(hostlib::g_apSessions[0].load(), nullptr);
}

}  // namespace
}  // namespace updater_with_library_test
