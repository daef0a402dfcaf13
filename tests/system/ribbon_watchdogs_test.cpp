// The ribbon watchdogs on the ribbon model of a printer running its main
// loop: the jam watch over a standing ribbon, the lock watch over a supply
// reversing against a held take-up, and over a unit without a ribbon whose
// supply spool keeps turning.
#include <gtest/gtest.h>

#include "firmware/control/error_manager.h"
#include "firmware/devices/machine_actuators.h"
#include "firmware/devices/machine_ports.h"
#include "firmware/hal/hw.h"
#include "firmware/mechanism/donor_mng.h"
#include "firmware/mechanism/ribbon_phases.h"
#include "firmware/mechanism/ribbon_watchdogs.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/platform/time_base.h"
#include "sim/mechanism/input_faults.h"
#include "tests/support/carousel.h"

namespace {

using carouseltest::CarouselPrinter;
using testsupport::Ms;

void WaitMs(uint32_t ulMs) {
  const uint32_t ulStart = g_MsTimer.NowMs();
  while (g_MsTimer.NowMs() - ulStart < ulMs) CpuRelax();
}

class RibbonWatchdogsOnTheModel : public CarouselPrinter {
 protected:
  void SetUp() override { BootReady(sim::EngineVariant::EM3); }
};

TEST_F(RibbonWatchdogsOnTheModel, TheJamWatchFiresOnAStandingRibbonWithTheGivenIndex) {
  int32_t lFirst = 9, lLast = 9;
  uint32_t ulPolls = 0, ulElapsed = 0;
  ASSERT_TRUE(InLoop(
      [&] {
        const uint32_t ulStart = g_MsTimer.NowMs();
        g_pCurJamCheckRibbon->Start(1, g_ulCurErrRibbonEmpty);
        lFirst = g_pCurJamCheckRibbon->CheckStall();
        do {
          WaitMs(10);
          ++ulPolls;
          lLast = g_pCurJamCheckRibbon->CheckStall();
        } while (lLast == 0 && ulPolls < 1000);
        ulElapsed = g_MsTimer.NowMs() - ulStart;
      },
      Ms(20000)));
  EXPECT_EQ(lFirst, 0);
  EXPECT_EQ(lLast, -1);
  EXPECT_GT(ulElapsed, 2000u);
  EXPECT_LE(ulElapsed, 2015u);
  EXPECT_TRUE(IsErrorRaised(0x1603));
}

// While the ribbon winds, its encoder keeps re-arming the watch; a start
// without the restart flag re-arms it over the running count, and the watch
// fires once the stopped ribbon has stood for more than 2000 ms.
TEST_F(RibbonWatchdogsOnTheModel, AWindingRibbonKeepsTheJamWatchQuietUntilItStands) {
  int32_t lWhileWinding = 0, lLast = 9;
  uint32_t ulAtStop = 0, ulAfterStart = 9, ulAfterRestart = 9, ulStoodMs = 0;
  ASSERT_TRUE(InLoop(
      [&] {
        g_pCurJamCheckRibbon->Start(1, g_ulCurErrRibbonEmpty);
        g_pDonorMng->SetRibbonPhase(RIBPH_WIND_M, 1);
        const uint32_t ulWound = g_MsTimer.NowMs();
        while (g_MsTimer.NowMs() - ulWound < 3000) {
          WaitMs(10);
          lWhileWinding |= g_pCurJamCheckRibbon->CheckStall();
        }
        g_pDonorMng->StopRibbon(1, 1);
        g_pCurSlitRibEncSrc->ReadCount(&ulAtStop);
        g_pCurJamCheckRibbon->Start(0, g_ulCurErrRibbonEmpty);
        g_pCurSlitRibEncSrc->ReadCount(&ulAfterStart);
        const uint32_t ulStopped = g_MsTimer.NowMs();
        do {
          WaitMs(10);
          lLast = g_pCurJamCheckRibbon->CheckStall();
        } while (lLast == 0 && g_MsTimer.NowMs() - ulStopped < 5000);
        ulStoodMs = g_MsTimer.NowMs() - ulStopped;
        g_pCurJamCheckRibbon->Start(1, 0);
        g_pCurSlitRibEncSrc->ReadCount(&ulAfterRestart);
      },
      Ms(20000)));
  EXPECT_EQ(lWhileWinding, 0);
  EXPECT_GT(ulAtStop, 100u);
  EXPECT_EQ(ulAfterStart, ulAtStop) << "the count runs on";
  EXPECT_EQ(lLast, -1);
  EXPECT_GT(ulStoodMs, 2000u);
  EXPECT_LE(ulStoodMs, 2200u);
  EXPECT_TRUE(IsErrorRaised(0x1603));
  EXPECT_EQ(ulAfterRestart, 0u) << "cleared by the restart flag";
}

TEST_F(RibbonWatchdogsOnTheModel, TheSupplyReversingAgainstAHeldTakeUpLocks) {
  int32_t lResult = 9;
  uint32_t ulLocked = 0, ulElapsed = 0;
  ASSERT_TRUE(InLoop(
      [&] {
        g_PortMotorEnable.Set();
        g_ClutchRibRvsL.On();
        g_ChopMotorRibDstL.Stop();  // the take-up holds
        g_ChopMotorRibSrcL.SetDuty(100);
        g_ChopMotorRibSrcL.Reverse();
        const uint32_t ulStart = g_MsTimer.NowMs();
        g_pCurLockCheckRibbon->Restart();
        do {
          WaitMs(2);
          lResult = g_pCurLockCheckRibbon->CheckLocked(ulLocked);
        } while (lResult == 0 && ulLocked == 0 && g_MsTimer.NowMs() - ulStart < 10000);
        ulElapsed = g_MsTimer.NowMs() - ulStart;
        g_ChopMotorRibSrcL.Brake();
        g_ClutchRibRvsL.Off();
      },
      Ms(20000)));
  EXPECT_EQ(lResult, 0);
  EXPECT_EQ(ulLocked, 1u);
  EXPECT_GT(ulElapsed, 500u);
  EXPECT_LT(ulElapsed, 5000u);
}

TEST_F(RibbonWatchdogsOnTheModel, WithoutARibbonThe7456thMovingPollRaisesRibbonEmptyL) {
  m_machine->MechanismFaults().SetRibbonFault(sim::PrintUnit::L, sim::RibbonFault::NoRibbon, true);
  int32_t lResult = 9;
  uint32_t ulPolls = 0, ulMoves = 0, ulAfterRestart = 9;
  ASSERT_TRUE(InLoop(
      [&] {
        g_PortMotorEnable.Set();
        g_ClutchRibRvsL.On();
        g_ChopMotorRibSrcL.SetDuty(100);
        g_ChopMotorRibSrcL.Reverse();
        uint32_t ulLocked = 0;
        g_pCurLockCheckRibbon->Restart();
        do {
          WaitMs(3);
          ++ulPolls;
          lResult = g_pCurLockCheckRibbon->CheckLocked(ulLocked);
        } while (lResult == 0 && ulLocked == 0 && ulPolls < 9000);
        ulMoves = g_pCurLockCheckRibbon->MoveCount();
        g_ChopMotorRibSrcL.Brake();
        g_ClutchRibRvsL.Off();
        g_pCurLockCheckRibbon->Restart();
        ulAfterRestart = g_pCurLockCheckRibbon->MoveCount();
      },
      Ms(60000)));
  EXPECT_EQ(lResult, -1);
  EXPECT_EQ(ulMoves, 7456u);
  EXPECT_EQ(ulPolls, 7456u);
  EXPECT_TRUE(IsErrorRaised(0x1603));
  EXPECT_EQ(ulAfterRestart, 0u);
}

}  // namespace
