// The mark-sensor manager on quiet channels, the four mark sensors held at
// the levels each case gives: the capture of a pattern (sensor 4 winding
// on, the pull-back, one count at a time until three readings agree or
// sensor 4 shows), the panel search in and out of printing, the phases
// without an entry, and the identification by panel 0's marks with the
// panel position taken over by the new model.
#include "firmware/mechanism/donor_mng_mark.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "firmware/control/error_manager.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/mechanism/ribbon_phases.h"
#include "firmware/mechanism/ribbon_test_rig.h"
#include "sim/mechanism/ribbon_mechanism.h"

namespace ribbontest {
namespace {

using paneltest::NowMs;

constexpr uint32_t kIncorrectRibL = 0x1600;
constexpr uint32_t kRibbonEmptyL = 0x1603;

// Unit L's mark-sensor manager and the 8x10 mark roll, the mark sensors
// held by the test.
class MarkSearch : public QuietRibbon {
 protected:
  void SetUp() override {
    QuietRibbon::SetUp();
    m_pRibbons = m_machine->GetBoard().FindDevice<sim::RibbonMechanism>();
    ASSERT_NE(m_pRibbons, nullptr);
    InApp([] {
      ASSERT_EQ(g_pDonorMng, &g_DonorMngMarkSenL);
      ASSERT_EQ(g_pRibbonRoll, &g_RibbonRolls.mark8x10L);
    });
  }
  // Sensors 1-4 as "1" (mark) and "0".
  void ShowMarks(const char* pszMarks) {
    for (uint32_t i = 0; i < 4; ++i) m_pRibbons->SetMarkSensorStuck(sim::PrintUnit::L, i, true, pszMarks[i] == '1');
  }
  static std::string MarkStates() {
    std::string marks;
    for (uint32_t i = 0; i < 4; ++i) marks += g_pDonorMng->GetMarkStates()[i] != 0 ? '1' : '0';
    return marks;
  }

