// The USB driver's controller bring-up, entry points, connect and bulk IN
// path on the virtual board.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "firmware/platform/usb_test_rig.h"
#include "sim/soc/psc.h"
#include "sim/soc/syscfg.h"

namespace {

using sim::UsbOutcome;
using testsupport::Ms;
using usbrig::g_rig;
using usbrig::Peek;
using usbrig::RunInAppTask;
using usbrig::RunInUsbTask;
using usbrig::UsbRigTest;

// ---- open -------------------------------------------------------------------------------

TEST_F(UsbRigTest, OpenBringsTheControllerUpWithoutConnecting) {
  g_rig.bConnect = false;
  sim::Machine& m = BootRig();
  EXPECT_TRUE(m.GetBoard().FindDevice<sim::Psc1>()->ModuleEnabled(sim::Psc1::kModuleUsb0));
  const sim::SystemConfig& syscfg = *m.GetBoard().FindDevice<sim::SystemConfig>();
  EXPECT_FALSE(syscfg.Unlocked());  // locked again after the PHY set-up
  EXPECT_TRUE(syscfg.Usb0PhyClockGood());
  EXPECT_EQ(syscfg.CfgChip2() & 0xFFFFu, 0x0972u);  // 24 MHz, comparators, polarity, clock mux, PLL on
  // High speed allowed, suspend enabled, not connected: the host sees nothing.
  EXPECT_EQ(Peek(USB_POWER, 1), static_cast<uint32_t>(POWER_HSENAB | POWER_SUSPENDM | POWER_ENSUSPM));
  m.RunFor(Ms(300));
  EXPECT_EQ(Host().Hub().State(), sim::UsbPortState::Detached);
  // Endpoints 1 IN and 2 OUT: 512-byte packets; only endpoint 0 and the
  // disconnect reach the CPU.
  EXPECT_EQ(Peek(UsbEpReg(1, EP_TXMAXP), 2), 512u);
  EXPECT_EQ(Peek(UsbEpReg(2, EP_RXMAXP), 2), 512u);
  EXPECT_EQ(Peek(USB_INTMSKR, 4), INT_EP0 | (static_cast<uint32_t>(INTRUSB_DISCON) << INT_USB_SHIFT));
  for (const char* line : {"[INT]USB_INTRRXE 0.", "[INT]USB_INTRTXE 1.", "[INT]USB_INTRUSBE 20.",
                           "[INT]USB_INTMSKSETR 200001.", "[INT]USB_INTCLRR 0."}) {
    const size_t at = m.FindLog(line);
    ASSERT_NE(at, sim::Machine::npos) << line;
    EXPECT_EQ(m.Log()[at].prio, LOG_NOTICE);
  }
}

struct OpenFault {
  const char* name;
  void (*inject)(sim::Board&);
};

class UsbOpenFailureTest : public UsbRigTest, public ::testing::WithParamInterface<OpenFault> {};

TEST_P(UsbOpenFailureTest, APowerUpThatNeverCompletesFailsTheOpenAfterTenSeconds) {
  g_rig.bConnect = false;
  g_rig.bPoll = false;
  sim::Machine& m = Boot(usbrig::RigOptions());
  GetParam().inject(m.GetBoard());
  m.RunUntil([] { return g_rig.bReady; }, Ms(40000));
  ASSERT_TRUE(g_rig.bReady);
  EXPECT_EQ(g_rig.lOpenResult, -1);
  EXPECT_GE(m.Now(), Ms(10000));
  EXPECT_FALSE(m.GetBoard().FindDevice<sim::SystemConfig>()->Unlocked());
}

INSTANTIATE_TEST_SUITE_P(
    Faults, UsbOpenFailureTest,
    ::testing::Values(
        OpenFault{"ModuleNeverEnabled",
                  [](sim::Board& b) { b.FindDevice<sim::Psc1>()->HangModule(sim::Psc1::kModuleUsb0); }},
        OpenFault{"PhyClockNeverGood", [](sim::Board& b) { b.FindDevice<sim::SystemConfig>()->FailUsb0PhyClock(true); }}),
    usbrig::NameOf());

// ---- entry points -------------------------------------------------------------------------

TEST_F(UsbRigTest, EveryEntryRefusesAnotherHandle) {
  sim::Machine& m = BootRig();
  RunInUsbTask(m, [] {
    for (uint32_t ulHandle : {0u, USB_DRIVER_HANDLE + 1}) {
      uint32_t ulFlag = 7;
      uint16_t usLength = 9;
      uint8_t aucBuffer[4] = {};
      IoctlWord aWords[3] = {};
      EXPECT_EQ(UsbDrvPoll(ulHandle, &ulFlag), -1);
      EXPECT_EQ(ulFlag, 0u);
      EXPECT_EQ(UsbDrvRead(ulHandle, aucBuffer, &usLength), -1);
      EXPECT_EQ(usLength, 0u);
      EXPECT_EQ(UsbDrvWrite(ulHandle, aucBuffer, sizeof aucBuffer), -1);
      EXPECT_EQ(UsbDrvControl(ulHandle, USB_CTRL_BULK_RX_STATUS, aWords), -1);
      EXPECT_EQ(UsbDrvClose(ulHandle), -1);
    }
    EXPECT_EQ(UsbDrvControl(USB_DRIVER_HANDLE, 5, nullptr), -3);
    uint16_t usLength = 9;
    uint8_t aucBuffer[4] = {};
    EXPECT_EQ(UsbDrvRead(USB_DRIVER_HANDLE, aucBuffer, &usLength), -2);  // nothing waits
    EXPECT_EQ(usLength, 0u);
  });
}

// ---- connect and disconnect ------------------------------------------------------------------

TEST_F(UsbRigTest, ConnectingAgainShowsTheHostADetachOfOneAndAHalfSeconds) {
  sim::UsbHostPort& host = BootConfigured();
  std::vector<std::pair<sim::UsbPortState, sim::Nanos>> changes;
  host.Hub().AddObserver([&](sim::UsbPortState s) { changes.emplace_back(s, m_machine->Now()); });
  const sim::Nanos start = m_machine->Now();
  RunInAppTask(*m_machine, [] { EXPECT_EQ(UsbDrvControl(USB_DRIVER_HANDLE, USB_CTRL_CONNECT, nullptr), 0); });
  ASSERT_TRUE(host.WaitForConfigured(Ms(1000)));
  ASSERT_GE(changes.size(), 3u);
  EXPECT_EQ(changes[0].first, sim::UsbPortState::Detached);
  EXPECT_LT(changes[0].second - start, Ms(5));
  EXPECT_EQ(changes[1].first, sim::UsbPortState::Debouncing);
  EXPECT_GE(changes[1].second - changes[0].second, Ms(1500));
  EXPECT_LT(changes[1].second - changes[0].second, Ms(1503));
  EXPECT_EQ(changes.back().first, sim::UsbPortState::Configured);
  EXPECT_EQ(host.Hub().Stats().enumerations, 2u);
}

TEST_F(UsbRigTest, CloseDisconnectsAndSilencesTheController) {
  sim::UsbHostPort& host = BootConfigured();
  RunInAppTask(*m_machine, [] { EXPECT_EQ(UsbDrvClose(USB_DRIVER_HANDLE), 0); });
  EXPECT_EQ(host.Hub().State(), sim::UsbPortState::Detached);
  EXPECT_EQ(Peek(USB_INTMSKR, 4), 0u);
  EXPECT_EQ(Peek(USB_INTRTXE, 2), 0u);
  EXPECT_EQ(Peek(USB_INTRUSBE, 1), 0u);
}

// ---- bulk IN ------------------------------------------------------------------------------------

struct BulkInCase {
  const char* name;
  bool bHighSpeed;
  uint32_t ulLength;
  uint64_t packets;  // zero-length packet included
};

class UsbBulkInTest : public UsbRigTest, public ::testing::WithParamInterface<BulkInCase> {};

TEST_P(UsbBulkInTest, AReplyGoesOutInPacketsOfTheSpeedsSize) {
  const BulkInCase& c = GetParam();
  sim::UsbHostPort& host = BootConfigured(c.bHighSpeed);
  const std::vector<uint8_t> reply = usbrig::Pattern(c.ulLength, c.ulLength);
  const uint64_t before = host.Hub().Stats().inPackets;
  // The host reads more than the reply holds: the reply's end must show.
  auto read = host.StartBulkIn(4096, Ms(2000));
  int32_t lResult = 1;
  RunInUsbTask(*m_machine, [&] { lResult = UsbDrvWrite(USB_DRIVER_HANDLE, reply.data(), c.ulLength); });
  EXPECT_EQ(lResult, 0);
  const sim::UsbTransferResult r = host.Wait(read);
  EXPECT_EQ(r.outcome, UsbOutcome::Done) << sim::ToString(r.outcome);
  EXPECT_EQ(r.data, reply);
  EXPECT_EQ(host.Hub().Stats().inPackets - before, c.packets);
}

INSTANTIATE_TEST_SUITE_P(Sizes, UsbBulkInTest,
                         ::testing::Values(BulkInCase{"HighSpeed1024", true, 1024, 3},
                                           BulkInCase{"HighSpeed700", true, 700, 2},
                                           BulkInCase{"FullSpeed1024", false, 1024, 17},
                                           BulkInCase{"FullSpeed100", false, 100, 2},
                                           BulkInCase{"HighSpeed10", true, 10, 1}),
                         usbrig::NameOf());

TEST_F(UsbRigTest, AZeroLengthWriteSendsNothing) {
  sim::UsbHostPort& host = BootConfigured();
  int32_t lResult = 1;
  RunInUsbTask(*m_machine, [&] { lResult = UsbDrvWrite(USB_DRIVER_HANDLE, nullptr, 0); });
  EXPECT_EQ(lResult, 0);
  EXPECT_EQ(usbrig::Controller().TxPacketsQueued(1), 0u);
  const sim::UsbTransferResult r = host.BulkIn(512, Ms(20));
  EXPECT_EQ(r.outcome, UsbOutcome::NakTimeout);
  EXPECT_TRUE(r.data.empty());
}

TEST_F(UsbRigTest, AReplyWaitsInTheFifoUntilTheHostReads) {
  sim::UsbHostPort& host = BootConfigured();
  const std::vector<uint8_t> reply = usbrig::Pattern(100, 3);
  int32_t lResult = 1;
  RunInUsbTask(*m_machine, [&] { lResult = UsbDrvWrite(USB_DRIVER_HANDLE, reply.data(), 100); });
  EXPECT_EQ(lResult, 0);  // one packet: the second FIFO half took it at once
  m_machine->RunFor(Ms(500));
  EXPECT_EQ(usbrig::Controller().TxPacketsQueued(1), 1u);  // no IN token without a read
  const sim::UsbTransferResult r = host.BulkIn(512, Ms(20));
  EXPECT_EQ(r.outcome, UsbOutcome::Done);
  EXPECT_EQ(r.data, reply);
}

TEST_F(UsbRigTest, AWriteNobodyReadsGivesUpAfterTenSecondsAndLeavesNothingBehind) {
  sim::UsbHostPort& host = BootConfigured();
  const std::vector<uint8_t> reply = usbrig::Pattern(1536, 5);  // three packets: one more than the FIFO holds
  int32_t lResult = 1;
  sim::Nanos handedOver = 0;
  sim::Nanos returned = 0;
  RunInUsbTask(*m_machine, [&] {
    handedOver = sim::Board::Current().Clock().Now();
    lResult = UsbDrvWrite(USB_DRIVER_HANDLE, reply.data(), 1536);
    returned = sim::Board::Current().Clock().Now();
  });
  EXPECT_EQ(lResult, -2);
  EXPECT_GE(returned - handedOver, Ms(10000));
  EXPECT_LT(returned - handedOver, Ms(10010));
  EXPECT_EQ(usbrig::Controller().TxPacketsQueued(1), 0u);
  // The next reply starts clean.
  const std::vector<uint8_t> next = usbrig::Pattern(20, 9);
  RunInUsbTask(*m_machine, [&] { lResult = UsbDrvWrite(USB_DRIVER_HANDLE, next.data(), 20); });
  EXPECT_EQ(lResult, 0);
  EXPECT_EQ(host.BulkIn(512, Ms(20)).data, next);
}

TEST_F(UsbRigTest, AWriteWhileTheCableIsPulledFailsAtTheNextPoll) {
  sim::UsbHostPort& host = BootConfigured();
  const std::vector<uint8_t> reply = usbrig::Pattern(4000, 5);
  sim::Nanos unplugged = 0;
  sim::Nanos returned = 0;
  int32_t lResult = 1;
  m_machine->GetBoard().Clock().ScheduleIn(Ms(50), [&] {
    unplugged = m_machine->Now();
    host.Unplug();
  });
  RunInUsbTask(*m_machine, [&] {
    lResult = UsbDrvWrite(USB_DRIVER_HANDLE, reply.data(), 4000);
    returned = sim::Board::Current().Clock().Now();
  });
  EXPECT_EQ(lResult, -2);
  ASSERT_NE(unplugged, 0u);
  EXPECT_LT(returned - unplugged, Ms(4));
  EXPECT_EQ(usbrig::Controller().TxPacketsQueued(1), 0u);
  EXPECT_EQ(host.Hub().State(), sim::UsbPortState::Detached);
  // Plugged back, the printer enumerates again and works.
  host.Plug();
  ASSERT_TRUE(host.WaitForConfigured(Ms(1000)));
  auto read = host.StartBulkIn(4096, Ms(100));
  RunInUsbTask(*m_machine, [&] { lResult = UsbDrvWrite(USB_DRIVER_HANDLE, reply.data(), 600); });
  EXPECT_EQ(lResult, 0);
  const sim::UsbTransferResult r = host.Wait(read);
  EXPECT_EQ(r.outcome, UsbOutcome::Done) << sim::ToString(r.outcome);
  EXPECT_EQ(r.bytes, 600u);
}

}  // namespace
