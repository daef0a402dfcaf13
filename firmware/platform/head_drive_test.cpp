// The head-drive block's driver on the virtual board: the set-up's register
// sequence, the strobe timing and pulse division arithmetic, the enable's
// argument check, the table loads and fills, the bank checks and the
// interrupt path's line-word read.
#include "firmware/platform/head_drive.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "firmware/hal/hw.h"
#include "firmware/platform/board_test_rig.h"
#include "firmware/platform/fpga_regs.h"
#include "sim/fpga/head_drive_block.h"

namespace {

using boardrig::Access;
using sim::HeadDriveBlock;

constexpr PhysAddr kRegsLast = 0x64010FFFu;
constexpr PhysAddr kTimerCtrl = 0x6400001Cu;

class HeadDrive : public boardrig::BoardTest {
 protected:
  void RunTraced(std::function<void()> body) {
    BootWith([body = std::move(body)] {
      sim::Board::Current().GetBus().Trace().Start();
      body();
      sim::Board::Current().GetBus().Trace().Stop();
    });
    Run();
  }
  HeadDriveBlock& Block() { return *TheBoard().FindDevice<HeadDriveBlock>(); }
  size_t WritesIn(PhysAddr first, PhysAddr last) { return Traced(first, last).size(); }
};

TEST_F(HeadDrive, InitSetsTheBlockUpInOrderAndClearsBothLineBanksAndTheTables) {
  RunTraced([] {
    // Whatever the block held before.
    HwWrite16(HD_CONFIG, 0x5555);
    HwWrite16(HD_BUFFER_CTRL, 0);
    HwWrite16(HD_LINE_BUFFER, 0x1234);
    HwWrite16(HD_BUFFER_CTRL, 1);
    HwWrite16(HD_LINE_BUFFER + 2 * 2559, 0x4321);
    HwWrite16(HD_BUFFER_CTRL, 0);
    HwWrite16(HD_TABLE3, 0x7777);
    sim::Board::Current().GetBus().Trace().Clear();
    g_HeadDrive.Init();
  });
  const std::vector<Access> kRegisterWrites = {
      {true, HD_RESET, 0x80},        {true, HD_DIVISION, 0x0B07},   {true, HD_CONFIG, 0x00A3},
      {true, HD_CONTROL, 0},         {true, HD_CONTROL, 0x02},      {true, HD_PARAM0, 0x0819},
      {true, HD_PARAM0 + 2, 0},      {true, HD_PARAM0 + 4, 0x0819}, {true, HD_PARAM0 + 6, 0},
      {true, HD_PERIOD_LO, 0},       {true, HD_PERIOD_HI, 0},       {true, HD_OFF_TIME_LO, 0},
      {true, HD_OFF_TIME_HI, 0},     {true, HD_CONTROL, 0x1A},      {true, HD_CONTROL, 0x1A},
      {true, HD_STROBE_COUNT, 0},    {true, HD_BUFFER_CTRL, 0x01},  {true, HD_HEAD_ENABLE, 0x03},
      {true, HD_BUFFER_CTRL, 0x10},
  };
  EXPECT_EQ(Traced(HD_BANK1_BASE, kRegsLast), kRegisterWrites);
  EXPECT_EQ(WritesIn(HD_LINE_BUFFER, HD_LINE_BUFFER + 2 * HD_LINE_WORDS - 1), 2 * HD_LINE_WORDS);
  EXPECT_EQ(WritesIn(HD_TABLE1, HD_TABLE1 + 0xFFF), HD_TABLE1_WORDS);
  EXPECT_EQ(WritesIn(HD_TABLE2, HD_TABLE2 + 0xFFFF), HD_TABLE2_WORDS);
  EXPECT_EQ(WritesIn(HD_TABLE3, HD_TABLE3 + 0xFFFF), HD_TABLE3_FILL_WORDS);
  EXPECT_EQ(Traced(kTimerCtrl, kTimerCtrl).back().value & 0x2u, 0x2u) << "the FPGA's head-drive enable";

  HeadDriveBlock& block = Block();
  EXPECT_EQ(block.Register(HeadDriveBlock::kConfig), 0x00A3);
  EXPECT_EQ(block.LineWord(0, 0), 0);
  EXPECT_EQ(block.LineWord(1, 2559), 0);
  EXPECT_EQ(block.Table3(0), 0);
  EXPECT_EQ(block.Register(HeadDriveBlock::kBufferCtrl), 0x10) << "bank 0 to the CPU, owned by the drive";
}

TEST_F(HeadDrive, StrobeTimingAndPulseDivisionAreWrittenInTheirUnitsAndWidths) {
  struct Strobe {
    uint32_t periodUs;
    uint16_t duty;
    uint32_t headA, headB;
    uint32_t period, offTime;
    uint16_t strobeBits;
  };
  static const Strobe kStrobes[] = {
      {100, 25, 1, 0, 5000, 3750, 0x10},
      {0, 0, 1, 1, 0, 0, 0x30},
      {2000, 50, 0, 1, 100000, 50000, 0x20},
      {500, 29, 2, 0, 25000, 17750, 0x00},  // only 1 enables a head
  };
  struct Division {
    uint16_t length, count;
    uint16_t written;
  };
  static const Division kDivisions[] = {{1024, 32, 0}, {88, 7, 0x0B07}, {1023, 31, 0x7FFF}, {1025, 33, 0x0021}};
  static uint32_t s_aulPeriod[4], s_aulOff[4];
  static uint16_t s_ausControl[4], s_ausDivision[4];
  RunTraced([] {
    for (uint32_t i = 0; i < 4; ++i) {
      const Strobe& s = kStrobes[i];
      g_HeadDrive.SetStrobe(s.periodUs, s.duty, s.headA, s.headB);
      s_aulPeriod[i] = HwRead16(HD_PERIOD_LO) | static_cast<uint32_t>(HwRead16(HD_PERIOD_HI)) << 16;
      s_aulOff[i] = HwRead16(HD_OFF_TIME_LO) | static_cast<uint32_t>(HwRead16(HD_OFF_TIME_HI)) << 16;
      s_ausControl[i] = HwRead16(HD_CONTROL);
      g_HeadDrive.SetPulseDivision(kDivisions[i].length, kDivisions[i].count);
      s_ausDivision[i] = HwRead16(HD_DIVISION);
    }
  });
  for (uint32_t i = 0; i < 4; ++i) {
    EXPECT_EQ(s_aulPeriod[i], kStrobes[i].period) << i;
    EXPECT_EQ(s_aulOff[i], kStrobes[i].offTime) << i;
    EXPECT_EQ(s_ausControl[i] & 0x30u, kStrobes[i].strobeBits) << i;
    EXPECT_EQ(s_ausDivision[i], kDivisions[i].written) << i;
  }
}

TEST_F(HeadDrive, EnableTakesOnlyZeroOrOneAndZeroClearsBothEnableBits) {
  static int32_t s_alResults[3];
  static size_t s_refusedWrites;
  RunTraced([] {
    g_HeadDrive.Enable(1);
    sim::Board::Current().GetBus().Trace().Clear();
    s_alResults[0] = g_HeadDrive.Enable(2);
    s_refusedWrites = sim::Board::Current().GetBus().Trace().In(0x64000000u, 0x6403FFFFu, sim::BusTrace::Kind::Writes).size();
    s_alResults[1] = g_HeadDrive.Enable(0xFFFFFFFFu);
    s_alResults[2] = g_HeadDrive.Enable(0);
  });
  EXPECT_EQ(std::vector<int32_t>(s_alResults, s_alResults + 3), (std::vector<int32_t>{-2, -2, 0}));
  EXPECT_EQ(s_refusedWrites, 0u);
  EXPECT_EQ(Block().Register(HeadDriveBlock::kControl) & 0x2u, 0u);
  EXPECT_EQ(Traced(kTimerCtrl, kTimerCtrl).back().value & 0x2u, 0u);
}

TEST_F(HeadDrive, TablesLoadAndFillTheirOwnLengthsAndAddressesOutsideTheBankAreRefused) {
  static uint16_t s_ausSource[HD_TABLE1_WORDS];
  static int32_t s_alResults[7];
  static uint16_t s_usRead;
  RunTraced([] {
    for (uint32_t i = 0; i < HD_TABLE1_WORDS; ++i) s_ausSource[i] = static_cast<uint16_t>(0x100 + i);
    const PhysAddr ulSource = 0x00F00000u;  // low RAM, read directly
    HwWriteBlock(ulSource, s_ausSource, sizeof s_ausSource);
    s_alResults[0] = g_HeadDrive.LoadBank3Table(ulSource);
    s_alResults[1] = g_HeadDrive.FillBank3Table(0xABCD);
    s_usRead = 0xBEEF;
    s_alResults[2] = g_HeadDrive.Read(HD_TABLE2, &s_usRead);
    s_alResults[3] = g_HeadDrive.Write(HD_TABLE3, 1);
    s_alResults[4] = g_HeadDrive.WriteBank2(HD_TABLE3, 1);
    s_alResults[5] = g_HeadDrive.WriteBank3(HD_TABLE1, 1);
    s_alResults[6] = g_HeadDrive.LoadBank2Table(ulSource);
  });
  EXPECT_EQ(std::vector<int32_t>(s_alResults, s_alResults + 7), (std::vector<int32_t>{0, 0, -2, -2, -2, -2, 0}));
  EXPECT_EQ(s_usRead, 0xBEEF);
  const std::vector<Access> bank3 = Traced(HD_TABLE3, HD_TABLE3 + 0xFFFF);
  ASSERT_EQ(bank3.size(), HD_TABLE3_LOAD_WORDS + HD_TABLE3_FILL_WORDS);
  EXPECT_EQ(bank3[159], (Access{true, HD_TABLE3 + 2 * 159, 0x100 + 159}));
  EXPECT_EQ(bank3[160], (Access{true, HD_TABLE3, 0xABCD}));
  EXPECT_EQ(Traced(HD_TABLE2, HD_TABLE2 + 0xFFFF).size(), HD_TABLE2_WORDS) << "only the load";
  EXPECT_EQ(Block().Table2(255), 0x100 + 255);
  EXPECT_EQ(Traced(HD_TABLE1, HD_TABLE1 + 0xFFF).size(), 0u);
}

TEST_F(HeadDrive, ReadLineWordReadsTheDrivesBankOrWithInvertTheOtherAndHandsTheBuffersBack) {
  static uint16_t s_ausWords[2];
  BootWith([] {
    HwWrite16(HD_BUFFER_CTRL, 0);
    HwWrite16(HD_LINE_BUFFER + 10, 0xAAAA);
    HwWrite16(HD_BUFFER_CTRL, 1);
    HwWrite16(HD_LINE_BUFFER + 10, 0xBBBB);
    HwWrite16(HD_BUFFER_CTRL, 0x10);
    sim::Board::Current().GetBus().Trace().Start();
    g_HeadDrive.ReadLineWord(&s_ausWords[0], 10, 0);
    g_HeadDrive.ReadLineWord(&s_ausWords[1], 10, 1);
    sim::Board::Current().GetBus().Trace().Stop();
  });
  Block().SetDriveBank(1);  // the drive is on bank 1
  Run();
  EXPECT_EQ(s_ausWords[0], 0xBBBB);
  EXPECT_EQ(s_ausWords[1], 0xAAAA);
  // The CPU window goes to the bank read, the buffers to the CPU for the
  // read and back to the drive after it.
  const std::vector<Access> kBoth = {
      {false, HD_BANK_STATUS, 1},           {false, HD_BUFFER_CTRL, 0x10}, {true, HD_BUFFER_CTRL, 0x01},
      {false, HD_LINE_BUFFER + 10, 0xBBBB}, {false, HD_BUFFER_CTRL, 0x01}, {true, HD_BUFFER_CTRL, 0x11},
      {false, HD_BANK_STATUS, 1},           {false, HD_BUFFER_CTRL, 0x11}, {true, HD_BUFFER_CTRL, 0x00},
      {false, HD_LINE_BUFFER + 10, 0xAAAA}, {false, HD_BUFFER_CTRL, 0x00}, {true, HD_BUFFER_CTRL, 0x10},
  };
  EXPECT_EQ(Traced(HD_BANK1_BASE, HD_TABLE1 - 1, sim::BusTrace::Kind::Both), kBoth);
}

}  // namespace