  sim::RibbonMechanism* m_pRibbons = nullptr;
};

// One call of the capture: the sensors then, the supply counts moved
// before it, and what it gives.
struct CaptureStep {
  const char* pszMarks;
  uint32_t ulCounts;
  int32_t lResult;
  uint32_t ulState;
  const char* pszStates;  // the mark states after it
};

struct CaptureCase {
  const char* pszName;
  std::vector<CaptureStep> steps;
};

TEST_F(MarkSearch, TheCaptureWindsCountByCountUntilThreeReadingsAgreeOrSensor4Shows) {
  const CaptureCase cases[] = {
      {"sensor 4 off: pulled back, then three agreeing readings",
       {{"1101", 0, 1, 1, "0000"},
        {"1100", 0, 1, 2, "1100"},  // sensor 4 off: the pull-back, sensor 4 read as 0
        {"1100", 0, 1, 2, "1100"},  // the count not yet there
        {"1100", 1, 1, 3, "1100"},
        {"1100", 0, 1, 2, "1100"},  // agrees once: one more count
        {"1100", 1, 1, 3, "1100"},
        {"1100", 0, 0, 0, "1100"}}},
      {"a changed reading starts the agreement again",
       {{"1010", 0, 1, 2, "1010"},
        {"1010", 1, 1, 3, "1010"},
        {"0010", 0, 1, 2, "0010"},
        {"0010", 1, 1, 3, "0010"},
        {"0010", 0, 1, 2, "0010"},
        {"0010", 1, 1, 3, "0010"},
        {"0010", 0, 0, 0, "0010"}}},
      {"sensor 4 on again ends it without a third reading",
       {{"0100", 0, 1, 2, "0100"}, {"0100", 1, 1, 3, "0100"}, {"0101", 0, 0, 3, "0101"}}},
  };
  for (const CaptureCase& c : cases) {
    SCOPED_TRACE(c.pszName);
    InApp([] {
      g_ErrorMng.ClearError(kRibbonEmptyL);
      ASSERT_EQ(g_pDonorMng->StartPhase(RIBPH_SLOW_WIND_Y, 0), 0);
    });
    for (size_t i = 0; i < c.steps.size(); ++i) {
      const CaptureStep& s = c.steps[i];
      SCOPED_TRACE(testing::Message() << "call " << i);
      ShowMarks(s.pszMarks);
      Fpga().CountPulses(kSupplyCounter, s.ulCounts);
      static int32_t s_lResult;
      static uint32_t s_ulState, s_ulTarget, s_ulCount;
      static std::string s_states;
      InApp([] {
        s_lResult = g_pDonorMng->FindMarkPattern();
        s_ulState = g_pDonorMng->GetSearchState();
        s_ulTarget = g_pDonorMng->GetSupplyTarget();
        g_pCurSlitRibEncSrc->ReadCount(&s_ulCount);
        s_states = MarkStates();
      });
      EXPECT_EQ(s_lResult, s.lResult);
      EXPECT_EQ(s_ulState, s.ulState);
      EXPECT_EQ(s_states, s.pszStates);
      // Winding on: one count ahead.
      if (s.ulState == 2) {
        EXPECT_EQ(s_ulTarget, (s_ulCount + 1) & 0xFFFFu);
      }
    }
    InApp([] { g_pDonorMng->StopRibbon(0, 1); });
  }
  EXPECT_FALSE(IsErrorRaised(kRibbonEmptyL));
}

TEST_F(MarkSearch, TheFirstReadingPullsBackForItsTimeAndAStallFailsTheCapture) {
  // Sensor 4 off at the first call: the pull-back of 200 ms, then one count
  // on. A supply that stood still through the stall watch's 4000 ms fails
  // the next call with "Ribbon Empty".
  ShowMarks("1100");
  static uint32_t s_ulTookMs;
  static int32_t s_lFirst, s_lStalled;
  InApp([] {
    g_ErrorMng.ClearError(kRibbonEmptyL);
    g_pDonorMng->StartPhase(RIBPH_SLOW_WIND_Y, 0);
    const uint32_t ulBefore = NowMs();
    s_lFirst = g_pDonorMng->FindMarkPattern();
    s_ulTookMs = NowMs() - ulBefore;
  });
  EXPECT_EQ(s_lFirst, 1);
  EXPECT_GE(s_ulTookMs, CDonorMng_MarkSen::kPullBackMs);
  EXPECT_LE(s_ulTookMs, CDonorMng_MarkSen::kPullBackMs + 2);
  m_machine->RunFor(Ms(4100));
  InApp([] { s_lStalled = g_pDonorMng->FindMarkPattern(); });
  EXPECT_EQ(s_lStalled, -1);
  EXPECT_TRUE(IsErrorRaised(kRibbonEmptyL));
  InApp([] {
    g_pDonorMng->StopRibbon(0, 1);
    g_ErrorMng.ClearError(kRibbonEmptyL);
  });
}

TEST_F(MarkSearch, TheSearchEndsAtOnceInAPlaneAndOneCountOnOutsideOne) {
  // The 8x10 mark roll: panel 0 shows 1100, panels 1-3 show 0011.
  struct Case {
    const char* pszName;
    bool bPanelSearch;  // StartPanelSearch, else StartPhase
    uint32_t ulPhase;
    const char* pszMarks;
    int32_t lFirst;       // the first step's result
    uint32_t ulFirstState;
    int32_t lAfterCount;  // the step's result once the supply moved one count
    uint32_t ulEndState;
  };
  const Case cases[] = {
      {"print Y sees M's marks", true, RIBPH_PRINT_Y, "0011", 0, 0, 0, 0},
      {"print Y before M's marks", true, RIBPH_PRINT_Y, "1100", 1, 1, 1, 1},
      {"print L sees Y's marks", true, RIBPH_PRINT_L, "1100", 0, 0, 0, 0},
      {"initial to L sees them and winds a count on", true, RIBPH_INIT_TO_L, "0011", 1, 2, 0, 0},
      {"wind to Y sees them and winds a count on", false, RIBPH_WIND_Y, "1100", 1, 2, 0, 0},
      {"rollback to M not yet", false, RIBPH_ROLLBACK_M, "1100", 1, 1, 1, 1},
      // The roll-up phases wait for the caller's target at once.
      {"roll-up to C waits for its target", false, RIBPH_ROLLUP_AP_C, "1100", 1, 2, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pszName);
    ShowMarks(c.pszMarks);
    static const Case* s_pCase;
    static int32_t s_lStart, s_lFirst, s_lAfter;
    static uint32_t s_ulFirstState, s_ulEndState, s_ulSearchPanel;
    s_pCase = &c;
    InApp([] {
      s_lStart = s_pCase->bPanelSearch ? g_pDonorMng->StartPanelSearch(s_pCase->ulPhase)
                                       : g_pDonorMng->StartPhase(s_pCase->ulPhase, 0);
      if (s_pCase->ulPhase >= RIBPH_ROLLUP_AP_Y) g_pDonorMng->SetTarget(1);
      s_ulSearchPanel = g_pRibbonRoll->GetSearchPanel();
      s_lFirst = g_pDonorMng->Step(nullptr);
      s_ulFirstState = g_pDonorMng->GetSearchState();
    });
    Fpga().CountPulses(kSupplyCounter, 1);
    InApp([] {
      s_lAfter = g_pDonorMng->Step(nullptr);
      s_ulEndState = g_pDonorMng->GetSearchState();
      g_pDonorMng->StopRibbon(0, 1);
    });
    EXPECT_EQ(s_lStart, 0);
    EXPECT_EQ(s_ulSearchPanel, g_aRibbonPhases[c.ulPhase].ucNextPanel);
    EXPECT_EQ(s_lFirst, c.lFirst);
    EXPECT_EQ(s_ulFirstState, c.ulFirstState);
    EXPECT_EQ(s_lAfter, c.lAfterCount);
    EXPECT_EQ(s_ulEndState, c.ulEndState);
  }
}

TEST_F(MarkSearch, PhasesWithoutAnEntryAreRefusedAndDriveNothing) {
  const SearchStart cases[] = {{true, RIBPH_TENSION}, {true, RIBPH_INITIAL}, {true, RIBPH_CALIB}, {true, 30},
                               {false, RIBPH_TENSION}, {false, RIBPH_PRINT_M}, {false, RIBPH_INIT_TO_Y_SHORT},
                               {false, RIBPH_CALIB}, {false, 30}};
  for (const SearchStart& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.bPanelSearch ? "StartPanelSearch " : "StartPhase ") << c.ulPhase);
    EXPECT_EQ(StartFromRest(c), (SearchStarted{-1, 0}));
    EXPECT_EQ(QuietLines(), 0x000Fu) << "both quiet motors still braked";
  }
}

