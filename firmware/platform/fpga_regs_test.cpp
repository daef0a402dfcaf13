// The FPGA main register block's driver on the virtual board: the address
// check, channel tables, the register sequences of its operations, the
// shadows, the microsecond counter and its time base, and the interrupt
// safety of every read-modify-write.
#include "firmware/platform/fpga_regs.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "firmware/devices/unit_switch.h"
#include "firmware/platform/board_test_rig.h"
#include "firmware/platform/us_timer.h"

namespace {

using boardrig::Access;
using boardrig::BoardCpu;
using boardrig::BoardFpga;
using sim::FpgaMainBlock;

constexpr PhysAddr kBank0First = 0x64000000u;
constexpr PhysAddr kBank0Last = 0x6400FFFFu;

class FpgaRegs : public boardrig::BoardTest {
 protected:
  // Runs `body` with the bus trace on; the test then reads the trace.
  // The EEPROM routing starts on the lower half, whichever half the
  // start-up touched last.
  void RunTraced(std::function<void()> body) {
    BootWith([body = std::move(body)] {
      g_FpgaMain.SelectEepromUpperHalf(0);
      sim::Board::Current().GetBus().Trace().Start();
      body();
      sim::Board::Current().GetBus().Trace().Stop();
    });
    Run();
  }
  std::vector<Access> Bank0Writes() { return Traced(kBank0First, kBank0Last); }
  std::vector<Access> Bank0Accesses() { return Traced(kBank0First, kBank0Last, sim::BusTrace::Kind::Both); }
};

// ---- the address check and the channel tables -------------------------------------------

TEST_F(FpgaRegs, AddressesOutsideTheBlockAreRefusedWithoutAnAccess) {
  static int32_t s_alResults[5];
  static uint16_t s_usRead;
  RunTraced([] {
    s_usRead = 0xBEEF;
    s_alResults[0] = g_FpgaMain.Write(0x64010002u, 0x1234);
    s_alResults[1] = g_FpgaMain.Read(0x64010002u, &s_usRead);
    s_alResults[2] = g_FpgaMain.SetBits(0x65000030u, 1);
    s_alResults[3] = g_FpgaMain.ClearBits(0x00000030u, 1);
    // The raw forms take the low 16 bits whatever the upper ones.
    s_alResults[4] = g_FpgaMain.WriteRaw(0x64010002u, 0x5678);
  });
  EXPECT_EQ(std::vector<int32_t>(s_alResults, s_alResults + 5), (std::vector<int32_t>{-2, -2, -2, -2, 0}));
  EXPECT_EQ(s_usRead, 0xBEEF);
  EXPECT_EQ(Bank0Accesses(), (std::vector<Access>{{true, 0x64000002u, 0x5678}}));
}

TEST_F(FpgaRegs, PwmChannelsReachTheirPairsAndTheDutyIsAShareOfThePeriod) {
  static int32_t s_lRefusedPeriod, s_lRefusedDuty;
  static const uint32_t kChannels[] = {0, 1, 2, 3, 5, 6, 8, 9, 10, 14, 15, 16, 17};
  RunTraced([] {
    s_lRefusedPeriod = g_FpgaMain.SetPwmPeriod(13, 1000);
    s_lRefusedDuty = g_FpgaMain.SetPwmDuty(18, 50);
    for (uint32_t k = 0; k < 13; ++k) g_FpgaMain.SetPwmPeriod(kChannels[k], static_cast<uint16_t>(1000 + k));
    g_FpgaMain.SetPwmDuty(0, 50);
    g_FpgaMain.SetPwmDuty(17, 33);
  });
  EXPECT_EQ(s_lRefusedPeriod, -2);
  EXPECT_EQ(s_lRefusedDuty, -2);
  std::vector<Access> expected;
  for (uint32_t k = 0; k < 13; ++k) expected.push_back({true, 0x64000060u + 4 * k, 1000 + k});
  expected.push_back({true, 0x64000062u, 500});
  expected.push_back({true, 0x64000092u, 1012 * 33 / 100});
  EXPECT_EQ(Bank0Writes(), expected);
}

TEST_F(FpgaRegs, CountersOutsideSevenChannelsAreRefusedAndChannelSixLivesApart) {
  static int32_t s_alResults[4];
  static uint32_t s_aulCounts[2];
  RunTraced([] {
    s_alResults[0] = g_FpgaMain.ClearCounter(7);
    s_alResults[1] = g_FpgaMain.EnableCounter(7, 0);
    s_aulCounts[1] = 0xDEAD;
    s_alResults[2] = g_FpgaMain.ReadCounter(7, &s_aulCounts[1]);
    g_FpgaMain.EnableCounter(6, 0);  // count
    BoardFpga().CountPulses(6, 42);
    s_alResults[3] = g_FpgaMain.ReadCounter(6, &s_aulCounts[0]);
    g_FpgaMain.ClearCounter(6);
  });
  EXPECT_EQ(std::vector<int32_t>(s_alResults, s_alResults + 4), (std::vector<int32_t>{-2, -2, -2, 0}));
  EXPECT_EQ(s_aulCounts[0], 42u);
  EXPECT_EQ(s_aulCounts[1], 0xDEADu);
  // Enable writes the whole shadow (every counter counts since the encoder
  // slits were built); the clear is a 1-0 pulse; the count comes from 0x4A.
  EXPECT_EQ(Bank0Accesses(), (std::vector<Access>{{true, 0x64000008u, 0x00},
                                                  {false, 0x6400004Au, 42},
                                                  {true, 0x6400000Au, 0x40},
                                                  {true, 0x6400000Au, 0x00}}));
  EXPECT_EQ(Fpga().Counter(6), 0u);
}

// ---- register sequences ------------------------------------------------------------------

TEST_F(FpgaRegs, OperationsWriteTheSequencesTheFpgaActsOn) {
  RunTraced([] {
    g_FpgaMain.SetLinePeriodUs(100);
    g_FpgaMain.StartStopPulses(1, 0);
    g_FpgaMain.StartStopPulses(1, 1);
    g_FpgaMain.SetPulsePeriod(2, 0x00012345u);
    g_FpgaMain.SetPulsePeriod(3, 1);  // no such channel: nothing
    g_FpgaMain.ColorLedOn(2);
    g_FpgaMain.ColorLedOn(7);  // no LED 7: the shadow is rewritten as it is
    g_FpgaMain.SelectColorSensorL(1);
    g_FpgaMain.ColorLedOff(2);
    g_FpgaMain.SelectAdcChannel(0x45);
    g_FpgaMain.SelectExternalEeprom(1);
    g_FpgaMain.SelectEepromUpperHalf(1);
    g_FpgaMain.SelectExternalEeprom(0);
  });
  EXPECT_EQ(Bank0Writes(), (std::vector<Access>{
                               {true, 0x64000038u, 5000},  // 100 us in 50 MHz counts
                               {true, 0x6400003Au, 0},
                               {true, 0x64000026u, 0x04},  // start of channel 1: 1, 0, 1
                               {true, 0x64000026u, 0x00},
                               {true, 0x64000026u, 0x04},
                               {true, 0x64000026u, 0x0C},  // its stop bit: 1, 0, 1
                               {true, 0x64000026u, 0x04},
                               {true, 0x64000026u, 0x0C},
                               {true, 0x6400005Au, 0x2345},
                               {true, 0x6400005Cu, 0x0001},
                               {true, 0x64000046u, 0x0002},
                               {true, 0x64000046u, 0x0002},
                               {true, 0x64000046u, 0x0102},
                               {true, 0x64000046u, 0x0100},
                               {true, 0x64000048u, 0x4},  // high nibble first
                               {true, 0x64000042u, 0x5},
                               {true, 0x64000022u, 0x1},
                               {true, 0x64000022u, 0x3},
                               {true, 0x64000022u, 0x2},
                           }));
  EXPECT_FALSE(Fpga().PulsesRunning(1)) << "started, then stopped";
}

TEST_F(FpgaRegs, TheThvStepKeepsTheControlBitsAndIsReadBackFromTheFpga) {
  static int32_t s_lStep;
  RunTraced([] {
    g_FpgaMain.ThvOn();
    g_FpgaMain.ThvMeasureOn();
    g_FpgaMain.SetThvValue(0x4FF);  // 10 bits: 0x0FF
    g_FpgaMain.ThvMeasureOff();
    s_lStep = g_FpgaMain.GetThvValue();
    g_FpgaMain.ThvOff();
  });
  EXPECT_EQ(Bank0Writes(), (std::vector<Access>{{true, 0x6400004Cu, 0x0001},
                                                {true, 0x6400004Cu, 0x0003},
                                                {true, 0x6400004Cu, 0x3FC3},
                                                {true, 0x6400004Cu, 0x3FC1},
                                                {true, 0x6400004Cu, 0x3FC0}}));
  EXPECT_EQ(s_lStep, 0xFF);
}

TEST_F(FpgaRegs, TheA2DReadsTenBitsOfTheSelectedChannelAfterItsSettlingTime) {
  static uint32_t s_ulValue;
  sim::Machine& m = BootWith([] {
    g_FpgaMain.SelectAdcChannel(21);
    BoardWaitUs(25);
    g_FpgaMain.ReadAdc(&s_ulValue);
  });
  Fpga().SetAnalogSource([](uint32_t channel, bool) { return static_cast<uint16_t>(channel == 21 ? 0xF123 : 0); });
  Run();
  EXPECT_EQ(s_ulValue, 0x123u);
  (void)m;
}

TEST_F(FpgaRegs, HeadInformationIsZeroUntilReadThenFollowsTheCurrentUnit) {
  static uint32_t s_aulDots[3], s_aulTypes[2];
  sim::Machine& m = BootWith([] {
    g_FpgaMain.GetHeadDots(&s_aulDots[0]);
    g_FpgaMain.ReadHeadInfo();
    SelectUnit(0);
    g_FpgaMain.GetHeadDots(&s_aulDots[1]);
    g_FpgaMain.GetHeadType(&s_aulTypes[0]);
    SelectUnit(1);
    g_FpgaMain.GetHeadDots(&s_aulDots[2]);
    g_FpgaMain.GetHeadType(&s_aulTypes[1]);
    SelectUnit(0);
  });
  Fpga().SetHeadInfo(0x0002);  // unit A's head bit only
  Run();
  EXPECT_EQ(std::vector<uint32_t>(s_aulDots, s_aulDots + 3), (std::vector<uint32_t>{0, 2560, 2560}));
  EXPECT_EQ(s_aulTypes[0], 1u) << "Kyocera";
  EXPECT_EQ(s_aulTypes[1], 0u) << "Toshiba";
  (void)m;
}

// ---- the microsecond counter ------------------------------------------------------------

TEST_F(FpgaRegs, TheMicrosecondTimeBaseStartsNearZeroAndCountsAThousandPerMillisecond) {
  static uint32_t s_ulAfterStart, s_ulAfterWait, s_ulWaited, s_ulWaitStart;
  BootWith([] {
    g_UsTimer.Restart();
    s_ulAfterStart = g_UsTimer.NowUs();
    BoardWaitUs(1000);
    s_ulAfterWait = g_UsTimer.NowUs();
    s_ulWaitStart = g_UsTimer.NowUs();
    s_ulWaited = g_UsTimer.WaitUs(0x10000 + 500);  // 16 bits: 500 us
  });
  Run();
  EXPECT_LT(s_ulAfterStart, 5u);
  EXPECT_NEAR(static_cast<double>(s_ulAfterWait - s_ulAfterStart), 1000.0, 5.0);
  EXPECT_GE(s_ulWaited - s_ulWaitStart, 500u);
  EXPECT_LT(s_ulWaited - s_ulWaitStart, 505u);
  EXPECT_EQ(Fpga().Register(FpgaMainBlock::kTimerCtrl) & 1u, 1u);
}

// The low half borrows between the reads of the two halves (the handler of
// an interrupt taken after the high read waits 3 us): the count must not
// jump by 65536.
TEST_F(FpgaRegs, ACountReadAcrossALowHalfBorrowDoesNotJump) {
  static uint32_t s_ulCount;
  BootWith([] {
    boardrig::g_fpgaIrqWork = [] { BoardWaitUs(3); };
    g_FpgaMain.StopUsCounter();
    g_FpgaMain.LoadUsCounter(0x00050002u);
    BoardCpu().InjectAtAccess(boardrig::kFpgaIrqEvent, FPGA_USCNT_HI);
    g_FpgaMain.StartUsCounter();
    g_FpgaMain.ReadUsCounter(&s_ulCount);
  });
  Run();
  EXPECT_EQ(boardrig::g_ulFpgaIrqCount, 1u);
  EXPECT_LE(s_ulCount, 0x0004FFFFu) << std::hex << s_ulCount;
  EXPECT_GE(s_ulCount, 0x0004FFF0u) << std::hex << s_ulCount;
}

// ---- interrupt safety ------------------------------------------------------------------

// A handler changes another bit of the same register between the task's read
// and its write: the masked read-modify-write keeps both.
TEST_F(FpgaRegs, ABitSetByAHandlerDuringATasksReadModifyWriteIsKept) {
  static bool s_bMaskedInHandler, s_bMaskedAfter;
  BootWith([] {
    boardrig::g_fpgaIrqWork = [] {
      // The handler's own masked section, as the interrupt's acknowledge.
      const uint32_t ulSaved = SaveIrqAndDisable();
      g_FpgaMain.SetBits(FPGA_DCMOTOR0, 0x0100);
      s_bMaskedInHandler = BoardCpu().IrqMasked();
      RestoreIrq(ulSaved);
    };
    BoardCpu().InjectAtAccess(boardrig::kFpgaIrqEvent, FPGA_DCMOTOR0);
    g_FpgaMain.SetBits(FPGA_DCMOTOR0, 0x0001);
    // Called with interrupts masked, it leaves them masked.
    DisableIrq();
    g_FpgaMain.ClearBits(FPGA_FAN_CTRL, 0x0001);
    s_bMaskedAfter = BoardCpu().IrqMasked();
    EnableIrq();
  });
  Run();
  EXPECT_EQ(boardrig::g_ulFpgaIrqCount, 1u);
  // Both bits over the levels the machine's construction left: head L
  // stopped, unit L's ribbon motors braked (0x003C).
  EXPECT_EQ(Fpga().Register(FpgaMainBlock::kDcMotor0), 0x013Du);
  EXPECT_TRUE(s_bMaskedInHandler) << "the handler's own call must not unmask";
  EXPECT_TRUE(s_bMaskedAfter);
}

// The print line's trigger (interrupt level) and the task's timer-control
// operations share one shadow. An interrupt at every switch point of the
// task's update in turn: the trigger bit is never lost.
TEST_F(FpgaRegs, TheLineTriggerSetByAHandlerSurvivesEveryTaskUpdateOfTimerControl) {
  constexpr uint32_t kPositions = 8;  // the update's switch points and a few after it
  static uint32_t s_aulFinal[kPositions];
  BootWith([] {
    boardrig::g_fpgaIrqWork = [] { g_FpgaMain.SetLineTrigger(1); };
    for (uint32_t k = 1; k <= kPositions; ++k) {
      g_FpgaMain.SetLineTrigger(0);
      g_FpgaMain.SetHeadDriveEnable(0);
      BoardCpu().InjectAtSwitchPoint(boardrig::kFpgaIrqEvent, k);
      g_FpgaMain.SetHeadDriveEnable(1);
      while (boardrig::g_ulFpgaIrqCount < k) CpuRelax();
      s_aulFinal[k - 1] = BoardFpga().Register(FpgaMainBlock::kTimerCtrl);
    }
  });
  Run();
  for (uint32_t k = 0; k < kPositions; ++k) {
    EXPECT_EQ(s_aulFinal[k], 0x0007u) << "interrupt at switch point " << k + 1;
  }
}

}  // namespace
