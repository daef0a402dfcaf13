// The trace log: each writer's lines, the id lines of a new file, command
// names from the command table, the files' places, a missing directory,
// and the records of a traced operation.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>

#include "discovery.h"
#include "library_test_support.h"
#include "trace_log.h"

namespace hostlib_test {
namespace {

using hostlib::TraceApiCall;
using hostlib::TraceThreadCall;

// "<stamp>" in an expected line stands for the time stamp.
const std::string kStamp = "<stamp>";

class TraceLogTest : public LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    dir_ = ::testing::TempDir() + "trace_" + std::to_string(getpid());
    mkdir(dir_.c_str(), 0700);
    setenv("BOM7300_TRACE_DIR", dir_.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("BOM7300_TRACE_DIR");
    std::remove(ThreadFile().c_str());
    std::remove(SharedFile().c_str());
    rmdir(dir_.c_str());
    LibraryTest::TearDown();
  }

  std::string ThreadFile() const {
    return dir_ + "/QrxUsbLog-" + std::to_string(GetCurrentThreadId()) + "-" + std::to_string(getpid()) + ".txt";
  }
  std::string SharedFile() const { return dir_ + "/QrxUsbLog-ThreadDevice.txt"; }

  static std::vector<std::string> Lines(const std::string &path) {
    std::ifstream file(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) lines.push_back(line);
    return lines;
  }

  // Each line as expected, the stamp matched by its format.
  static void ExpectLines(const std::vector<std::string> &actual, const std::vector<std::string> &expected) {
    ASSERT_EQ(actual.size(), expected.size());
    static const std::regex special(R"([.^$|()\[\]{}*+?\\])");
    for (size_t i = 0; i < expected.size(); ++i) {
      std::string pattern = std::regex_replace(expected[i], special, R"(\$&)");
      const size_t stamp = pattern.find(kStamp);
      if (stamp != std::string::npos) {
        pattern.replace(stamp, kStamp.size(), R"(\[\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}\.\d{3})");
      }
      EXPECT_TRUE(std::regex_match(actual[i], std::regex(pattern))) << "line " << i << ": " << actual[i];
    }
  }

  std::string dir_;
};

TEST_F(TraceLogTest, EachWriterWritesItsLines) {
  static constexpr int kDevice = 100;
  const uint8_t packet[] = {0x01, 0x40, 0x02, 0x00, 0xAB, 0x05};
  const uint16_t values[hostlib::kTraceShortValues] = {1, 2, 3, 40000, 5, 6, 7, 8, 9, 10};
  const HANDLE pipe = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x1234ABCD));
  struct Case {
    const char *what;
    std::function<int()> write;
    std::vector<std::string> lines;  // of the per-thread file, the id lines left out
  };
  const Case cases[] = {
      {"call, kind 0", [] { return TraceThreadCall(0, "kt_open", 0, 0); }, {"<stamp>  < kt_open > ] "}},
      {"call, kind 1", [] { return TraceThreadCall(1, "kt_open", 0, 2600); },
       {"<stamp>  < kt_open > result = 2600 ] "}},
      {"call, kind 2", [] { return TraceThreadCall(2, "kt_SendRawData", 4096, 0); },
       {"<stamp>  < kt_SendRawData > size = 4096 result = 0 ] "}},
      {"call, kind 3", [] { return TraceThreadCall(3, "value", -7, 0); }, {"<stamp>  < value > data = -7 ] "}},
      {"short values", [&] { return hostlib::TraceShortValues(values); }, {"1 2 3 40000 5 6 7 8 9 10 "}},
      {"send command", [&] { return hostlib::TraceSendCommand(packet, sizeof packet); },
       {"<stamp>  < Send Command > Print Command] ", "01 40 02 00 AB 05 "}},
      {"send data, handle", [&] { return hostlib::TraceSendData(pipe, 1, packet, sizeof packet); },
       {"<stamp>  < Send Data > ] ", "1234ABCD"}},
      {"send data, bytes", [&] { return hostlib::TraceSendData(pipe, 2, packet, 3); },
       {"<stamp>  < Send Data > ] ", "01 40 02 "}},
      {"receive message", [&] { return hostlib::TraceReceiveMessage(packet, 2); },
       {"<stamp>  < Receive Message > ] ", "01 40 "}},
      {"receive handle", [&] { return hostlib::TraceRecvHandle(pipe, 1); },
       {"<stamp>  < Recv Command Handle > ] ", "1234ABCD"}},
      {"receive handle, no flag", [&] { return hostlib::TraceRecvHandle(pipe, 0); },
       {"<stamp>  < Recv Command Handle > ] ", ""}},
      {"connect, read handle", [] { return hostlib::TraceConnectHandle(1, kDevice); },
       {"<stamp>  < Connect Read Handle > ] ", "5EAD0001"}},
      {"connect, write handle", [] { return hostlib::TraceConnectHandle(2, kDevice); },
       {"<stamp>  < Connect Write Handle > ] ", "3E170002"}},
  };
  // Pipes of a device no test opens, put back when the cases are done.
  hostlib::g_aDevicePipes.read[kDevice].store(reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x5EAD0001)));
  hostlib::g_aDevicePipes.write[kDevice].store(reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x3E170002)));
  struct PutBack {
    ~PutBack() {
      hostlib::g_aDevicePipes.read[kDevice].store(INVALID_HANDLE_VALUE);
      hostlib::g_aDevicePipes.write[kDevice].store(INVALID_HANDLE_VALUE);
    }
  } putBack;
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    std::remove(ThreadFile().c_str());
    EXPECT_EQ(c.write(), 0) << "the result of closing the file";
    std::vector<std::string> lines = Lines(ThreadFile());
    const bool idLines = !lines.empty() && lines[0].rfind("Process ID = ", 0) == 0;
    if (idLines) lines.erase(lines.begin(), lines.begin() + 2);
    ExpectLines(lines, c.lines);
  }
}

