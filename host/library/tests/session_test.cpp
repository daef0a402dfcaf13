// Sessions per thread: opening, registering, calls from a thread without a
// session, and the last kt_close.
#include <atomic>

#include "device_watcher.h"
#include "library_test_support.h"
#include "protocol/codes.h"

namespace hostlib_test {
namespace {

using SessionTest = LibraryTest;

int16_t RegisteredThreads() {
  int16_t threads = -1;
  uint16_t slots = 0;
  hostlib::CountRegisteredThreads(&threads, &slots);
  return threads;
}

// Before any kt_open nothing has a session: every call says so, selecting
// registers nobody and touches no printer, and kt_open then works as usual.
TEST_F(SessionTest, CallsBeforeOpenHaveNoSession) {
  usbctrl_double::AddPrinter("R0000001");
  uint16_t err = 0;
  EXPECT_EQ(kt_status(&err), 0);
  EXPECT_EQ(err, RESULT_NO_SESSION);
  EXPECT_EQ(kt_status(nullptr), 0);
  err = 0;
  EXPECT_EQ(kt_GetModelName(&err), 0);
  EXPECT_EQ(err, RESULT_NO_SESSION);
  err = 0;
  EXPECT_EQ(kt_selectPrinter(0, &err), KT_NO_PRINTER);
  EXPECT_EQ(err, RESULT_NO_SESSION);
  err = 0;
  EXPECT_EQ(kt_selectPrinterSN("R0000001", &err), nullptr);
  EXPECT_EQ(err, RESULT_NO_SESSION);
  uint8_t numbers[KT_PRINTER_LIST_SIZE] = {};
  EXPECT_EQ(kt_listupPrinter(numbers), 0);
  for (uint8_t n : numbers) ASSERT_EQ(n, 0xFF);
  EXPECT_EQ(RegisteredThreads(), 0);
  EXPECT_EQ(usbctrl_double::GetCounters().opens, 0);

  Open();
  EXPECT_EQ(RegisteredThreads(), 1);
  EXPECT_EQ(kt_status(&err), 1);
  EXPECT_EQ(err, RESULT_OK);
}

// One slot (the default): the second thread's kt_open reopens the sessions
// but gets no slot; once the first thread closed, it gets one.
TEST_F(SessionTest, OneSlotServesOneThreadAtATime) {
  usbctrl_double::AddPrinter("R0000001");
  Open();
  std::atomic<uint16_t> code{0};
  EXPECT_EQ(OnOtherThread([&] {
              uint16_t err = 0;
              const int opened = kt_open(&err);
              code = err;
              return static_cast<unsigned>(opened);
            }),
            0u);
  EXPECT_EQ(code.load(), RESULT_NO_SESSION);
  EXPECT_EQ(OnOtherThread([&] {
              uint16_t err = 0;
              const int status = kt_status(&err);
              code = err;
              kt_close();  // not registered: changes nothing
              return static_cast<unsigned>(status);
            }),
            0u);
  EXPECT_EQ(code.load(), RESULT_NO_SESSION);
  uint16_t err = 0;
  EXPECT_EQ(kt_status(&err), 1);
  EXPECT_EQ(RegisteredThreads(), 1);

  kt_close();
  EXPECT_EQ(hostlib::g_apSessions[0].load(), nullptr);
  EXPECT_EQ(OnOtherThread([&] {
              uint16_t e = 0;
              const int opened = kt_open(&e);
              const int status = kt_status(&e);
              code = e;
              kt_close();
              return static_cast<unsigned>(opened + status);
            }),
            2u);
  EXPECT_EQ(code.load(), RESULT_OK);
  EXPECT_EQ(hostlib::g_apSessions[0].load(), nullptr);
}

TEST_F(SessionTest, SecondOpenOfTheSameThreadRegistersItOnce) {
  usbctrl_double::AddPrinter("R0000001");
  Open();
  Open();
  EXPECT_EQ(RegisteredThreads(), 1);
  EXPECT_EQ(usbctrl_double::GetCounters().opens, 1);  // the printers are enumerated once
  kt_close();
  EXPECT_EQ(hostlib::g_apSessions[0].load(), nullptr);
  EXPECT_EQ(hostlib::g_pWatcher, nullptr);
  const usbctrl_double::Counters counters = usbctrl_double::GetCounters();
  EXPECT_EQ(counters.closes, 1);
  EXPECT_EQ(counters.pipesClosed, counters.pipesGiven);
  EXPECT_EQ(counters.badPipeCloses, 0);
}

// With two slots, two threads hold sessions of their own, each with its own
// selected printer.
TEST_F(SessionTest, EachThreadWorksOnItsOwnSelection) {
  usbctrl_double::AddPrinter("R0000001");
  usbctrl_double::AddPrinter("R0000002");
  Open();
  ASSERT_EQ(hostlib::SetSessionSlotCount(2), 1);
  std::atomic<int> otherStatus{0};
  TestThread other([&] {
    uint16_t err = 0;
    if (kt_open(&err) != 1) return 1u;
    if (kt_selectPrinterSN("R0000002", &err) == nullptr || err != RESULT_OK) return 2u;
    otherStatus = kt_status(&err);
    kt_close();
    return 0u;
  });
  EXPECT_EQ(other.Join(), 0u);
  EXPECT_EQ(otherStatus.load(), 1);
  uint16_t err = 0;
  EXPECT_EQ(kt_selectPrinter(KT_NO_PRINTER, &err), 0);  // this thread's choice is untouched
  EXPECT_EQ(kt_status(&err), 1);
  EXPECT_EQ(CommandsSent(0, protocol::CMD_GET_STATUS), 1u);
  EXPECT_EQ(CommandsSent(1, protocol::CMD_GET_STATUS), 1u);
  EXPECT_EQ(RegisteredThreads(), 1);
}

}  // namespace
}  // namespace hostlib_test
