// The virtual head-drive block: its banks as the bus reaches them, the two
// line-buffer banks behind one window, the strobe bursts and what they
// record, and the accesses the real logic would not answer.
#include "sim/fpga/head_drive_block.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include <cstdint>
#include <string>

#include "sim/board.h"
#include "sim/fpga/fpga_config_port.h"
#include "sim/fpga/fpga_main_block.h"
#include "sim/soc/gpio.h"
#include "sim/soc/psc.h"
#include "sim/testing/board_fixture.h"

namespace sim {
namespace {

using HD = HeadDriveBlock;

constexpr uint32_t kHeadPowerPair = 4;  // bank 8
constexpr uint32_t kPowerA = 1u << 10, kPowerB = 1u << 11;
constexpr uint16_t kRunEnable = HD::kControlRun | HD::kControlEnable;

class HeadDriveModel : public ::testing::Test {
 protected:
  uint32_t Read(PhysAddr addr, uint32_t width = 2) {
    const Bus::Region* r = board.GetBus().Find(addr, width);
    return r->device->Read(addr - r->first, width);
  }
  void Write(PhysAddr addr, uint32_t value, uint32_t width = 2) {
    const Bus::Region* r = board.GetBus().Find(addr, width);
    r->device->Write(addr - r->first, width, value);
  }
  void Reg(uint32_t offset, uint16_t value) { Write(HD::kBank1 + offset, value); }
  uint16_t Reg(uint32_t offset) { return static_cast<uint16_t>(Read(HD::kBank1 + offset)); }
  // Both head power outputs driven: set = off.
  void HeadPower(uint32_t onMask) {
    const uint32_t base = GpioController::kPairBase + kHeadPowerPair * GpioController::kPairStride;
    gpio.Write(base + GpioController::kDir, 4, ~(kPowerA | kPowerB));
    gpio.Write(base + GpioController::kSetData, 4, (kPowerA | kPowerB) & ~onMask);
    gpio.Write(base + GpioController::kClrData, 4, onMask);
  }
  // A burst of `count` periods of 100 us, 25 % on.
  void ArmBurst(uint16_t count, uint16_t strobeBits) {
    Reg(HD::kStrobeCount, count);
    Reg(HD::kPeriodLo, 5000);
    Reg(HD::kPeriodHi, 0);
    Reg(HD::kOffTimeLo, 3750);
    Reg(HD::kOffTimeHi, 0);
    Reg(HD::kHeadEnable, 3);
    Reg(HD::kControl, static_cast<uint16_t>(kRunEnable | strobeBits));
  }
  void Pulse() {
    const uint16_t control = block.Register(HD::kControl);
    Reg(HD::kControl, static_cast<uint16_t>(control | HD::kControlStart));
    Reg(HD::kControl, static_cast<uint16_t>(control & ~HD::kControlStart));
  }

