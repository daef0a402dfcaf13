// Discovery and selection of one and two (fake) printers, by number and by
// serial number.
#include <cstring>

#include "device_watcher.h"
#include "library_test_support.h"
#include "protocol/codes.h"

namespace hostlib_test {
namespace {

using DiscoveryTest = LibraryTest;

TEST_F(DiscoveryTest, OnePrinterIsFoundAndSelectedByOpen) {
  usbctrl_double::AddPrinter("R0000001");
  Open();
  uint16_t err = 0xFFFF;
  EXPECT_EQ(kt_selectPrinter(KT_NO_PRINTER, &err), 0);
  EXPECT_EQ(err, RESULT_OK);
  EXPECT_EQ(kt_GetModelName(&err), 1);
  EXPECT_EQ(err, RESULT_OK);

  uint8_t numbers[KT_PRINTER_LIST_SIZE];
  EXPECT_EQ(kt_listupPrinter(numbers), 1);
  EXPECT_EQ(numbers[0], 0);
  for (size_t i = 1; i < sizeof numbers; ++i) ASSERT_EQ(numbers[i], 0xFF) << i;
  // An open printer is listed again without being asked for its serial.
  EXPECT_EQ(CommandsSent(0, protocol::CMD_GET_SERIAL_NO), 1u);
  EXPECT_EQ(usbctrl_double::GetCounters().opens, 1);
}

// An operation that holds the printer's lock while the printer leaves, and
// the sweep closes the device's handles, still gives the lock back when it
// ends: another user takes it at once.
TEST_F(DiscoveryTest, ALockHeldWhileThePrinterLeavesIsGivenBack) {
  usbctrl_double::AddPrinter("R0000001");
  Open();
  hostlib::PrinterSession &session = FirstSession();
  char path[SDKUSB_PATH_SIZE] = {};
  ASSERT_EQ(session.Usb().GetDeviceName(0, path), 1);
  const std::string name(path + SDKUSB_PATH_MUTEX_NAME_AT);
  {
    hostlib::DeviceLock lock;
    uint16_t err = 0xFFFF;
    ASSERT_EQ(session.LockDevice(&lock, &err), 1);
    Sleep(1);  // lets the device watcher start
    ASSERT_EQ(usbctrl_double::Unplug(0), 1);
    // The sweep runs on the watcher's thread, not the lock's owner.
    OnOtherThread([] {
      hostlib::SweepAfterDeviceChange();
      return 0u;
    });
    EXPECT_EQ(hostlib::g_aDeviceTable.mutex[0].load(), INVALID_HANDLE_VALUE);
  }  // the operation ends
  const unsigned waited = OnOtherThread([&name] {
    HANDLE mutex = CreateMutexA(nullptr, FALSE, name.c_str());
    const DWORD result = WaitForSingleObject(mutex, 0);
    if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED) ReleaseMutex(mutex);
    CloseHandle(mutex);
    return static_cast<unsigned>(result);
  });
  EXPECT_EQ(waited, WAIT_OBJECT_0);
}

TEST_F(DiscoveryTest, TwoPrintersByNumberAndBySerial) {
  usbctrl_double::AddPrinter("R0000001");
  usbctrl_double::AddPrinter("R0000002");
  Open();
  char serials[KT_SERIAL_LIST_SIZE];
  ASSERT_EQ(kt_listupPrinterSN(serials), 2);
  EXPECT_EQ(std::string(serials, 16), "R0000001R0000002");
  for (size_t i = 16; i < sizeof serials; ++i) ASSERT_EQ(static_cast<uint8_t>(serials[i]), 0xFF) << i;

  uint16_t err = 0xFFFF;
  const char *selected = kt_selectPrinterSN("R0000002", &err);
  ASSERT_NE(selected, nullptr);
  EXPECT_EQ(err, RESULT_OK);
  EXPECT_EQ(Serial(selected), "R0000002");
  EXPECT_EQ(kt_selectPrinter(KT_NO_PRINTER, &err), 1);
  EXPECT_EQ(kt_status(&err), 1);
  EXPECT_EQ(CommandsSent(1, protocol::CMD_GET_STATUS), 1u);
  EXPECT_EQ(CommandsSent(0, protocol::CMD_GET_STATUS), 0u);

  EXPECT_EQ(kt_selectPrinter(0, &err), 0);
  EXPECT_EQ(err, RESULT_OK);
  EXPECT_EQ(kt_status(&err), 1);
  EXPECT_EQ(CommandsSent(0, protocol::CMD_GET_STATUS), 1u);
  // Null keeps the selection and brings its serial up to date.
  EXPECT_EQ(Serial(kt_selectPrinterSN(nullptr, &err)), "R0000001");
  EXPECT_EQ(err, RESULT_OK);

  // Numbers and serials that are not open: refused, the selection stays.
  for (uint8_t number : {uint8_t{2}, uint8_t{127}, uint8_t{128}, uint8_t{200}}) {
    err = 0;
    EXPECT_EQ(kt_selectPrinter(number, &err), KT_NO_PRINTER);
    EXPECT_EQ(err, RESULT_PRINTER_NOT_FOUND);
  }
  err = 0;
  EXPECT_EQ(Serial(kt_selectPrinterSN("R9999999", &err)), "R0000001");
  EXPECT_EQ(err, RESULT_PRINTER_NOT_FOUND);
  EXPECT_EQ(kt_selectPrinter(KT_NO_PRINTER, &err), 0);
  // Listing again keeps this session on its printer.
  EXPECT_EQ(kt_listupPrinter(reinterpret_cast<uint8_t *>(serials)), 2);
  EXPECT_EQ(kt_status(&err), 1);
  EXPECT_EQ(CommandsSent(0, protocol::CMD_GET_STATUS), 2u);
}

TEST_F(DiscoveryTest, SelectionResetsPrintOptionA) {
  usbctrl_double::AddPrinter("R0000001");
  Open();
  EXPECT_EQ(FirstSession().PrintOptionA(), 2);
  uint16_t err = 0;
  EXPECT_EQ(kt_selectPrinter(0, &err), 0);
  EXPECT_EQ(FirstSession().PrintOptionA(), 2);
}

// A device of another maker is opened, found foreign and closed again; a
// printer that does not answer its serial costs the read time-out and is
// not listed either, until it answers at a later listing.
TEST_F(DiscoveryTest, OnlyPrintersOfThisModelThatAnswerAreListed) {
  usbctrl_double::AddDevice("X0000001", 0x1234, 0x7300);
  const int silent = usbctrl_double::AddPrinter("R0000002");
  usbctrl_double::DropCommands(silent, protocol::CMD_GET_SERIAL_NO, 1);
  usbctrl_double::AddPrinter("R0000003");
  Open();
  EXPECT_EQ(Elapsed(), hostlib::kTransferTimeoutMs);
  uint16_t err = 0;
  EXPECT_EQ(kt_selectPrinter(KT_NO_PRINTER, &err), 2);  // the first printer listed
  usbctrl_double::Counters counters = usbctrl_double::GetCounters();
  EXPECT_EQ(counters.opens, 3);
  EXPECT_EQ(counters.closes, 2);
  EXPECT_EQ(CommandsSent(0, protocol::CMD_GET_SERIAL_NO), 0u);

  // The next listing probes the same indexes again; now the printer answers.
  char serials[KT_SERIAL_LIST_SIZE];
  EXPECT_EQ(kt_listupPrinterSN(serials), 2);
  EXPECT_EQ(std::string(serials, 16), "R0000002R0000003");
  EXPECT_EQ(kt_selectPrinter(KT_NO_PRINTER, &err), 2);  // listing keeps the selection
  counters = usbctrl_double::GetCounters();
  EXPECT_EQ(counters.opens, 5);
  EXPECT_EQ(counters.closes, 3);
}

TEST_F(DiscoveryTest, WithoutPrinterOpenFailsAndLeavesNothingBehind) {
  uint16_t err = 0;
  EXPECT_EQ(kt_open(&err), 0);
  EXPECT_EQ(err, RESULT_USB_OPEN_FAILED);
  EXPECT_EQ(hostlib::g_apSessions[0].load(), nullptr);
  EXPECT_EQ(hostlib::g_pWatcher, nullptr);
  // Selecting after the failed open has no session to work on.
  err = 0;
  EXPECT_EQ(kt_selectPrinter(0, &err), KT_NO_PRINTER);
  EXPECT_EQ(err, RESULT_NO_SESSION);
  char serials[KT_SERIAL_LIST_SIZE];
  EXPECT_EQ(kt_listupPrinterSN(serials), 0);
  for (char c : serials) ASSERT_EQ(static_cast<uint8_t>(c), 0xFF);
}

}  // namespace
}  // namespace hostlib_test
