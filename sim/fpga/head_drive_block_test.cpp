// The virtual head-drive block: its banks as the bus reaches them, the two
// line-buffer banks behind one window, the strobe bursts and what they
// record, and the accesses the real logic would not answer.
#include "sim/fpga/head_drive_block.h"

#include <gtest/gtest.h>

#include <functional>
#include <iterator>
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

// ---- the line path ----------------------------------------------------------------

class HeadDriveLines : public HeadDriveModel {
 protected:
  static constexpr Nanos kPeriod = 2 * kNsPerMs;

  HeadDriveLines() {
    block.SetLineSink([this](const HD::StrobedLine& line) {
      lines.push_back(line);
      firstWords.push_back(line.words[0]);
    });
    block.SetHeatSink([this](uint32_t head, Nanos onTime) { heat.emplace_back(head, onTime); });
    main.Write(FpgaMainBlock::kLinePeriodLo, 2, 0x86A0);  // 2 ms: 100000 counts of 50 MHz
    main.Write(FpgaMainBlock::kLinePeriodHi, 2, 0x0001);
    // Everything that makes a line real on head A.
    HeadPower(kPowerA);
    main.Write(FpgaMainBlock::kThvCtrl, 2, 1);
    Reg(HD::kHeadEnable, 3);
    Reg(HD::kControl, HD::kControlEnable);
    Reg(HD::kDivision, (88u << 5) | 7u);  // 88 x 8 + 7 = 711 us
    Reg(HD::kBufferCtrl, HD::kBufferOwnedByDrive);
  }
  // A run of `count` lines from now (drive enable on).
  void StartLines(uint16_t count) {
    main.Write(FpgaMainBlock::kTimerCtrl, 2, 0x0002);
    main.Write(FpgaMainBlock::kLineMode, 2, count);
    main.Write(FpgaMainBlock::kTimerCtrl, 2, 0x0006);
  }
  // The DSP's line into the bank the drive does not hold, every word `value`.
  void Complete(uint16_t value, uint16_t planeCode = 1) {
    const std::vector<uint16_t> words(HD::kLineWords, value);
    block.CompleteLine(block.SpareBank(), words.data(), HD::LineSource{7, planeCode});
  }
  void ToNextLine() { RunBoardFor(board, kPeriod); }

  std::vector<HD::StrobedLine> lines;
  std::vector<uint16_t> firstWords;  // the words live only during the call
  std::vector<std::pair<uint32_t, Nanos>> heat;
};

// The drive takes the bank the DSP completed last when it does not hold it
// (HD_BANK_STATUS follows), and strobes its own again otherwise.
TEST_F(HeadDriveLines, EachLineTakesTheBankCompletedLastOrStrobesItsOwnAgainAsAStaleLine) {
  struct Step {
    int completed;  // the value of the line the DSP completes before it (-1: none)
    bool bStale;
    uint16_t word;
  };
  const Step steps[] = {
      {100, false, 100}, {200, false, 200}, {-1, true, 200}, {300, false, 300}, {-1, true, 300}, {-1, true, 300},
  };
  StartLines(static_cast<uint16_t>(std::size(steps)));
  uint32_t bank = block.DriveBank();
  for (const Step& step : steps) {
    if (step.completed >= 0) Complete(static_cast<uint16_t>(step.completed));
    ToNextLine();
    if (!step.bStale) bank ^= 1u;
    EXPECT_EQ(Reg(HD::kBankStatus), bank);
  }
  ASSERT_EQ(lines.size(), std::size(steps));
  for (size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i].bStale, steps[i].bStale) << i;
    EXPECT_EQ(firstWords[i], steps[i].word) << i;
    EXPECT_EQ(lines[i].source, (HD::LineSource{7, 1})) << i;
    EXPECT_FALSE(lines[i].bOverrun) << i;
    EXPECT_EQ(lines[i].at - lines.front().at, static_cast<Nanos>(i) * kPeriod) << i;
  }
  EXPECT_EQ(block.StaleLines(), 3u);
  EXPECT_EQ(block.LinesStrobed(), 6u);
}

