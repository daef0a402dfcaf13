// The ribbon watchdogs on the supply encoder of unit L, with the encoder's
// counts scripted on the FPGA's counter and the watches polled at chosen
// milliseconds of the application's time.
#include "firmware/mechanism/ribbon_watchdogs.h"

#include "firmware/control/error_manager.h"
#include "firmware/control/panel_test_rig.h"
#include "firmware/devices/machine_actuators.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/hal/hw.h"

namespace paneltest {
namespace {

constexpr uint32_t kSupplyChannelL = 0;
constexpr uint32_t kJamIndex = 0x1603;

void WaitUntilMs(uint32_t ulMs) {
  while (static_cast<int32_t>(g_MsTimer.NowMs() - ulMs) < 0) CpuRelax();
}
// The start of a fresh millisecond, so that calls made right after it read
// the same time.
uint32_t NextTick() {
  const uint32_t ulNow = g_MsTimer.NowMs();
  WaitUntilMs(ulNow + 1);
  return ulNow + 1;
}

class RibbonWatchdogs : public PanelTest {
 protected:
  sim::FpgaMainBlock* m_pFpga = nullptr;
  void SetUp() override {
    PanelTest::SetUp();
    m_pFpga = &Fpga();
  }
};

TEST_F(RibbonWatchdogs, TheUnitSwitchPointsAtTheUnitsWatchesOnTheirSupplyEncoders) {
  EXPECT_EQ(g_JamCheckRibbonL.Encoder(), &g_SlitRibEncSrcL);
  EXPECT_EQ(g_LockCheckRibbonR.Encoder(), &g_SlitRibEncSrcR);
  EXPECT_EQ(g_JamCheckRibbonR.TimeOutMs(), 2000u);
  EXPECT_EQ(g_LockCheckRibbonL.TimeOutMs(), 500u);
  EXPECT_EQ(g_pCurJamCheckRibbon, &g_JamCheckRibbonL);
  InApp([] { SelectUnit(1); });
  EXPECT_EQ(g_pCurJamCheckRibbon, &g_JamCheckRibbonR);
  EXPECT_EQ(g_pCurLockCheckRibbon, &g_LockCheckRibbonR);
}

TEST_F(RibbonWatchdogs, AStalledEncoderFiresOnlyAfterMoreThan2000Ms) {
  static int32_t s_alResult[3];
  InApp(
      [] {
        const uint32_t t0 = NextTick();
        g_JamCheckRibbonL.Start(1, kJamIndex);
        WaitUntilMs(t0 + 1999);
        s_alResult[0] = g_JamCheckRibbonL.CheckStall();
        WaitUntilMs(t0 + 2000);
        s_alResult[1] = g_JamCheckRibbonL.CheckStall();
        WaitUntilMs(t0 + 2001);
        s_alResult[2] = g_JamCheckRibbonL.CheckStall();
      },
      Ms(5000));
  EXPECT_EQ(s_alResult[0], 0);
  EXPECT_EQ(s_alResult[1], 0);
  EXPECT_EQ(s_alResult[2], -1);
  EXPECT_TRUE(IsErrorRaised(kJamIndex));
}

TEST_F(RibbonWatchdogs, OneEncoderChangeReArmsTheStallTime) {
  static int32_t s_alResult[3];
  static sim::FpgaMainBlock* s_pFpga;
  s_pFpga = m_pFpga;
  InApp(
      [] {
        const uint32_t t0 = NextTick();
        g_JamCheckRibbonL.Start(1, kJamIndex);
        WaitUntilMs(t0 + 1500);
        s_pFpga->CountPulses(kSupplyChannelL, 1);
        s_alResult[0] = g_JamCheckRibbonL.CheckStall();
        WaitUntilMs(t0 + 2500);
        s_alResult[1] = g_JamCheckRibbonL.CheckStall();
        WaitUntilMs(t0 + 3502);
        s_alResult[2] = g_JamCheckRibbonL.CheckStall();
      },
      Ms(6000));
  EXPECT_EQ(s_alResult[0], 0);
  EXPECT_EQ(s_alResult[1], 0);
  EXPECT_EQ(s_alResult[2], -1);
}

TEST_F(RibbonWatchdogs, StartWithoutRestartKeepsTheCountAndIndexZeroRaisesNothing) {
  static uint32_t s_ulCount;
  static int32_t s_lResult;
  Fpga().CountPulses(kSupplyChannelL, 5);
  InApp(
      [] {
        const uint32_t t0 = NextTick();
        g_JamCheckRibbonL.Start(0, 0);
        g_SlitRibEncSrcL.ReadCount(&s_ulCount);
        WaitUntilMs(t0 + 2001);
        g_JamCheckRibbonL.CheckStall();  // takes the count of 5 as a change
        WaitUntilMs(t0 + 4003);
        s_lResult = g_JamCheckRibbonL.CheckStall();
      },
      Ms(6000));
  EXPECT_EQ(s_ulCount, 5u);
  EXPECT_EQ(s_lResult, -1);
  EXPECT_FALSE(IsErrorRaised(kJamIndex));
}

TEST_F(RibbonWatchdogs, TheLockWatchLocksAfterMoreThan500QuietMs) {
  static uint32_t s_aulLocked[3];
  static sim::FpgaMainBlock* s_pFpga;
  s_pFpga = m_pFpga;
  InApp(
      [] {
        const uint32_t t0 = NextTick();
        g_LockCheckRibbonL.Restart();
        WaitUntilMs(t0 + 500);
        g_LockCheckRibbonL.CheckLocked(s_aulLocked[0]);
        s_pFpga->CountPulses(kSupplyChannelL, 1);
        WaitUntilMs(t0 + 501);
        g_LockCheckRibbonL.CheckLocked(s_aulLocked[1]);  // a change: the quiet time restarts
        WaitUntilMs(t0 + 1002);
        g_LockCheckRibbonL.CheckLocked(s_aulLocked[2]);
      },
      Ms(3000));
  EXPECT_EQ(s_aulLocked[0], 0u);
  EXPECT_EQ(s_aulLocked[1], 0u);
  EXPECT_EQ(s_aulLocked[2], 1u);
}

TEST_F(RibbonWatchdogs, TheMovingPollPast7455RaisesRibbonEmptyOfTheCurrentUnit) {
  static int32_t s_lLast, s_lPast;
  static uint32_t s_ulCount, s_ulAfterRestart;
  static sim::FpgaMainBlock* s_pFpga;
  s_pFpga = m_pFpga;
  InApp(
      [] {
        SelectUnit(1);
        uint32_t ulLocked = 0;
        g_LockCheckRibbonR.Restart();
        for (uint32_t i = 0; i < CLockCheckRibbon::kMaxMovingPolls; ++i) {
          s_pFpga->CountPulses(1, 1);
          s_lLast = g_LockCheckRibbonR.CheckLocked(ulLocked);
          if (s_lLast != 0) break;
        }
        s_ulCount = g_LockCheckRibbonR.MoveCount();
        s_pFpga->CountPulses(1, 1);
        s_lPast = g_LockCheckRibbonR.CheckLocked(ulLocked);
        g_LockCheckRibbonR.Restart();
        s_ulAfterRestart = g_LockCheckRibbonR.MoveCount();
      },
      Ms(20000));
  EXPECT_EQ(s_lLast, 0);
  EXPECT_EQ(s_ulCount, 7455u);
  EXPECT_EQ(s_lPast, -1);
  EXPECT_TRUE(IsErrorRaised(0x1604));
  EXPECT_FALSE(IsErrorRaised(0x1603));
  EXPECT_EQ(s_ulAfterRestart, 0u);
}

}  // namespace
}  // namespace paneltest
