// The CPPI 4.1 DMA subset: queues, the checks of a push, and the receive
// channel filling host packet descriptors in RAM.
#include "sim/usb/usb_cppi.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "sim/board.h"

namespace sim {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kDescriptor = 0x80000000u;
constexpr uint32_t kBuffer = 0xC0400000u;
constexpr uint32_t kFree = 0;
constexpr uint32_t kDone = 28;
constexpr uint8_t kGuard = 0xEE;

class UsbCppiModel : public ::testing::Test {
 protected:
  // The driver's set-up: linking RAM, region 1 at the shared RAM, scheduler
  // naming receive channels 3-0, channel 1 enabled with completions on 28.
  void SetUp() override {
    dma.Write(UsbCppiDma::kLram0Base, 0x8001EC00u);
    dma.Write(UsbCppiDma::kLram0Size, 0x400);
    dma.Write(UsbCppiDma::QmemRBase(1), kDescriptor);
    dma.Write(UsbCppiDma::QmemRCtrl(1), 5);
    dma.Write(UsbCppiDma::SchedWord(0), 0x80818283u);
    dma.Write(UsbCppiDma::kSchedCtrl, 0x80000003u);
    dma.Write(UsbCppiDma::RxGcr(1), 0x8100401Cu);
    std::memset(Ram(kBuffer, 2048), kGuard, 2048);
  }
  uint8_t* Ram(uint32_t addr, uint32_t bytes) { return board.GetBus().RamPointer(addr, bytes); }
  uint32_t Word(uint32_t descriptor, uint32_t index) {
    uint32_t w = 0;
    std::memcpy(&w, Ram(descriptor + 4 * index, 4), 4);
    return w;
  }
  // Arms a descriptor on the free queue with a buffer of `length`.
  void Arm(uint32_t descriptor, uint32_t buffer, uint32_t length) {
    const uint32_t words[8] = {0, 0, 0x401C, length, buffer, 0, length, buffer};
    std::memcpy(Ram(descriptor, 32), words, 32);
    dma.Write(UsbCppiDma::Ctrld(kFree), descriptor | 2u);
  }
  UsbCppiDma::RxResult Receive(const Bytes& packet, bool bRndis = false, uint32_t size = 0) {
    return dma.Receive(2, packet, UsbCppiDma::RxMode{bRndis, size, 512});
  }