TEST_F(TraceLogTest, TheIdLinesComeOnlyWithTheFirstRecordOfANewFile) {
  TraceApiCall(0, "kt_status", 0, 0);
  TraceApiCall(1, "kt_status", 0, 2105);
  TraceApiCall(2, "kt_status", 12, 0);
  TraceApiCall(3, "kt_status", 0, 0);  // no kind 3 in the shared file
  ExpectLines(Lines(SharedFile()), {"Process ID = " + std::to_string(getpid()),
                                    "Thread ID  = " + std::to_string(GetCurrentThreadId()),
                                    "<stamp>  < kt_status > ] ", "<stamp>  < kt_status > result = 2105 ] ",
                                    "<stamp>  < kt_status > size = 12 result = 0 ] "});
}

TEST_F(TraceLogTest, ACommandWithoutANameGivesAnEmptyName) {
  const uint8_t setup[] = {0x0B, 0x40, 0x00, 0x00};
  hostlib::TraceSendCommand(setup, sizeof setup);
  ExpectLines(Lines(ThreadFile()), {"<stamp>  < Send Command > ] ", "0B 40 00 00 "});
}

TEST_F(TraceLogTest, AMissingDirectorySkipsTheRecordAndChangesNoResult) {
  const std::string missing = dir_ + "/missing";
  setenv("BOM7300_TRACE_DIR", missing.c_str(), 1);
  EXPECT_EQ(TraceApiCall(0, "kt_status", 0, 0), 0);
  EXPECT_EQ(TraceThreadCall(1, "kt_status", 0, 0), 0);
  usbctrl_double::AddPrinter("R0000001");
  Open();
  uint16_t err = 0xFFFF;
  EXPECT_EQ(kt_status(&err), 1);
  EXPECT_EQ(err, RESULT_OK);
  struct stat info {};
  EXPECT_NE(stat(missing.c_str(), &info), 0);
}

// With the trace on, an export's call and result go to the shared file and
// its traffic to the thread's file.
TEST_F(TraceLogTest, ATracedOperationRecordsItsCallAndTraffic) {
  usbctrl_double::AddPrinter("R0000001");
  Open();
  std::remove(ThreadFile().c_str());
  std::remove(SharedFile().c_str());
  usbctrl_double::SetStatus(0, 0x35, 0, 0);
  uint16_t err = 0xFFFF;
  EXPECT_EQ(kt_status(&err), 0);
  EXPECT_EQ(err, RESULT_OPERATION_BUSY);
  const std::vector<std::string> shared = Lines(SharedFile());
  ASSERT_EQ(shared.size(), 4u);
  ExpectLines({shared[2], shared[3]}, {"<stamp>  < kt_status > ] ", "<stamp>  < kt_status > result = 2105 ] "});
  const std::vector<std::string> traffic = Lines(ThreadFile());
  ASSERT_GE(traffic.size(), 6u);
  ExpectLines({traffic[0], traffic[1]}, {"<stamp>  < Send Command > Get Status Command] ", "01 00 00 00 "});
  const auto receive = std::find_if(traffic.begin(), traffic.end(), [](const std::string &line) {
    return line.find("< Receive Message >") != std::string::npos;
  });
  EXPECT_NE(receive, traffic.end());
}

}  // namespace
}  // namespace hostlib_test
