// The printer as printer-sim runs it, under control transfers a hostile
// host sends: an OUT request whose data stage holds what looks like a SETUP
// packet. The printer stalls the request, stays on the bus and answers the
// next command over the bulk pipes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "firmware/hostif/usb_command_test_support.h"
#include "protocol/codes.h"
#include "protocol/replies.h"
#include "protocol/status_record.h"
#include "sim/usb/usb_controller.h"

namespace {

using hostiftest::Bytes;
using hostiftest::Command;
using hostiftest::Reply;
using sim::UsbOutcome;
using sim::UsbSetupPacket;
using testsupport::Ms;

struct HostileCase {
  const char* name;
  bool bHighSpeed;
  Bytes dataStage;  // of GET_STATUS sent OUT with wLength 8
};

class PrinterUnderHostileControl : public testsupport::MachineTest,
                                   public ::testing::WithParamInterface<HostileCase> {};

TEST_P(PrinterUnderHostileControl, StallsTheRequestStaysOnTheBusAndAnswersStatus) {
  const HostileCase& c = GetParam();
  sim::MachineOptions options;
  options.bUsbHighSpeed = c.bHighSpeed;
  sim::Machine& m = Boot(std::move(options));
  sim::UsbHostPort& host = m.UsbHost();
  ASSERT_TRUE(host.WaitForConfigured(Ms(10000))) << host.Hub().FailureReason();
  const uint32_t enumerations = static_cast<uint32_t>(host.Hub().Stats().enumerations);

  EXPECT_EQ(host.Control(UsbSetupPacket{0x00, 0, 0, 0, 8}, c.dataStage).outcome, UsbOutcome::Stall);
  m.RunFor(Ms(100));

  EXPECT_EQ(m.GetBoard().FindDevice<sim::UsbController>()->TestMode(), 0u);
  EXPECT_EQ(host.Hub().State(), sim::UsbPortState::Configured);
  EXPECT_EQ(host.Hub().Stats().enumerations, enumerations) << "the printer left the bus";
  const Reply status = Command(host, protocol::CMD_GET_STATUS);
  ASSERT_EQ(status.outcome, UsbOutcome::Done);
  ASSERT_TRUE(status.bFramed);
  EXPECT_EQ(status.header.replyKind, protocol::REPLY_OK);
  EXPECT_EQ(status.data.size(), protocol::STATUS_REPLY_SIZE);
}

const Bytes kDeviceIdRequest{0xA1, 0x00, 0x00, 0x00, 0x00, 0x00, 0x4D, 0x00};
const Bytes kTestModeRequest{0x00, 0x03, 0x02, 0x00, 0x00, 0x03, 0x00, 0x00};

INSTANTIATE_TEST_SUITE_P(Sequences, PrinterUnderHostileControl,
                         ::testing::Values(HostileCase{"DeviceIdHighSpeed", true, kDeviceIdRequest},
                                           HostileCase{"DeviceIdFullSpeed", false, kDeviceIdRequest},
                                           HostileCase{"TestModeHighSpeed", true, kTestModeRequest},
                                           HostileCase{"TestModeFullSpeed", false, kTestModeRequest}),
                         [](const ::testing::TestParamInfo<HostileCase>& p) { return std::string(p.param.name); });

}  // namespace
