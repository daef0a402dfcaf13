// Bulk OUT by DMA on the virtual board: command packets at both speeds, NAK
// flow control, large receives, a host that sends more than it announced,
// and the abandon of a receive that makes no progress.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "firmware/platform/usb_bulk_out.h"
#include "firmware/platform/usb_test_rig.h"

namespace {

using sim::UsbOutcome;
using testsupport::Ms;
using usbrig::Command;
using usbrig::g_rig;
using usbrig::RunInAppTask;
using usbrig::RunInUsbTask;
using usbrig::UsbRigTest;

constexpr PhysAddr kDestination = 0xC0400000u;
constexpr uint8_t kGuard = 0xEE;

// ---- command packets --------------------------------------------------------------------

struct CommandCase {
  const char* name;
  bool bHighSpeed;
  size_t payload;  // the command is 4 bytes longer
};

class UsbCommandTest : public UsbRigTest, public ::testing::WithParamInterface<CommandCase> {};

TEST_P(UsbCommandTest, ACommandArrivesAsOneTransfer) {
  const CommandCase& c = GetParam();
  sim::UsbHostPort& host = BootConfigured(c.bHighSpeed);
  const std::vector<uint8_t> first = Command(0x4001, c.payload, 3);
  const std::vector<uint8_t> second = Command(0x0002, 2, 9);
  EXPECT_EQ(host.BulkOut(first, Ms(100)).outcome, UsbOutcome::Done);
  EXPECT_EQ(host.BulkOut(second, Ms(100)).outcome, UsbOutcome::Done);
  ASSERT_TRUE(usbrig::WaitForCommands(*m_machine, 2));
  EXPECT_EQ(g_rig.commands[0], first);
  EXPECT_EQ(g_rig.commands[1], second);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, UsbCommandTest,
    ::testing::Values(CommandCase{"HighSpeedShort", true, 6}, CommandCase{"HighSpeedFullPacket", true, 508},
                      CommandCase{"FullSpeedShort", false, 6},
                      // Longer than one full-speed packet.
                      CommandCase{"FullSpeedTwoPackets", false, 96},
                      // Ends exactly at a packet's end: only the header tells.
                      CommandCase{"FullSpeedPacketMultiple", false, 124},
                      CommandCase{"FullSpeedWholeBuffer", false, 508}),
    usbrig::NameOf());

TEST_F(UsbRigTest, ACommandTheHostCutsShortIsHandedOverAfterAPause) {
  sim::UsbHostPort& host = BootConfigured(false);
  std::vector<uint8_t> command = Command(0x4001, 100);
  command.resize(64);  // one full packet of a 104-byte command, then nothing
  const sim::Nanos sent = m_machine->Now();
  EXPECT_EQ(host.BulkOut(command, Ms(100)).outcome, UsbOutcome::Done);
  m_machine->RunFor(Ms(400));
  EXPECT_TRUE(g_rig.commands.empty());
  ASSERT_TRUE(usbrig::WaitForCommands(*m_machine, 1, Ms(200)));
  EXPECT_EQ(g_rig.commands[0], command);
  EXPECT_GE(m_machine->Now() - sent, Ms(500));
  // The next command is whole again.
  const std::vector<uint8_t> next = Command(0x0002, 10);
  EXPECT_EQ(host.BulkOut(next, Ms(100)).outcome, UsbOutcome::Done);
  ASSERT_TRUE(usbrig::WaitForCommands(*m_machine, 2));
  EXPECT_EQ(g_rig.commands[1], next);
}

TEST_F(UsbRigTest, CommandsWaitWhileOneIsUnreadAndTheHostIsNakedMeanwhile) {
  sim::UsbHostPort& host = BootConfigured();
  g_rig.bRead = false;  // the command layer is busy
  std::vector<std::vector<uint8_t>> sent;
  for (uint8_t i = 0; i < 3; ++i) {
    sent.push_back(Command(0x0010 + i, 20, i));
    EXPECT_EQ(host.BulkOut(sent.back(), Ms(50)).outcome, UsbOutcome::Done) << int(i);
  }
  // The first waits in the command buffer, the next two in the FIFO; the
  // fourth is NAKed until the host gives up.
  sent.push_back(Command(0x0013, 20, 3));
  const uint64_t naks = host.Hub().Stats().outNaks;
  const sim::UsbTransferResult refused = host.BulkOut(sent.back(), Ms(50));
  EXPECT_EQ(refused.outcome, UsbOutcome::NakTimeout);
  EXPECT_EQ(refused.bytes, 0u);
  EXPECT_GT(host.Hub().Stats().outNaks, naks);
  g_rig.bRead = true;
  ASSERT_TRUE(usbrig::WaitForCommands(*m_machine, 3));
  EXPECT_EQ(host.BulkOut(sent.back(), Ms(50)).outcome, UsbOutcome::Done);
  ASSERT_TRUE(usbrig::WaitForCommands(*m_machine, 4));
  EXPECT_EQ(g_rig.commands, sent);
}

// ---- large receives -------------------------------------------------------------------

class UsbLargeReceiveTest : public UsbRigTest {
 protected:
  // Arms a receive of `count` bytes at kDestination, with guard bytes
  // behind it.
  void Arm(uint32_t count) {
    std::memset(usbrig::Ram(kDestination, count + 4096), kGuard, count + 4096);
    int32_t lResult = 1;
    RunInUsbTask(*m_machine, [&] {
      IoctlWord aWords[2] = {kDestination, count};
      lResult = UsbDrvControl(USB_DRIVER_HANDLE, USB_CTRL_START_BULK_RX, aWords);
    });
    EXPECT_EQ(lResult, 0);
    EXPECT_EQ(Running(), 1u);
  }
  uint32_t Running() {
    IoctlWord aWords[1] = {7};
    EXPECT_EQ(UsbDrvControl(USB_DRIVER_HANDLE, USB_CTRL_BULK_RX_STATUS, aWords), 0);
    return static_cast<uint32_t>(aWords[0]);
  }
  bool WaitDone(sim::Nanos limit) {
    bool bDone = false;
    m_machine->RunUntil(
        [&] {
          bDone = UsbGetRxState().ulRunning == 0;
          return bDone;
        },
        limit);
    return bDone;
  }
  std::vector<uint8_t> Received(uint32_t count) {
    const uint8_t* p = usbrig::Ram(kDestination, count);
    return std::vector<uint8_t>(p, p + count);
  }
  size_t GuardBytesIntact(uint32_t count) {
    const uint8_t* p = usbrig::Ram(kDestination + count, 4096);
    size_t n = 0;
    while (n < 4096 && p[n] == kGuard) ++n;
    return n;
  }
};

struct ReceiveCase {
  const char* name;
  bool bHighSpeed;
  uint32_t count;
};

class UsbReceiveSizeTest : public UsbLargeReceiveTest, public ::testing::WithParamInterface<ReceiveCase> {};

TEST_P(UsbReceiveSizeTest, AReceiveFillsItsDestinationAndTheNextCommandFollows) {
  const ReceiveCase& c = GetParam();
  sim::UsbHostPort& host = BootConfigured(c.bHighSpeed);
  Arm(c.count);
  const std::vector<uint8_t> data = usbrig::Pattern(c.count, c.count);
  const sim::UsbTransferResult r = host.BulkOut(data, Ms(20000));
  EXPECT_EQ(r.outcome, UsbOutcome::Done);
  EXPECT_EQ(r.bytes, c.count);
  ASSERT_TRUE(WaitDone(Ms(100)));
  EXPECT_EQ(Received(c.count), data);
  EXPECT_EQ(GuardBytesIntact(c.count), 4096u);
  EXPECT_EQ(g_ulUsbRxAbandoned, 0u);
  EXPECT_EQ(usbrig::Controller().Dma().DroppedBytes(), 0u);
  const std::vector<uint8_t> command = Command(0x0001, 0);
  EXPECT_EQ(host.BulkOut(command, Ms(100)).outcome, UsbOutcome::Done);
  ASSERT_TRUE(usbrig::WaitForCommands(*m_machine, 1));
  EXPECT_EQ(g_rig.commands.back(), command);
}

INSTANTIATE_TEST_SUITE_P(Sizes, UsbReceiveSizeTest,
                         ::testing::Values(ReceiveCase{"HighSpeed100", true, 100},
                                           ReceiveCase{"HighSpeed200000", true, 200000},
                                           ReceiveCase{"HighSpeedTwoPieces", true, 131072},
                                           ReceiveCase{"FullSpeed100", false, 100},
                                           ReceiveCase{"FullSpeed70000", false, 70000}),
                         usbrig::NameOf());

struct ExcessCase {
  const char* name;
  uint32_t announced;
  uint32_t sent;
};

class UsbExcessTest : public UsbLargeReceiveTest, public ::testing::WithParamInterface<ExcessCase> {};

TEST_P(UsbExcessTest, AHostThatSendsMoreThanItAnnouncedNeverWritesPastTheCount) {
  const ExcessCase& c = GetParam();
  sim::UsbHostPort& host = BootConfigured();
  Arm(c.announced);
  const std::vector<uint8_t> data = usbrig::Pattern(c.sent, 77);
  host.BulkOut(data, Ms(2000));
  ASSERT_TRUE(WaitDone(Ms(100)));
  EXPECT_EQ(GuardBytesIntact(c.announced), 4096u);
  EXPECT_EQ(Received(c.announced), std::vector<uint8_t>(data.begin(), data.begin() + c.announced));
  EXPECT_EQ(g_ulUsbRxAbandoned, 0u);
  // The part of the packet that did not fit is dropped by the DMA; what
  // follows the packet is taken as the next command.
  EXPECT_GT(usbrig::Controller().Dma().DroppedBytes(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Cases, UsbExcessTest,
                         ::testing::Values(ExcessCase{"FirstPacket", 100, 512},
                                           ExcessCase{"TailPacket", 1000, 1536},
                                           ExcessCase{"AfterAWholePiece", 65636, 66560}),
                         usbrig::NameOf());

// ---- abandon ------------------------------------------------------------------------------------

struct AbandonCase {
  const char* name;
  uint32_t sentBeforeSilence;
  bool bUnplug;  // the cable is pulled after that
};

class UsbAbandonTest : public UsbLargeReceiveTest, public ::testing::WithParamInterface<AbandonCase> {};

TEST_P(UsbAbandonTest, AReceiveWithoutProgressIsAbandonedAfterThirtySeconds) {
  const AbandonCase& c = GetParam();
  sim::UsbHostPort& host = BootConfigured();
  constexpr uint32_t kCount = 200000;
  Arm(kCount);
  const sim::Nanos armed = m_machine->Now();
  const std::vector<uint8_t> data = usbrig::Pattern(c.sentBeforeSilence, 4);
  if (!data.empty()) {
    EXPECT_EQ(host.BulkOut(data, Ms(1000)).outcome, UsbOutcome::Done);
  }
  if (c.bUnplug) {
    host.Unplug();
    m_machine->RunFor(Ms(10));
    host.Plug();
    ASSERT_TRUE(host.WaitForConfigured(Ms(1000)));
  }
  m_machine->RunUntil([&] { return m_machine->Now() - armed >= Ms(29900); }, Ms(31000));
  EXPECT_EQ(UsbGetRxState().ulRunning, 1u);
  ASSERT_TRUE(WaitDone(Ms(300)));
  EXPECT_EQ(g_ulUsbRxAbandoned, 1u);
  EXPECT_LE(m_machine->Now() - armed, Ms(30100));
  EXPECT_EQ(Received(c.sentBeforeSilence), data);  // what came stays
  // Commands are received normally again ...
  const std::vector<uint8_t> command = Command(0x0001, 0);
  EXPECT_EQ(host.BulkOut(command, Ms(100)).outcome, UsbOutcome::Done);
  ASSERT_TRUE(usbrig::WaitForCommands(*m_machine, 1));
  EXPECT_EQ(g_rig.commands.back(), command);
  // ... and the next receive starts with the flag cleared.
  Arm(100);
  EXPECT_EQ(g_ulUsbRxAbandoned, 0u);
}

INSTANTIATE_TEST_SUITE_P(Cases, UsbAbandonTest,
                         ::testing::Values(AbandonCase{"NothingSent", 0, false},
                                           // Part of a 64 KB piece: the engine holds the descriptor.
                                           AbandonCase{"InsideAPiece", 10240, false},
                                           AbandonCase{"CablePulled", 30000, true}),
                         usbrig::NameOf());

TEST_F(UsbLargeReceiveTest, AReceiveArmedWhileACommandArrivesKeepsTheDescriptorArmedOnce) {
  sim::UsbHostPort& host = BootConfigured();
  g_rig.bPoll = false;  // the command lands, but nobody has polled yet
  const std::vector<uint8_t> command = Command(0x8001, 12);
  EXPECT_EQ(host.BulkOut(command, Ms(100)).outcome, UsbOutcome::Done);
  Arm(1000);  // takes the descriptor back from the completion queue
  g_rig.bPoll = true;
  ASSERT_TRUE(usbrig::WaitForCommands(*m_machine, 1));
  EXPECT_EQ(g_rig.commands[0], command);
  const std::vector<uint8_t> data = usbrig::Pattern(1000, 8);
  EXPECT_EQ(host.BulkOut(data, Ms(1000)).outcome, UsbOutcome::Done);
  ASSERT_TRUE(WaitDone(Ms(100)));
  EXPECT_EQ(Received(1000), data);
}

}  // namespace
