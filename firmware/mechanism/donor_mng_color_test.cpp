// The colour search: six readings in a row complete a step and a short
// disturbance is forgotten; after a step that is not the target the search
// needs one reading off level; the ribbon-empty limit across the 16-bit
// wrap of the supply count; the search's wait by phase and print size; the
// position log for both signs of the deviation; the correction's limits.
#include "firmware/mechanism/donor_mng_color.h"

#include <gtest/gtest.h>

#include <string>

#include "firmware/control/app_startup.h"
#include "firmware/control/engine_variant.h"
#include "firmware/control/error_manager.h"
#include "firmware/control/line_steps.h"
#include "firmware/devices/print_log.h"
#include "firmware/devices/print_log_test_support.h"
#include "firmware/hal/hw.h"
#include "firmware/mechanism/ribbon_test_rig.h"
#include "firmware/printengine/job_queue_test_support.h"
#include "firmware/printengine/print_line.h"
#include "firmware/printengine/print_support.h"
#include "firmware/sequences/ribbon_winding.h"
#include "sim/mechanism/dc_mechanism.h"

namespace ribbontest {
namespace {

constexpr uint32_t kRibbonEmptyL = 0x1603;

// The colour-sensor managers on unit L with its first colour roll.
class ColorSearch : public RibbonTest {
 protected:
  void SetUp() override {
    RibbonTest::SetUp();
    s_pMechanism = m_machine->GetBoard().FindDevice<sim::DcMechanism>();
    InApp([] {
      s_ucControlType = g_ucRibbonControlType;
      g_ucRibbonControlType = 1;
      SelectUnit(0);
    });
  }
  void TearDown() override {
    InApp([] {
      g_ucRibbonControlType = s_ucControlType;
      SelectUnit(0);
    });
    RibbonTest::TearDown();
  }

  // Application side: the current step's LED lit and settled, so that the
  // next reading is valid.
  static void Settle() {
    const RibbonColorStep* pStep = g_pRibbonRoll->CurrentColorStep();
    CColorSensor* apSensors[] = {g_pCurColorSensorRed, g_pCurColorSensorGreen, g_pCurColorSensorBlue};
    uint32_t ulLevel = 0, ulRaw = 0, ulValid = 0;
    while (apSensors[pStep->ulSensor]->Measure(&ulLevel, &ulRaw, &ulValid) == 0 && ulValid == 0) {
      g_MsTimer.WaitMs(120);
    }
  }
  // Application side: one valid reading of each panel ('Y', 'M', 'C',
  // 'L') in turn; the index of the reading that found the target, or -1.
  static int32_t Feed(const std::string& panels) {
    int32_t lFound = -1;
    for (size_t i = 0; i < panels.size(); ++i) {
      s_pMechanism->SetRibbonPanel(sim::PrintUnit::L, PanelOf(panels[i]));
      Settle();
      uint32_t ulFound = 0;
      EXPECT_EQ(g_pDonorMng->MeasurePanelColor(0, &ulFound), 0);
      if (ulFound != 0 && lFound < 0) lFound = static_cast<int32_t>(i);
    }
    return lFound;
  }
  // Application side: a search of a slow-wind phase (target Y or M) from
  // step 0, the ribbon standing.
  static void StartStanding(uint32_t ulPhase) {
    ASSERT_EQ(g_pDonorMng->StartPhase(ulPhase, 0), 0);
    g_pDonorMng->StopRibbon(1, 0);
    g_pRibbonRoll->SetPanelIndex(0);
  }
  static sim::Panel PanelOf(char c) {
    switch (c) {
      case 'Y':
        return sim::Panel::Yellow;
      case 'M':
        return sim::Panel::Magenta;
      case 'C':
        return sim::Panel::Cyan;
      default:
        return sim::Panel::Overcoat;
    }
  }