  Board board{BoardConfig{}};
  Psc1& psc1 = board.AddDevice<Psc1>(board);
  GpioController& gpio = board.AddDevice<GpioController>(board);
  FpgaConfigPort& port = board.AddDevice<FpgaConfigPort>(board, gpio);
  FpgaMainBlock& main = board.AddDevice<FpgaMainBlock>(board, gpio, port, 3);
  HeadDriveBlock& block = board.AddDevice<HeadDriveBlock>(board, gpio, port, main);
};

TEST_F(HeadDriveModel, TheCpuWindowShowsTheBankThatBufferControlPicks) {
  Reg(HD::kBufferCtrl, 0);
  Write(HD::kBank1 + HD::kLineBuffer + 2, 0x1111);
  Reg(HD::kBufferCtrl, 1);
  Write(HD::kBank1 + HD::kLineBuffer + 2, 0x2222);
  EXPECT_EQ(block.LineWord(0, 1), 0x1111);
  EXPECT_EQ(block.LineWord(1, 1), 0x2222);
  EXPECT_EQ(Read(HD::kBank1 + HD::kLineBuffer + 2), 0x2222u);
  Reg(HD::kBufferCtrl, 0);
  EXPECT_EQ(Read(HD::kBank1 + HD::kLineBuffer + 2), 0x1111u);
  // The bank the drive reads, whatever the window shows.
  Reg(HD::kBufferCtrl, 0x10);
  block.SetDriveBank(1);
  EXPECT_EQ(Reg(HD::kBankStatus), 1u);
  // The tables of all three banks.
  Write(HD::kBank1 + HD::kTable1 + 2 * 1023, 7);
  Write(HD::kBank2 + 2 * 255, 8);
  Write(HD::kBank3 + 2 * 255, 9);
  EXPECT_EQ(block.Table1(1023) * 100 + block.Table2(255) * 10 + block.Table3(255), 789);
  EXPECT_TRUE(board.Faults().empty());
}

TEST_F(HeadDriveModel, AccessesTheLogicWouldNotAnswerAreBoardFaults) {
  struct Case {
    const char* what;
    PhysAddr addr;
    uint32_t width;
    bool bWrite;
  };
  const Case kCases[] = {
      {"byte read of a register", HD::kBank1 + HD::kControl, 1, false},
      {"word write of the period", HD::kBank1 + HD::kPeriodLo, 4, true},
      {"gap between registers", HD::kBank1 + 0x0E, 2, true},
      {"past the line buffer", HD::kBank1 + HD::kLineBuffer + 2 * HD::kLineWords, 2, false},
      {"past table 1", HD::kBank1 + HD::kTable1 + 2 * HD::kTable1Words, 2, true},
      {"past table 2", HD::kBank2 + 2 * HD::kTableWords, 2, false},
      {"past table 3", HD::kBank3 + 2 * HD::kTableWords, 2, true},
  };
  for (const Case& c : kCases) {
    const size_t before = board.Faults().size();
    if (c.bWrite) {
      Write(c.addr, 0x5A5A, c.width);
    } else {
      EXPECT_EQ(Read(c.addr, c.width), 0u) << c.what;
    }
    ASSERT_EQ(board.Faults().size(), before + 1) << c.what;
    EXPECT_NE(board.Faults().back().find("head drive"), std::string::npos) << c.what;
  }
}

TEST_F(HeadDriveModel, AStartPulseRunsABurstOnlyWithRunAndEnable) {
  struct Case {
    const char* what;
    uint16_t control;
    size_t bursts;
  };
  const Case kCases[] = {
      {"neither", 0, 0},
      {"run only", HD::kControlRun, 0},
      {"enable only", HD::kControlEnable, 0},
      {"run and enable", kRunEnable, 1},
  };
  for (const Case& c : kCases) {
    const size_t before = block.Bursts().size();
    ArmBurst(3, 0);
    Reg(HD::kControl, c.control);
    Pulse();
    EXPECT_EQ(block.Bursts().size() - before, c.bursts) << c.what;
  }
}

TEST_F(HeadDriveModel, DoneReadsZeroForTheBurstsLengthAndTheBurstRecordsWhatHeatedEachHead) {
  std::vector<std::pair<uint32_t, Nanos>> heat;
  block.SetHeatSink([&heat](uint32_t head, Nanos onTime) { heat.emplace_back(head, onTime); });
  HeadPower(kPowerA);
  main.Write(FpgaMainBlock::kThvCtrl, 2, 1);
  ArmBurst(3, HD::kControlStrobeA | HD::kControlStrobeB);
  EXPECT_NE(Reg(HD::kControl) & HD::kControlDone, 0) << "idle: done";
  Pulse();
  EXPECT_EQ(Reg(HD::kControl) & HD::kControlDone, 0);
  RunBoardFor(board, 300 * kNsPerUs - 1);
  EXPECT_EQ(Reg(HD::kControl) & HD::kControlDone, 0);
  RunBoardFor(board, 1);
  EXPECT_NE(Reg(HD::kControl) & HD::kControlDone, 0);

  ASSERT_EQ(block.Bursts().size(), 1u);
  const HD::Burst& b = block.Bursts()[0];
  EXPECT_EQ(b.end - b.start, 300 * kNsPerUs);
  EXPECT_FALSE(b.bStopped);
  EXPECT_EQ(b.strobeCount, 3);
  EXPECT_EQ(b.offTime, 3750u);
  EXPECT_TRUE(b.Heats(0));
  EXPECT_FALSE(b.Heats(1)) << "head B strobed with its power off";
  EXPECT_EQ(b.heads[1], (HD::HeadState{true, true, false}));
  // The heated head's strobe time: each period less its off time.
  const Nanos onTime = static_cast<Nanos>(300.0 * kNsPerUs * (b.period - b.offTime) / b.period);
  EXPECT_EQ(heat, (std::vector<std::pair<uint32_t, Nanos>>{{0, onTime}}));
}

TEST_F(HeadDriveModel, ClearingRunEndsABurstAtOnceAndNoSupplyHeatsNoHead) {
  size_t heatCalls = 0;
  block.SetHeatSink([&heatCalls](uint32_t, Nanos) { ++heatCalls; });
  HeadPower(kPowerA | kPowerB);
  ArmBurst(1000, HD::kControlStrobeB);
  Pulse();
  RunBoardFor(board, 1 * kNsPerMs);
  Reg(HD::kControl, HD::kControlEnable);
  EXPECT_NE(Reg(HD::kControl) & HD::kControlDone, 0);
  ASSERT_EQ(block.Bursts().size(), 1u);
  const HD::Burst& b = block.Bursts()[0];
  EXPECT_TRUE(b.bStopped);
  EXPECT_EQ(b.end - b.start, 1 * kNsPerMs);
  EXPECT_EQ(b.heads[1], (HD::HeadState{true, true, true}));
  EXPECT_FALSE(b.Heats(1)) << "THV supply off";
  EXPECT_EQ(heatCalls, 0u);
}

}  // namespace
}  // namespace sim
