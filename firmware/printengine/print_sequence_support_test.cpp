// The print sequences' support operations: the pass's sensor window at its
// edge, the statistics with a failing counter and without a job or a cut,
// the print-log sub-record by row, the panel offsets of every correction
// kind, and the two ramp builders' rates and their zero-rate guard.
#include "firmware/printengine/print_sequence_support.h"

#include <gtest/gtest.h>

#include "firmware/control/control_test_rig.h"
#include "firmware/control/line_steps.h"
#include "firmware/devices/life_counters.h"
#include "firmware/devices/print_log.h"
#include "firmware/devices/print_log_test_support.h"
#include "firmware/devices/ramps.h"
#include "firmware/devices/settings.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/printengine/job_queue_test_support.h"
#include "firmware/printengine/print_line.h"
#include "firmware/printengine/print_support.h"
#include "firmware/printengine/roll_diameter.h"
#include "firmware/sequences/sequence_words.h"
#include "firmware/service/log_data.h"

namespace {

using controltest::ControlTest;

uint32_t CounterValue(CLifeCounter& counter) {
  uint32_t ulValue = 0;
  counter.GetValue(&ulValue);
  return ulValue;
}

uint32_t TopRate(const CRampTable& ramp) {
  uint32_t ulRate = 0;
  ramp.GetTopRate(&ulRate);
  return ulRate;
}

// A print size whose pass runs are easy to add up.
PrintSizeRecord TestSize() {
  PrintSizeRecord size{};
  const uint32_t dummy[PRINT_PLANES] = {100, 110, 120, 130, 140};
  for (uint32_t i = 0; i < PRINT_PLANES; ++i) size.aulFrontDummyLines[i] = dummy[i];
  size.ulFrontExtraLines = 8;
  size.ulPrintLength = 1200;
  size.ulOvercoatLength = 1250;
  size.ulMargin1 = 5;
  size.ulMargin2 = 7;
  size.aulExtraLines[0] = 20;
  size.aulExtraLines[1] = 30;
  return size;
}

TEST_F(ControlTest, PassSensorWindowBeyond1378LinesWithItsMargin) {
  InApp([] {
    PrintSizeRecord size = TestSize();
    PrintSizeRecord* const pSaved = g_pCurPrintSize;
    g_pCurPrintSize = &size;
    g_ulRibDummyLines = 90;
    g_aulRibbonPanelOffset[PLANE_Y] = 2;
    g_aulRibbonPanelOffset[PLANE_M] = 3;
    struct Case {
      uint32_t plane;
      int32_t margin;
      uint32_t lines;  // the window in lines
    };
    // Y/SP: 90 + 8 + 1200 + 20 + 12 - 2 = 1328; M: 110 + ... - 3 = 1347;
    // C: 1360; L: 130 + 1250 + 30 + 12 = 1422.
    const Case cases[] = {
        {PLANE_Y, 100, 50}, {PLANE_SP, 100, 50}, {PLANE_M, 100, 69}, {PLANE_C, 100, 82},
        {PLANE_L, 0, 44},   {PLANE_L, -44, 0},   {PLANE_L, -120, 0}, {PLANE_C, -120, 0},
    };
    for (const Case& c : cases) {
      uint32_t ulSteps = 99;
      EXPECT_EQ(GetPassSensorWindow(c.plane, &ulSteps, c.margin), 0);
      EXPECT_EQ(ulSteps, LinesToSteps(c.lines)) << c.plane << " " << c.margin;
    }
    // With the colour passes' margin of -120 a base up to 1498 opens no
    // window; 1499 opens one of a line.
    g_aulRibbonPanelOffset[PLANE_Y] = 0;
    for (uint32_t ulBase : {1498u, 1499u}) {
      g_ulRibDummyLines = ulBase - (8 + 1200 + 20 + 12);
      uint32_t ulSteps = 99;
      GetPassSensorWindow(PLANE_Y, &ulSteps, -120);
      EXPECT_EQ(ulSteps, LinesToSteps(ulBase - 1498)) << ulBase;
    }
    uint32_t ulSteps = 99;
    EXPECT_EQ(GetPassSensorWindow(5, &ulSteps, 0), -1);
    EXPECT_EQ(ulSteps, 99u);
    g_pCurPrintSize = pSaved;
    g_aulRibbonPanelOffset[PLANE_M] = 0;
  });
}

TEST_F(ControlTest, PlaneStatisticsCountInchesRoundedAndStopAtAFailingCounter) {
  InApp([] {
    SelectUnit(0);
    PrintSizeRecord size = TestSize();
    size.ulMargin1 = 0;
    size.ulMargin2 = 299;  // 1200 + 299 = 1499 lines: 5 inches
    size.ulPrintLength = 1200;
    const uint32_t ulLength = CounterValue(*g_pCurCounterTotalLength);
    const uint32_t ulPrints = CounterValue(*g_pCurCounterTotal);
    const uint32_t ulHead = CounterValue(*g_pCurCounterHeadLength);
    EXPECT_EQ(CountPlaneStatistics(0, size), 0);
    EXPECT_EQ(CounterValue(*g_pCurCounterTotalLength), ulLength + 5);
    EXPECT_EQ(CounterValue(*g_pCurCounterHeadLength), ulHead + 5);
    EXPECT_EQ(CounterValue(*g_pCurCounterTotal), ulPrints + 1);
    // SP counts its own length: 1200 lines, 4 inches.
    EXPECT_EQ(CountPlaneStatistics(1, size), 0);
    EXPECT_EQ(CounterValue(*g_pCurCounterTotalLength), ulLength + 9);
  });
}

TEST_F(ControlTest, SheetStatisticsNeedAJobAndACut) {
  InApp([] {
    jobtest::LoadMedia(1, 1);
    g_PrintJobQueue.CancelJobs(0, 0);
    PrintSizeRecord size = TestSize();
    const uint32_t ulTotal = CounterValue(g_CounterTotal);
    EXPECT_EQ(CountSheetStatistics(size), -1);
    EXPECT_EQ(CounterValue(g_CounterTotal), ulTotal) << "nothing counted without a job";
    PrintJobRecord* pJob = jobtest::MakeInternalJob(1, 1);
    ASSERT_NE(pJob, nullptr);
    g_RollDiameter.SetDiameter(177.0);
    g_RollDiameter.Recalc();
    const double dBefore = g_RollDiameter.RemainLength();
    ASSERT_GE(pJob->ucCutCount, 1u);
    const uint32_t ulLastCut = pJob->ausCutPositions[pJob->ucCutCount - 1];
    EXPECT_EQ(CountSheetStatistics(size), 0);
    EXPECT_EQ(CounterValue(g_CounterTotal), ulTotal + 1);
    EXPECT_NEAR(dBefore - g_RollDiameter.RemainLength(), (20.0 + ulLastCut) * 25.4 / 300.0, 0.01);
    // No cut position: the three counters, then -1 with the roll as it was.
    pJob->ucCutCount = 0;
    const double dNow = g_RollDiameter.RemainLength();
    EXPECT_EQ(CountSheetStatistics(size), -1);
    EXPECT_EQ(CounterValue(g_CounterTotal), ulTotal + 2);
    EXPECT_EQ(g_RollDiameter.RemainLength(), dNow);
    g_PrintJobQueue.CancelJobs(0, 0);
  });
}

TEST_F(ControlTest, PrintUnitSelectsTheSubRecordOfTheRow) {
  InApp([] {
    jobtest::LoadMedia(1, 1);
    g_PrintJobQueue.CancelJobs(0, 0);
    EXPECT_EQ(RecordPrintUnit(), -1);
    PrintJobRecord* pJob = jobtest::MakeInternalJob(1, 0);
    ASSERT_NE(pJob, nullptr);
    struct Case {
      uint32_t firstSide, unitA, unitB;
    };
    // Row 0 prints the first side on its unit: B/L 0, A/L 1, B/R 2, A/R 3.
    const Case cases[] = {{SIDE_B, UNIT_R, UNIT_L}, {SIDE_A, UNIT_L, UNIT_R}, {SIDE_B, UNIT_L, UNIT_R},
                          {SIDE_A, UNIT_R, UNIT_L}};
    for (uint32_t i = 0; i < 4; ++i) {
      const Case& c = cases[i];
      g_PrintJobQueue.BuildPrintOrder(pJob, c.firstSide, c.unitA, c.unitB);
      g_PrintJobQueue.SetPrintOrderIndex(0);
      g_PrintLog.ClearLogArea();
      g_PrintLog.SelectBlock(0);
      EXPECT_EQ(RecordPrintUnit(), 0);
      uint32_t ulKind = 0, ulSide = 0, ulUnit = 0;
      g_PrintJobQueue.GetPrintOrderEntry(0, &ulKind, &ulSide, &ulUnit);
      EXPECT_EQ(ulSide, c.firstSide);
      EXPECT_EQ(ulUnit, c.firstSide == SIDE_A ? c.unitA : c.unitB);
      const PhysAddr ulRecord = printlogtest::AppendFreshRecord();
      for (uint32_t b = 0; b < 4; ++b) {
        EXPECT_EQ(printlogtest::FieldOf(ulRecord, 0x20000, b), b == i ? 1u : 0u) << i << " block " << b;
      }
    }
    g_PrintJobQueue.CancelJobs(0, 0);
  });
}

TEST_F(ControlTest, PanelOffsetsByCorrectionKind) {
  InApp([] {
    SelectUnit(0);
    struct Case {
      uint32_t kind, pass;
      int32_t offsets[4];
      int32_t raw[4];
    };
    // Each case starts from offsets 1, 2, 3, 4 and raw words -5, 6, -7, 8;
    // the correction measured reads as the manager gives it (c).
    int32_t c = 0;
    g_pDonorMng->CalcCorrection(0);
    g_pDonorMng->GetCorrection(&c);
    const Case cases[] = {
        {0, 3, {c, 2, 3, 4}, {-5, 6, -7, 8}},  // L writes Y
        {0, 1, {1, 2, c, 4}, {-5, 6, -7, 8}},
        {1, 1, {1, 2, 0, 4}, {-5, c, -7, 8}},
        {1, 3, {1, 2, 3, 4}, {-5, 6, -7, 0}},
        {2, 1, {1, 0, 3, 4}, {-5, 6, -7, 8}},
        {2, 3, {c, 2, 3, 0}, {-5, 6, -7, 8}},
    };
    for (const Case& k : cases) {
      for (uint32_t i = 0; i < 4; ++i) {
        g_aulRibbonPanelOffset[i] = i + 1;
        g_alRibbonRawCorrection[i] = (i % 2 == 0 ? -1 : 1) * static_cast<int32_t>(5 + i);
      }
      EXPECT_EQ(StoreCorrection(k.kind, k.pass), 0);
      for (uint32_t i = 0; i < 4; ++i) {
        EXPECT_EQ(static_cast<int32_t>(g_aulRibbonPanelOffset[i]), k.offsets[i]) << k.kind << "/" << k.pass << " " << i;
        EXPECT_EQ(g_alRibbonRawCorrection[i], k.raw[i]) << k.kind << "/" << k.pass << " " << i;
      }
    }
    EXPECT_EQ(StoreCorrection(3, 0), -1);
    // The raw words: Y and C negative give their offsets, M positive gives 0.
    g_alRibbonRawCorrection[0] = -5;
    g_alRibbonRawCorrection[1] = 6;
    g_alRibbonRawCorrection[2] = -7;
    g_alRibbonRawCorrection[3] = -9;
    ApplyRawCorrections();
    const uint32_t expected[4] = {5, 0, 7, 0};
    for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(g_aulRibbonPanelOffset[i], expected[i]) << i;
    ClearPanelOffsets();
    for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(g_aulRibbonPanelOffset[i], 0u);
    for (int32_t& l : g_alRibbonRawCorrection) l = 0;
  });
}

TEST_F(ControlTest, TheCorrectionFollowsThePassOnlyWhereTheRibbonAllowsIt) {
  InApp([] {
    SelectUnit(0);
    // Passes enabled, as bits 0-3, for kinds 0, 1, 2.
    const uint32_t kEnabled[3] = {0b1011, 0b0111, 0b1000};
    for (uint32_t ulAllowed : {0u, 1u}) {
      g_pRibbonRoll->SetCorrectionAllowed(ulAllowed);
      for (uint32_t ulKind = 0; ulKind < 3; ++ulKind) {
        for (uint32_t ulPass = 0; ulPass < 4; ++ulPass) {
          g_pDonorMng->SetCorrectionEnable(ulAllowed == 0 ? 1 : 0);
          SetCorrectionByPass(ulKind, ulPass);
          const bool bOn = ulAllowed != 0 && ((kEnabled[ulKind] >> ulPass) & 1u) != 0;
          EXPECT_EQ(g_pDonorMng->GetCorrectionEnable(), bOn ? 1u : 0u) << ulAllowed << " " << ulKind << " " << ulPass;
        }
      }
    }
    g_pRibbonRoll->SetCorrectionAllowed(0);
  });
}

TEST_F(ControlTest, FeedMatchedRampOfAnUnloadedPlaneRampStaysAsItWas) {
  InApp([] {
    // The control rig loads no TABLE: the plane ramp has no rate.
    g_Ramp30.SetupByRate(500, 1234, 200);
    g_ulLogData[6] = 55;
    EXPECT_EQ(BuildFeedMatchedRamp(g_Ramp28, g_Ramp30, 1, 2, 0), 0u);
    EXPECT_EQ(TopRate(g_Ramp30), 1234u);
    EXPECT_EQ(g_ulLogData[6], 55u);
  });
}

TEST_F(ControlTest, LineSpeedRampFollowsItsSourceByTheFeedRoller) {
  InApp([] {
    struct Case {
      int32_t diam;
      uint32_t top;
      uint32_t rate;  // top x K / 1000, K 449 or 659
    };
    const Case cases[] = {{0, 4000, 1796}, {1, 4000, 2636}, {0, 3000, 1347}, {1, 2000, 1318}, {2, 2000, 1318}};
    for (const Case& c : cases) {
      g_ParamFeedRollDiam.SetValueNoSave(c.diam);
      g_Ramp21.SetupByRate(500, c.top, 150);
      const uint32_t ulRate = BuildLineSpeedRamp(g_Ramp21, g_Ramp38);
      EXPECT_NEAR(ulRate, c.rate, 1) << c.diam << " " << c.top;
      EXPECT_EQ(TopRate(g_Ramp38), ulRate);
      uint32_t ulMs = 0;
      g_Ramp38.GetParam(3, &ulMs);
      EXPECT_EQ(ulMs, 150u) << "the source's ramp time";
    }
    g_ParamFeedRollDiam.SetValueNoSave(0);
  });
}

TEST_F(ControlTest, PassStepModeByRibbonOrHomePosition) {
  InApp([] {
    SelectUnit(0);
    struct Case {
      uint32_t allowed, flag;
      int32_t home;
      uint32_t plane, mode;
    };
    const Case cases[] = {
        {0, 0, 0, PLANE_Y, 1},      {1, 0, 0, PLANE_Y, 2},      {1, 0, 0, PLANE_C, 1},
        {1, 0, 0, PLANE_L, 2},      {0, 1, 0x8000, PLANE_L, 1}, {0, 1, 0xC000, PLANE_L, 2},
        {0, 1, 0x4000, PLANE_L, 2}, {1, 1, 0x4000, PLANE_Y, 1}, {0, 1, 0xBFFF, PLANE_L, 1},
    };
    for (const Case& c : cases) {
      g_pRibbonRoll->SetCorrectionAllowed(c.allowed);
      g_ParamDonorHomePosi.SetValueNoSave(c.home);
      uint32_t ulMode = 0;
      EXPECT_EQ(GetPassStepMode(&ulMode, c.flag, c.plane), 0);
      EXPECT_EQ(ulMode, c.mode) << c.allowed << " " << c.flag << " " << c.home << " " << c.plane;
    }
    g_pRibbonRoll->SetCorrectionAllowed(0);
    g_ParamDonorHomePosi.SetValueNoSave(32768);
  });
}

TEST_F(ControlTest, SubStepsEstimatedFromPlaneYLessItsMarks) {
  InApp([] {
    g_ParamPlaneFlagLinesY.SetValueNoSave(24);
    g_aulPlaneSubSteps[PLANE_Y] = 40000;
    g_aulPlaneLines[PLANE_Y] = 1024;  // 1000 lines beyond the marks
    uint32_t ulSteps = 0;
    EXPECT_EQ(EstimateSubSteps(&ulSteps, 100), 0);
    EXPECT_EQ(ulSteps, 1000u);
    // No lines beyond the marks: no estimate rather than a division by 0.
    g_aulPlaneLines[PLANE_Y] = 24;
    ulSteps = 7;
    EXPECT_EQ(EstimateSubSteps(&ulSteps, 100), -1);
    EXPECT_EQ(ulSteps, 7u);
    g_aulPlaneSubSteps[PLANE_Y] = 0;
    g_aulPlaneLines[PLANE_Y] = 0;
  });
}

}  // namespace
