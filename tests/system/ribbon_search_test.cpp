// The panel searches and the ribbon identification on the virtual
// printer's ribbon tapes, in the application task between two passes of
// the main loop: a search of every phase with a start direction from every
// panel finds the target panel's edge where the tape shows it and stops the
// stop distance behind; the mark-sensor manager captures panel 0's marks
// and identifies the mark types (and refuses a tape without them, or a
// stuck sensor's pattern); the barcode read off the tape selects its
// colour type; and a ribbon end, a failed colour LED or a foreign barcode
// raise the unit's error and leave the printer in the no-ribbon state.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "firmware/control/event_states.h"
#include "firmware/devices/analog_sensor.h"
#include "firmware/devices/encoder_count.h"
#include "firmware/mechanism/donor_mng_color.h"
#include "firmware/mechanism/donor_mng_mark.h"
#include "firmware/mechanism/ribbon_phases.h"
#include "firmware/mechanism/ribbon_roll.h"
#include "sim/mechanism/input_faults.h"
#include "tests/support/positioners.h"
#include "tests/support/ribbon.h"

namespace {

using sim::Panel;
using sim::PrintUnit;
using testsupport::Ms;

constexpr uint32_t kIncorrectRibL = 0x1600;
constexpr uint32_t kRibbonEmptyL = 0x1603;
constexpr uint32_t kPanels = 4;
constexpr Panel kPanelOf[kPanels] = {Panel::Yellow, Panel::Magenta, Panel::Cyan, Panel::Overcoat};
// A colour reading counts once its LED has been lit this long.
constexpr sim::Nanos kLedSettle = Ms(100);

uint32_t UnitIndex(PrintUnit unit) { return unit == PrintUnit::L ? 0u : 1u; }

// One poll of a search: the supply counter, the panel under the colour
// sensor and the time, before the poll.
struct Sample {
  uint32_t ulCount;
  Panel panel;
  sim::Nanos at;
};

// What a search ended with.
struct Search {
  int32_t lResult = 9;
  bool bFound = false;
  uint32_t ulEdge = 0;        // the manager's edge count once found
  uint32_t ulFoundCount = 0;  // the supply counter when the edge was found
  uint32_t ulTarget = 0;      // the supply target then set
  uint32_t ulStopCount = 0;   // the supply counter once the search ended
  sim::Nanos endedAt = 0;
  std::vector<Sample> samples;
};

class RibbonSearch : public ribbontest::RibbonPrinter {
 protected:
  // A new printer, its start-up and ribbon initialisation done (the ready
  // line depends on the ribbons loaded).
  void BootIdle(sim::MachineOptions options = {}) {
    BootNewPrinter(std::move(options));
    m_machine->RunUntil([] { return IsReady(); }, testsupport::kStartUp + testsupport::kFirstBootFormat + Ms(10000));
    ASSERT_TRUE(IsReady()) << Lcd().Visible();
    ASSERT_TRUE(m_machine->UsbHost().WaitForConfigured(Ms(5000)));
  }
  static bool IsReady() {
    return g_pCurEventMng == &g_EventMngReadyA || g_pCurEventMng == &g_EventMngReadyB ||
           g_pCurEventMng == &g_EventMngReadyC;
  }

  // Places the unit's tape so that its colour sensor stands `into` lines
  // into the panel.
  void PlaceColorSensor(PrintUnit unit, Panel panel, double into) {
    Ribbons().PlaceTape(unit, panel, into - Ribbons().Tape(unit).ColorSensorLines());
  }

  // The supply encoder's counts over 10000 print lines of tape at the
  // supply's diameter now.
  uint32_t CountsPer10000Lines(PrintUnit unit) {
    const double dTurns = 10000 * sim::RibbonTape::kMmPerLine / (sim::kRibbonPi * Ribbon(unit).SupplyDiameter());
    return static_cast<uint32_t>(dTurns * sim::RibbonTransport::kSupplyCountsPerTurn + 0.5);
  }

  uint32_t SupplyCounter(PrintUnit unit) {
    Ribbons().Unit(unit);  // hands the model's counts to the FPGA
    return Fpga().Counter(UnitIndex(unit));
  }

  // Application side: StartPhase, then the search's Step polled until it
  // is done or fails (the abort check on the covers between the polls).
  Search RunSearch(PrintUnit unit, uint32_t ulPhase) {
    Search s;
    s.lResult = g_pDonorMng->StartPhase(ulPhase, 0);
    uint32_t ulDone = 0;
    while (s.lResult == 0 && ulDone == 0) {
      s.samples.push_back({SupplyCounter(unit), Ribbons().PanelAtColorSensor(unit), m_machine->Now()});
      const uint32_t ulStateBefore = g_pDonorMng->GetSearchState();
      s.lResult = g_pDonorMng->Step(&ulDone);
      if (ulStateBefore == 2 && g_pDonorMng->GetSearchState() == 3) {
        s.bFound = true;
        g_pDonorMng->GetEdgeCount(&s.ulEdge);
        s.ulTarget = g_pDonorMng->GetSupplyTarget();
        s.ulFoundCount = SupplyCounter(unit);
      }
      if (s.lResult == 0 && ulDone == 0 && CheckAbort(SEQ_CHECK_COVERS) != 0) s.lResult = -2;
    }
    s.endedAt = m_machine->Now();
    s.ulStopCount = SupplyCounter(unit);
    return s;
  }

