// The ribbon-roll models: thickness by type, the remaining percent and the
// overcoat's stop length, consuming prints, diameters and lengths from
// encoder counts (the estimate on a fresh and on a used roll, counts 0),
// from lengths and from measured steps, the count conversions before any
// estimate, and the panel index by the current manager's kind.
#include "firmware/mechanism/ribbon_roll.h"

#include <gtest/gtest.h>

#include "firmware/control/app_startup.h"
#include "firmware/mechanism/donor_mng_color.h"
#include "firmware/mechanism/donor_mng_mark.h"
#include "firmware/mechanism/ribbon_test_rig.h"

namespace {

// A model of each type, built as the machine definition builds them.
struct Models {
  CRibbonRollMark8x10 mark8x10{kGlobalBuild};
  CRibbonRollMark8x12 mark8x12{kGlobalBuild};
  CRibbonRollColor8x10K1 color8x10K1{kGlobalBuild};
  CRibbonRollColor8x12K1 color8x12K1{kGlobalBuild};
  CRibbonRollColor8x10K2 color8x10K2{kGlobalBuild};
  CRibbonRollColor8x12K2 color8x12K2{kGlobalBuild};
};

TEST(RibbonRoll, TheThicknessOfEachTypeFollowsFromItsFullRoll) {
  Models m;
  // (D^2 - 31.75^2) / (4 (mm per print x prints / pi - (D - 31.75) / 2)).
  struct Case {
    const char* name;
    const CRibbonRoll& roll;
    double thickness;
  };
  const Case cases[] = {
      {"Mark8x10", m.mark8x10, 0.005653142561304213},       {"Mark8x12", m.mark8x12, 0.0067794243960558965},
      {"Color8x10K1", m.color8x10K1, 0.006892554814398146}, {"Color8x12K1", m.color8x12K1, 0.006795890025821069},
      {"Color8x10K2", m.color8x10K2, 0.006892554814398146}, {"Color8x12K2", m.color8x12K2, 0.006795890025821069},
  };
  for (const Case& c : cases) EXPECT_NEAR(c.roll.GetThickness(), c.thickness, 1e-15) << c.name;
  EXPECT_NEAR(m.mark8x10.GetThickness(), 0.00565, 0.000005);
  uint32_t ulDiameter = 0;
  m.mark8x10.GetDiameter(RIBBON_SIDE_TAKE_UP, &ulDiameter);
  EXPECT_EQ(ulDiameter, 42u) << "the mark types' take-up at construction";
  m.color8x12K1.GetDiameter(RIBBON_SIDE_TAKE_UP, &ulDiameter);
  EXPECT_EQ(ulDiameter, 0u);
}

TEST(RibbonRoll, TheRemainingPercentSetsTheOvercoatStopNearTheEnd) {
  Models m;
  struct Case {
    const char* name;
    CRibbonRoll& roll;
    uint32_t ulSupply;
    uint32_t ulPercent;
    uint32_t ulOvercoatStop;
  };
  // Colour 8x10: 1218 mm per print, 301 prints.
  const Case cases[] = {
      {"full", m.color8x10K1, 1218 * 301, 100, 237},
      {"more than full", m.color8x10K1, 1218 * 400, 100, 237},
      {"10 %", m.color8x10K1, 36662, 10, 237},
      {"just under 10 %", m.color8x10K1, 36661, 9, 137},
      {"9 %", m.color8x10K1, 34829, 9, 137},
      {"empty", m.color8x10K1, 0, 0, 137},
      {"a mark type near its end", m.mark8x10, 1485 * 10, 3, 237},
  };
  for (const Case& c : cases) {
    c.roll.SetLengths(c.ulSupply, 0);
    c.roll.UpdateRemainPercent();
    uint32_t ulPercent = 999;
    c.roll.GetRemainPercent(&ulPercent);
    EXPECT_EQ(ulPercent, c.ulPercent) << c.name;
    EXPECT_EQ(c.roll.GetPanelStopLines(3), c.ulOvercoatStop) << c.name;
    EXPECT_EQ(c.roll.GetPanelStopLines(0), c.roll.Type().aulPanelStopLines[0]) << c.name;
  }
}

TEST(RibbonRoll, ConsumingAPrintMovesItsRibbonAndLessThanOneLeftEmptiesTheSupply) {
  Models m;
  CRibbonRoll& roll = m.color8x10K1;
  roll.SetLengths(200000, 100000);
  roll.ConsumePrint();
  EXPECT_EQ(roll.GetSupplyLength(), 200000u - 1218u);
  EXPECT_EQ(roll.GetTakeUpLength(), 100000u + 1218u);

  roll.SetLengths(1217, 5000);
  roll.ConsumePrint();
  roll.UpdateRemainPercent();
  uint32_t ulPercent = 99;
  roll.GetRemainPercent(&ulPercent);
  EXPECT_EQ(roll.GetSupplyLength(), 0u);
  EXPECT_EQ(roll.GetTakeUpLength(), 5000u + 1218u);
  EXPECT_EQ(ulPercent, 0u);
  uint32_t ulDiameter = 0;
  roll.GetDiameter(RIBBON_SIDE_SUPPLY, &ulDiameter);
  EXPECT_EQ(ulDiameter, 31u) << "the bare core";
}

TEST(RibbonRoll, DiametersAndCountsFollowFromTheLengthsWorkedByHand) {
  Models m;
  CRibbonRoll& roll = m.color8x10K1;  // thickness 0.0068926 mm
  roll.SetLengths(200000, 100000);
  roll.RecalcDiameters();
  // Take-up: (sqrt(a^2 + 4 t L / pi) - a) / 2 / t turns with a = t +
  // 31.75 give 43.4222 mm; 901 x 1218 x 100 / 13641 = 8044 counts.
  // Supply: 52.5638 mm; 497 x 1218 x 100 / 16513 = 3665 counts.
  EXPECT_NEAR(roll.GetTakeUpDiameter(), 43.422225573459954, 1e-9);
  EXPECT_NEAR(roll.GetSupplyDiameter(), 52.5637872777804, 1e-9);
  uint32_t ulTakeUp = 0, ulSupply = 0, ulDiameter = 0;
  roll.GetCountScale1(&ulTakeUp);
  roll.GetCountScale0(&ulSupply);
  EXPECT_EQ(ulTakeUp, 8044u);
  EXPECT_EQ(ulSupply, 3665u);
  roll.GetDiameter(RIBBON_SIDE_TAKE_UP, &ulDiameter);
  EXPECT_EQ(ulDiameter, 43u);
  roll.GetDiameter(7, &ulDiameter);
  EXPECT_EQ(ulDiameter, 43u) << "any side but 0 is the take-up";
  roll.GetDiameter(RIBBON_SIDE_SUPPLY, &ulDiameter);
  EXPECT_EQ(ulDiameter, 52u);
  // And the conversions by those scales: 14386 lines per print.
  uint32_t ulCounts = 0, ulLines = 0;
  roll.LengthToCount(RIBBON_SIDE_SUPPLY, 14386 / 2, &ulCounts);
  EXPECT_EQ(ulCounts, 3665u / 2);
  roll.CountToLength(RIBBON_SIDE_TAKE_UP, 8044, &ulLines);
  EXPECT_EQ(ulLines, 14386u);
}

TEST(RibbonRoll, CountsOfZeroGiveTheAllOnesDiameterAndLength) {
  Models m;
  CRibbonRoll& roll = m.color8x12K1;
  roll.DiameterFromCount(0, RIBBON_SIDE_SUPPLY);
  EXPECT_EQ(roll.GetSupplyDiameter(), 4294967295.0);
  EXPECT_EQ(roll.GetSupplyLength(), 0xFFFFFFFFu);
  uint32_t ulDiameter = 0;
  roll.GetDiameter(RIBBON_SIDE_SUPPLY, &ulDiameter);
  EXPECT_EQ(ulDiameter, 0xFFFFFFFFu);
  roll.DiameterFromCount(0, RIBBON_SIDE_TAKE_UP);
  EXPECT_EQ(roll.GetTakeUpLength(), 0xFFFFFFFFu);
  // A roll full past the all-ones length is no more than full.
  roll.UpdateRemainPercent();
  uint32_t ulPercent = 0;
  roll.GetRemainPercent(&ulPercent);
  EXPECT_EQ(ulPercent, 100u);
}

TEST(RibbonRoll, CountConversionsBeforeAnyEstimateGiveZero) {
  Models m;
  uint32_t ulCounts = 9, ulLines = 9;
  EXPECT_EQ(m.color8x10K1.LengthToCount(RIBBON_SIDE_SUPPLY, 14386, &ulCounts), 0);
  EXPECT_EQ(ulCounts, 0u);
  EXPECT_EQ(m.color8x10K1.CountToLength(RIBBON_SIDE_TAKE_UP, 1000, &ulLines), 0);
  EXPECT_EQ(ulLines, 0u) << "counts per print 0: no division";
  m.color8x10K1.SetCountScale0(4000);
  m.color8x10K1.LengthToCount(RIBBON_SIDE_SUPPLY, 14386, &ulCounts);
  EXPECT_EQ(ulCounts, 4000u);
  m.color8x10K1.LengthToCount(RIBBON_SIDE_TAKE_UP, 14386, &ulCounts);
  EXPECT_EQ(ulCounts, 0u) << "the take-up's scale is still 0";
}

TEST(RibbonRoll, AnEstimateOnAFreshRollMeasuresItsThicknessAndOnAUsedRollKeepsIt) {
  // Colour 8x10 (nominal full diameter 65, thickness 0.0068926). Counts per
  // print give the diameter 902.332 (take-up) or 497.016 (supply) x 1218 /
  // counts / pi.
  struct Case {
    const char* name;
    uint32_t ulTakeUpCounts, ulSupplyCounts;
    uint32_t ulNew;
    double dThickness, dTakeUp, dSupply;
    uint32_t ulSupplyLength;
  };
  const Case cases[] = {
      // Take-up 31.998 (at most 32.25), supply 63.997 (at least 61): the
      // thickness of a roll of 63.997 holding 301 prints, and so exactly
      // the full roll's 366618 mm on the supply.
      {"fresh", 10921, 3011, 1, 0.0066152207841052085, 31.99780338070562, 63.996672981241716, 366618},
      // Both near 50 mm.
      {"used", 6988, 3853, 0, 0.006892554814398146, 50.00687045230195, 50.01141509123249, 170163},
  };
  for (const Case& c : cases) {
    CRibbonRollColor8x10K1 roll{kGlobalBuild};
    roll.SetFullDiameter(70.0);  // the estimate starts again from the nominal 65
    EXPECT_EQ(roll.EstimateDiameters(c.ulTakeUpCounts, c.ulSupplyCounts), 0);
    uint32_t ulNew = 9;
    roll.IsNewRoll(&ulNew);
    EXPECT_EQ(ulNew, c.ulNew) << c.name;
    EXPECT_NEAR(roll.GetThickness(), c.dThickness, 1e-15) << c.name;
    EXPECT_NEAR(roll.GetTakeUpDiameter(), c.dTakeUp, 1e-9) << c.name;
    EXPECT_NEAR(roll.GetSupplyDiameter(), c.dSupply, 1e-9) << c.name;
    EXPECT_NEAR(roll.GetSupplyLength(), c.ulSupplyLength, 1) << c.name;
  }
}

TEST(RibbonRoll, TheColourStepsWalkTheTableInUseAndCodesNameTheirPanel) {
  Models m;
  CRibbonRoll& roll = m.color8x12K2;
  struct Code {
    uint32_t ulCode;
    int32_t lResult;
    uint32_t ulPanel;
  };
  for (const Code& c : {Code{274, 0, 0}, Code{290, 0, 1}, Code{545, 0, 2}, Code{273, 0, 3}, Code{0x222, -1, 77}}) {
    uint32_t ulPanel = 77;
    EXPECT_EQ(roll.ColorCodeToPanel(c.ulCode, &ulPanel), c.lResult) << c.ulCode;
    EXPECT_EQ(ulPanel, c.ulPanel) << c.ulCode;
  }
  uint32_t ulPanel = 77;
  EXPECT_EQ(m.mark8x10.ColorCodeToPanel(274, &ulPanel), -1) << "a mark type has no colour steps";

  roll.UseForwardColorTable();
  const uint32_t aulForward[] = {1, 2, 3, 0};
  for (uint32_t ulExpected : aulForward) {
    roll.AdvanceColorStep();
    EXPECT_EQ(roll.GetColorStepIndex(), ulExpected);
  }
  EXPECT_EQ(roll.CurrentColorStep()->ulSensor, COLOR_BLUE);
  roll.UseReverseColorTable();
  const uint32_t aulReverse[] = {3, 2, 1, 0};
  for (uint32_t ulExpected : aulReverse) {
    roll.AdvanceColorStep();
    EXPECT_EQ(roll.GetColorStepIndex(), ulExpected);
  }
  EXPECT_EQ(roll.CurrentColorStep()->ulSensor, COLOR_GREEN) << "reverse step 0";
}

// ---- with the machine built ------------------------------------------------------------------

using ribbontest::RibbonTest;

TEST_F(RibbonTest, ThePanelIndexFollowsTheCurrentManagersKindWhicheverModelIsAsked) {
  static uint32_t s_aulIndex[4];
  InApp([] {
    CRibbonRoll& roll = g_RibbonRolls.mark8x12R;
    g_pDonorMng = &g_DonorMngMarkSenL;
    roll.SetPanelIndex(3);
    g_pDonorMng = &g_DonorMngColorSenR;
    roll.SetPanelIndex(2);
    CDonorMng* const apManagers[] = {&g_DonorMngColorSenL, &g_DonorMngColorSenR, &g_DonorMngMarkSenL,
                                     &g_DonorMngMarkSenR};
    for (uint32_t i = 0; i < 4; ++i) {
      g_pDonorMng = apManagers[i];
      roll.GetPanelIndex(&s_aulIndex[i]);
    }
    g_pDonorMng = &g_DonorMngMarkSenL;
  });
  EXPECT_EQ(s_aulIndex[0], 2u) << "the colour step index";
  EXPECT_EQ(s_aulIndex[1], 2u) << "the colour step index";
  EXPECT_EQ(s_aulIndex[2], 3u) << "the mark panel index";
  EXPECT_EQ(s_aulIndex[3], 3u) << "the mark panel index";
}

TEST_F(RibbonTest, AMeasuredTurnGivesEachSidesDiameter) {
  // 4000 steps per 1000 lines: 1000 steps are 250 lines, 21.1667 mm of
  // paper; one supply turn is that times 6.903, one take-up turn that times
  // 2.14603.
  static double s_dSupply, s_dTakeUp;
  InApp([] {
    CRibbonRoll& roll = g_RibbonRolls.color8x10K1R;
    roll.MeasureDiameter(RIBBON_SIDE_SUPPLY, 1000);
    roll.MeasureDiameter(RIBBON_SIDE_TAKE_UP, 1000);
    s_dSupply = roll.GetSupplyDiameter();
    s_dTakeUp = roll.GetTakeUpDiameter();
  });
  EXPECT_NEAR(s_dSupply, 46.50941083973402, 1e-9);
  EXPECT_NEAR(s_dTakeUp, 14.459006881410824, 1e-9);
}

TEST_F(RibbonTest, TheRemainingPercentOfEachUnitComesFromItsRowByItsTypeIndex) {
  static uint32_t s_aulPercent[4];
  InApp([] {
    g_RibbonRolls.color8x12K1L.SetLengths(1422 * 251 / 2, 0);
    g_RibbonRolls.color8x12K1L.UpdateRemainPercent();
    g_RibbonRolls.mark8x10R.SetLengths(1485 * 100, 0);
    g_RibbonRolls.mark8x10R.UpdateRemainPercent();
    g_ulRibbonTypeIndexL = 1;
    g_ulRibbonTypeIndexR = 0;
    g_ucRibbonControlType = 1;
    s_aulPercent[0] = GetRibbonRemainPercent(0);
    g_ucRibbonControlType = 0;
    s_aulPercent[1] = GetRibbonRemainPercent(1);
    g_ulRibbonTypeIndexR = 2;  // the end marker of the mark row
    s_aulPercent[2] = GetRibbonRemainPercent(1);
    g_ulRibbonTypeIndexR = 9;
    s_aulPercent[3] = GetRibbonRemainPercent(1);
  });
  EXPECT_EQ(s_aulPercent[0], 50u) << "colour 8x12 kind 1 of unit L";
  EXPECT_EQ(s_aulPercent[1], 33u) << "mark 8x10 of unit R: 100 of 301 prints";
  EXPECT_EQ(s_aulPercent[2], 0u);
  EXPECT_EQ(s_aulPercent[3], 0u);
}

}  // namespace
