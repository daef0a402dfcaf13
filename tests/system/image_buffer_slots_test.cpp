// The image-buffer slot tables in the running printer: allocations made in
// the application reach the host through the buffer-status reply, and the
// ready state keeps the Ready LED off while every buffer of the current
// colour pool waits printed.
#include <gtest/gtest.h>

#include <functional>

#include "firmware/control/error_manager.h"
#include "firmware/control/event_states.h"
#include "firmware/devices/buf_slot_table.h"
#include "firmware/hostif/usb_command_test_support.h"
#include "protocol/codes.h"
#include "protocol/replies.h"
#include "sim/panel/panel.h"
#include "sim/usb/usb_host_port.h"
#include "tests/support/machine_test.h"

namespace {

using hostiftest::Command;
using sim::PanelLed;
using testsupport::Ms;
using namespace protocol;

void Allocate(CBufSlotTable& table, uint16_t usType, uint32_t ulCount, uint16_t usTag1, uint16_t usTag2) {
  int32_t lIndex = 0;
  uint32_t ulOffset = 0;
  table.Allocate(usType, ulCount, usTag1, usTag2, &lIndex, &ulOffset);
}

constexpr sim::Nanos kSettle = testsupport::kSettleToReady;

class ImageBufferSlots : public testsupport::MachineTest {
 protected:
  void SetUp() override {
    BootNewPrinter();
    m_machine->RunUntil([] { return g_pCurEventMng == &g_EventMngReadyA; }, kSettle);
    ASSERT_EQ(g_pCurEventMng, &g_EventMngReadyA);
    // Its entry sets the LEDs after the state is made current.
    m_machine->RunFor(Ms(100));
    ASSERT_TRUE(m_machine->UsbHost().WaitForConfigured(Ms(5000)));
  }

  void Step(std::function<void()> step) { ASSERT_TRUE(m_machine->RunStep(std::move(step), Ms(1000))); }

  BufferStatusReply BufferStatus() {
    const hostiftest::Reply r = Command(m_machine->UsbHost(), CMD_GET_BUFFER_STATUS);
    EXPECT_EQ(r.header.replyKind, REPLY_OK);
    BufferStatusReply reply{};
    EXPECT_GE(DecodeReply(r.data.data(), r.data.size(), &reply), 0);
    return reply;
  }

  // Leaves the ready state through an error and comes back, so that the
  // ready state's entry runs again.
  void ReenterReady() {
    Step([] { g_ErrorMng.SetError(0x0110); });
    m_machine->RunUntil([] { return g_pCurEventMng == &g_EventMngHError; }, Ms(2000));
    Step([] { g_ErrorMng.ClearError(0x0110); });
    m_machine->RunUntil([] { return g_pCurEventMng == &g_EventMngReadyA; }, Ms(4000));
    m_machine->RunFor(Ms(100));
    ASSERT_EQ(g_pCurEventMng, &g_EventMngReadyA);
  }

  sim::PanelLeds& Leds() { return *m_machine->GetBoard().FindDevice<sim::PanelLeds>(); }
};

TEST_F(ImageBufferSlots, TheHostSeesTheMirroredTablesAllocations) {
  // Entries first to last read `entry`.
  struct Expected {
    uint8_t ucFirst;
    uint8_t ucLast;
    BufferStatusEntry entry;
  };
  struct Case {
    const char* name;
    std::function<void()> change;
    std::vector<Expected> expected;  // every other entry reads free
  };
  const Case cases[] = {
      {"fresh", [] {}, {}},
      {"a run of two and a single buffer on the coarse table",
       [] {
         Allocate(g_BufSlots3A, BUF_TYPE_PRINT, 2, 0x0105, 0x0207);
         Allocate(g_BufSlots3A, BUF_TYPE_UPDATE, 1, 9, 10);
       },
       {{0, 1, {1, 5, 7}}, {2, 2, {1, 9, 10}}}},
      {"a released run still reads held; the freed one reads free",
       [] {
         g_BufSlots3A.Release(0);
         g_BufSlots3A.Free(2);
       },
       {{0, 1, {1, 5, 7}}}},
      {"the unmirrored table is not seen",
       [] { Allocate(g_BufSlots3B, BUF_TYPE_PRINT, 3, 1, 1); },
       {{0, 1, {1, 5, 7}}}},
      {"the fine table written last is what the host sees",
       [] {
         Allocate(g_BufSlots18A, BUF_TYPE_PRINT, 1, 3, 4);
         Allocate(g_BufSlots18A, BUF_TYPE_PRINT, 16, 0x0321, 0x0654);
       },
       {{0, 0, {1, 3, 4}}, {1, 16, {1, 0x21, 0x54}}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Step(c.change);
    const BufferStatusReply reply = BufferStatus();
    for (uint8_t i = 0; i < protocol::BUFFER_STATUS_ENTRIES; ++i) {
      BufferStatusEntry want{0, 0, 0};
      for (const Expected& e : c.expected) {
        if (i >= e.ucFirst && i <= e.ucLast) want = e.entry;
      }
      EXPECT_EQ(reply.entries[i].inUse, want.inUse) << "entry " << int(i);
      EXPECT_EQ(reply.entries[i].firstTag, want.firstTag) << "entry " << int(i);
      EXPECT_EQ(reply.entries[i].secondTag, want.secondTag) << "entry " << int(i);
    }
  }
}

TEST_F(ImageBufferSlots, ReadyStaysDarkWhileEveryColourBufferWaitsPrinted) {
  EXPECT_TRUE(Leds().IsOn(PanelLed::Ready));
  Step([] {
    for (uint32_t i = 0; i < 3; ++i) Allocate(g_BufSlots3A, BUF_TYPE_PRINT, 1, 0, 0);
    for (uint32_t i = 0; i < 3; ++i) g_BufSlots3A.Release(i);
  });
  ReenterReady();
  EXPECT_FALSE(Leds().IsOn(PanelLed::Ready)) << "every buffer released";
  Step([] { g_BufSlots3A.Free(1); });
  ReenterReady();
  EXPECT_TRUE(Leds().IsOn(PanelLed::Ready)) << "a free buffer";
}

}  // namespace
