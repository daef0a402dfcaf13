// The panel LEDs: hold and release, and the blink action seen on the LED
// trace.
#include "firmware/control/leds.h"

#include "firmware/control/panel_test_rig.h"
#include "firmware/devices/main_loop_stop.h"
#include "firmware/devices/io_port.h"
#include "firmware/hal/global.h"
#include "firmware/mechanism/step_machine.h"

namespace paneltest {
namespace {

TEST_F(PanelTest, AHeldLedStaysDarkButRemembersItsState) {
  InApp([] {
    uint32_t ulState = 9;
    g_LedReady.On();
    g_LedReady.Hold();
    EXPECT_EQ(sim::Board::Current().FindDevice<sim::PanelLeds>()->IsOn(PanelLed::Ready), false);
    g_LedReady.GetState(&ulState);
    EXPECT_EQ(ulState, 1u);
    g_LedReady.Release();
    EXPECT_TRUE(sim::Board::Current().FindDevice<sim::PanelLeds>()->IsOn(PanelLed::Ready));
    // Off while held, then released: dark.
    g_LedReady.Hold();
    g_LedReady.Off();
    g_LedReady.Release();
    EXPECT_FALSE(sim::Board::Current().FindDevice<sim::PanelLeds>()->IsOn(PanelLed::Ready));
    // On while held only records; the LED lights at the release.
    g_LedExit.Hold();
    g_LedExit.On();
    EXPECT_FALSE(sim::Board::Current().FindDevice<sim::PanelLeds>()->IsOn(PanelLed::Exit));
    g_LedExit.Release();
    EXPECT_TRUE(sim::Board::Current().FindDevice<sim::PanelLeds>()->IsOn(PanelLed::Exit));
  });
}

TEST_F(PanelTest, TheReadyBlinkChangesTheLedTenTimesHalfASecondApart) {
  InApp([] { g_LedReady.On(); });
  const size_t before = Leds().TraceOf(PanelLed::Ready).size();
  int32_t lResult = 9;
  InApp([&] { lResult = BlinkReadyLed(); }, Ms(8000));
  EXPECT_EQ(lResult, 0);
  const auto trace = Leds().TraceOf(PanelLed::Ready);
  ASSERT_EQ(trace.size() - before, 10u);
  for (size_t i = before + 1; i < trace.size(); ++i) {
    EXPECT_GE(trace[i].at - trace[i - 1].at, Ms(500));
    EXPECT_LE(trace[i].at - trace[i - 1].at, Ms(530));
  }
  EXPECT_TRUE(Leds().IsOn(PanelLed::Ready));  // ends as it began
}

TEST_F(PanelTest, TheBlinkStopsWhenTheApplicationStops) {
  int32_t lResult = 9;
  Start([&] { lResult = BlinkErrorLed(0); });
  RunFor(Ms(1200));
  g_ulMainLoopStop = 1;
  EXPECT_TRUE(Finish(Ms(1000)));
  EXPECT_EQ(lResult, -1);
  EXPECT_LT(Leds().TraceOf(PanelLed::Error).size(), 6u);
}

// An LED on a port beyond the full output registry: every switch fails.
TEST_F(PanelTest, AFailingPortDoesNotEndTheBlink) {
  static COutputPortWord s_aPorts[CPortRegTable::kEntries + 1];
  static CPortLed s_Led;
  uint32_t ulTook = 0;
  int32_t lResult = 9;
  InApp(
      [&] {
        COutputPortWord* pStuck = nullptr;
        for (uint32_t i = 0; pStuck == nullptr && i < CPortRegTable::kEntries + 1; ++i) {
          hal::ConstructGlobal(s_aPorts[i], 0x64000200u + 2 * i, 0x0001u);
          if (!s_aPorts[i].Registered()) pStuck = &s_aPorts[i];
        }
        ASSERT_NE(pStuck, nullptr);
        hal::ConstructGlobal(s_Led, "Stuck LED       ", pStuck);
        ASSERT_EQ(s_Led.On(), -1);
        const uint32_t ulStart = NowMs();
        lResult = BlinkLedSequence(&s_Led, SEQ_CHECK_HOST);
        ulTook = NowMs() - ulStart;
      },
      Ms(8000));
  EXPECT_EQ(lResult, 0);
  EXPECT_GE(ulTook, 4900u) << "ten changes half a second apart";  // ms tick and us counter differ in phase
}

}  // namespace
}  // namespace paneltest
