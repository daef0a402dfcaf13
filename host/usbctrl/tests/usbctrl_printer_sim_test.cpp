// BOM7300UsbCtrl against printer-sim processes on a bus directory of each
// test's own: the entry points directly (device names, the device ID, pipe
// transfers, cancellation, removal, the device-change broadcast), and the
// printer-access library over them (listing, selection, status, the device
// mutex across processes, two processes exchanging on one printer, a
// printer that goes away).
//
// Every printer-sim runs paced, faster than the wall clock, with its state
// in this test's temporary directory and a serial number provisioned by
// bom-eeprom. Every wait is bounded by a limit and never measured; a child
// process is ended on every path (e2e::ChildProcess).
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <win32_ext.h>
#include <windows.h>
#include <dbt.h>
#include <process.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "bom7300upgrade.h"
#include "bom7300usbctrl_api.h"
#include "host_result_codes.h"
#include "protocol/codes.h"
#include "protocol/headers.h"
#include "protocol/identity.h"
#include "sim/cable/cable_bus.h"
#include "tests/e2e/child_process.h"
#include "tests/e2e/device_mutex_holder.h"
#include "tests/e2e/printer_sim_bus.h"

namespace {

using e2e::Deselected;
using e2e::kBootLimitMs;
using e2e::kNoticeLimitMs;
using e2e::MutexHolder;
using e2e::PollUntil;

std::string Hex4(uint16_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04x", value);
  return text;
}

// The entry points of the library, bound by name as the host library does.
struct UsbCtrl {
  HMODULE module = nullptr;
  PFN_SDKUsb_Open Open = nullptr;
  PFN_SDKUsb_Close Close = nullptr;
  PFN_SDKUsb_GetDeviceHandle GetDeviceHandle = nullptr;
  PFN_SDKUsb_GetDeviceName GetDeviceName = nullptr;
  PFN_SDKUsb_GetDeviceIDString GetDeviceIDString = nullptr;
  PFN_SDKUsb_GetPipeHandle GetPipeHandle = nullptr;
  PFN_SDKUsb_ClosePipe ClosePipe = nullptr;
  PFN_SDKUsb_AbortPipe AbortPipe = nullptr;
  PFN_SDKUsb_ResetPipe ResetPipe = nullptr;
  PFN_SDKUsb_CheckDeviceName CheckDeviceName = nullptr;
  PFN_SDKUsb_CheckDevice CheckDevice = nullptr;

