// Shared pieces of the library's tests: a fixture on the virtual clock with
// a fresh USB-access double, threads running lambdas, and short-hands for
// the exports.
#pragma once

#include <gtest/gtest.h>
#include <process.h>
#include <win32_ext.h>
#include <windows.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bom7300upgrade.h"
#include "host_result_codes.h"
#include "library_frame.h"
#include "outside_libraries.h"
#include "printer_session.h"
#include "transport.h"
#include "protocol/headers.h"
#include "usbctrl_double/usbctrl_double.h"

namespace hostlib_test {

// Every test starts with no printers and no sessions, on a virtual clock
// at kStart, and ends with every thread unregistered and every session
// destroyed.
class LibraryTest : public ::testing::Test {
 protected:
  static constexpr uint64_t kStart = 1000;

  void SetUp() override {
    usbctrl_double::Reset();
    hostlib::ResetTransferTimeOutFlags();
    W32X_VIRTUAL_CLOCK clock{kStart, 0, 0};
    ASSERT_TRUE(W32X_UseVirtualClock(&clock));
  }

  void TearDown() override {
    {
      hostlib::LibraryLock lock;
      for (auto &slot : hostlib::g_aThreadSlots) slot.store(hostlib::kFreeSlot);
    }
    kt_close();
    EXPECT_TRUE(W32X_UseRealClock());
    hostlib::SetOutsideLibraryFiles(nullptr, nullptr);
    usbctrl_double::Reset();
  }

  // Virtual milliseconds since the test began.
  static uint64_t Elapsed() { return W32X_ClockNow() - kStart; }

  // The session of slot 0 (the one discovery works with).
  static hostlib::PrinterSession &FirstSession() { return *hostlib::g_apSessions[0].load(); }

  // kt_open that must succeed.
  static void Open() {
    uint16_t err = 0xFFFF;
    ASSERT_EQ(kt_open(&err), 1) << "result code " << err;
    ASSERT_EQ(err, RESULT_OK);
  }

  static std::string Serial(const char *serial) { return std::string(serial, KT_SERIAL_LENGTH); }
};

struct ThreadBody {
  std::function<unsigned()> run;
};

inline unsigned __stdcall RunThreadBody(void *raw) {
  std::unique_ptr<ThreadBody> body(static_cast<ThreadBody *>(raw));
  return body->run();
}

// A thread of ours (counted by the virtual clock) running `run`.
class TestThread {
 public:
  explicit TestThread(std::function<unsigned()> run) {
    auto *body = new ThreadBody{std::move(run)};
    handle_ = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, RunThreadBody, body, 0, nullptr));
    if (handle_ == nullptr) delete body;
  }
  ~TestThread() {
    if (handle_ != nullptr) {
      WaitForSingleObject(handle_, INFINITE);
      CloseHandle(handle_);
    }
  }
  // Waits for the end; the body's result.
  unsigned Join() {
    WaitForSingleObject(handle_, INFINITE);
    DWORD code = 0;
    GetExitCodeThread(handle_, &code);
    return code;
  }

 private:
  HANDLE handle_ = nullptr;
};

// Runs `run` on a thread of its own and waits for it.
inline unsigned OnOtherThread(std::function<unsigned()> run) { return TestThread(std::move(run)).Join(); }

using Bytes = std::vector<uint8_t>;

// The number of commands with this code the printer received.
inline size_t CommandsSent(int printer, uint16_t code) {
  size_t count = 0;
  for (const auto &packet : usbctrl_double::Written(printer)) {
    if (packet.size() >= 2 && (packet[0] | packet[1] << 8) == code) ++count;
  }
  return count;
}

// A reply with this header and data, as the printer would send it.
inline Bytes ReplyBytes(uint8_t errorCode, uint8_t printerState, const Bytes &data, uint8_t errorClass = 0,
                        uint8_t errorDetail = 0) {
  Bytes reply(protocol::REPLY_HEADER_SIZE + data.size());
  protocol::EncodeReplyHeader(protocol::MakeReplyHeader(errorCode, errorClass, errorDetail, 0, printerState,
                                                        static_cast<uint16_t>(data.size())),
                              reply.data(), reply.size());
  if (!data.empty()) std::memcpy(reply.data() + protocol::REPLY_HEADER_SIZE, data.data(), data.size());
  return reply;
}

// True when another thread can take the printer's device lock at once: no
// operation of this thread left it held.
inline bool DeviceLockIsFree(int device = 0) {
  HANDLE mutex = hostlib::g_aDeviceTable.mutex[device].load();
  return OnOtherThread([mutex] {
           const DWORD waited = WaitForSingleObject(mutex, 0);
           if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) ReleaseMutex(mutex);
           return waited == WAIT_OBJECT_0 ? 1u : 0u;
         }) == 1u;
}

}  // namespace hostlib_test
