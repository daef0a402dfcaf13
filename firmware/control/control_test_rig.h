// Test rig of the control core: a printer whose application runs the jobs a
// test hands it (the main loop does not run), with a quiet USB task so the
// test sees every status notification in the mailbox, and the panel at
// hand.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>

#include "firmware/control/engine_variant.h"
#include "firmware/control/error_manager.h"
#include "firmware/control/event_states.h"
#include "firmware/control/idle_supervisor.h"
#include "firmware/hostif/usb_command_test_support.h"
#include "firmware/platform/time_base.h"
#include "firmware/printengine/thv_control.h"
#include "protocol/status_record.h"
#include "sim/panel/panel.h"

namespace controltest {

using sim::PanelKey;
using sim::PanelLed;
using testsupport::Ms;

constexpr uint64_t Events(std::initializer_list<uint32_t> events) {
  uint64_t ullBits = 0;
  for (uint32_t e : events) ullBits |= uint64_t{1} << e;
  return ullBits;
}

// The status notifications waiting for the USB task: takes them all, and
// decodes the last one's record into *pLast. Changes made while a notice
// waits unbuilt share it, so a burst of changes in one pass gives the
// notice already in box 1 and one more.
inline uint32_t TakeNotifications(protocol::StatusRecord* pLast = nullptr) {
  uint32_t ulCount = 0;
  for (hostiftest::Message m = hostiftest::TakeMessage(); m.bPresent; m = hostiftest::TakeMessage()) {
    ++ulCount;
    if (pLast != nullptr) protocol::DecodeStatusRecord(m.payload.data(), m.payload.size(), pLast);
    usb_comm_poll();  // the taken message leaves the queue
    usb_comm_poll();  // the next is sent
  }
  return ulCount;
}

// Makes the state current with no request for a selection pending.
inline void MakeCurrent(CEventMng* pState) {
  g_IdleSupervisor.SelectEventState();
  g_pCurEventMng = pState;
}

inline uint32_t NowMs() { return g_MsTimer.NowMs(); }

inline bool IsErrorSet(uint32_t ulIndex) {
  uint32_t ulFlag = 0;
  g_ErrorMng.IsErrorSet(ulIndex, &ulFlag);
  return ulFlag != 0;
}

class ControlTest : public hostiftest::UsbCommandTest {
 protected:
  void SetUp() override {
    UsbCommandTest::SetUp();
    BootQuiet();
    // The start-up's head supply: on at its rest step, where the walks of
    // the pre-heat and the print planes start.
    InApp([] { g_ThvYL.Init(); });
    // The states' tests look at the dispatch, not at the mechanism: the
    // home run succeeds at once.
    g_pfnInitMecha = []() -> int32_t { return 0; };
  }
  sim::LcdController& Lcd() { return *m_machine->GetBoard().FindDevice<sim::LcdController>(); }
  sim::PanelKeys& Keys() { return *m_machine->GetBoard().FindDevice<sim::PanelKeys>(); }
  sim::PanelLeds& Leds() { return *m_machine->GetBoard().FindDevice<sim::PanelLeds>(); }
  // The Menu key's action waits in its menu for a key: Clear tapped every
  // 500 ms for the next 40 s leaves each menu a state's dispatch opens.
  void ClearEveryMenu() {
    for (uint64_t k = 0; k < 80; ++k) Keys().Tap(sim::PanelKey::Clear, Ms(150), Ms(300 + 500 * k));
  }
};

}  // namespace controltest