  Board board{BoardConfig{}};
  UsbCppiDma dma{board};
};

TEST_F(UsbCppiModel, QueuesPopInOrderAndShowInPend) {
  Arm(kDescriptor, kBuffer, 100);
  Arm(kDescriptor + 32, kBuffer, 100);
  EXPECT_EQ(dma.Read(UsbCppiDma::QstatA(kFree)), 2u);
  EXPECT_EQ(dma.Read(UsbCppiDma::kPend0), 1u);
  EXPECT_EQ(dma.Read(UsbCppiDma::Ctrld(kFree)), kDescriptor | 2u);
  EXPECT_EQ(dma.Read(UsbCppiDma::Ctrld(kFree)), (kDescriptor + 32) | 2u);
  EXPECT_EQ(dma.Read(UsbCppiDma::Ctrld(kFree)), 0u);
  EXPECT_EQ(dma.Read(UsbCppiDma::kPend0), 0u);
  EXPECT_TRUE(board.Faults().empty());
}

TEST_F(UsbCppiModel, ADescriptorIsNeverQueuedTwiceOrOutsideItsRegion) {
  Arm(kDescriptor, kBuffer, 100);
  dma.Write(UsbCppiDma::Ctrld(kFree), kDescriptor | 2u);  // already queued
  dma.Write(UsbCppiDma::Ctrld(kFree), 0x80010010u);       // not on a descriptor boundary
  dma.Write(UsbCppiDma::Ctrld(kFree), 0xC0000000u);       // in no region
  EXPECT_EQ(board.Faults().size(), 3u);
  EXPECT_EQ(dma.Read(UsbCppiDma::QstatA(kFree)), 1u);
  // While the channel fills it, it may not be queued either.
  dma.Read(UsbCppiDma::Ctrld(kFree));
  Arm(kDescriptor, kBuffer, 1536);
  ASSERT_EQ(Receive(Bytes(512, 1), true, 1536), UsbCppiDma::RxResult::Taken);
  ASSERT_EQ(dma.HeldDescriptor(1), kDescriptor);
  dma.Write(UsbCppiDma::Ctrld(kFree), kDescriptor | 2u);
  EXPECT_EQ(board.Faults().size(), 4u);
}

TEST_F(UsbCppiModel, AReceiveNeverWritesPastItsBuffer) {
  Arm(kDescriptor, kBuffer, 100);
  const Bytes packet(512, 0x42);
  ASSERT_EQ(Receive(packet), UsbCppiDma::RxResult::Taken);
  EXPECT_EQ(Ram(kBuffer, 100)[99], 0x42);
  EXPECT_EQ(Ram(kBuffer, 101)[100], kGuard);
  EXPECT_EQ(dma.DroppedBytes(), 412u);
  EXPECT_EQ(dma.Read(UsbCppiDma::Ctrld(kDone)), kDescriptor | 2u);
  EXPECT_EQ(Word(kDescriptor, 3), 100u);
  EXPECT_EQ(Word(kDescriptor, 0), (16u << 27) | 100u);
}

TEST_F(UsbCppiModel, TransparentModeCompletesEveryPacket) {
  Arm(kDescriptor, kBuffer, 512);
  ASSERT_EQ(Receive(Bytes(64, 7)), UsbCppiDma::RxResult::Taken);
  EXPECT_EQ(dma.Read(UsbCppiDma::QstatA(kDone)), 1u);
  EXPECT_EQ(Word(kDescriptor, 3), 64u);
  // No descriptor left: the channel starves and the packet waits.
  EXPECT_EQ(Receive(Bytes(64, 8)), UsbCppiDma::RxResult::Starved);
}

TEST_F(UsbCppiModel, GenericRndisGathersUntilItsSizeOrAShortPacket) {
  Arm(kDescriptor, kBuffer, 1536);
  Receive(Bytes(512, 1), true, 1536);
  Receive(Bytes(512, 2), true, 1536);
  EXPECT_EQ(dma.Read(UsbCppiDma::QstatA(kDone)), 0u);
  EXPECT_EQ(dma.HeldDescriptor(1), kDescriptor);
  Receive(Bytes(512, 3), true, 1536);
  EXPECT_EQ(dma.Read(UsbCppiDma::QstatA(kDone)), 1u);
  EXPECT_EQ(Word(kDescriptor, 3), 1536u);
  EXPECT_EQ(Ram(kBuffer + 1024, 1)[0], 3);
  dma.Read(UsbCppiDma::Ctrld(kDone));
  // A short packet ends the piece early; a zero-length one too.
  Arm(kDescriptor, kBuffer, 65536);
  Receive(Bytes(512, 1), true, 65536);
  Receive(Bytes(100, 2), true, 65536);
  EXPECT_EQ(Word(kDescriptor, 3), 612u);
  dma.Read(UsbCppiDma::Ctrld(kDone));
  Arm(kDescriptor, kBuffer, 65536);
  Receive(Bytes(512, 1), true, 65536);
  Receive(Bytes(), true, 65536);
  EXPECT_EQ(Word(kDescriptor, 3), 512u);
}

TEST_F(UsbCppiModel, ATeardownCompletesWhatTheChannelHolds) {
  Arm(kDescriptor, kBuffer, 65536);
  Receive(Bytes(512, 1), true, 65536);
  ASSERT_EQ(dma.HeldDescriptor(1), kDescriptor);
  dma.Write(UsbCppiDma::RxGcr(1), 0x8100401Cu | UsbCppiDma::kRxGcrTeardown);
  EXPECT_EQ(dma.HeldDescriptor(1), 0u);
  EXPECT_EQ(dma.Read(UsbCppiDma::Ctrld(kDone)), kDescriptor | 2u);
  EXPECT_EQ(Word(kDescriptor, 3), 512u);
  EXPECT_EQ(dma.Read(UsbCppiDma::RxGcr(1)) & UsbCppiDma::kRxGcrEnable, 0u);  // stopped until enabled again
  Arm(kDescriptor, kBuffer, 512);
  EXPECT_EQ(Receive(Bytes(10, 1)), UsbCppiDma::RxResult::NotServiced);
  dma.Write(UsbCppiDma::RxGcr(1), 0x8100401Cu);
  EXPECT_EQ(Receive(Bytes(10, 1)), UsbCppiDma::RxResult::Taken);
}

TEST_F(UsbCppiModel, AChannelTheSchedulerDoesNotNameMovesNothing) {
  Arm(kDescriptor, kBuffer, 512);
  dma.Write(UsbCppiDma::kSchedCtrl, 0x80000001u);  // entries 0-1: receive channels 3 and 2
  EXPECT_EQ(Receive(Bytes(10, 1)), UsbCppiDma::RxResult::NotServiced);
  dma.Write(UsbCppiDma::kSchedCtrl, 0x00000003u);  // scheduler off
  EXPECT_EQ(Receive(Bytes(10, 1)), UsbCppiDma::RxResult::NotServiced);
  dma.Write(UsbCppiDma::kSchedCtrl, 0x80000003u);
  EXPECT_EQ(Receive(Bytes(10, 1)), UsbCppiDma::RxResult::Taken);
}

TEST(UsbCppiSetUp, APushBeforeTheLinkingRamIsSetUpIsAFault) {
  Board board{BoardConfig{}};
  UsbCppiDma dma{board};
  dma.Write(UsbCppiDma::QmemRBase(1), kDescriptor);
  dma.Write(UsbCppiDma::Ctrld(0), kDescriptor | 2u);
  EXPECT_EQ(board.Faults().size(), 1u);
  EXPECT_EQ(dma.QueueLength(0), 0u);
}

}  // namespace
}  // namespace sim
