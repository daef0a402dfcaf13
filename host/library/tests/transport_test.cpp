// Transfers with time-outs on the virtual clock, raw reads, bulk data, and
// the device lock against a second user of the printer.
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

#include "library_test_support.h"
#include "protocol/codes.h"

namespace hostlib_test {
namespace {

class TransportTest : public LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    usbctrl_double::AddPrinter("R0000001");
    Open();
  }
};

// A printer that drops a command: the read gives up after exactly 60 s,
// the exchange after it works, and from then on no read pipe is closed.
TEST_F(TransportTest, DroppedCommandCostsTheReadTimeOut) {
  usbctrl_double::DropCommands(0, protocol::CMD_GET_STATUS, 1);
  uint16_t err = 0;
  const uint64_t start = Elapsed();
  EXPECT_EQ(kt_status(&err), 0);
  EXPECT_EQ(err, RESULT_USB_ERROR);
  EXPECT_EQ(Elapsed() - start, hostlib::kTransferTimeoutMs);
  EXPECT_EQ(hostlib::g_bReadTimedOut.load(), 1u);
  EXPECT_EQ(hostlib::g_bWriteTimedOut.load(), 0u);

  EXPECT_EQ(kt_status(&err), 1);
  EXPECT_EQ(err, RESULT_OK);

  kt_close();
  const usbctrl_double::Counters counters = usbctrl_double::GetCounters();
  EXPECT_EQ(counters.pipesClosed, 1);  // the write pipe only
  EXPECT_EQ(usbctrl_double::LivePipes(), 1);
  EXPECT_EQ(counters.badPipeCloses, 0);
}

TEST_F(TransportTest, StalledWriteTimesOut) {
  usbctrl_double::StallWrites(0, true);
  uint16_t err = 0;
  const uint64_t start = Elapsed();
  EXPECT_EQ(kt_status(&err), 0);
  EXPECT_EQ(err, RESULT_USB_ERROR);
  EXPECT_EQ(Elapsed() - start, hostlib::kTransferTimeoutMs);
  EXPECT_EQ(hostlib::g_bWriteTimedOut.load(), 1u);
  EXPECT_EQ(hostlib::g_bReadTimedOut.load(), 0u);

  usbctrl_double::StallWrites(0, false);
  EXPECT_EQ(kt_status(&err), 1);
  kt_close();
  EXPECT_EQ(usbctrl_double::GetCounters().pipesClosed, 1);  // the read pipe only
}

// A raw command the printer drops costs its caller the time-out of every
// read, and no other thread waits for it.
TEST_F(TransportTest, DirectReadTimesOutWithoutHoldingTheLibrary) {
  hostlib::PrinterSession &session = FirstSession();
  usbctrl_double::DropCommands(0, protocol::CMD_GET_STATUS, 1);
  const uint8_t packet[] = {0x01, 0x00, 0x00, 0x00};
  uint32_t count = 0;
  uint16_t err = 0;
  ASSERT_EQ(session.Writer().WriteDirect(packet, sizeof packet, &count, &err), 1);
  EXPECT_EQ(count, sizeof packet);

  std::atomic<uint64_t> listedAt{0};
  TestThread lister([&] {
    Sleep(1000);
    uint8_t numbers[KT_PRINTER_LIST_SIZE];
    const int16_t found = kt_listupPrinter(numbers);
    listedAt = Elapsed();
    return static_cast<unsigned>(found);
  });
  uint8_t reply[hostlib::kDirectReadSize];
  const uint64_t start = Elapsed();
  EXPECT_EQ(session.Reader().ReadDirect(reply, &count, &err), 0);
  EXPECT_EQ(err, RESULT_USB_ERROR);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(Elapsed() - start, hostlib::kTransferTimeoutMs);
  EXPECT_EQ(lister.Join(), 1u);
  EXPECT_EQ(listedAt.load() - start, 1000u);

  // Answered, it hands over the whole reply, header included.
  ASSERT_EQ(session.Writer().WriteDirect(packet, sizeof packet, &count, &err), 1);
  EXPECT_EQ(session.Reader().ReadDirect(reply, &count, &err), 1);
  EXPECT_EQ(err, RESULT_OK);
  EXPECT_EQ(count, 110u);
  EXPECT_EQ(reply[0], protocol::REPLY_OK);
}