  // The model's edge of the target panel: the supply counter at the first
  // poll, with the LED settled, at which the colour sensor shows the panel
  // after it did not.
  static int64_t ModelEdge(const Search& s, Panel target) {
    if (s.samples.empty()) return -1;
    const sim::Nanos settled = s.samples.front().at + kLedSettle;
    bool bBefore = false;
    for (const Sample& sample : s.samples) {
      const bool bSeen = sample.panel == target && sample.at > settled;
      if (bSeen && !bBefore) return sample.ulCount;
      bBefore = bSeen;
    }
    return -1;
  }
};

// ---- StartPhase from every panel ---------------------------------------------------------------

struct PhaseCase {
  const char* pszName;
  uint32_t ulPhase;
};

const PhaseCase kPhases[] = {
    {"wind_Y", RIBPH_WIND_Y},           {"wind_M", RIBPH_WIND_M},           {"wind_C", RIBPH_WIND_C},
    {"wind_L", RIBPH_WIND_L},           {"rollback_Y", RIBPH_ROLLBACK_Y},   {"rollback_M", RIBPH_ROLLBACK_M},
    {"rollback_C", RIBPH_ROLLBACK_C},   {"rollback_L", RIBPH_ROLLBACK_L},   {"roll_up_AP_Y", RIBPH_ROLLUP_AP_Y},
    {"roll_up_AP_M", RIBPH_ROLLUP_AP_M}, {"roll_up_AP_C", RIBPH_ROLLUP_AP_C}, {"roll_up_AP_L", RIBPH_ROLLUP_AP_L},
};

class RibbonPhaseSearch : public RibbonSearch, public ::testing::WithParamInterface<PhaseCase> {};

TEST_P(RibbonPhaseSearch, FindsTheTargetEdgeFromEveryPanelAndStopsTheStopDistanceBehindIt) {
  const PhaseCase& c = GetParam();
  const uint32_t ulTarget = g_aRibbonPhases[c.ulPhase].ucNextPanel;
  // Twenty metres already on the take-up, for the rollbacks.
  sim::MachineOptions options;
  options.ribbons[0] = sim::RibbonLoad{sim::RibbonType::Color8x10K1, sim::RibbonLoad::kFullRoll, 20000};
  BootIdle(std::move(options));
  // The supply's counts per line as a measured print would give them; a
  // search of the initial wind leaves its stop distance for the searches
  // that follow.
  static uint32_t s_ulStopDistance, s_ulCountsPer10000Lines;
  s_ulCountsPer10000Lines = CountsPer10000Lines(PrintUnit::L);
  ASSERT_TRUE(InLoop([] {
    SelectUnit(0);
    g_pDonorMng->SetLastPrintCounts(s_ulCountsPer10000Lines, 10000);
    g_pDonorMng->StartPanelSearch(RIBPH_INIT_TO_Y);
    g_pDonorMng->StopRibbon(1, 1);
    s_ulStopDistance = g_pDonorMng->GetStopDistance();
  }));
  EXPECT_GT(s_ulStopDistance, 100u);

  for (uint32_t ulStart = 0; ulStart < kPanels; ++ulStart) {
    SCOPED_TRACE(testing::Message() << "from panel " << ulStart);
    // The colour sensor halfway into the panel, the roll's colour step on
    // it (as the search that stopped there left it).
    PlaceColorSensor(PrintUnit::L, kPanelOf[ulStart], Ribbons().Tape(PrintUnit::L).PanelLines(kPanelOf[ulStart]) / 2.0);
    ASSERT_EQ(Ribbons().PanelAtColorSensor(PrintUnit::L), kPanelOf[ulStart]);
    static Search s_search;
    static uint32_t s_ulStart, s_ulPhase;
    s_ulStart = ulStart;
    s_ulPhase = c.ulPhase;
    ASSERT_TRUE(InLoop([this] {
      g_pRibbonRoll->SetPanelIndex(s_ulStart);
      s_search = RunSearch(PrintUnit::L, s_ulPhase);
    }));
    const Search& s = s_search;
    ASSERT_EQ(s.lResult, 0);
    ASSERT_TRUE(s.bFound);
    const int64_t llModelEdge = ModelEdge(s, kPanelOf[ulTarget]);
    ASSERT_GE(llModelEdge, 0) << "the target never passed the sensor";
    EXPECT_LE(std::abs(EncoderDistance(static_cast<uint32_t>(llModelEdge), s.ulEdge)), 3)
        << "edge " << s.ulEdge << ", the tape's " << llModelEdge;
    EXPECT_EQ(g_pRibbonRoll->GetColorStepIndex(), ulTarget);
    // The target the stop distance behind the count that completed the
    // step; stopped on it, nothing moving after.
    EXPECT_EQ(s.ulTarget, (s.ulFoundCount + s_ulStopDistance) & 0xFFFFu);
    const int32_t lPast = EncoderDistance(s.ulTarget, s.ulStopCount);
    EXPECT_GE(lPast, 0);
    EXPECT_LE(lPast, 1);
    m_machine->RunFor(Ms(300));
    EXPECT_EQ(SupplyCounter(PrintUnit::L), s.ulStopCount);
    EXPECT_EQ(Ribbon(PrintUnit::L).Motion(), 0u);
    EXPECT_EQ(g_pDonorMng->GetSearchState(), 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(Phases, RibbonPhaseSearch, ::testing::ValuesIn(kPhases),
                         positionertest::CaseName<::testing::TestParamInfo<PhaseCase>>);

}  // namespace
