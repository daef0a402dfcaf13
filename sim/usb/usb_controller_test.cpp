// The USB0 controller model at register and packet level, driven the way a
// driver and a host would, without firmware.
#include "sim/usb/usb_controller.h"

#include <gtest/gtest.h>

#include <vector>

#include "sim/board.h"
#include "sim/board_devices.h"
#include "sim/soc/psc.h"
#include "sim/soc/syscfg.h"
#include "sim/testing/board_fixture.h"

namespace sim {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kCsr0 = 0x502;
constexpr uint32_t kCount0 = 0x508;
constexpr uint32_t kTxCsr1 = 0x512;
constexpr uint32_t kRxCsr2 = 0x526;
constexpr uint32_t kFifo1 = 0x424;

class UsbControllerModel : public ::testing::Test {
 protected:
  UsbControllerModel() {
    board.Intc().Attach(UsbController::kInterruptEvent, 4);
    InstallSocDevices(board, BoardInputs{});
    usb = &board.AddDevice<UsbController>(board, board.FindDevice<SystemConfig>(), board.FindDevice<Psc1>());
  }

  void Run(Nanos dt) { RunBoardFor(board, dt); }
  uint32_t R(uint32_t offset, uint32_t width) { return usb->Read(offset, width); }
  void W(uint32_t offset, uint32_t width, uint32_t value) { usb->Write(offset, width, value); }

  // The module enabled and the PHY running, as the driver's open leaves them.
  void PowerUp() {
    Psc1& psc = *board.FindDevice<Psc1>();
    psc.Write(PowerSleepController::kMdctl0 + 4 * Psc1::kModuleUsb0, 4, 3);
    psc.Write(PowerSleepController::kPtcmd, 4, 1);
    SystemConfig& syscfg = *board.FindDevice<SystemConfig>();
    syscfg.Write(SystemConfig::kKick0, 4, SystemConfig::kKick0Unlock);
    syscfg.Write(SystemConfig::kKick1, 4, SystemConfig::kKick1Unlock);
    syscfg.Write(SystemConfig::kCfgChip2, 4, SystemConfig::kPllOn | 2u);
    Run(SystemConfig::kPhyLockTime);
  }
  // Endpoint 1 IN and 2 OUT: 512-byte double-buffered FIFOs.
  void SetUpEndpoints() {
    W(UsbController::kIndex, 1, 1);
    W(UsbController::kTxFifoSz, 1, 0x16);
    W(UsbController::kTxFifoAddr, 2, 8);
    W(UsbController::kIndex, 1, 2);
    W(UsbController::kRxFifoSz, 1, 0x16);
    W(UsbController::kRxFifoAddr, 2, 136);
    W(0x510, 2, 512);
    W(0x524, 2, 512);
  }
  void Attach() {
    PowerUp();
    SetUpEndpoints();
    W(UsbController::kPower, 1, UsbController::kPowerHsEnable | UsbController::kPowerSoftConn);
    ASSERT_TRUE(usb->PullUp());
    usb->BusReset(true);
  }
  // The interrupt line: pending at the controller, taken (cleared) here.
  bool TakeInterrupt() {
    const bool bPending = board.Intc().IsPending(UsbController::kInterruptEvent);
    board.Intc().Clear(UsbController::kInterruptEvent);
    return bPending;
  }
  UsbHandshake In(uint8_t ep, Bytes* data, bool* toggle = nullptr) {
    bool t = false;
    const UsbHandshake h = usb->In(0, ep, &t, data);
    if (toggle != nullptr) *toggle = t;
    return h;
  }
  UsbHandshake Out(uint8_t ep, bool toggle, const Bytes& data) {
    return usb->Out(0, ep, toggle, data.data(), static_cast<uint32_t>(data.size()));
  }

