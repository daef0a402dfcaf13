// The device-change watcher: a removal noticed, each handle closed once,
// and kt_close ending it cleanly whatever the watcher is doing.
#include "device_watcher.h"

#include <dbt.h>
#include "library_test_support.h"

namespace hostlib_test {
namespace {

using WatcherTest = LibraryTest;

// Lets the watcher run up to its first poll.
void LetWatcherStart() { Sleep(1); }

TEST_F(WatcherTest, UnpluggedPrinterMakesTheNextCallFail) {
  usbctrl_double::AddPrinter("R0000001");
  Open();
  LetWatcherStart();
  EXPECT_EQ(usbctrl_double::Unplug(0), 1);  // the watcher's window got the message
  Sleep(hostlib::kWatcherPollMs);

  uint16_t err = 0;
  EXPECT_EQ(kt_status(&err), 0);
  EXPECT_EQ(err, RESULT_PRINTER_NOT_RECOGNIZED);
  EXPECT_EQ(kt_selectPrinter(KT_NO_PRINTER, &err), KT_NO_PRINTER);
  EXPECT_EQ(kt_GetModelName(&err), 0);
  uint8_t numbers[KT_PRINTER_LIST_SIZE];
  EXPECT_EQ(kt_listupPrinter(numbers), 0);

  // The sweep closed the printer and both its pipes, once each; closing
  // the sessions closes nothing twice.
  usbctrl_double::Counters counters = usbctrl_double::GetCounters();
  EXPECT_EQ(counters.closes, 1);
  EXPECT_EQ(counters.pipesClosed, 2);
  kt_close();
  counters = usbctrl_double::GetCounters();
  EXPECT_EQ(counters.closes, 1);
  EXPECT_EQ(counters.closesOfClosed, 0);
  EXPECT_EQ(counters.pipesClosed, 2);
  EXPECT_EQ(counters.badPipeCloses, 0);
  EXPECT_EQ(usbctrl_double::LivePipes(), 0);
}

TEST_F(WatcherTest, OtherPrinterStaysUsable) {
  usbctrl_double::AddPrinter("R0000001");
  usbctrl_double::AddPrinter("R0000002");
  Open();
  LetWatcherStart();
  usbctrl_double::Unplug(1);
  Sleep(hostlib::kWatcherPollMs);
  uint16_t err = 0;
  EXPECT_EQ(kt_status(&err), 1);
  char serials[KT_SERIAL_LIST_SIZE];
  EXPECT_EQ(kt_listupPrinterSN(serials), 1);
  EXPECT_EQ(Serial(serials), "R0000001");
  EXPECT_NE(kt_selectPrinterSN("R0000002", &err), nullptr);
  EXPECT_EQ(err, RESULT_PRINTER_NOT_FOUND);
  EXPECT_EQ(kt_selectPrinter(KT_NO_PRINTER, &err), 0);
}

TEST_F(WatcherTest, CloseEndsTheWatcherWithinOnePoll) {
  usbctrl_double::AddPrinter("R0000001");
  Open();
  LetWatcherStart();
  const uint64_t start = Elapsed();
  kt_close();
  EXPECT_LE(Elapsed() - start, 50u + hostlib::kWatcherPollMs);
  EXPECT_EQ(hostlib::g_pWatcher, nullptr);
  EXPECT_EQ(W32X_BroadcastDeviceChange(DBT_DEVNODES_CHANGED), 0u);  // its window is gone
}

// A stop asked before the watcher first ran is not lost: here the watcher
// cannot start before the library lock is free, and kt_close's first half
// has run by then.
TEST_F(WatcherTest, StopAskedBeforeTheWatcherRunsIsKept) {
  usbctrl_double::AddPrinter("R0000001");
  hostlib::DeviceWatcher *stopping = nullptr;
  {
    hostlib::LibraryLock lock;
    Open();
    stopping = hostlib::CloseUnderLibraryLock();
  }
  ASSERT_NE(stopping, nullptr);
  const uint64_t start = Elapsed();
  hostlib::FinishClose(stopping);
  EXPECT_LE(Elapsed() - start, hostlib::kWatcherPollMs);
}

// Only the one who stops a run sets its flag, and the run's thread never
// clears it: a run asked to stop before its thread exists ends at its first
// look at the flag, whatever the thread does before that look.
TEST_F(WatcherTest, ARunAskedToStopBeforeItsThreadExistsEndsAtItsFirstLook) {
  hostlib::DeviceWatcher *run = hostlib::DeviceWatcher::Create();
  ASSERT_NE(run, nullptr);
  run->RequestStop();
  ASSERT_TRUE(run->Run());
  const bool ended = run->Join(hostlib::kWatcherPollMs / 2);
  EXPECT_TRUE(ended) << "the run went on polling";
  if (!ended) {
    run->RequestStop();
    ASSERT_TRUE(run->Join(2 * hostlib::kWatcherPollMs));
  }
  delete run;
}

// The watcher wakes with a device change while kt_close holds the library
// lock: kt_close must not wait for it under that lock, and the sweep must
// find the sessions gone rather than use them.
TEST_F(WatcherTest, DeviceChangeDuringCloseNeitherBlocksNorSweepsDestroyedSessions) {
  usbctrl_double::AddPrinter("R0000001");
  Open();      // the watcher's first poll is at +200 ms
  Sleep(170);  // kt_close below holds the library lock from +170 to +220 ms
  usbctrl_double::Unplug(0);
  const int checksBefore = usbctrl_double::GetCounters().checkDeviceCalls;
  const uint64_t start = Elapsed();
  kt_close();
  EXPECT_LE(Elapsed() - start, 50u + 2 * hostlib::kWatcherPollMs);
  EXPECT_EQ(usbctrl_double::GetCounters().checkDeviceCalls, checksBefore);
  EXPECT_EQ(hostlib::g_apSessions[0].load(), nullptr);
}

}  // namespace
}  // namespace hostlib_test