  template <typename F>
  bool Bind(F *slot, const char *name) {
    FARPROC address = GetProcAddress(module, name);
    std::memcpy(slot, &address, sizeof address);
    return address != nullptr;
  }
  bool Load() {
    // The library's own directory, by the Windows name.
    std::string path = USBCTRL_MODULE_PATH;
    path = path.substr(0, path.rfind('/')) + "/BOM7300UsbCtrl.dll";
    module = LoadLibraryA(path.c_str());
    return module != nullptr && Bind(&Open, "SDKUsb_Open") && Bind(&Close, "SDKUsb_Close") &&
           Bind(&GetDeviceHandle, "SDKUsb_GetDeviceHandle") && Bind(&GetDeviceName, "SDKUsb_GetDeviceName") &&
           Bind(&GetDeviceIDString, "SDKUsb_GetDeviceIDString") && Bind(&GetPipeHandle, "SDKUsb_GetPipeHandle") &&
           Bind(&ClosePipe, "SDKUsb_ClosePipe") && Bind(&AbortPipe, "SDKUsb_AbortPipe") &&
           Bind(&ResetPipe, "SDKUsb_ResetPipe") && Bind(&CheckDeviceName, "SDKUsb_CheckDeviceName") &&
           Bind(&CheckDevice, "SDKUsb_CheckDevice");
  }
};

class UsbCtrlPrinterSim : public e2e::PrinterSimBusTest {};

// Takes every waiting message of the window; true when a device change was
// among them.
bool TakeDeviceChange(HWND window) {
  bool changed = false;
  MSG message;
  while (PeekMessageA(&message, window, 0, 0, PM_REMOVE)) {
    if (message.message == WM_DEVICECHANGE && message.wParam == DBT_DEVNODES_CHANGED) changed = true;
  }
  return changed;
}

// One command packet written and its reply read through the pipe handles.
struct Exchange {
  bool written = false;
  bool read = false;
  protocol::ReplyHeader header{};
  std::string data;
};

Exchange Command(HANDLE out, HANDLE in, uint16_t code) {
  Exchange e;
  uint8_t packet[64];
  const int32_t size = protocol::EncodeCommandPacket(code, nullptr, 0, packet, sizeof packet);
  DWORD done = 0;
  e.written = size > 0 && WriteFile(out, packet, static_cast<DWORD>(size), &done, nullptr) && done == DWORD(size);
  if (!e.written) return e;
  uint8_t reply[512];
  e.read = ReadFile(in, reply, sizeof reply, &done, nullptr) != FALSE;
  protocol::ReplyFrame frame{};
  if (e.read && protocol::DecodeReplyFrame(reply, done, &frame) >= 0) {
    e.header = frame.header;
    e.data.assign(reinterpret_cast<const char *>(frame.data), frame.dataLength);
  } else {
    e.read = false;
  }
  return e;
}

// A thread that blocks in one ReadFile on a pipe.
struct BlockedRead {
  HANDLE pipe;
  BOOL ok = TRUE;
  DWORD error = 0;
  static unsigned __stdcall Main(void *self) {
    auto *r = static_cast<BlockedRead *>(self);
    uint8_t buffer[512];
    DWORD done = 0;
    r->ok = ReadFile(r->pipe, buffer, sizeof buffer, &done, nullptr);
    r->error = GetLastError();
    return 0;
  }
};

// ---- the entry points ---------------------------------------------------------------------

TEST_F(UsbCtrlPrinterSim, AHiddenWindowHearsOfAPrinterArrivingAndLeaving) {
  UsbCtrl usb;
  ASSERT_TRUE(usb.Load());
  HWND window = CreateWindowExA(0, "STATIC", "", 0, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  ShowWindow(window, SW_HIDE);
  EXPECT_FALSE(TakeDeviceChange(window));

  auto printer = StartPrinter("p", "ARRIVE01");
  ASSERT_TRUE(WaitForPorts({PortOf("p")})) << printer->Log();
  EXPECT_TRUE(PollUntil([&] { return TakeDeviceChange(window); }, kNoticeLimitMs));

  EXPECT_EQ(printer->Stop(SIGTERM), 0) << printer->Log();
  ASSERT_TRUE(WaitForPorts({}));
  EXPECT_TRUE(PollUntil([&] { return TakeDeviceChange(window); }, kNoticeLimitMs));
  DestroyWindow(window);
}

TEST_F(UsbCtrlPrinterSim, EntryPointsReachThePrinterThroughItsNameAndPipes) {
  UsbCtrl usb;
  ASSERT_TRUE(usb.Load());
  EXPECT_EQ(usb.Open(0), -1);  // nothing on the bus yet
  auto printer = StartPrinter("p", "ENTRY001");
  ASSERT_TRUE(WaitForPorts({PortOf("p")})) << printer->Log();

  EXPECT_EQ(usb.CheckDeviceName(0), -1);
  const int device = usb.Open(0);
  ASSERT_GE(device, 0);
  EXPECT_EQ(usb.CheckDeviceName(0), device);
  EXPECT_EQ(usb.Open(0), -1);  // already open here
  EXPECT_EQ(usb.CheckDeviceName(1), -1);
  EXPECT_EQ(usb.CheckDevice(device), 1);

  // The identifiers where the host library reads them, the bus and port in
  // the rest, so the device's mutex is its own.
  char path[SDKUSB_PATH_SIZE] = {};
  ASSERT_EQ(usb.GetDeviceName(device, path), 1);
  const std::string name = path;
  EXPECT_EQ(name.substr(SDKUSB_PATH_VENDOR_AT, 4), Hex4(protocol::USB_VENDOR_ID)) << name;
  EXPECT_EQ(name.substr(SDKUSB_PATH_PRODUCT_AT, 4), Hex4(protocol::USB_PRODUCT_ID)) << name;
  EXPECT_EQ(name.substr(SDKUSB_PATH_MUTEX_NAME_AT), MutexNameOf("p")) << name;
  EXPECT_EQ(usb.GetDeviceName(device + 1, path), 0);

  // The device ID as the printer class reads it: its length, then the text
  // with the serial number.
  char id[1024] = {};
  const int idLength = usb.GetDeviceIDString(device, id, sizeof id);
  ASSERT_GT(idLength, 2);
  EXPECT_EQ((static_cast<uint8_t>(id[0]) << 8 | static_cast<uint8_t>(id[1])), idLength);
  EXPECT_NE(std::string(id + 2, static_cast<size_t>(idLength - 2)).find("SN:ENTRY001;"), std::string::npos);
  EXPECT_EQ(usb.GetDeviceIDString(device, id, 4), 0);  // too small
  EXPECT_EQ(usb.GetDeviceHandle(device), INVALID_HANDLE_VALUE);

  HANDLE out = usb.GetPipeHandle(device, 0, SDKUSB_PIPE_BULK_OUT, 0);
  HANDLE in = usb.GetPipeHandle(device, 0, SDKUSB_PIPE_BULK_IN, 0);
  ASSERT_NE(out, INVALID_HANDLE_VALUE);
  ASSERT_NE(in, INVALID_HANDLE_VALUE);
  EXPECT_EQ(usb.GetPipeHandle(device, 0, 2, 0), INVALID_HANDLE_VALUE);
  EXPECT_EQ(usb.GetPipeHandle(device, 1, 0, 0), INVALID_HANDLE_VALUE);

  Exchange e = Command(out, in, protocol::CMD_GET_SERIAL_NO);
  ASSERT_TRUE(e.written && e.read);
  EXPECT_EQ(e.header.errorCode, 0);
  EXPECT_EQ(e.data, "ENTRY001");
  // Wrong directions fail without a transfer.
  uint8_t byte = 0;
  DWORD done = 0;
  EXPECT_FALSE(ReadFile(out, &byte, 1, &done, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_FUNCTION);
  EXPECT_FALSE(WriteFile(in, &byte, 1, &done, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_FUNCTION);

  // A read with nothing to come, ended by TerminateThread: it returns
  // aborted, and the printer's next reply still goes to the next read.
  BlockedRead blocked{in};
  auto thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &BlockedRead::Main, &blocked, 0, nullptr));
  ASSERT_NE(thread, nullptr);
  EXPECT_TRUE(TerminateThread(thread, 7));
  EXPECT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
  CloseHandle(thread);
  EXPECT_FALSE(blocked.ok);
  EXPECT_EQ(blocked.error, ERROR_OPERATION_ABORTED);
  for (int i = 0; i < 3; ++i) {
    e = Command(out, in, i % 2 == 0 ? protocol::CMD_GET_STATUS : protocol::CMD_GET_SERIAL_NO);
    ASSERT_TRUE(e.written && e.read) << "exchange " << i;
    if (i % 2 != 0) {
      EXPECT_EQ(e.data, "ENTRY001");
    }
  }
  EXPECT_EQ(usb.ResetPipe(out), 1);
  EXPECT_EQ(usb.AbortPipe(in), 1);

  // A pipe closes once; the second close and a made-up handle fail cleanly.
  EXPECT_EQ(usb.ClosePipe(in), 1);
  EXPECT_EQ(usb.ClosePipe(in), 0);
  EXPECT_EQ(usb.ClosePipe(INVALID_HANDLE_VALUE), 0);
  EXPECT_EQ(usb.AbortPipe(in), 0);
  in = usb.GetPipeHandle(device, 0, SDKUSB_PIPE_BULK_IN, 0);
  ASSERT_NE(in, INVALID_HANDLE_VALUE);

  // The printer ends: the device is gone, its transfers fail at once.
  EXPECT_EQ(printer->Stop(SIGTERM), 0) << printer->Log();
  ASSERT_TRUE(WaitForPorts({}));
  EXPECT_TRUE(PollUntil([&] { return usb.CheckDevice(device) == 0; }, kNoticeLimitMs));
  EXPECT_EQ(usb.CheckDeviceName(0), -1);
  EXPECT_FALSE(ReadFile(in, &byte, 1, &done, nullptr));
  EXPECT_EQ(usb.GetPipeHandle(device, 0, SDKUSB_PIPE_BULK_IN, 0), INVALID_HANDLE_VALUE);
  EXPECT_EQ(usb.Close(device), 1);
  EXPECT_EQ(usb.Close(device), 0);
  EXPECT_EQ(usb.CheckDevice(device), 0);
  // Pipes outlive their device's close.
  EXPECT_EQ(usb.ClosePipe(out), 1);
  EXPECT_EQ(usb.ClosePipe(in), 1);
}

TEST_F(UsbCtrlPrinterSim, AKilledPrinterIsNoticedAtItsNextTransfer) {
  UsbCtrl usb;
  ASSERT_TRUE(usb.Load());
  HWND window = CreateWindowExA(0, "STATIC", "", 0, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  auto printer = StartPrinter("p", "KILLED01");
  ASSERT_TRUE(WaitForPorts({PortOf("p")})) << printer->Log();
  const int device = usb.Open(0);
  ASSERT_GE(device, 0);
  HANDLE out = usb.GetPipeHandle(device, 0, SDKUSB_PIPE_BULK_OUT, 0);
  HANDLE in = usb.GetPipeHandle(device, 0, SDKUSB_PIPE_BULK_IN, 0);
  ASSERT_TRUE(Command(out, in, protocol::CMD_GET_SERIAL_NO).read);
  TakeDeviceChange(window);  // the arrival's

  // Killed outright, it leaves its socket file: the bus directory does not
  // change, the broken connection does.
  printer->Stop(SIGKILL);
  EXPECT_FALSE(Command(out, in, protocol::CMD_GET_STATUS).read);
  EXPECT_EQ(usb.CheckDevice(device), 0);
  EXPECT_TRUE(PollUntil([&] { return TakeDeviceChange(window); }, kNoticeLimitMs));
  EXPECT_EQ(usb.ClosePipe(out), 1);
  EXPECT_EQ(usb.ClosePipe(in), 1);
  EXPECT_EQ(usb.Close(device), 1);
  DestroyWindow(window);
}

// ---- the printer-access library over it -----------------------------------------------------

std::set<std::string> ListedSerials(int *pCount) {
  char serials[KT_SERIAL_LIST_SIZE];
  *pCount = kt_listupPrinterSN(serials);
  std::set<std::string> listed;
  for (int i = 0; i < *pCount && i < 128; ++i) listed.insert(std::string(serials + 8 * i, 8));
  if (*pCount >= 0 && *pCount < 128) {
    for (size_t at = 8u * static_cast<size_t>(*pCount); at < sizeof serials; ++at) {
      if (static_cast<uint8_t>(serials[at]) != 0xFF) return {"(overwritten past the list)"};
    }
  }
  return listed;
}


TEST_F(UsbCtrlPrinterSim, TheLibraryUsesOnePrinterAndNoticesItLeave) {
  auto printer = StartPrinter("p", "ONLY0001");
  ASSERT_TRUE(WaitForPorts({PortOf("p")})) << printer->Log();
  MutexHolder other(MutexNameOf("p"));

  uint16_t err = 0xFFFF;
  ASSERT_EQ(kt_open(&err), 1) << err;
  EXPECT_EQ(err, RESULT_OK);
  int count = 0;
  EXPECT_EQ(ListedSerials(&count), (std::set<std::string>{"ONLY0001"}));
  EXPECT_EQ(count, 1);
  const char *selected = kt_selectPrinterSN("ONLY0001", &err);
  ASSERT_NE(selected, nullptr);
  EXPECT_EQ(err, RESULT_OK);
  EXPECT_EQ(std::string(selected, 8), "ONLY0001");
  EXPECT_EQ(kt_status(&err), 1) << err;
  EXPECT_EQ(err, RESULT_OK);
  EXPECT_EQ(kt_GetModelName(&err), 1);
  EXPECT_EQ(err, RESULT_OK);

  // Another process holds the printer: the operation gives up after its
  // wait, then works again once the printer is free.
  ASSERT_TRUE(other.Hold());
  EXPECT_EQ(kt_status(&err), 0);
  EXPECT_EQ(err, RESULT_DEVICE_BUSY);
  EXPECT_EQ(other.Release(), 0);
  EXPECT_EQ(kt_status(&err), 1) << err;

  // The printer ends: the watcher deselects it, and the next call fails.
  EXPECT_EQ(printer->Stop(SIGTERM), 0) << printer->Log();
  EXPECT_TRUE(PollUntil(Deselected, kNoticeLimitMs));
  EXPECT_EQ(kt_status(&err), 0);
  EXPECT_EQ(err, RESULT_PRINTER_NOT_RECOGNIZED);
  EXPECT_EQ(kt_listupPrinterSN(std::vector<char>(KT_SERIAL_LIST_SIZE).data()), 0);
  kt_close();
}

// A second process that runs `body` through the library when told, and
// ends with its result: forked before this process starts any thread.
class LibraryClientProcess {
 public:
  explicit LibraryClientProcess(const std::function<int()> &body) {
    int toChild[2];
    if (pipe(toChild) != 0) return;
    m_pid = fork();
    if (m_pid == 0) {
      close(toChild[1]);
      char c = 0;
      _exit(read(toChild[0], &c, 1) == 1 ? body() : 100);
    }
    close(toChild[0]);
    m_toChild = toChild[1];
  }
  ~LibraryClientProcess() {
    if (m_toChild >= 0) close(m_toChild);
    if (m_pid > 0 && !m_bReaped) {
      kill(m_pid, SIGKILL);
      waitpid(m_pid, nullptr, 0);
    }
  }
  bool Go() {
    const char c = 'g';
    return m_pid > 0 && write(m_toChild, &c, 1) == 1;
  }
  // Its result, once it ended (-1 when it did not end normally).
  int Wait() {
    int result = -1;
    Reap(0, &result);
    return result;
  }
  // Whether it has ended, with its result then.
  bool Ended(int *pResult) { return Reap(WNOHANG, pResult); }

 private:
  bool Reap(int options, int *pResult) {
    int status = 0;
    if (!m_bReaped && (m_pid <= 0 || waitpid(m_pid, &status, options) != m_pid)) return false;
    if (!m_bReaped) m_result = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    m_bReaped = true;
    *pResult = m_result;
    return true;
  }

  pid_t m_pid = -1;
  int m_toChild = -1;
  bool m_bReaped = false;
  int m_result = -1;
};

// Status exchanges of one session on the printer while `bGoOn` holds: how
// many failed, a device that stayed busy through the library's wait not
// counted (no exchange took place).
int FailedStatusExchanges(const char *serial, const std::function<bool(int)> &bGoOn) {
  uint16_t err = 0;
  if (kt_open(&err) != 1 || kt_selectPrinterSN(serial, &err) == nullptr || err != RESULT_OK) return 1000;
  int failed = 0;
  for (int i = 0; bGoOn(i); ++i) {
    if (kt_status(&err) != 1 && err != RESULT_DEVICE_BUSY) ++failed;
  }
  kt_close();
  return failed;
}

// Sessions that each find the printer anew, reading its serial number over
// the bulk pipes: how many did not find exactly it. At most 99, to fit an
// exit code.
int FailedListings(const std::string &serial, int listings) {
  int failed = 0;
  for (int i = 0; i < listings; ++i) {
    uint16_t err = 0;
    int count = 0;
    if (kt_open(&err) != 1 || ListedSerials(&count) != std::set<std::string>{serial}) ++failed;
    kt_close();
  }
  return std::min(failed, 99);
}

// Two processes exchange commands and replies on the same printer's bulk
// pipes, one asking for the status, the other for the serial number: the
// printer's named mutex keeps each exchange whole, so every reply reaches
// the process that asked for it.
TEST_F(UsbCtrlPrinterSim, TwoProcessesExchangingOnOnePrinterEachGetTheirReplies) {
  constexpr int kListings = 40;
  auto printer = StartPrinter("p", "SHARED01");
  LibraryClientProcess lister([] { return FailedListings("SHARED01", kListings); });
  ASSERT_TRUE(WaitForPorts({PortOf("p")})) << printer->Log();
  ASSERT_TRUE(lister.Go());
  // Status exchanges until the lister is done (at least a few).
  int listerResult = -1;
  EXPECT_EQ(FailedStatusExchanges("SHARED01", [&](int i) { return i < 5 || !lister.Ended(&listerResult); }), 0);
  EXPECT_EQ(lister.Wait(), 0);
  EXPECT_TRUE(printer->Running());
}

TEST_F(UsbCtrlPrinterSim, TheLibraryListsAndSelectsTwoPrintersBySerial) {
  auto a = StartPrinter("a", "TWIN000A");
  auto b = StartPrinter("b", "TWIN000B");
  ASSERT_TRUE(WaitForPorts({PortOf("a"), PortOf("b")})) << a->Log() << b->Log();

  uint16_t err = 0xFFFF;
  ASSERT_EQ(kt_open(&err), 1) << err;
  int count = 0;
  EXPECT_EQ(ListedSerials(&count), (std::set<std::string>{"TWIN000A", "TWIN000B"}));
  EXPECT_EQ(count, 2);
  // Listing again finds the same two, without opening them anew.
  EXPECT_EQ(ListedSerials(&count), (std::set<std::string>{"TWIN000A", "TWIN000B"}));

  for (const char *serial : {"TWIN000B", "TWIN000A"}) {
    const char *selected = kt_selectPrinterSN(serial, &err);
    ASSERT_NE(selected, nullptr);
    EXPECT_EQ(err, RESULT_OK) << serial;
    EXPECT_EQ(std::string(selected, 8), serial);
    EXPECT_EQ(kt_status(&err), 1) << serial << " " << err;
    EXPECT_EQ(kt_GetModelName(&err), 1) << serial;
  }
  kt_selectPrinterSN("NOSUCH00", &err);
  EXPECT_EQ(err, RESULT_PRINTER_NOT_FOUND);

  // A (selected) ends; B stays usable, A is no longer listed.
  kt_selectPrinterSN("TWIN000A", &err);
  ASSERT_EQ(err, RESULT_OK);
  EXPECT_EQ(a->Stop(SIGTERM), 0) << a->Log();
  EXPECT_TRUE(PollUntil(Deselected, kNoticeLimitMs));
  EXPECT_EQ(kt_status(&err), 0);
  EXPECT_EQ(err, RESULT_PRINTER_NOT_RECOGNIZED);
  EXPECT_EQ(ListedSerials(&count), (std::set<std::string>{"TWIN000B"}));
  kt_selectPrinterSN("TWIN000B", &err);
  EXPECT_EQ(err, RESULT_OK);
  EXPECT_EQ(kt_status(&err), 1) << err;
  kt_close();
}

}  // namespace