  Board board{BoardConfig{}};
  UsbController* usb = nullptr;
};

TEST_F(UsbControllerModel, AnswersOnlyWithItsModuleEnabled) {
  R(UsbController::kRevId, 4);
  EXPECT_EQ(board.Faults().size(), 1u);
  PowerUp();
  EXPECT_EQ(R(UsbController::kRevId, 4), 0x4EA10800u);
  EXPECT_EQ(board.Faults().size(), 1u);
}

TEST_F(UsbControllerModel, RegistersAreAccessedAtTheirOwnWidth) {
  PowerUp();
  R(UsbController::kFaddr, 4);
  W(UsbController::kCtrlr, 2, 0);
  W(kCsr0, 1, 0);
  EXPECT_EQ(board.Faults().size(), 3u);
}

TEST_F(UsbControllerModel, PullsUpOnlyWhileModulePhyVbusAndSoftConnectAllowIt) {
  PowerUp();
  SetUpEndpoints();
  int changes = 0;
  usb->SetLinkObserver([&] { ++changes; });
  EXPECT_FALSE(usb->PullUp());
  W(UsbController::kPower, 1, UsbController::kPowerSoftConn);
  EXPECT_TRUE(usb->PullUp());
  usb->SetVbus(false);
  EXPECT_FALSE(usb->PullUp());
  usb->SetVbus(true);
  EXPECT_TRUE(usb->PullUp());
  board.FindDevice<SystemConfig>()->Write(SystemConfig::kCfgChip2, 4, SystemConfig::kPhyReset);
  EXPECT_FALSE(usb->PullUp());
  EXPECT_EQ(changes, 4);
}

TEST_F(UsbControllerModel, OverlappingFifosAreAFaultWhenTheFunctionAttaches) {
  PowerUp();
  SetUpEndpoints();
  W(UsbController::kIndex, 1, 2);
  W(UsbController::kRxFifoAddr, 2, 64);  // inside endpoint 1's two halves
  EXPECT_TRUE(board.Faults().empty());
  W(UsbController::kPower, 1, UsbController::kPowerSoftConn);
  EXPECT_EQ(board.Faults().size(), 1u);
}

TEST_F(UsbControllerModel, AModuleResetClearsEverythingAndReadsBusyBriefly) {
  Attach();
  W(UsbController::kFaddr, 1, 9);
  W(UsbController::kCtrlr, 4, 1);
  EXPECT_EQ(R(UsbController::kCtrlr, 4) & 1u, 1u);
  EXPECT_FALSE(usb->PullUp());
  Run(UsbController::kResetTime);
  EXPECT_EQ(R(UsbController::kCtrlr, 4) & 1u, 0u);
  EXPECT_EQ(R(UsbController::kFaddr, 1), 0u);
  EXPECT_EQ(R(UsbController::kPower, 1), UsbController::kPowerHsEnable);
}

TEST_F(UsbControllerModel, BusResetClearsTheAddressAndTheCsrsAndNegotiatesTheSpeed) {
  Attach();
  EXPECT_TRUE(usb->HighSpeed());
  EXPECT_NE(R(UsbController::kPower, 1) & UsbController::kPowerHsMode, 0u);
  W(UsbController::kFaddr, 1, 5);
  W(kRxCsr2, 2, 1u << 13);  // DMA requests on
  EXPECT_EQ(usb->BusReset(false), UsbSpeed::Full);
  EXPECT_EQ(R(UsbController::kFaddr, 1), 0u);
  EXPECT_EQ(R(kRxCsr2, 2), 0u);
  W(UsbController::kPower, 1, UsbController::kPowerSoftConn);  // high speed not allowed
  EXPECT_EQ(usb->BusReset(true), UsbSpeed::Full);
  EXPECT_EQ(R(UsbController::kIntSrc, 4) & (1u << 18), 1u << 18);  // the reset event
}

TEST_F(UsbControllerModel, ASetupWaitsInFifo0UntilTheDriverServesIt) {
  Attach();
  W(UsbController::kIntMskSet, 4, 1);
  W(UsbController::kIntrTxE, 2, 1);
  TakeInterrupt();
  const std::array<uint8_t, 8> setup{0x00, 5, 7, 0, 0, 0, 0, 0};
  EXPECT_EQ(usb->Setup(0, setup), UsbHandshake::Ack);
  EXPECT_TRUE(TakeInterrupt());
  EXPECT_EQ(R(UsbController::kIntMasked, 4), 1u);
  EXPECT_EQ(R(kCsr0, 2) & 1u, 1u);
  EXPECT_EQ(R(kCount0, 2), 8u);
  Bytes read;
  for (int i = 0; i < 8; ++i) read.push_back(static_cast<uint8_t>(R(UsbController::kFifo0, 1)));
  EXPECT_EQ(read, Bytes(setup.begin(), setup.end()));
  Bytes data;
  EXPECT_EQ(In(0, &data), UsbHandshake::Nak);  // not served yet
  W(UsbController::kIntClr, 4, 1);
  W(kCsr0, 2, 0x48);  // SERV_RXPKTRDY | DATAEND
  EXPECT_EQ(R(kCsr0, 2) & 1u, 0u);
  EXPECT_EQ(In(0, &data), UsbHandshake::Ack);  // the status stage
  EXPECT_TRUE(data.empty());
  EXPECT_TRUE(TakeInterrupt());
  // Nobody else answers at another address.
  EXPECT_EQ(usb->Setup(3, setup), UsbHandshake::NoResponse);
}

TEST_F(UsbControllerModel, AnInDataStageTogglesEndsWithItsStatusAndCanBeStalled) {
  Attach();
  const std::array<uint8_t, 8> getDescriptor{0x80, 6, 0, 1, 0, 0, 100, 0};
  usb->Setup(0, getDescriptor);
  W(kCsr0, 2, 0x40);
  for (int i = 0; i < 64; ++i) W(UsbController::kFifo0, 1, 0xA0);
  W(kCsr0, 2, 0x02);  // TXPKTRDY
  Bytes data;
  bool toggle = false;
  EXPECT_EQ(In(0, &data, &toggle), UsbHandshake::Ack);
  EXPECT_EQ(data.size(), 64u);
  EXPECT_TRUE(toggle);  // DATA1 first
  EXPECT_EQ(In(0, &data), UsbHandshake::Nak);
  for (int i = 0; i < 10; ++i) W(UsbController::kFifo0, 1, 0xB0);
  W(kCsr0, 2, 0x0A);  // TXPKTRDY | DATAEND
  EXPECT_EQ(In(0, &data, &toggle), UsbHandshake::Ack);
  EXPECT_EQ(data.size(), 10u);
  EXPECT_FALSE(toggle);
  EXPECT_EQ(In(0, &data), UsbHandshake::Nak);  // the host must now send the status OUT
  EXPECT_EQ(Out(0, true, {}), UsbHandshake::Ack);
  // A refused request: the stall goes out once, and the next SETUP is taken.
  usb->Setup(0, getDescriptor);
  W(kCsr0, 2, 0x60);  // SERV_RXPKTRDY | SENDSTALL
  EXPECT_EQ(In(0, &data), UsbHandshake::Stall);
  EXPECT_NE(R(kCsr0, 2) & 0x04u, 0u);  // SENTSTALL
  W(kCsr0, 2, 0);
  EXPECT_EQ(usb->Setup(0, getDescriptor), UsbHandshake::Ack);
  EXPECT_EQ(R(kCsr0, 2), 1u);
}

TEST_F(UsbControllerModel, ANewSetupInTheMiddleOfATransferSetsSetupEnd) {
  Attach();
  const std::array<uint8_t, 8> getDescriptor{0x80, 6, 0, 1, 0, 0, 100, 0};
  usb->Setup(0, getDescriptor);
  W(kCsr0, 2, 0x40);
  usb->Setup(0, getDescriptor);
  EXPECT_EQ(R(kCsr0, 2), 0x11u);  // SETUPEND and the new RXPKTRDY
  W(kCsr0, 2, 0x80);
  EXPECT_EQ(R(kCsr0, 2), 0x01u);
}

TEST_F(UsbControllerModel, TheTransmitFifoHoldsTwoPacketsAndHandsThemOutInOrder) {
  Attach();
  auto load = [&](uint8_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) W(kFifo1, 1, value);
    W(kTxCsr1, 2, 0x01);
  };
  load(1, 512);
  EXPECT_EQ(R(kTxCsr1, 2) & 0x03u, 0x02u);  // room for one more: TXPKTRDY reads 0
  load(2, 100);
  EXPECT_EQ(R(kTxCsr1, 2) & 0x03u, 0x03u);
  W(kTxCsr1, 2, 0x01);  // a third packet does not fit
  EXPECT_EQ(board.Faults().size(), 1u);
  Bytes data;
  bool toggle = true;
  EXPECT_EQ(In(1, &data, &toggle), UsbHandshake::Ack);
  EXPECT_EQ(data, Bytes(512, 1));
  EXPECT_FALSE(toggle);
  EXPECT_EQ(In(1, &data, &toggle), UsbHandshake::Ack);
  EXPECT_EQ(data, Bytes(100, 2));
  EXPECT_TRUE(toggle);
  EXPECT_EQ(In(1, &data), UsbHandshake::Nak);
  EXPECT_NE(R(kTxCsr1, 2) & 0x04u, 0u);  // UNDERRUN
  // A zero-length packet and one of 10 bytes; the flush drops the oldest.
  W(kTxCsr1, 2, 0x01);
  load(4, 10);
  W(kTxCsr1, 2, 0x08 | 0x40);  // FLUSHFIFO, CLRDATATOG
  EXPECT_EQ(In(1, &data, &toggle), UsbHandshake::Ack);
  EXPECT_EQ(data, Bytes(10, 4));
  EXPECT_FALSE(toggle);
  W(kTxCsr1, 2, 0x10);  // SENDSTALL
  EXPECT_EQ(In(1, &data), UsbHandshake::Stall);
  EXPECT_NE(R(kTxCsr1, 2) & 0x20u, 0u);
}