// A line while the CPU holds the buffers prints nothing and is counted; the
// CPU's words make a completed bank no DSP line.
TEST_F(HeadDriveLines, ALineWhileTheCpuHoldsTheBuffersIsCountedAndTheCpusWordsVoidACompletion) {
  StartLines(3);
  Complete(100);
  Reg(HD::kBufferCtrl, static_cast<uint16_t>(block.SpareBank()));  // the CPU holds, its window on the spare bank
  ToNextLine();
  EXPECT_TRUE(lines.empty());
  EXPECT_EQ(block.LinesWhileCpuHolds(), 1u);
  Write(HD::kBank1 + HD::kLineBuffer, 0x0042);  // into the completed bank
  EXPECT_EQ(block.LastCompleted(), HD::kNoBank);
  EXPECT_EQ(block.SourceOf(block.SpareBank()), HD::LineSource{});
  Reg(HD::kBufferCtrl, HD::kBufferOwnedByDrive);
  ToNextLine();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(lines[0].bStale) << "nothing the DSP completed";
  EXPECT_EQ(block.LinesWhileCpuHolds(), 1u);
}

// The strobe lasts length x (count + 1) + count microseconds; a line inside
// it is an overrun.
TEST_F(HeadDriveLines, TheStrobeLastsWhatTheDivisionGivesAndALineInsideItIsAnOverrun) {
  struct Case {
    uint16_t length, count;
    uint32_t periodCounts;  // 50 MHz
    Nanos strobe;
    bool bOverrun;
  };
  const Case cases[] = {
      {88, 7, 100000, 711 * kNsPerUs, false},  // 711 us in 2 ms
      {250, 7, 100000, 2007 * kNsPerUs, true},  // 2007 us: longer than 2 ms
      {0, 0, 100000, 0, false},
      {1023, 31, 1700000, 32767 * kNsPerUs, false},  // the longest, in 34 ms
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.length << " x " << c.count);
    lines.clear();
    const uint32_t overrunsBefore = block.Overruns();
    Reg(HD::kDivision, static_cast<uint16_t>((c.length << 5) | c.count));
    EXPECT_EQ(block.StrobeUs(), c.strobe / kNsPerUs);
    main.Write(FpgaMainBlock::kLinePeriodLo, 2, c.periodCounts & 0xFFFFu);
    main.Write(FpgaMainBlock::kLinePeriodHi, 2, c.periodCounts >> 16);
    StartLines(3);
    RunBoardFor(board, 3 * static_cast<Nanos>(c.periodCounts) * 20 + c.strobe);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_FALSE(lines[0].bOverrun) << "the first line of a run after a long pause";
    for (size_t i = 0; i < lines.size(); ++i) {
      EXPECT_EQ(lines[i].strobe, c.strobe) << i;
      if (i > 0) {
        EXPECT_EQ(lines[i].bOverrun, c.bOverrun) << i;
      }
    }
    EXPECT_EQ(block.Overruns() - overrunsBefore, c.bOverrun ? 2u : 0u);
    RunBoardFor(board, 40 * kNsPerMs);
  }
}

// Each line notes what made it real on each head; only a line that prints
// heats its head, by the strobe time times the line's share of full dye.
TEST_F(HeadDriveLines, ALineIsRealWithPowerEnableDriveEnableAndSupplyAndHeatsByItsDye) {
  struct Case {
    const char* what;
    std::function<void()> change;
    bool bPrintsA;
  };
  const Case cases[] = {
      {"all on", [] {}, true},
      {"head power off", [this] { HeadPower(0); }, false},
      {"head enable off", [this] { Reg(HD::kHeadEnable, 2); }, false},
      {"drive enable off", [this] { Reg(HD::kControl, 0); }, false},
      {"drive enable off in the main block", [this] { main.Write(FpgaMainBlock::kTimerCtrl, 2, 0x0004); }, false},
      {"THV supply off", [this] { main.Write(FpgaMainBlock::kThvCtrl, 2, 0); }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    HeadPower(kPowerA);
    main.Write(FpgaMainBlock::kThvCtrl, 2, 1);
    Reg(HD::kHeadEnable, 3);
    Reg(HD::kControl, HD::kControlEnable);
    lines.clear();
    heat.clear();
    StartLines(1);
    c.change();
    Complete(HD::kFullDot / 4);  // a quarter of full dye on every dot
    ToNextLine();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].Prints(0), c.bPrintsA);
    EXPECT_FALSE(lines[0].Prints(1)) << "head B is never powered here";
    if (c.bPrintsA) {
      EXPECT_EQ(heat, (std::vector<std::pair<uint32_t, Nanos>>{{0, 711 * kNsPerUs / 4}}));
    } else {
      EXPECT_TRUE(heat.empty());
    }
    RunBoardFor(board, 10 * kNsPerMs);
  }
}

}  // namespace
}  // namespace sim
