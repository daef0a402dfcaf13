// The over-heat watch on the heads' thermal model: a hot head that cools
// to its release level in about three minutes releases the watch; a head
// that stays hot raises error 0x408 at 600 s and fails every check until
// the watch is reset; a cool head is not armed; a stray armed word is
// refused.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "firmware/control/error_manager.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/hal/kernel.h"
#include "firmware/platform/time_base.h"
#include "firmware/platform/us_timer.h"
#include "firmware/printengine/head_overheat.h"
#include "sim/board.h"
#include "sim/mechanism/head_thermal.h"
#include "tests/support/machine_test.h"

namespace {

using testsupport::kStartUp;
using testsupport::Ms;

sim::HeadThermal& Thermal() { return *sim::Board::Current().FindDevice<sim::HeadThermal>(); }

// The 8-bit reading of a temperature.
uint32_t Level(double dCelsius) { return sim::HeadThermal::NtcReading(dCelsius) >> 2; }

constexpr double kHot = 60.0;
constexpr uint32_t kArmLevel = 100;

class HeadOverheat : public testsupport::AppBodyTest {
 protected:
  void RunInApp(std::function<void()> body) { AppBodyTest::RunInApp(std::move(body), kStartUp + Ms(900000)); }
};

TEST_F(HeadOverheat, AHotHeadThatCoolsReleasesTheWatchAfterAboutThreeMinutes) {
  RunInApp([] {
    // 60 C cooling toward 25 C with a 60 s time constant passes 26.8 C at
    // about 180 s.
    const uint32_t ulRelease = Level(26.8);
    const double dExpectedS = 60.0 * std::log(35.0 / (sim::HeadThermal::NtcCelsius(static_cast<uint16_t>(ulRelease << 2)) - 25.0));
    Thermal().SetHeadC(0, kHot);
    ASSERT_EQ(g_HeadOverheatL.Arm(kArmLevel, ulRelease), 0);
    ASSERT_EQ(g_HeadOverheatL.Armed(), 1u);
    const uint32_t ulStart = g_UsTimer.NowUs();
    uint32_t ulDone = 0;
    double dReleasedS = -1.0;
    while (dReleasedS < 0.0) {
      ASSERT_EQ(g_HeadOverheatL.Check(&ulDone), 0);
      const double dNowS = (g_UsTimer.NowUs() - ulStart) / 1e6;
      if (ulDone == 1) {
        dReleasedS = dNowS;
      } else {
        ASSERT_LT(dNowS, 600.0);
        g_MsTimer.WaitMs(500);
      }
    }
    EXPECT_NEAR(dReleasedS, 180.0, 15.0);
    EXPECT_NEAR(dReleasedS, dExpectedS, 4.0);
    EXPECT_EQ(g_HeadOverheatL.Armed(), 0u);
    EXPECT_FALSE(IsErrorRaised(CHeadOverheat::kErrorIndex));
    // The other head's watch was never armed.
    EXPECT_EQ(g_HeadOverheatR.Check(&ulDone), 0);
    EXPECT_EQ(ulDone, 1u);
  });
}

TEST_F(HeadOverheat, AHeadThatStaysHotRaisesItsErrorAtTenMinutesUntilReset) {
  RunInApp([] {
    Thermal().SetHeadC(1, kHot);
    Thermal().SetStuckHot(1, true);
    SelectUnit(1);
    ASSERT_EQ(g_pCurHeadOverheat, &g_HeadOverheatR);
    ASSERT_EQ(g_pCurHeadOverheat->Arm(kArmLevel, Level(30.0)), 0);
    const uint32_t ulStart = g_UsTimer.NowUs();
    uint32_t ulDone = 9;
    for (;;) {
      const uint32_t ulElapsedMs = (g_UsTimer.NowUs() - ulStart) / 1000;
      const int32_t lResult = g_pCurHeadOverheat->Check(&ulDone);
      if (ulElapsedMs <= CHeadOverheat::kLimitMs) {
        ASSERT_EQ(lResult, 0) << ulElapsedMs;
        ASSERT_EQ(ulDone, 0u) << ulElapsedMs;
        ASSERT_FALSE(IsErrorRaised(CHeadOverheat::kErrorIndex)) << ulElapsedMs;
      } else {
        EXPECT_EQ(lResult, -1) << ulElapsedMs;
        EXPECT_LT(ulElapsedMs, CHeadOverheat::kLimitMs + 1100) << "the first check after the limit";
        EXPECT_TRUE(IsErrorRaised(CHeadOverheat::kErrorIndex));
        break;
      }
      g_MsTimer.WaitMs(ulElapsedMs < 590000 ? 10000 : 1000);
    }
    // Every later check fails, without raising the error again, until reset.
    g_ErrorMng.ClearError(CHeadOverheat::kErrorIndex);
    for (int i = 0; i < 3; ++i) {
      g_MsTimer.WaitMs(1000);
      EXPECT_EQ(g_pCurHeadOverheat->Check(&ulDone), -1);
    }
    EXPECT_FALSE(IsErrorRaised(CHeadOverheat::kErrorIndex)) << "raised once";
    g_pCurHeadOverheat->Reset();
    EXPECT_EQ(g_pCurHeadOverheat->Check(&ulDone), 0);
    EXPECT_EQ(ulDone, 1u);
    SelectUnit(0);
  });
}

TEST_F(HeadOverheat, ACoolHeadIsNotArmedAndAStrayArmedWordIsRefused) {
  RunInApp([] {
    ASSERT_GE(Level(25.0), kArmLevel);
    ASSERT_EQ(g_HeadOverheatL.Arm(kArmLevel, Level(30.0)), 0);
    EXPECT_EQ(g_HeadOverheatL.Armed(), 0u);
    uint32_t ulDone = 0;
    EXPECT_EQ(g_HeadOverheatL.Check(&ulDone), 0);
    EXPECT_EQ(ulDone, 1u);
    g_HeadOverheatL.SetArmedWord(2);
    EXPECT_EQ(g_HeadOverheatL.Check(&ulDone), -1);
    EXPECT_EQ(g_HeadOverheatL.Armed(), 0u);
  });
}

}  // namespace