TEST_F(UsbControllerModel, TheReceiveFifoNaksWhenFullAndDropsARepeatedToggle) {
  Attach();
  EXPECT_EQ(Out(2, false, Bytes(512, 1)), UsbHandshake::Ack);
  EXPECT_EQ(Out(2, false, Bytes(512, 1)), UsbHandshake::Ack);  // resent: dropped
  EXPECT_EQ(usb->RxDuplicates(2), 1u);
  EXPECT_EQ(Out(2, true, Bytes(20, 2)), UsbHandshake::Ack);
  EXPECT_EQ(R(kRxCsr2, 2) & 0x03u, 0x03u);  // RXPKTRDY, FIFOFULL
  EXPECT_EQ(Out(2, false, Bytes(8, 3)), UsbHandshake::Nak);
  EXPECT_EQ(R(0x528, 2), 512u);  // RXCOUNT of the head packet
  W(kRxCsr2, 2, 0x10);           // FLUSHFIFO drops it
  EXPECT_EQ(R(0x528, 2), 20u);
  // CLRDATATOG, and RXPKTRDY written 0: the CPU has unloaded the packet.
  W(kRxCsr2, 2, 0x80);
  EXPECT_EQ(usb->RxPacketsQueued(2), 0u);
  EXPECT_EQ(Out(2, false, Bytes(8, 3)), UsbHandshake::Ack);
  EXPECT_EQ(usb->RxPacketsQueued(2), 1u);
  W(kRxCsr2, 2, 0x20);  // SENDSTALL
  EXPECT_EQ(Out(2, true, Bytes(8, 3)), UsbHandshake::Stall);
}