  static inline sim::DcMechanism* s_pMechanism;
  static inline uint8_t s_ucControlType;
};

TEST_F(ColorSearch, SixReadingsAtLevelCompleteAStepAndShortDisturbancesAreForgotten) {
  // Step 0 reads blue at level 2: Y shows it, C does not.
  struct Case {
    const char* name;
    const char* panels;
    int32_t lFound;
    uint32_t ulMismatches;  // after the last reading
  };
  const Case cases[] = {
      {"six at level", "YYYYYY", 5, 0},
      {"five, then one off", "YYYYYCYYYYY", -1, 0},
      {"five, one off, six", "YYYYYCYYYYYY", 11, 0},
      {"five off are forgotten at the next match", "CCCCCY", -1, 0},
      {"six off stay counted", "CCCCCCYYYYYY", 11, 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    static const Case* s_pCase;
    static int32_t s_lFound;
    static uint32_t s_ulMismatches;
    s_pCase = &c;
    InApp([] {
      StartStanding(RIBPH_SLOW_WIND_Y);
      s_lFound = Feed(s_pCase->panels);
      s_ulMismatches = g_pDonorMng->GetMismatchCount();
    }, Ms(20000));
    EXPECT_EQ(s_lFound, c.lFound);
    EXPECT_EQ(s_ulMismatches, c.ulMismatches);
  }
}

TEST_F(ColorSearch, AfterAStepThatIsNotTheTargetOneReadingOffLevelIsNeeded) {
  // Target M: step 0 (blue 2) on Y, then step 1 (green 2), which M and C
  // show but Y does not.
  struct Case {
    const char* name;
    const char* panels;
    int32_t lFound;
  };
  const Case cases[] = {
      {"straight on", "YYYYYYMMMMMM", -1},
      {"one reading off between", "YYYYYYYMMMMMM", 12},
      {"off after the matches", "YYYYYYMMMMMMYMMMMMM", 18},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    static const Case* s_pCase;
    static int32_t s_lFound;
    s_pCase = &c;
    InApp([] {
      StartStanding(RIBPH_SLOW_WIND_M);
      s_lFound = Feed(s_pCase->panels);
    }, Ms(20000));
    EXPECT_EQ(s_lFound, c.lFound);
  }
}

TEST_F(ColorSearch, TheEmptyLimitCountsModuloTheCountersSixteenBits) {
  // The supply count stands at `count`, the edge `distance` counts before
  // it: at count 50 the edge lies before the counter's wrap.
  struct Case {
    uint32_t ulCount;
    uint32_t ulDistance;
    int32_t lResult;
  };
  const Case cases[] = {{50, 3700, 0}, {50, 3800, 0}, {50, 3801, -1}, {5000, 3800, 0}, {5000, 3801, -1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.ulDistance << " counts before " << c.ulCount);
    static const Case* s_pCase;
    static int32_t s_lResult;
    static uint32_t s_ulEmpty, s_ulCount;
    s_pCase = &c;
    s_pMechanism->SetRibbonPanel(sim::PrintUnit::L, sim::Panel::Cyan);
    InApp([] {
      StartStanding(RIBPH_SLOW_WIND_Y);
      Settle();
      g_pCurSlitRibEncSrc->ReadCount(&s_ulCount);
    });
    Fpga().CountPulses(kSupplyChannelL, (0x10000u + c.ulCount - s_ulCount) & 0xFFFFu);
    InApp([] {
      g_ErrorMng.ClearError(kRibbonEmptyL);
      g_pDonorMng->SetEdgeCount((s_pCase->ulCount - s_pCase->ulDistance) & 0xFFFFu);
      uint32_t ulFound = 0;
      s_lResult = g_pDonorMng->MeasurePanelColor(0, &ulFound);
      g_ErrorMng.IsErrorSet(kRibbonEmptyL, &s_ulEmpty);
      g_ErrorMng.ClearError(kRibbonEmptyL);
    });
    EXPECT_EQ(s_lResult, c.lResult);
    EXPECT_EQ(s_ulEmpty, c.lResult != 0 ? 1u : 0u);
  }
}

// A print size whose words are all told apart.
PrintSizeRecord MakeSize(int32_t lMargin1) {
  PrintSizeRecord r{};
  const uint32_t aulFront[PRINT_PLANES] = {100, 110, 120, 130, 0};
  for (uint32_t i = 0; i < PRINT_PLANES; ++i) r.aulFrontDummyLines[i] = aulFront[i];
  r.ulFrontExtraLines = 5;
  r.ulPrintLength = 3000;
  r.ulOvercoatLength = 3100;
  r.ulMargin1 = static_cast<uint32_t>(lMargin1);
  r.ulMargin2 = 3;
  r.aulExtraLines[0] = 12;
  r.aulExtraLines[1] = static_cast<uint32_t>(-4);  // counts as 0
  return r;
}

class ColorSearchData : public ColorSearch {
 protected:
  void SetUp() override {
    ColorSearch::SetUp();
    InApp([] {
      s_pSize = g_pCurPrintSize;
      s_ulEngLineOffset = g_ulEngLineOffset;
      g_ulEngLineOffset = 410;
      g_ulRibDummyLines = 90;
      for (uint32_t i = 0; i < 4; ++i) g_aulRibbonPanelOffset[i] = i + 1;
    });
  }
  void TearDown() override {
    InApp([] {
      g_pCurPrintSize = s_pSize;
      g_ulEngLineOffset = s_ulEngLineOffset;
      g_ulRibDummyLines = 0;
      for (uint32_t& ulOffset : g_aulRibbonPanelOffset) ulOffset = 0;
    });
    ColorSearch::TearDown();
  }
  static inline PrintSizeRecord* s_pSize;
  static inline uint32_t s_ulEngLineOffset;
};

TEST_F(ColorSearchData, TheWaitFollowsThePlanesLengthAndTheFourInitialPhasesSampleAtOnce) {
  // Lines with cut offset 7, margins 2 + 3, line offset 410, panel offsets
  // 1-4: Y 90 + 5 + 3000 + 7 - 1 + 12, M and C with their front dummy
  // lines, L 130 + 3100 + 7 - 4 (its extra feed below 0 counts as 0); each
  // + 5 - 410 + 60.
  struct Case {
    uint32_t ulPhase;
    int32_t lResult;
    uint32_t ulLines;  // of the wait; 0: none
  };
  const Case cases[] = {
      {RIBPH_PRINT_Y, 0, 2768}, {RIBPH_PRINT_M, 0, 2787},   {RIBPH_PRINT_C, 0, 2796},
      {RIBPH_PRINT_L, 0, 2888}, {RIBPH_INIT_TO_L, 0, 0},    {RIBPH_INIT_TO_Y, 0, 0},
      {RIBPH_INIT_TO_Y_SHORT, 0, 0}, {RIBPH_WIND_Y, -1, 0}, {RIBPH_TENSION, -1, 0},
  };
  static PrintSizeRecord s_size = MakeSize(2);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "phase " << c.ulPhase);
    static const Case* s_pCase;
    static int32_t s_lResult;
    static uint32_t s_ulSteps;
    s_pCase = &c;
    InApp([] {
      g_pCurPrintSize = &s_size;
      PrintJobRecord* pJob = jobtest::MakeInternalJob(1, 1, &g_PrintSize8x12);
      ASSERT_NE(pJob, nullptr);
      pJob->usCutOffset1 = 7;
      s_lResult = g_pDonorMng->CalcSearchDelay(s_pCase->ulPhase);
      s_ulSteps = g_pDonorMng->GetSearchWaitSteps();
      g_PrintJobQueue.CancelJobs(0, 0);
    });
    EXPECT_EQ(s_lResult, c.lResult);
    if (c.lResult == 0) {
      EXPECT_EQ(s_ulSteps, c.ulLines == 0 ? 0u : LinesToSteps(c.ulLines));
    }
  }
}

TEST_F(ColorSearchData, WithoutAJobAPlanesWaitStaysAsItWas) {
  static PrintSizeRecord s_size = MakeSize(2);
  static int32_t s_lResult;
  static uint32_t s_ulBefore, s_ulAfter;
  InApp([] {
    g_pCurPrintSize = &s_size;
    g_pDonorMng->CalcSearchDelay(RIBPH_INIT_TO_L);
    s_ulBefore = g_pDonorMng->GetSearchWaitSteps();
    s_lResult = g_pDonorMng->CalcSearchDelay(RIBPH_PRINT_M);
    s_ulAfter = g_pDonorMng->GetSearchWaitSteps();
  });
  EXPECT_EQ(s_lResult, -1);
  EXPECT_EQ(s_ulAfter, s_ulBefore);
}

TEST_F(ColorSearchData, ThePanelPositionIsLoggedSignedForBothDeviations) {
  // Roll 8x10 K1: Y's edge expected at 3596 lines; panel start 90 - 1, line
  // offset 410: deviation = 3596 - (lines - 24 - 89 + 410) = 3299 - lines.
  struct Case {
    int32_t lDeviation;
    uint32_t ulLogged;
  };
  const Case cases[] = {{30, 25}, {0, 0}, {-1, 0}, {-30, 0xFFE7}, {-300, 0xFF02}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "deviation " << c.lDeviation);
    static const Case* s_pCase;
    static uint32_t s_ulLogged, s_ulSecond;
    s_pCase = &c;
    InApp([] {
      ASSERT_EQ(g_pRibbonRoll->GetExpectedEdgeLines(0), 3596u);
      const uint32_t ulLines = static_cast<uint32_t>(3299 - s_pCase->lDeviation);
      g_pDonorMng->SetRibbonPhase(RIBPH_PRINT_Y, 1);
      g_pDonorMng->StopRibbon(1, 0);
      g_pDonorMng->SetPanelStartData(RIBPH_PRINT_Y);
      g_pDonorMng->SetStepCounting(1);
      uint32_t ulSteps = LinesToSteps(ulLines) - 16;
      while (StepsToLines(ulSteps) < ulLines) ++ulSteps;
      for (uint32_t i = 0; i < ulSteps; ++i) g_pDonorMng->CountStepPulse();
      g_pDonorMng->LogPanelPosition();
      s_ulLogged = printlogtest::PanelPositionField();
      // Logged once per search: counting has ended.
      g_PrintLog.SetField(0x60000, 1234);
      g_pDonorMng->LogPanelPosition();
      s_ulSecond = printlogtest::PanelPositionField();
    });
    EXPECT_EQ(s_ulLogged, c.ulLogged);
    EXPECT_EQ(s_ulSecond, 1234u);
  }
}

