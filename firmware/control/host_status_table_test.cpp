// The host status table: items by id, the unit-B mark of printing states,
// and the notification that queues the status record.
#include <gtest/gtest.h>

#include "firmware/control/host_status_table.h"
#include "firmware/devices/life_counters.h"
#include "firmware/devices/settings.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/hostif/usb_command_test_support.h"
#include "protocol/codes.h"

namespace {

class HostStatus : public hostiftest::UsbCommandTest {
 protected:
  void SetUp() override {
    UsbCommandTest::SetUp();
    BootQuiet();
  }
};

TEST_F(HostStatus, IdsThatAreNoItemsAreRefusedEvenWithNotification) {
  InApp([] {
    for (uint32_t ulId : {0u, 5u, 15u, 50u, 56u, 63u, 70u}) {
      EXPECT_EQ(SetStatusItem(ulId, 7, 1), -1) << ulId;
      EXPECT_EQ(GetStatusItem(ulId), 0xFFFFFFFFu) << ulId;
    }
    EXPECT_EQ(usb_comm_txreq_count(), 0u);
    // Every item has its own word.
    for (uint32_t ulId : {1u, 4u, 16u, 41u, 42u, 49u, 51u, 52u, 55u, 64u, 69u}) {
      EXPECT_EQ(SetStatusItem(ulId, 1000 + ulId, 0), 0);
    }
    for (uint32_t ulId : {1u, 4u, 16u, 41u, 42u, 49u, 51u, 52u, 55u, 64u, 69u}) {
      EXPECT_EQ(GetStatusItem(ulId), 1000 + ulId) << ulId;
    }
  });
}

struct StateCase {
  uint32_t unit;
  uint32_t state;
  uint32_t stored;
};

TEST_F(HostStatus, PrintingStatesOfUnitBCarryBit7) {
  InApp([] {
    for (const StateCase& c : {StateCase{0, 0x61, 0x61}, StateCase{1, 0x61, 0xE1}, StateCase{1, 0x60, 0xE0},
                               StateCase{1, 0x6E, 0xEE}, StateCase{1, 0x6A, 0x6A}, StateCase{1, 0x6F, 0x6F},
                               StateCase{1, 0x11, 0x11}, StateCase{1, 0x71, 0x71}}) {
      SelectUnit(c.unit);
      EXPECT_EQ(SetStatusItem(SI_PRINTER_STATE, c.state, 0), 0);
      EXPECT_EQ(GetStatusItem(SI_PRINTER_STATE), c.stored) << std::hex << c.state << " unit " << c.unit;
    }
    SelectUnit(0);
  });
}

TEST_F(HostStatus, ANotifyingWriteQueuesTheStatusRecordAndPolls) {
  InApp([] {
    EXPECT_EQ(SetStatusItem(SI_PRINTER_STATE, protocol::PRINTER_STATE_PRINTING, 1), 0);
    // The poll inside has already written the record into box 1.
    const hostiftest::Message m = hostiftest::TakeMessage();
    ASSERT_TRUE(m.bPresent);
    EXPECT_EQ(m.usCode, APPMSG_NOTIFY_STATUS);
    EXPECT_EQ(m.payload[2], protocol::PRINTER_STATE_PRINTING);
    // With the queue full the value is stored and the error returned.
    while (usb_comm::regist_txreq_code(APPMSG_NOTIFY_MEDIA) == 0) {
    }
    EXPECT_EQ(SetStatusItem(SI_AUX_STATUS, 9, 1), -1);
    EXPECT_EQ(GetStatusItem(SI_AUX_STATUS), 9u);
  });
}

}  // namespace

namespace {

// The counter items carry the counters as the EEPROM holds them, at
// start-up and at every refresh; item 51 carries "Key Enable".
TEST_F(HostStatus, CounterItemsAndKeyEnableFollowTheirSources) {
  InApp([] {
    const struct {
      uint32_t ulId;
      CLifeCounter* pCounter;
    } kItems[] = {
        {16, &g_CounterTotal},        {17, &g_CounterMainte},     {18, &g_CounterTotalLengthL},
        {19, &g_CounterTotalLengthR}, {20, &g_CounterMntLengthL}, {21, &g_CounterMntLengthR},
        {22, &g_CounterTotalL},       {23, &g_CounterTotalR},     {24, &g_CounterMntL},
        {25, &g_CounterMntR},         {26, &g_CounterMediaPrn},   {27, &g_CounterMediaPrnL},
        {28, &g_CounterMediaPrnR},    {64, &g_CounterCut},        {65, &g_CounterCarousel},
        {66, &g_CounterHeadLengthL},  {67, &g_CounterHeadLengthR}, {68, &g_CounterHeadPrintsL},
        {69, &g_CounterHeadPrintsR},
    };
    // Distinct values, each within its cell (the media counters have two
    // bytes), so a swapped pair shows.
    for (const auto& item : kItems) ASSERT_EQ(item.pCounter->Write(1000 + item.ulId), 0) << item.ulId;
    ASSERT_EQ(g_ParamKeyEnable.SetValue(0), 0);
    SetStatusItem(SI_JOB_STATUS_0, 5, 0);
    EXPECT_EQ(InitStatusItems(), 0);
    for (const auto& item : kItems) EXPECT_EQ(GetStatusItem(item.ulId), 1000 + item.ulId) << item.ulId;
    EXPECT_EQ(GetStatusItem(SI_KEY_ENABLE), 0u);
    EXPECT_EQ(GetStatusItem(SI_JOB_STATUS_0), 0u);
    EXPECT_EQ(GetStatusItem(SI_PRINTER_STATE), static_cast<uint32_t>(protocol::PRINTER_STATE_CPU_INIT));

    // A refresh takes the counters again but leaves the other items.
    for (const auto& item : kItems) ASSERT_EQ(item.pCounter->Write(2000 + item.ulId), 0) << item.ulId;
    SetStatusItem(SI_JOB_STATUS_0, 5, 0);
    EXPECT_EQ(RefreshCounterItems(), 0);
    for (const auto& item : kItems) EXPECT_EQ(GetStatusItem(item.ulId), 2000 + item.ulId) << item.ulId;
    EXPECT_EQ(GetStatusItem(SI_JOB_STATUS_0), 5u);
    EXPECT_EQ(GetStatusItem(SI_PAPER_REMAIN), 0u) << "nothing is known of the roll before its first load";
    ASSERT_EQ(g_ParamKeyEnable.SetValue(1), 0);
  });
}

}  // namespace