TEST_F(UsbControllerModel, TheInterruptRisesForANewMaskedBitAndAgainAtEoiWhileOneIsLeft) {
  Attach();
  TakeInterrupt();
  W(UsbController::kIntrUsbE, 1, UsbController::kUsbIntDisconnect);
  W(UsbController::kIntMskSet, 4, 1u << 21);
  EXPECT_FALSE(TakeInterrupt());  // the reset event is latched but not enabled
  usb->SetVbus(false);
  EXPECT_TRUE(TakeInterrupt());
  EXPECT_EQ(R(UsbController::kIntMasked, 4), 1u << 21);
  W(UsbController::kEoi, 4, 0);
  EXPECT_TRUE(TakeInterrupt());  // still pending: raised again
  W(UsbController::kIntClr, 4, 1u << 21);
  W(UsbController::kEoi, 4, 0);
  EXPECT_FALSE(TakeInterrupt());
  // A masked event shows once the mask opens.
  W(UsbController::kIntMskClr, 4, 1u << 21);
  usb->SetVbus(true);
  usb->SetVbus(false);
  EXPECT_FALSE(TakeInterrupt());
  W(UsbController::kIntMskSet, 4, 1u << 21);
  EXPECT_TRUE(TakeInterrupt());
}

}  // namespace
}  // namespace sim