TEST_F(ColorSearchData, TheCorrectionIsLimitedAndRoundedDown) {
  // Nothing seen before the edge: measured 1000; the reference is the Y
  // stop length 296 less the first margin word.
  struct Case {
    int32_t lCorrection;
    uint32_t ulEnabled;
    int32_t lResult;
  };
  const Case cases[] = {{150, 1, 100}, {-101, 1, -100}, {37, 1, 36},  {-37, 1, -40},
                        {99, 1, 96},   {100, 1, 100},  {-100, 1, -100}, {150, 0, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.lCorrection << (c.ulEnabled != 0 ? " enabled" : " disabled"));
    static const Case* s_pCase;
    static PrintSizeRecord s_size;
    static int32_t s_lResult;
    s_pCase = &c;
    s_size = MakeSize(c.lCorrection - 704);
    InApp([] {
      g_pCurPrintSize = &s_size;
      StartStanding(RIBPH_SLOW_WIND_Y);
      g_pDonorMng->SetCorrectionEnable(s_pCase->ulEnabled);
      g_pDonorMng->CalcCorrection(0);
      g_pDonorMng->GetCorrection(&s_lResult);
      g_pDonorMng->SetCorrectionEnable(0);
    });
    EXPECT_EQ(s_lResult, c.lResult);
  }
}

TEST_F(ColorSearch, PhasesWithoutAnEntryAreRefusedAndDriveNothing) {
  const SearchStart cases[] = {{true, RIBPH_TENSION}, {true, RIBPH_WIND_Y}, {true, RIBPH_CALIB}, {true, 30},
                               {false, RIBPH_TENSION}, {false, RIBPH_PRINT_Y}, {false, RIBPH_INIT_TO_Y_SHORT},
                               {false, RIBPH_INITIAL}, {false, 30}};
  for (const SearchStart& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.bPanelSearch ? "StartPanelSearch " : "StartPhase ") << c.ulPhase);
    EXPECT_EQ(StartFromRest(c), (SearchStarted{-1, 0}));
    EXPECT_EQ(TakeUpLines(), kTakeUpLines[static_cast<int>(Drive::Brake)]);
    EXPECT_EQ(SupplyLines(), kSupplyLines[static_cast<int>(Drive::Brake)]);
  }
}

}  // namespace
}  // namespace ribbontest