TEST_F(TransportTest, BulkDataGoesInPiecesOfAtMost4096Bytes) {
  std::vector<uint8_t> data(10000, 0xFF);  // never mistaken for a command
  const size_t before = usbctrl_double::Written(0).size();
  uint32_t length = static_cast<uint32_t>(data.size());
  uint16_t err = 0xFFFF;
  EXPECT_EQ(hostlib::SendBulkData(FirstSession(), data.data(), &length, &err), 1);
  EXPECT_EQ(err, RESULT_OK);
  EXPECT_EQ(length, 10000u);
  auto written = usbctrl_double::Written(0);
  ASSERT_EQ(written.size(), before + 3);
  EXPECT_EQ(written[before].size(), 4096u);
  EXPECT_EQ(written[before + 1].size(), 4096u);
  EXPECT_EQ(written[before + 2].size(), 1808u);

  length = 0;
  EXPECT_EQ(hostlib::SendBulkData(FirstSession(), data.data(), &length, &err), 0);
  EXPECT_EQ(usbctrl_double::Written(0).size(), before + 3);

  length = 5000;
  EXPECT_EQ(FirstSession().SendDataDirect(data.data(), &length, &err), 1);
  EXPECT_EQ(length, 5000u);
  EXPECT_EQ(usbctrl_double::Written(0).size(), before + 5);
}

// Two threads of the process, each with a session on the same printer: the
// one that finds the printer's mutex taken gives up after 500 ms.
TEST_F(TransportTest, SecondThreadWaitsForThePrintersMutex) {
  ASSERT_EQ(hostlib::SetSessionSlotCount(2), 1);
  usbctrl_double::DropCommands(0, protocol::CMD_GET_STATUS, 1);
  std::atomic<uint16_t> holderCode{0};
  std::atomic<uint64_t> holderDone{0};
  TestThread holder([&] {
    uint16_t err = 0;
    if (kt_open(&err) != 1) return 1u;
    kt_status(&err);  // its status command is dropped: it holds the printer for 60 s
    holderCode = err;
    holderDone = Elapsed();
    kt_close();
    return 0u;
  });
  Sleep(10);
  uint16_t err = 0;
  EXPECT_EQ(kt_status(&err), 0);
  EXPECT_EQ(err, RESULT_DEVICE_BUSY);
  EXPECT_EQ(Elapsed(), 10u + hostlib::kDeviceLockWaitMs);

  EXPECT_EQ(holder.Join(), 0u);
  EXPECT_EQ(holderCode.load(), RESULT_USB_ERROR);
  EXPECT_EQ(holderDone.load(), hostlib::kTransferTimeoutMs);
  EXPECT_EQ(kt_status(&err), 1);
  EXPECT_EQ(err, RESULT_OK);
}

// Another process holding the printer: busy after 500 ms; when it dies
// holding it, the next operation reports busy once and frees the printer.
TEST(TransportProcessTest, AnotherProcessHoldingThePrinter) {
  usbctrl_double::Reset();
  hostlib::ResetTransferTimeOutFlags();
  usbctrl_double::AddPrinter("R0000001");
  const std::string name = usbctrl_double::DevicePath(0).substr(SDKUSB_PATH_MUTEX_NAME_AT);

  int toChild[2];
  int toParent[2];
  ASSERT_EQ(pipe(toChild), 0);
  ASSERT_EQ(pipe(toParent), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Holds the printer's mutex when told, and dies holding it.
    char order = 0;
    if (read(toChild[0], &order, 1) != 1) _exit(2);
    HANDLE mutex = CreateMutexA(nullptr, FALSE, name.c_str());
    if (mutex == nullptr || WaitForSingleObject(mutex, INFINITE) != WAIT_OBJECT_0) _exit(3);
    const char held = 'h';
    if (write(toParent[1], &held, 1) != 1) _exit(4);
    if (read(toChild[0], &order, 1) != 1) _exit(5);
    _exit(0);
  }

  W32X_VIRTUAL_CLOCK clock{0, 0, 0};
  ASSERT_TRUE(W32X_UseVirtualClock(&clock));
  uint16_t err = 0;
  ASSERT_EQ(kt_open(&err), 1);
  const char hold = 'l';
  ASSERT_EQ(write(toChild[1], &hold, 1), 1);
  char heard = 0;
  ASSERT_EQ(read(toParent[0], &heard, 1), 1);

  const uint64_t start = W32X_ClockNow();
  EXPECT_EQ(kt_status(&err), 0);
  EXPECT_EQ(err, RESULT_DEVICE_BUSY);
  EXPECT_EQ(W32X_ClockNow() - start, hostlib::kDeviceLockWaitMs);

  const char die = 'x';
  ASSERT_EQ(write(toChild[1], &die, 1), 1);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(kt_status(&err), 0);
  EXPECT_EQ(err, RESULT_DEVICE_BUSY);  // abandoned by its holder
  EXPECT_EQ(kt_status(&err), 1);
  EXPECT_EQ(err, RESULT_OK);

  kt_close();
  EXPECT_TRUE(W32X_UseRealClock());
  usbctrl_double::Reset();
}

}  // namespace
}  // namespace hostlib_test