TEST_F(MarkSearch, IdentificationSelectsTheModelOfPanelZerosMarksTakingOverThePanelPosition) {
  struct Case {
    const char* pszName;
    uint32_t ulUnit;
    const char* pszMarks;  // sensor 4 reads 0, as the capture stores it
    int32_t lResult;
    uint32_t ulTypeIndex;  // after it (the model of that index current)
  };
  const Case cases[] = {
      {"8x10 on L", 0, "1100", 0, 0}, {"8x12 on L", 0, "1010", 0, 1}, {"8x12 on R", 1, "1010", 0, 1},
      {"the marks of panels 1-3", 0, "0010", -1, 0}, {"all marks", 0, "1110", -1, 0},
      {"no marks on R", 1, "0000", -1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pszName);
    // The marks under the unit's sensors, captured by the first call.
    for (uint32_t i = 0; i < 4; ++i) {
      m_pRibbons->SetMarkSensorStuck(c.ulUnit == 0 ? sim::PrintUnit::L : sim::PrintUnit::R, i, true,
                                     c.pszMarks[i] == '1');
    }
    static const Case* s_pCase;
    static int32_t s_lResult;
    static uint32_t s_ulTypeIndex, s_ulNewPanel, s_ulOldPanel, s_ulIncorrect;
    static const CRibbonRoll* s_pRoll;
    static const CRibbonRoll* s_pOld;
    s_pCase = &c;
    InApp([] {
      SelectUnit(s_pCase->ulUnit);
      *g_pCurRibbonTypeIndex = 0;
      SelectUnit(s_pCase->ulUnit);
      g_ErrorMng.ClearError(kIncorrectRibL + s_pCase->ulUnit);
      // The old model stands on panel 2, the other model on 0.
      s_pOld = g_pRibbonRoll;
      g_pCurRibbonRolls[1]->SetPanelIndex(0);
      g_pRibbonRoll->SetPanelIndex(2);
      g_pDonorMng->StartPhase(RIBPH_SLOW_WIND_Y, 0);
      g_pDonorMng->FindMarkPattern();
      g_pDonorMng->StopRibbon(0, 1);
      s_lResult = g_pDonorMng->IdentifyRibbonType();
      s_pRoll = g_pRibbonRoll;
      s_ulTypeIndex = *g_pCurRibbonTypeIndex;
      g_pRibbonRoll->GetPanelIndex(&s_ulNewPanel);
      s_pOld->GetPanelIndex(&s_ulOldPanel);
      g_ErrorMng.IsErrorSet(kIncorrectRibL + s_pCase->ulUnit, &s_ulIncorrect);
      g_ErrorMng.ClearError(kIncorrectRibL + s_pCase->ulUnit);
      *g_pCurRibbonTypeIndex = 0;
      SelectUnit(0);
    });
    EXPECT_EQ(s_lResult, c.lResult);
    EXPECT_EQ(s_ulTypeIndex, c.ulTypeIndex);
    CRibbonRoll* const* apRow = c.ulUnit == 0 ? g_apRibbonRollMarkL : g_apRibbonRollMarkR;
    EXPECT_EQ(s_pRoll, apRow[c.ulTypeIndex]);
    EXPECT_EQ(s_ulIncorrect, c.lResult != 0 ? 1u : 0u);
    // The ribbon has not moved: the panel position goes with the choice.
    EXPECT_EQ(s_ulNewPanel, 2u);
    EXPECT_EQ(s_ulOldPanel, 2u);
  }
}

}  // namespace
}  // namespace ribbontest
