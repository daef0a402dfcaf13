// The paper-roll model: diameters from measured feeds with their limits,
// the remaining length and percentage, the roll-end arming at "Paper[%]",
// the prints left without the colour-sensor ribbon control and the step
// conversion.
#include "firmware/printengine/roll_diameter.h"

#include <gtest/gtest.h>

#include <functional>

#include "firmware/control/app_startup.h"
#include "firmware/devices/settings.h"
#include "firmware/mechanism/ribbon_roll.h"
#include "firmware/printengine/media_config.h"
#include "tests/support/machine_test.h"

namespace {

using testsupport::kStartUp;
using testsupport::Ms;

class RollDiameter : public testsupport::AppBodyTest {
 protected:
  void RunInApp(std::function<void()> body) { AppBodyTest::RunInApp(std::move(body), kStartUp + Ms(600000)); }
};

// The paper of one print of the effective media size, in mm, and the prints
// of its roll.
double MmPerPrint() {
  uint32_t ulSize = 0;
  g_MediaConfig.GetMediaSize(&ulSize);
  return (ulSize == 1 ? 3084.0 : 3684.0) * 25.4 / 300.0;
}
double PrintsPerRoll() {
  uint32_t ulSize = 0;
  g_MediaConfig.GetMediaSize(&ulSize);
  return ulSize == 1 ? 301.0 : 251.0;
}

// A full roll less the lines that leave the wanted length.
void LeaveLength(double dMm) {
  g_RollDiameter.SetDiameter(177.0);
  g_RollDiameter.Recalc();
  g_RollDiameter.ConsumeLength(static_cast<uint32_t>((81100.0 - dMm) * 300.0 / 25.4));
}

uint32_t Percent() {
  uint32_t ulPercent = 0;
  g_RollDiameter.GetRemainPercent(&ulPercent);
  return ulPercent;
}

TEST_F(RollDiameter, DiametersLengthsAndTheirLimits) {
  RunInApp([] {
    g_ucRibbonControlType = 1;
    struct Feed {
      uint32_t ulSteps;
      double dDiameter;
      double dLength;
      uint32_t ulPercent;
    };
    // 5000 steps at 4 steps per line: 105.83 mm over 75.6 degrees.
    const Feed feeds[] = {
        {0xFFFFFFFFu, 177.0, 81100.0, 100},
        {20000, 177.0, 81100.0, 100},
        {5000, 160.49944, -1.0, 0},
        {1000, 86.7, 0.0, 0},
        {0, 86.7, 0.0, 0},
    };
    for (const Feed& f : feeds) {
      g_RollDiameter.SetDiameter(100.0);
      g_RollDiameter.Recalc();
      const double dBefore = g_RollDiameter.RemainLength();
      ASSERT_EQ(g_RollDiameter.SetFromSteps(f.ulSteps), 0);
      double dDiameter = 0.0;
      g_RollDiameter.GetDiameter(&dDiameter);
      EXPECT_NEAR(dDiameter, f.dDiameter, 1e-5) << f.ulSteps;
      EXPECT_EQ(g_RollDiameter.RemainLength(), dBefore) << "not recomputed by the measurement";
      if (f.dLength < 0.0) continue;
      g_RollDiameter.Recalc();
      EXPECT_EQ(g_RollDiameter.RemainLength(), f.dLength) << f.ulSteps;
      EXPECT_EQ(Percent(), f.ulPercent) << f.ulSteps;
    }
    // 160 mm: 172.9 layers around the core.
    g_RollDiameter.SetDiameter(160.0);
    g_RollDiameter.Recalc();
    const double n = (160.0 - 86.7) / 2.0 / 0.212;
    EXPECT_NEAR(g_RollDiameter.RemainLength(), ((n + 1.0) * 0.212 + 86.7) * n * 3.14159, 1e-6);
    EXPECT_NEAR(g_RollDiameter.RemainLength(), 67107.73, 0.01);

    // More than what is left leaves 0.0, never a negative length.
    LeaveLength(100.0);
    g_RollDiameter.ConsumeLength(10000);
    EXPECT_EQ(g_RollDiameter.RemainLength(), 0.0);
    EXPECT_EQ(Percent(), 0u);
    g_RollDiameter.SetDiameter(177.0);
    g_RollDiameter.Recalc();
    g_RollDiameter.ResetRemainPercent();
    EXPECT_EQ(Percent(), 0u);
  });
}

TEST_F(RollDiameter, TheRollEndArmsAtThePaperThreshold) {
  RunInApp([] {
    g_ucRibbonControlType = 1;
    g_ParamPaperPercent.SetValue(5);
    struct Case {
      double dPercent;  // of a roll's prints, left on the roll
      uint32_t ulPercent;
      uint32_t ulArmed;
    };
    const Case cases[] = {{50.5, 50, 0}, {6.5, 6, 0}, {5.5, 5, 1}, {0.5, 0, 1}, {6.5, 6, 0}};
    for (const Case& c : cases) {
      LeaveLength(c.dPercent / 100.0 * PrintsPerRoll() * MmPerPrint());
      EXPECT_EQ(Percent(), c.ulPercent) << c.dPercent;
      EXPECT_EQ(g_ulRollEndArmed, c.ulArmed) << c.dPercent;
    }
  });
}

// Without the colour-sensor ribbon control the model counts the prints
// left, capped at a roll's prints, and leaves the arming as it was.
TEST_F(RollDiameter, MarkSensorControlCountsPrintsLeft) {
  RunInApp([] {
    g_ucRibbonControlType = 1;
    g_ParamPaperPercent.SetValue(5);
    LeaveLength(1.5 * MmPerPrint());
    ASSERT_EQ(g_ulRollEndArmed, 1u);
    g_ucRibbonControlType = 0;
    struct Case {
      double dPrints;
      uint32_t ulLeft;
    };
    const Case cases[] = {{1.5, 1}, {42.9, 42}, {0.2, 0}};
    for (const Case& c : cases) {
      LeaveLength(c.dPrints * MmPerPrint());
      EXPECT_EQ(Percent(), c.ulLeft) << c.dPrints;
      EXPECT_EQ(g_ulRollEndArmed, 1u) << "kept";
    }
    g_RollDiameter.SetDiameter(177.0);
    g_RollDiameter.Recalc();
    EXPECT_LT(PrintsPerRoll(), 81100.0 / MmPerPrint());
    EXPECT_EQ(Percent(), static_cast<uint32_t>(PrintsPerRoll())) << "capped at a roll's prints";
    g_ucRibbonControlType = 1;
  });
}

TEST_F(RollDiameter, RollEncoderCountsToMainStepperSteps) {
  RunInApp([] {
    struct Case {
      uint32_t ulCounts, ulMode, ulSteps;
    };
    const Case cases[] = {{100, 1, 3653}, {100, 2, 7306}, {100, 3, 14612}, {100, 0, 3653}, {0, 3, 0}, {36, 1, 1315}};
    for (const Case& c : cases) {
      uint32_t ulSteps = 1;
      ASSERT_EQ(g_RollDiameter.LengthToSteps(&ulSteps, c.ulCounts, c.ulMode), 0);
      EXPECT_EQ(ulSteps, c.ulSteps) << c.ulCounts << "/" << c.ulMode;
    }
  });
}

}  // namespace
