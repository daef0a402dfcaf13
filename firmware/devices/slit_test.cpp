// Encoder slits on the FPGA's pulse counters: counting from 0 after the
// machine is built, motion told by HasChanged across the 16-bit wrap, a
// channel the FPGA refuses, and the check screens by key presses.
#include "firmware/devices/slit.h"

#include <vector>

#include "firmware/control/panel_test_rig.h"
#include "firmware/devices/machine_actuators.h"
#include "firmware/platform/fpga_regs.h"
#include "firmware/hal/global.h"

namespace paneltest {
namespace {

constexpr uint32_t kCntEnable = 0x08;

class Slits : public PanelTest {
 protected:
  bool Holds(uint32_t channel) { return (Fpga().Register(kCntEnable) >> channel & 1u) != 0; }
};

TEST_F(Slits, EverySlitOfTheMachineCountsFromZero) {
  for (const SlitWiring& w : g_aSlitWiring) {
    static uint32_t s_ulCount, s_ulLast;
    static int32_t s_lResult;
    const uint32_t channel = w.ulChannel;
    EXPECT_FALSE(Holds(channel)) << w.pszLabel;
    EXPECT_EQ(w.pSlit->Counting(), 1u) << w.pszLabel;
    Fpga().CountPulses(channel, 3);
    InApp([&w] {
      w.pSlit->GetLastCount(&s_ulLast);
      s_lResult = w.pSlit->ReadCount(&s_ulCount);
    });
    EXPECT_EQ(s_ulLast, 0u) << w.pszLabel;
    EXPECT_EQ(s_lResult, 0) << w.pszLabel;
    EXPECT_EQ(s_ulCount, 3u) << w.pszLabel;
  }
}

TEST_F(Slits, HasChangedTellsMotionBetweenReadingsAcrossTheWrap) {
  struct Step {
    uint32_t pulses;
    uint32_t changed;
    uint32_t count;
  };
  // From 0: no motion, motion, none, to 65535, across the wrap to 0.
  const Step steps[] = {{0, 0, 0}, {7, 1, 7}, {0, 0, 7}, {65528, 1, 65535}, {1, 1, 0}, {0, 0, 0}};
  for (const Step& s : steps) {
    Fpga().CountPulses(6, s.pulses);
    static uint32_t s_ulChanged, s_ulLast;
    InApp([] {
      s_ulChanged = 9;
      g_SlitFaultChk.HasChanged(&s_ulChanged);
      g_SlitFaultChk.GetLastCount(&s_ulLast);
    });
    EXPECT_EQ(s_ulChanged, s.changed) << s.pulses;
    EXPECT_EQ(s_ulLast, s.count) << s.pulses;
  }
}

TEST_F(Slits, AChannelOutsideTheCountersIsReportedAndNothingChanges) {
  static int32_t s_alResult[6];
  static uint32_t s_ulCount, s_ulChanged;
  static uint16_t s_usEnable;
  InApp([] {
    uint16_t usBefore = 0;
    g_FpgaMain.Read(0x64000008u, &usBefore);
    CSlit slit("Broken          ", 7, nullptr);
    s_ulCount = 1234;
    s_ulChanged = 56;
    s_alResult[0] = slit.Start();
    s_alResult[1] = slit.Stop();
    s_alResult[2] = slit.Clear();
    s_alResult[3] = slit.ReadCount(&s_ulCount);
    s_alResult[4] = slit.HasChanged(&s_ulChanged);
    s_alResult[5] = slit.GetLastCount(&s_ulCount);
    uint16_t usAfter = 0;
    g_FpgaMain.Read(0x64000008u, &usAfter);
    s_usEnable = static_cast<uint16_t>(usBefore ^ usAfter);
  });
  EXPECT_EQ(std::vector<int32_t>(s_alResult, s_alResult + 6), (std::vector<int32_t>{-2, -2, -2, -2, -2, 0}));
  EXPECT_EQ(s_ulCount, 0u) << "the last count stays the constructed 0";
  EXPECT_EQ(s_ulChanged, 56u);
  EXPECT_EQ(s_usEnable, 0) << "no counter of the FPGA changed";
}

// The ribbon motors of unit L: take-up g_DcMotorRibDstL (FPGA_DCMOTOR0 A
// 0x0002, B 0x0001, polarity 0) on PWM pair 0, supply g_DcMotorRibSrcL (A
// 0x0004, B 0x0008, polarity 1) on pair 1; its reverse clutch is fan bit 0.
constexpr uint16_t kRibbonLinesL = 0x000F;

TEST_F(Slits, TheRibbonCheckScreenRunsBothMotorsAndClearStopsThemAndTheClutch) {
  Start([] { g_SlitRibEncDstL.CheckRoutine(); });
  ASSERT_TRUE(RunUntilShown("RibEncDstL:    0")) << Lcd().Visible();
  EXPECT_EQ(Fpga().Register(0x30) & kRibbonLinesL, 0x000C) << "both braked by the ribbon managers";
  Keys().Tap(PanelKey::Menu, Ms(200), Ms(20));
  m_machine->RunUntil([this] { return (Fpga().Register(0x36) & 1u) != 0; }, Ms(1000));
  RunFor(Ms(100));
  EXPECT_EQ(Fpga().Register(0x30) & kRibbonLinesL, 0x0006) << "take-up forward, supply in reverse";
  EXPECT_EQ(Fpga().Register(0x62), 792) << "take-up at 99 %";
  EXPECT_EQ(Fpga().Register(0x66), 800) << "supply at 100 %";
  // The shaft turns: the count rises on the LCD.
  Fpga().CountPulses(2, 42);
  ASSERT_TRUE(RunUntilShown("RibEncDstL:   42")) << Lcd().Visible();
  Fpga().CountPulses(2, 1000);
  ASSERT_TRUE(RunUntilShown("RibEncDstL: 1042")) << Lcd().Visible();
  Keys().Tap(PanelKey::Clear, Ms(200), Ms(20));
  ASSERT_TRUE(Finish(Ms(1000)));
  EXPECT_EQ(Fpga().Register(0x30) & kRibbonLinesL, 0x0003) << "both stopped";
  EXPECT_EQ(Fpga().Register(0x36) & 1u, 0u) << "the clutch released";
  EXPECT_TRUE(Holds(2));
  EXPECT_EQ(Fpga().Counter(2), 0);
}

TEST_F(Slits, FeedStopsTheRibbonAndEnterHoldsTheCount) {
  Start([] { g_SlitRibEncSrcR.CheckRoutine(); });
  ASSERT_TRUE(RunUntilShown("RibEncSrcR:    0")) << Lcd().Visible();
  Keys().Tap(PanelKey::Menu, Ms(200), Ms(20));
  RunFor(Ms(300));
  // Unit R: take-up A 0x0001 B 0x0002 polarity 0, supply A 0x0008 B 0x0004
  // polarity 1, clutch bit 1.
  EXPECT_EQ(Fpga().Register(0x32) & 0x000F, 0x0009);
  EXPECT_EQ(Fpga().Register(0x36) & 2u, 2u);
  Keys().Tap(PanelKey::Feed, Ms(200), Ms(20));
  RunFor(Ms(300));
  EXPECT_EQ(Fpga().Register(0x32) & 0x000F, 0x0003);
  EXPECT_EQ(Fpga().Register(0x36) & 2u, 0u);
  Keys().Tap(PanelKey::Enter, Ms(200), Ms(20));
  RunFor(Ms(300));
  EXPECT_TRUE(Holds(1));
  Fpga().CountPulses(1, 5);
  RunFor(Ms(100));
  EXPECT_EQ(Lcd().Visible(), "RibEncSrcR:    0") << "held: no count";
  Keys().Tap(PanelKey::Enter, Ms(200), Ms(20));
  RunFor(Ms(300));
  Fpga().CountPulses(1, 5);
  ASSERT_TRUE(RunUntilShown("RibEncSrcR:    5")) << Lcd().Visible();
  Keys().Tap(PanelKey::Clear, Ms(200), Ms(20));
  ASSERT_TRUE(Finish(Ms(1000)));
}

TEST_F(Slits, TheRollEncoderScreenIgnoresMenuAndFeedAndLeavesTheCounterHeldAndCleared) {
  InApp([] { g_ChopMotorPaperRot.Forward(); });
  const uint16_t usMotors = Fpga().Register(0x30);
  const uint16_t usFans = Fpga().Register(0x36);
  Start([] { g_SlitRollEnc.CheckRoutine(); });
  ASSERT_TRUE(RunUntilShown("RollEnc   :    0")) << Lcd().Visible();
  for (PanelKey key : {PanelKey::Menu, PanelKey::Feed}) {
    Keys().Tap(key, Ms(200), Ms(20));
    RunFor(Ms(300));
    EXPECT_TRUE(g_app.bBusy);
  }
  EXPECT_EQ(Fpga().Register(0x30), usMotors) << "no motor driven";
  EXPECT_EQ(Fpga().Register(0x36), usFans) << "no clutch switched";
  Fpga().CountPulses(5, 17);
  ASSERT_TRUE(RunUntilShown("RollEnc   :   17")) << Lcd().Visible();
  Keys().Tap(PanelKey::Clear, Ms(200), Ms(20));
  ASSERT_TRUE(Finish(Ms(1000)));
  EXPECT_TRUE(Holds(5));
  EXPECT_EQ(Fpga().Counter(5), 0);
}

}  // namespace
}  // namespace paneltest
