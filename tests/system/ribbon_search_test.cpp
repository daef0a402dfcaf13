// The panel searches and the ribbon identification on the virtual
// printer's ribbon tapes, in the application task between two passes of
// the main loop: a search of every phase with a start direction from every
// panel finds the target panel's edge where the tape shows it and stops the
// stop distance behind; the mark-sensor manager captures panel 0's marks
// and identifies the mark types (and refuses a tape without them, or a
// stuck sensor's pattern); the barcode read off the tape selects its
// colour type; the search during a plane waits for the paper, finds the
// next panel and logs its edge where the tape puts it, and the wind after
// the plane stops on it; and a ribbon end, a failed colour LED, a foreign
// barcode or a stuck mark sensor raise the unit's error and leave the
// printer in the no-ribbon state.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "firmware/control/event_states.h"
#include "firmware/control/line_steps.h"
#include "firmware/devices/analog_sensor.h"
#include "firmware/devices/encoder_count.h"
#include "firmware/devices/paper_position.h"
#include "firmware/devices/print_log_test_support.h"
#include "firmware/devices/ramps.h"
#include "firmware/devices/stepper.h"
#include "firmware/mechanism/donor_mng_color.h"
#include "firmware/mechanism/donor_mng_mark.h"
#include "firmware/mechanism/ribbon_phases.h"
#include "firmware/mechanism/ribbon_roll.h"
#include "firmware/mechanism/unit_moves.h"
#include "firmware/printengine/job_queue_test_support.h"
#include "firmware/printengine/print_line.h"
#include "firmware/sequences/ribbon_winding.h"
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
  // A new printer in a ready state with its mechanism homed, once it shows
  // `pszLine` when given (the ribbon initialisation's media line). The
  // ready state is current before its first pass runs the start-up's home
  // run, which polls no host command: a step started before it would have
  // the home run follow it.
  void BootIdle(sim::MachineOptions options = {}, const char* pszLine = nullptr) {
    BootNewPrinter(std::move(options));
    m_machine->RunUntil([&] { return IsHomed() && (pszLine == nullptr || Lcd().Visible() == pszLine); },
                        testsupport::kStartUp + testsupport::kFirstBootFormat + Ms(10000));
    ASSERT_TRUE(IsHomed()) << Lcd().Visible();
    if (pszLine != nullptr) {
      ASSERT_EQ(Lcd().Visible(), pszLine);
    }
    ASSERT_TRUE(m_machine->UsbHost().WaitForConfigured(Ms(5000)));
  }
  static bool IsReady() {
    return g_pCurEventMng == &g_EventMngReadyA || g_pCurEventMng == &g_EventMngReadyB ||
           g_pCurEventMng == &g_EventMngReadyC;
  }
  static bool IsHomed() { return IsReady() && !IsEventPending(EV_INIT_MECHA); }

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

  // A new printer with a new roll of the type in the unit.
  void BootWithTape(PrintUnit unit, sim::RibbonType type) {
    sim::MachineOptions options;
    options.ribbons[UnitIndex(unit)] = sim::RibbonLoad{type};
    BootIdle(std::move(options));
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
  BootIdle(std::move(options), testsupport::kReadyLine);
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

// ---- the search during a plane -----------------------------------------------------------------

// What a plane's search saw.
struct Plane {
  int32_t lStart = 9;
  uint32_t ulWaitSteps = 0;
  uint32_t ulPulsesAtSampling = 0;  // the manager's count when sampling began
  uint64_t ullMainPulsesAtSampling = 0;  // the main stepper's pulses by then
  bool bSampling = false;
  bool bFound = false;
  bool bHeldUntilTheWind = true;  // state 3 from the edge to the plane's end
  int32_t lWind = 9;
  uint32_t ulTarget = 0;
  uint32_t ulStopCount = 0;
  int32_t lLogged = 0;
};

constexpr uint32_t kDummyLines = 120;
constexpr uint32_t kPlaneLinesAfterTheEdge = 100;

// On each engine variant, whose colour sensor stands its own distance
// before the head.
class RibbonPlaneSearch : public RibbonSearch, public ::testing::WithParamInterface<sim::EngineVariant> {
 protected:
  // 8x12 ribbons, and the print size of their media.
  void SetUp() override {
    sim::MachineOptions options;
    options.media = sim::Media::Size8x12;
    BootIdle(positionertest::VariantOptions(GetParam(), std::move(options)), "8x12 YMC-YMC    ");
    Fpga().AddPulseObserver(0, [this] { ++m_ullMainPulses; });
  }
  uint64_t m_ullMainPulses = 0;
};

TEST_P(RibbonPlaneSearch, FindsTheNextPanelWhileThePaperRunsAndTheWindAfterThePlaneStopsOnIt) {
  static uint32_t s_ulCountsPer10000Lines;
  s_ulCountsPer10000Lines = CountsPer10000Lines(PrintUnit::L);
  ASSERT_TRUE(InLoop([] {
    g_ulRibDummyLines = kDummyLines;
    EXPECT_EQ(MoveHeadUnit(HEAD_POS_DOWN, SEQ_CHECK_COVERS), 0);
  }));
  // Panel Y's start the dummy lines ahead of the head.
  Ribbons().PlaceTape(PrintUnit::L, Panel::Yellow, -static_cast<double>(kDummyLines));
  ASSERT_EQ(Ribbon(PrintUnit::L).Inputs().bHeadDown, true) << Mechanism().Position(sim::Axis::HeadL) << " of " << Mechanism().Geometry(sim::Axis::HeadL).length << (Mechanism().Moving(sim::Axis::HeadL) ? " moving" : "");
  const uint32_t ulSensorLines = Ribbons().Tape(PrintUnit::L).ColorSensorLines();
  const uint32_t ulEdgeLines = kDummyLines + Ribbons().Tape(PrintUnit::L).PanelLines(Panel::Yellow) - ulSensorLines;

  static Plane s_plane;
  static uint32_t s_ulPlaneSteps;
  static const uint64_t* s_pullMainPulses;
  s_ulPlaneSteps = LinesToSteps(ulEdgeLines + kPlaneLinesAfterTheEdge);
  s_pullMainPulses = &m_ullMainPulses;
  ASSERT_TRUE(InLoop([] {
    Plane& p = s_plane;
    SelectUnit(0);
    // The spools as the wind before a plane leaves them: both motors braked
    // (the home run's stop lets them coast). A print phase leaves the
    // supply motor as it stands, so its brake holds the tape against the
    // take-up once the head is up.
    g_pDonorMng->StopRibbon(1, 1);
    g_pDonorMng->SetLastPrintCounts(s_ulCountsPer10000Lines, 10000);
    PrintJobRecord* pJob = jobtest::MakeInternalJob(1, 1, g_pCurPrintSize);
    ASSERT_NE(pJob, nullptr);
    pJob->usCutOffset1 = 0;
    const uint64_t ullPulsesBefore = *s_pullMainPulses;
    p.lStart = g_pDonorMng->StartPanelSearch(RIBPH_PRINT_Y);
    p.ulWaitSteps = g_pDonorMng->GetSearchWaitSteps();
    // The plane: the paper (and the ribbon under the lowered head) runs.
    ASSERT_EQ(g_Ramp10.SetupByRate(1000, 4000, 10), 0);
    g_PaperPosition.SetParam(PAPER_PARAM_EXCITATION_MODE, 2);
    g_PaperPosition.SetParam(PAPER_PARAM_MAIN_PROFILE, 6);
    g_PaperPosition.SetParam(PAPER_PARAM_SUB_PROFILE, 6);
    EXPECT_EQ(g_PaperPosition.MoveSteps(static_cast<int32_t>(s_ulPlaneSteps)), 0);
    int32_t lState = -1;
    uint32_t ulDone = 0;
    while (lState != STPMTR_IDLE) {
      EXPECT_EQ(g_pDonorMng->Step(&ulDone), 0);
      const uint32_t ulState = g_pDonorMng->GetSearchState();
      if (ulState == 2 && !p.bSampling) {
        p.bSampling = true;
        g_pDonorMng->GetStepPulseCount(&p.ulPulsesAtSampling);
        p.ullMainPulsesAtSampling = *s_pullMainPulses - ullPulsesBefore;
      }
      if (ulState == 3) p.bFound = true;
      if (p.bFound && ulState != 3) p.bHeldUntilTheWind = false;
      g_StpmtrMain.GetState(&lState);
    }
    g_PrintJobQueue.CancelJobs(0, 0);
    // After the plane: the head up, and the wind phase to the target.
    EXPECT_EQ(MoveHeadUnit(HEAD_POS_UP, SEQ_CHECK_COVERS), 0);
    p.ulTarget = g_pDonorMng->GetSupplyTarget();
    g_pDonorMng->SetRibbonPhase(RIBPH_WIND_M, 1);
    p.lWind = ribbontest::PollUntilDone([](uint32_t* pulDone) { return g_pDonorMng->Step(pulDone); });
    g_pCurSlitRibEncSrc->ReadCount(&p.ulStopCount);
    p.lLogged = static_cast<int16_t>(printlogtest::PanelPositionField());
    g_ulRibDummyLines = 0;
  }, Ms(60000)));
  const Plane& p = s_plane;
  EXPECT_EQ(p.lStart, 0);
  EXPECT_GT(p.ulWaitSteps, 0u);
  EXPECT_LT(p.ulWaitSteps, LinesToSteps(ulEdgeLines)) << "sampling starts before the edge comes";
  // Sampling began at the wait's step, every main-stepper pulse counted.
  ASSERT_TRUE(p.bSampling);
  EXPECT_GE(p.ulPulsesAtSampling, p.ulWaitSteps);
  EXPECT_LE(p.ulPulsesAtSampling, p.ulWaitSteps + 2);
  EXPECT_EQ(p.ullMainPulsesAtSampling, p.ulPulsesAtSampling);
  ASSERT_TRUE(p.bFound);
  EXPECT_TRUE(p.bHeldUntilTheWind);
  EXPECT_EQ(p.lWind, 0);
  const int32_t lPast = EncoderDistance(p.ulTarget, p.ulStopCount);
  EXPECT_GE(lPast, 0);
  EXPECT_LE(lPast, 1);
  EXPECT_EQ(g_pDonorMng->GetSearchState(), 0u);
  EXPECT_EQ(Ribbons().PanelAtColorSensor(PrintUnit::L), Panel::Magenta);
  // The edge where the ribbon's layout puts it: no deviation beyond
  // rounding.
  EXPECT_NEAR(p.lLogged, 0, 2);
}

TEST_P(RibbonPlaneSearch, TheInitialPhasesSampleAtOnce) {
  struct Case {
    uint32_t ulPhase;
    uint32_t ulState;  // after one step with the paper standing
  };
  const Case cases[] = {{RIBPH_INIT_TO_Y, 2}, {RIBPH_INIT_TO_Y_SHORT, 2}, {RIBPH_PRINT_Y, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "phase " << c.ulPhase);
    static const Case* s_pCase;
    static uint32_t s_ulState, s_ulWait;
    s_pCase = &c;
    ASSERT_TRUE(InLoop([] {
      SelectUnit(0);
      PrintJobRecord* pJob = jobtest::MakeInternalJob(1, 1, g_pCurPrintSize);
      ASSERT_NE(pJob, nullptr);
      g_pDonorMng->StartPanelSearch(s_pCase->ulPhase);
      s_ulWait = g_pDonorMng->GetSearchWaitSteps();
      uint32_t ulDone = 0;
      g_pDonorMng->Step(&ulDone);
      s_ulState = g_pDonorMng->GetSearchState();
      g_pDonorMng->StopRibbon(1, 1);
      g_PrintJobQueue.CancelJobs(0, 0);
    }));
    EXPECT_EQ(s_ulState, c.ulState);
    EXPECT_EQ(s_ulWait == 0, c.ulState == 2);
  }
}

INSTANTIATE_TEST_SUITE_P(Variants, RibbonPlaneSearch, ::testing::Values(sim::EngineVariant::EM3, sim::EngineVariant::EM2),
                         [](const ::testing::TestParamInfo<sim::EngineVariant>& variant) {
                           return variant.param == sim::EngineVariant::EM2 ? std::string("EM2") : std::string("EM3");
                         });

// ---- the mark-sensor manager -------------------------------------------------------------------

// What a capture of the mark pattern and the identification by it ended
// with.
struct Capture {
  int32_t lFind = 9;
  int32_t lIdentify = 9;
  uint32_t aulMarks[4] = {};
  const CRibbonRoll* pRoll = nullptr;
  uint32_t ulTypeIndexBefore = 99;  // the unit's model index when the wind began
  uint32_t ulTypeIndex = 99;
};

// Application side: the mark-sensor control on the unit, a slow wind with
// the capture polled until it ends, then the identification.
Capture CaptureMarks(uint32_t ulUnit) {
  Capture c;
  g_ucRibbonControlType = 0;
  SelectUnit(ulUnit);
  c.ulTypeIndexBefore = *g_pCurRibbonTypeIndex;
  g_pDonorMng->StartPhase(RIBPH_SLOW_WIND_Y, 0);
  int32_t lResult = 1;
  while (lResult == 1) {
    lResult = g_pDonorMng->FindMarkPattern();
    if (lResult == 1 && CheckAbort(SEQ_CHECK_COVERS) != 0) lResult = -2;
  }
  c.lFind = lResult;
  g_pDonorMng->StopRibbon(1, 1);
  for (uint32_t i = 0; i < 4; ++i) c.aulMarks[i] = g_pDonorMng->GetMarkStates()[i];
  if (lResult == 0) c.lIdentify = g_pDonorMng->IdentifyRibbonType();
  c.pRoll = g_pRibbonRoll;
  c.ulTypeIndex = *g_pCurRibbonTypeIndex;
  return c;
}

struct MarkCase {
  const char* pszName;
  PrintUnit unit;
  sim::RibbonType tape;
  int32_t lIdentify;      // 0: the tape's type selected, -1 "Incorrect Rib"
  uint32_t ulTypeIndex;   // in the unit's row of mark models, when selected
};

const MarkCase kMarkTapes[] = {
    {"mark_8x10_L", PrintUnit::L, sim::RibbonType::Mark8x10, 0, 0},
    {"mark_8x12_L", PrintUnit::L, sim::RibbonType::Mark8x12, 0, 1},
    {"mark_8x12_R", PrintUnit::R, sim::RibbonType::Mark8x12, 0, 1},
    // A colour tape carries no marks: the pattern of no model.
    {"colour_tape_L", PrintUnit::L, sim::RibbonType::Color8x12K1, -1, 0},
};

class RibbonMarkSearch : public RibbonSearch, public ::testing::WithParamInterface<MarkCase> {};

TEST_P(RibbonMarkSearch, CapturesPanelZerosMarksAndIdentifiesTheTape) {
  const MarkCase& c = GetParam();
  const uint32_t ulUnit = UnitIndex(c.unit);
  BootWithTape(c.unit, c.tape);
  // The head halfway into an overcoat panel: the wind reaches the next Y's
  // mark band.
  Ribbons().PlaceTape(c.unit, Panel::Overcoat, Ribbons().Tape(c.unit).PanelLines(Panel::Overcoat) / 2.0);
  static Capture s_capture;
  static uint32_t s_ulUnit;
  static uint8_t s_ucControlType;
  s_ulUnit = ulUnit;
  ASSERT_TRUE(InLoop([] {
    s_ucControlType = g_ucRibbonControlType;
    s_capture = CaptureMarks(s_ulUnit);
  }));
  EXPECT_EQ(s_capture.lFind, 0);
  EXPECT_EQ(s_capture.lIdentify, c.lIdentify);
  // The tape stands where the marks were read: panel 0's band of a mark
  // tape.
  const sim::RibbonTape& tape = Ribbons().Tape(c.unit);
  const std::array<bool, 4> shown = tape.MarksAt(tape.HeadLine(Ribbon(c.unit).TapePosition()));
  for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(s_capture.aulMarks[i], shown[i] ? 1u : 0u) << "sensor " << i + 1;
  CRibbonRoll* const* apRow = ulUnit == 0 ? g_apRibbonRollMarkL : g_apRibbonRollMarkR;
  if (c.lIdentify == 0) {
    EXPECT_EQ(Ribbons().PanelAtHead(c.unit), Panel::Yellow);
    EXPECT_EQ(s_capture.pRoll, apRow[c.ulTypeIndex]);
    EXPECT_EQ(s_capture.ulTypeIndex, c.ulTypeIndex);
    for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(s_capture.aulMarks[i], apRow[c.ulTypeIndex]->MarkPattern(0)[i]);
    EXPECT_FALSE(IsErrorRaised(kIncorrectRibL + ulUnit));
  } else {
    EXPECT_TRUE(IsErrorRaised(kIncorrectRibL + ulUnit));
    EXPECT_EQ(s_capture.ulTypeIndex, s_capture.ulTypeIndexBefore) << "the model kept";
  }
  InLoop([] {
    g_ucRibbonControlType = s_ucControlType;
    SelectUnit(0);
  });
}

INSTANTIATE_TEST_SUITE_P(Tapes, RibbonMarkSearch, ::testing::ValuesIn(kMarkTapes),
                         positionertest::CaseName<::testing::TestParamInfo<MarkCase>>);

// ---- the barcode --------------------------------------------------------------------------------

// The samples of one turn of the type's barcode: 5 a width unit.
uint32_t BarcodeSamples(sim::RibbonType type) {
  uint32_t ulUnits = 0;
  for (const uint8_t* p = g_aRibbonTypes[static_cast<uint32_t>(type)].aucBarcodeTemplate; *p != RIBBON_BARCODE_END; ++p) {
    ulUnits += *p;
  }
  return 5 * ulUnits;
}

// Application side: one turn of the barcode read off the slowly winding
// tape, 4 samples per 7 supply counts ('0' on a bar), then decoded on the
// unit's colour-sensor manager.
int32_t ReadBarcode(sim::Machine& machine, uint32_t ulUnit, uint32_t ulSamples) {
  g_ucRibbonControlType = 1;
  SelectUnit(ulUnit);
  std::vector<uint8_t> samples;
  uint32_t ulStart = 0;
  g_pCurSlitRibEncSrc->ReadCount(&ulStart);
  g_pDonorMng->SetRibbonPhase(RIBPH_SLOW_WIND_Y, 1);
  const sim::Nanos limit = machine.Now() + Ms(10000);
  while (samples.size() < ulSamples && machine.Now() < limit) {
    uint32_t ulNow = 0;
    g_pCurSlitRibEncSrc->ReadCount(&ulNow);
    const size_t due = static_cast<size_t>(EncoderDistance(ulStart, ulNow)) * 4 / 7;
    while (samples.size() < due && samples.size() < ulSamples) {
      uint32_t ulBar = 0;
      g_pCurAdBarcode->GetState(&ulBar);
      samples.push_back(ulBar != 0 ? '0' : '1');
    }
  }
  g_pDonorMng->StopRibbon(1, 1);
  EXPECT_EQ(samples.size(), ulSamples);
  return g_pDonorMng->DecodeBarcode(samples.data(), static_cast<uint32_t>(samples.size()));
}

struct BarcodeCase {
  const char* pszName;
  PrintUnit unit;
  sim::RibbonType tape;
  uint32_t ulTypeIndex;  // in the unit's row of colour models
};

const BarcodeCase kBarcodes[] = {
    {"colour_8x10_K1_L", PrintUnit::L, sim::RibbonType::Color8x10K1, 0},
    {"colour_8x12_K1_L", PrintUnit::L, sim::RibbonType::Color8x12K1, 1},
    {"colour_8x10_K2_L", PrintUnit::L, sim::RibbonType::Color8x10K2, 2},
    {"colour_8x12_K2_L", PrintUnit::L, sim::RibbonType::Color8x12K2, 3},
    {"colour_8x12_K2_R", PrintUnit::R, sim::RibbonType::Color8x12K2, 3},
};

class RibbonBarcode : public RibbonSearch, public ::testing::WithParamInterface<BarcodeCase> {};

TEST_P(RibbonBarcode, ReadOffTheTapeSelectsItsType) {
  const BarcodeCase& c = GetParam();
  const uint32_t ulUnit = UnitIndex(c.unit);
  BootWithTape(c.unit, c.tape);
  static int32_t s_lResult;
  static const CRibbonRoll* s_pRoll;
  static uint32_t s_ulTypeIndex, s_ulSamples, s_ulUnit;
  s_ulSamples = BarcodeSamples(c.tape);
  s_ulUnit = ulUnit;
  sim::Machine& machine = *m_machine;
  ASSERT_TRUE(InLoop([&machine] {
    s_lResult = ReadBarcode(machine, s_ulUnit, s_ulSamples);
    s_pRoll = g_pRibbonRoll;
    s_ulTypeIndex = *g_pCurRibbonTypeIndex;
    SelectUnit(0);
  }));
  EXPECT_EQ(s_lResult, 0);
  CRibbonRoll* const* apRow = ulUnit == 0 ? g_apRibbonRollColorL : g_apRibbonRollColorR;
  EXPECT_EQ(s_pRoll, apRow[c.ulTypeIndex]);
  EXPECT_EQ(s_ulTypeIndex, c.ulTypeIndex);
  EXPECT_FALSE(IsErrorRaised(kIncorrectRibL + ulUnit));
}

INSTANTIATE_TEST_SUITE_P(Tapes, RibbonBarcode, ::testing::ValuesIn(kBarcodes),
                         positionertest::CaseName<::testing::TestParamInfo<BarcodeCase>>);

// ---- fault switches -----------------------------------------------------------------------------

enum class Switch {
  RibbonEnd,         // the supply down to its leader
  BlueLedFailed,     // the unit's blue colour LED
  ForeignBarcode,    // a mark tape's barcode read on the colour-sensor row
  MarkSensor1Stuck,  // mark sensor 1 stuck clear on a mark tape
};

struct FaultCase {
  const char* pszName;
  PrintUnit unit;
  Switch sw;
  uint32_t ulPhase;  // of the colour search
  uint32_t ulStart;  // the panel under the colour sensor, its colour step
  // Unit L's error index and line; unit R has the next index.
  uint32_t ulIndexL;
  const char* pszLineL;
  uint8_t ucDetailL;  // the host status's error detail
};

constexpr const char* kRibbonEmptyLine = "Ribbon Empty ";
constexpr const char* kIncorrectRibLine = "Incorrect Rib ";

const FaultCase kFaults[] = {
    // At the leader the sensor reads the overcoat's levels: the search for
    // a colour panel runs into the core and stalls.
    {"end_during_the_Y_search_L", PrintUnit::L, Switch::RibbonEnd, RIBPH_WIND_Y, 3, kRibbonEmptyL, kRibbonEmptyLine, 0x0A},
    {"end_during_the_M_search_L", PrintUnit::L, Switch::RibbonEnd, RIBPH_WIND_M, 3, kRibbonEmptyL, kRibbonEmptyLine, 0x0A},
    {"end_during_the_C_search_L", PrintUnit::L, Switch::RibbonEnd, RIBPH_SLOW_WIND_C, 3, kRibbonEmptyL, kRibbonEmptyLine,
     0x0A},
    {"end_during_the_Y_search_R", PrintUnit::R, Switch::RibbonEnd, RIBPH_SLOW_WIND_Y, 3, kRibbonEmptyL, kRibbonEmptyLine,
     0x0A},
    // Yellow never shows without blue light: the 3800-count limit.
    {"blue_LED_failed_L", PrintUnit::L, Switch::BlueLedFailed, RIBPH_WIND_Y, 1, kRibbonEmptyL, kRibbonEmptyLine, 0x0A},
    {"blue_LED_failed_R", PrintUnit::R, Switch::BlueLedFailed, RIBPH_WIND_Y, 1, kRibbonEmptyL, kRibbonEmptyLine, 0x0A},
    {"foreign_barcode_L", PrintUnit::L, Switch::ForeignBarcode, 0, 0, kIncorrectRibL, kIncorrectRibLine, 0x08},
    {"foreign_barcode_R", PrintUnit::R, Switch::ForeignBarcode, 0, 0, kIncorrectRibL, kIncorrectRibLine, 0x08},
    {"mark_sensor_1_stuck_L", PrintUnit::L, Switch::MarkSensor1Stuck, 0, 0, kIncorrectRibL, kIncorrectRibLine, 0x08},
};

class RibbonSearchFaults : public RibbonSearch, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(RibbonSearchFaults, RaiseTheUnitsErrorAndEndInTheNoRibbonState) {
  const FaultCase& c = GetParam();
  const uint32_t ulUnit = UnitIndex(c.unit);
  const uint32_t ulIndex = c.ulIndexL + ulUnit;
  const std::string line = std::string(c.pszLineL) + (ulUnit == 0 ? "L" : "R") + (c.ulIndexL == kRibbonEmptyL ? "  " : " ");
  const std::string suffix = ulUnit == 0 ? "L" : "R";
  const bool bMarkTape = c.sw == Switch::ForeignBarcode || c.sw == Switch::MarkSensor1Stuck;
  BootWithTape(c.unit, bMarkTape ? sim::RibbonType::Mark8x10 : sim::MachineOptions::kDefaultRibbon.type);
  static int32_t s_lResult;
  static Search s_search;
  static uint32_t s_ulUnit, s_ulPhase, s_ulStart;
  s_ulUnit = ulUnit;
  s_ulPhase = c.ulPhase;
  s_ulStart = c.ulStart;
  sim::Machine& machine = *m_machine;
  switch (c.sw) {
    case Switch::RibbonEnd:
    case Switch::BlueLedFailed:
      if (c.sw == Switch::RibbonEnd) {
        m_machine->MechanismFaults().SetRibbonFault(c.unit, sim::RibbonFault::End, true);
      } else {
        PlaceColorSensor(c.unit, kPanelOf[c.ulStart], 100);
        Mechanism().SetColorLedFailed(3 + 3 * ulUnit, true);
      }
      ASSERT_TRUE(InLoop([this] {
        SelectUnit(s_ulUnit);
        g_pRibbonRoll->SetPanelIndex(s_ulStart);
        s_search = RunSearch(s_ulUnit == 0 ? PrintUnit::L : PrintUnit::R, s_ulPhase);
        g_pDonorMng->GetEdgeCount(&s_search.ulEdge);
        SelectUnit(0);
      }));
      s_lResult = s_search.lResult;
      EXPECT_FALSE(s_search.bFound);
      break;
    case Switch::ForeignBarcode:
          ASSERT_TRUE(InLoop([&machine] {
        s_lResult = ReadBarcode(machine, s_ulUnit, BarcodeSamples(sim::RibbonType::Mark8x10));
        SelectUnit(0);
      }));
      break;
    case Switch::MarkSensor1Stuck:
      Ribbons().SetMarkSensorStuck(c.unit, 0, true, false);
      Ribbons().PlaceTape(c.unit, Panel::Overcoat, 1000);
      ASSERT_TRUE(InLoop([] {
        const uint8_t ucControlType = g_ucRibbonControlType;
        const Capture capture = CaptureMarks(s_ulUnit);
        s_lResult = capture.lFind != 0 ? capture.lFind : capture.lIdentify;
        g_ucRibbonControlType = ucControlType;
        SelectUnit(0);
      }));
      break;
  }
  EXPECT_EQ(s_lResult, -1);
  if (c.sw == Switch::RibbonEnd || c.sw == Switch::BlueLedFailed) {
    // Whichever came first: 3800 counts past the last edge, or 4000 ms
    // after the supply stopped at its core.
    const std::vector<sim::MechanismEvent> core = Mechanism().Trace().Of("RibbonCore" + suffix);
    const Sample& last = s_search.samples.back();
    if (!core.empty() && core.front().at < s_search.endedAt) {
      EXPECT_EQ(c.sw, Switch::RibbonEnd);
      EXPECT_NEAR(static_cast<double>(s_search.endedAt - core.front().at) / sim::kNsPerMs, 4000, 3);
      EXPECT_LE(EncoderDistance(s_search.ulEdge, last.ulCount), CDonorMng_ColorSen::kEmptyCounts);
    } else {
      EXPECT_EQ(c.sw, Switch::BlueLedFailed);
      EXPECT_GT(EncoderDistance(s_search.ulEdge, last.ulCount), CDonorMng_ColorSen::kEmptyCounts);
      EXPECT_LE(EncoderDistance(s_search.ulEdge, last.ulCount), CDonorMng_ColorSen::kEmptyCounts + 3);
    }
  }
  EXPECT_TRUE(IsErrorRaised(ulIndex));
  EXPECT_FALSE(IsErrorRaised(c.ulIndexL + (1 - ulUnit))) << "the other unit's index";

  // Everything stopped; the printer in the no-ribbon state.
  m_machine->RunFor(Ms(100));
  EXPECT_EQ(Ribbon(c.unit).Motion(), 0u);
  EXPECT_FALSE(Ribbon(c.unit).Inputs().bClutch);
  ASSERT_TRUE(RunUntilShown(&g_EventMngNoRibbon, line)) << Lcd().Visible();
  EXPECT_TRUE(Leds().IsOn(sim::PanelLed::Error));
  const protocol::ReplyHeader h = Status();
  EXPECT_EQ(h.printerState, protocol::PRINTER_STATE_ERROR);
  EXPECT_EQ(h.errorClass, 0x06);
  EXPECT_EQ(h.errorDetail, c.ucDetailL + ulUnit);
}

INSTANTIATE_TEST_SUITE_P(Switches, RibbonSearchFaults, ::testing::ValuesIn(kFaults),
                         positionertest::CaseName<::testing::TestParamInfo<FaultCase>>);

}  // namespace
