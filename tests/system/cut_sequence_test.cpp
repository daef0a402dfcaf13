// The cut and eject sequence and the end-of-job parking on a printer whose
// main loop runs them, the paper web moving and cut under them: as many cut
// sheets as cut positions, each the length between its cuts (a long one in
// moves of at most 1800 lines), the "Cut" counter and the copy counted; the
// parking back past the top sensor of both engine variants, and the jam
// when the sensor never clears.
#include <gtest/gtest.h>

#include <algorithm>

#include <string>
#include <vector>

#include "firmware/control/engine_variant.h"
#include "firmware/mechanism/main_pinch.h"
#include "firmware/mechanism/feed_pinch.h"
#include "firmware/control/error_manager.h"
#include "firmware/control/event_set.h"
#include "firmware/control/host_status_table.h"
#include "firmware/devices/life_counters.h"
#include "firmware/devices/paper_position.h"
#include "firmware/mechanism/paper_moves.h"
#include "firmware/mechanism/roll_encoder_checks.h"
#include "firmware/mechanism/positioner.h"
#include "firmware/mechanism/simple_positioners.h"
#include "firmware/mechanism/step_machine.h"
#include "firmware/printengine/cut_sequence.h"
#include "firmware/printengine/job_queue_test_support.h"
#include "firmware/printengine/plane_sequencer.h"
#include "firmware/printengine/print_geometry.h"
#include "firmware/printengine/print_line.h"
#include "firmware/printengine/print_support.h"
#include "firmware/sequences/sequence_words.h"
#include "sim/fpga/fpga_main_block.h"
#include "sim/mechanism/mechanism_trace.h"
#include "sim/mechanism/paper_web.h"
#include "tests/support/paper_web.h"

namespace {

using paperwebtest::PaperWebPrinter;
using testsupport::Ms;

constexpr uint32_t kMask = SEQ_CHECK_COVERS;

uint32_t CutCounter() {
  uint32_t ulValue = 0;
  g_CounterCut.GetValue(&ulValue);
  return ulValue;
}

// In the loop, so that no idle pass takes the job first: one job of one
// copy as the only job, its cut positions those given, the paper where a
// print leaves it (at the position sensor); then the cut sequence.
int32_t CutAJob(const std::vector<uint16_t>& cuts, uint32_t ulPathChanged = 0,
               uint32_t ulPaperLine = PAPER_AT_POSITION_SENSOR) {
  g_PrintJobQueue.CancelJobs(0, 0);
  PrintJobRecord* pJob = jobtest::MakeInternalJob(1, 1);
  if (pJob == nullptr) return 99;
  pJob->ucCutCount = static_cast<uint8_t>(cuts.size());
  for (size_t i = 0; i < cuts.size(); ++i) pJob->ausCutPositions[i] = cuts[i];
  g_PaperPosition.SetCurrentPoint(ulPaperLine);
  g_ulPathChanged = ulPathChanged;
  return CutSheetSequence(kMask);
}

class CutSequence : public PaperWebPrinter {
 protected:
  void SetUp() override { BootOnTheWeb(sim::EngineVariant::EM3); }
  uint32_t EjectPinchPosition() {
    uint32_t ulPosition = 0;
    InLoop([&] { g_EjectPinch.GetPosition(&ulPosition); });
    return ulPosition;
  }
};

// The cut positions of the multi-up layout of three pictures.
std::vector<uint16_t> LayoutCuts(uint32_t ulId) {
  for (const PrintSizeRecord& r : g_PrintSizeTable) {
    if (r.ulSizeId != ulId) continue;
    return std::vector<uint16_t>(r.aulCutPositions, r.aulCutPositions + r.ulCutCount);
  }
  return {};
}

struct CutCase {
  const char* name;
  std::vector<uint16_t> cuts;
  std::vector<uint32_t> moves;  // lines of each move between the first cut and the last
};

// What a cut run showed: the main stepper's runs (pulses, split where it
// stood more than 3 ms), the eject pinch's position at the start of each
// run and at each cutter crossing, and the printer states in turn.
struct CutRun {
  int32_t lResult = 9;
  std::vector<size_t> runs;
  std::vector<uint32_t> ejectAtRuns;
  std::vector<uint32_t> ejectAtCuts;
  std::vector<uint32_t> states;
};

TEST_F(CutSequence, EveryCutPositionGivesASheetOfItsDistance) {
  const std::vector<CutCase> cases = {
      {"1800 lines in one move", {0, 1800}, {1800}},
      {"size 7", {19, 1189}, {1170}},
      {"size 6: 3600 lines in two moves", {12, 3612}, {1800, 1800}},
      {"1801 lines: 1800 and 1", {0, 1801}, {1800, 1}},
      {"layout 16", LayoutCuts(16), {1170, 38, 1170, 38, 1170}},
      {"one cut position: that cut only", {40}, {}},
  };
  sim::FpgaMainBlock& fpga = *m_machine->GetBoard().FindDevice<sim::FpgaMainBlock>();
  // The observer outlives the test body: what it writes lives as long.
  static CutRun run;
  static sim::Nanos lastPulse = 0;
  fpga.AddPulseObserver(0, [&fpga] {
    const sim::Nanos at = fpga.LastPulseTime(0);
    if (run.runs.empty() || at - lastPulse > Ms(3)) {
      run.runs.push_back(0);
      uint32_t ulEject = 0;
      g_EjectPinch.GetPosition(&ulEject);
      run.ejectAtRuns.push_back(ulEject);
    }
    ++run.runs.back();
    lastPulse = at;
  });
  double pulsesPerLine = 0;
  for (const CutCase& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_FALSE(c.cuts.empty());
    const size_t sheets = Web().Sheets().size();
    const uint32_t ulCuts = CutCounter();
    run = CutRun{};
    uint32_t ulSideLength = 0, ulPlaneState = 9;
    bool bDone = false;
    m_machine->AtNextPass([&] {
      // Side 0's tracking lengths, from which the sheet's feed is taken.
      g_TrackCorrect.PushLength(0, 100000, 2);
      g_PlaneSequencer.SetState(1);
      run.lResult = CutAJob(c.cuts);
      uint32_t aulLengths[3] = {};
      g_TrackCorrect.GetLengths(0, aulLengths);
      ulSideLength = aulLengths[0];
      g_PlaneSequencer.GetState(&ulPlaneState);
      bDone = true;
    });
    const sim::Nanos since = m_machine->Now();
    size_t seenEvents = Mechanism().Trace().Events().size();
    m_machine->RunUntil([&] {
      const auto& events = Mechanism().Trace().Events();
      for (; seenEvents < events.size(); ++seenEvents) {
        if (events[seenEvents].at < since || events[seenEvents].kind != sim::MechanismEventKind::CrossingStart) continue;
        uint32_t ulEject = 0;
        g_EjectPinch.GetPosition(&ulEject);
        run.ejectAtCuts.push_back(ulEject);
      }
      const uint32_t ulState = GetStatusItem(SI_PRINTER_STATE);
      if (run.states.empty() || run.states.back() != ulState) run.states.push_back(ulState);
      return bDone;
    }, Ms(120000));
    ASSERT_TRUE(bDone);
    EXPECT_EQ(run.lResult, 0);
    ASSERT_EQ(Web().Sheets().size(), sheets + c.cuts.size());
    uint32_t ulSum = 0;
    for (size_t i = 1; i < c.cuts.size(); ++i) {
      EXPECT_NEAR(Web().Sheets()[sheets + i].lines, c.cuts[i] - c.cuts[i - 1], 1.0) << i;
      ulSum += c.cuts[i] - c.cuts[i - 1];
    }
    EXPECT_EQ(CutCounter(), ulCuts + c.cuts.size());
    // The back-feed to the first cut, the moves between the cuts, the
    // sheet's eject.
    ASSERT_EQ(run.runs.size(), c.moves.size() + 2);
    if (pulsesPerLine == 0) pulsesPerLine = static_cast<double>(run.runs[1]) / c.moves[0];
    for (size_t i = 0; i < c.moves.size(); ++i) {
      EXPECT_NEAR(run.runs[i + 1] / pulsesPerLine, c.moves[i], 0.5) << "move " << i;
    }
    EXPECT_EQ(run.ejectAtRuns, std::vector<uint32_t>(run.runs.size(), EJECT_PINCH_FDOWN)) << "FDown for every move";
    EXPECT_EQ(run.ejectAtCuts, std::vector<uint32_t>(c.cuts.size(), EJECT_PINCH_CDOWN)) << "CDown for every cut";
    EXPECT_EQ(EjectPinchPosition(), EJECT_PINCH_UP) << "up at the end";
    const std::vector<uint32_t> states =
        c.cuts.size() >= 2 ? std::vector<uint32_t>{0x6A, 0x6B} : std::vector<uint32_t>{0x6A};
    EXPECT_EQ(std::vector<uint32_t>(run.states.end() - static_cast<std::ptrdiff_t>(states.size()), run.states.end()), states);
    // The sheet's feed: the cut distances and the colour tail lines.
    EXPECT_EQ(ulSideLength, 100000u - ulSum - g_PrintSizeTable[0].ulColourTailLines);
    EXPECT_EQ(jobtest::ActiveJobs(), 0u) << "the copy counted, the job retired";
    EXPECT_EQ(ulPlaneState, 0u) << "no copy left: the plane sequencer idle";
  }
}

TEST_F(CutSequence, OneSheetCountsOneCopy) {
  uint32_t ulPrinted = 0, ulLeft = 0, ulPlaneState = 0;
  ASSERT_TRUE(InLoop([&] {
    g_PrintJobQueue.CancelJobs(0, 0);
    PrintJobRecord* pJob = jobtest::MakeInternalJob(2, 1);
    ASSERT_NE(pJob, nullptr);
    pJob->ucCutCount = 2;
    pJob->ausCutPositions[0] = 19;
    pJob->ausCutPositions[1] = 1189;
    g_PaperPosition.SetCurrentPoint(PAPER_AT_POSITION_SENSOR);
    g_ulPathChanged = 0;
    g_PlaneSequencer.SetState(1);
    EXPECT_EQ(CutSheetSequence(kMask), 0);
    ulPrinted = pJob->usCopiesPrinted;
    ulLeft = pJob->usCopiesLeft;
    g_PlaneSequencer.GetState(&ulPlaneState);
    g_PrintJobQueue.CancelJobs(0, 0);
  }, Ms(120000)));
  EXPECT_EQ(ulPrinted, 1u);
  EXPECT_EQ(ulLeft, 1u);
  EXPECT_EQ(ulPlaneState, 1u) << "a copy left: the plane sequencer as it was";
}

TEST_F(CutSequence, AfterAPathChangeThePaperIsFedToThePositionSensorFirst) {
  const size_t sheets = Web().Sheets().size();
  EXPECT_EQ(Run([] { return CutAJob({19, 1189}, 1); }, Ms(120000)), 0);
  EXPECT_EQ(Web().Sheets().size(), sheets + 2);
  EXPECT_NEAR(Web().Sheets().back().lines, 1170, 1.0);
}

// After a path change the paper stands short of the position sensor; when
// it slips, the feed to the sensor never sees it: upper jam 63.
TEST_F(CutSequence, AfterAPathChangeAPaperThatSlipsIsUpperJam63) {
  ASSERT_EQ(Run([] { return MovePaperBy(-300, 1, 1, 14, 20, kMask); }), 0);
  WebDevice().SetFault(sim::WebFault::PaperJammed, true);
  const size_t sheets = Web().Sheets().size();
  EXPECT_EQ(Run([] { return CutAJob({19, 1189}, 1, PAPER_AT_POSITION_SENSOR - 300); }, Ms(120000)), -1);
  WebDevice().SetFault(sim::WebFault::PaperJammed, false);
  EXPECT_TRUE(IsErrorRaised(0x153F));
  EXPECT_EQ(Web().Sheets().size(), sheets) << "nothing cut";
  EXPECT_EQ(jobtest::ActiveJobs(), 1u) << "no copy counted";
}

// A paper end already pending when the paper reaches the first cut: the
// cut still happens near the roll's end, and the sheet ends after it;
// without the near zone nothing is cut.
TEST_F(CutSequence, APaperEndAtTheFirstCutCutsOnlyNearTheRollsEnd) {
  for (uint32_t ulNear : {1u, 0u}) {
    SCOPED_TRACE(ulNear);
    const size_t sheets = Web().Sheets().size();
    const uint32_t ulCuts = CutCounter();
    uint32_t ulNearAfter = 9;
    EXPECT_EQ(Run([&] {
                g_pCurEventMng->SetEvent(EV_PAPER_END);
                g_ulPaperInNearZone = ulNear;
                const int32_t lResult = CutAJob({19, 1189, 2359});
                ulNearAfter = g_ulPaperInNearZone;
                g_pCurEventMng->ClearEvent(EV_PAPER_END);
                return lResult;
              }, Ms(120000)),
              0);
    EXPECT_EQ(Web().Sheets().size(), sheets + ulNear);
    EXPECT_EQ(CutCounter(), ulCuts + ulNear);
    EXPECT_EQ(ulNearAfter, 0u);
    EXPECT_EQ(jobtest::ActiveJobs(), 1u) << "no copy counted";
    InLoop([] { g_PrintJobQueue.CancelJobs(0, 0); });
  }
}

// The roll lets go of the web during the first move between cuts, so the
// paper-empty sensor sees the web's tail 600 lines later. Near the end of
// the move (the near zone) the next cut still happens and the rest are
// given up; earlier the sheet ends without that cut. No copy is counted.
struct BetweenCutsCase {
  const char* name;
  uint32_t detachAfterLines;  // into the move of 1170 lines
  size_t cuts;
};
const BetweenCutsCase kBetweenCuts[] = {
    {"near", 300, 2},      // the tail seen 270 lines before the cut
    {"not_near", 50, 1},   // 520 lines before it
};

class PaperEndBetweenCuts : public CutSequence, public ::testing::WithParamInterface<BetweenCutsCase> {};

TEST_P(PaperEndBetweenCuts, CutsOnceMoreOnlyNearTheRollsEnd) {
  const BetweenCutsCase& c = GetParam();
  sim::FpgaMainBlock& fpga = *m_machine->GetBoard().FindDevice<sim::FpgaMainBlock>();
  // The observer outlives the test body: what it reads lives as long.
  static uint32_t s_ulDetachAt = 0;
  static uint32_t s_ulRun = 0, s_ulPulses = 0;
  static sim::Nanos s_last = 0;
  static sim::PaperWebMechanism* s_pWeb = nullptr;
  s_pWeb = &WebDevice();
  fpga.AddPulseObserver(0, [&fpga] {
    const sim::Nanos at = fpga.LastPulseTime(0);
    if (s_last == 0 || at - s_last > Ms(3)) {
      ++s_ulRun;
      s_ulPulses = 0;
    }
    s_last = at;
    // Run 2 is the first move between cuts, two pulses a line.
    if (++s_ulPulses == 2 * s_ulDetachAt && s_ulRun == 2 && s_pWeb->Web().Attached()) s_pWeb->Detach();
  });
  s_ulDetachAt = c.detachAfterLines;
  const size_t sheets = Web().Sheets().size();
  const uint32_t ulCuts = CutCounter();
  uint32_t ulNearAfter = 9;
  EXPECT_EQ(Run([&] {
    const int32_t lResult = CutAJob({19, 1189, 2359, 3529});
    ulNearAfter = g_ulPaperInNearZone;
    return lResult;
  }, Ms(120000)), 0);
  EXPECT_EQ(Web().Sheets().size(), sheets + c.cuts);
  EXPECT_EQ(CutCounter(), ulCuts + c.cuts);
  EXPECT_EQ(ulNearAfter, 0u);
  EXPECT_EQ(jobtest::ActiveJobs(), 1u) << "no copy counted";
}

INSTANTIATE_TEST_SUITE_P(Cases, PaperEndBetweenCuts, ::testing::ValuesIn(kBetweenCuts),
                         [](const ::testing::TestParamInfo<BetweenCutsCase>& p) { return std::string(p.param.name); });

TEST_F(CutSequence, ABackFeedThatNeverReachesThePositionSensorIsUpperJam63) {
  // The paper 300 lines short of the sensor, and stuck there.
  EXPECT_EQ(Run([] { return MovePaperBy(-300, 1, 1, 14, 20, kMask); }), 0);
  InLoop([] { g_PaperPosition.SetCurrentPoint(PAPER_AT_POSITION_SENSOR - 300); });
  WebDevice().SetFault(sim::WebFault::PaperJammed, true);
  int32_t lResult = 9;
  EXPECT_TRUE(InLoop([&] {
    PrintJobRecord* pJob = nullptr;
    g_PrintJobQueue.GetCurrentJob(&pJob);
    lResult = BackFeedToCutPosition(pJob, kMask);
  }, Ms(60000)));
  EXPECT_EQ(lResult, -1);
  EXPECT_TRUE(IsErrorRaised(0x153F));
  WebDevice().SetFault(sim::WebFault::PaperJammed, false);
}

TEST_F(CutSequence, WithoutAJobNothingMoves) {
  InLoop([] { g_PrintJobQueue.CancelJobs(0, 0); });
  const double front = Web().Front();
  EXPECT_EQ(Run([] { return CutSheetSequence(kMask); }), -1);
  EXPECT_EQ(Web().Front(), front);
}

class EndOfJobParking : public PaperWebPrinter, public ::testing::WithParamInterface<sim::EngineVariant> {
 protected:
  void SetUp() override { BootOnTheWeb(GetParam()); }
  // The web's front each time it stood still since a moment, in lines.
  std::vector<double> FrontStands(sim::Nanos from) {
    std::vector<double> stands;
    for (const sim::MechanismEvent& e : Mechanism().Trace().Events()) {
      if (e.at >= from && e.name == "PaperFront") stands.push_back(e.value / 1000.0);
    }
    return stands;
  }
};

TEST_P(EndOfJobParking, ThePaperRunsBackPastTheTopSensorAndIsParked) {
  InLoop([] { g_PaperPosition.SetCurrentPoint(PAPER_AT_POSITION_SENSOR); });
  const sim::Nanos from = m_machine->Now();
  EXPECT_EQ(Run([] { return g_pfnEndOfJob(kMask); }, Ms(120000)), 0);
  EXPECT_EQ(GetStatusItem(SI_PRINTER_STATE), 0x6Cu);
  EXPECT_FALSE(IsErrorRaised(0x1540));
  // Where the web stood: back at the top sensor, then after the slack
  // take-up, which winds the ribbon with the paper running forward.
  const std::vector<double> stands = FrontStands(from);
  const auto atTop = std::find_if(stands.begin(), stands.end(), [](double f) { return f < sim::PaperWeb::kTop + 1.0; });
  ASSERT_TRUE(atTop != stands.end() && atTop + 1 != stands.end());
  EXPECT_NEAR(*atTop, sim::PaperWeb::kTop, 1.0) << "the run back ends where the top sensor clears";
  const double slackFeed = *(atTop + 1) - *atTop;
  EXPECT_GT(slackFeed, 0.0);
  EXPECT_LE(slackFeed, 197.0);
  // The roll-edge feed re-bases the paper frame as though it had started at
  // the top sensor, so the lines the slack take-up fed before it are not in
  // that frame: the firmware parks at its place on its own counter, and the
  // web stands that many lines further on.
  uint32_t ulCounter = 0, ulFeed = 0, ulMain = 0;
  InLoop([&] {
    g_PaperPosition.GetCurrentPoint(&ulCounter);
    g_pProllFeed->GetPosition(&ulFeed);
    g_pProllMain->GetPosition(&ulMain);
  });
  EXPECT_EQ(ulCounter, g_ulEngPosRefB);
  EXPECT_NEAR(Web().Front(), g_ulEngPosRefB + slackFeed, 1.0);
  // The pinches as each variant leaves them.
  if (GetParam() == sim::EngineVariant::EM2) {
    EXPECT_EQ(ulFeed, PINCH_DOWN_L);
    EXPECT_EQ(ulMain, PINCH_UP);
  } else {
    EXPECT_EQ(ulMain, PINCH_HALF_L);
  }
}

// A roll end latched: the roll-encoder check at the start raises the paper
// end again, and the parking ends there, the paper where it stood (the
// load-pinch path behind it is never reached).
TEST_P(EndOfJobParking, AfterARollEndTheParkingEndsAtThePaperEnd) {
  InLoop([] {
    g_PaperPosition.SetCurrentPoint(PAPER_AT_POSITION_SENSOR);
    g_ulRollEndArmed = 1;
    g_ulRollEndDetected = 1;
  });
  const double front = Web().Front();
  const sim::Nanos from = m_machine->Now();
  bool bPaperEnd = false;
  EXPECT_EQ(Run([&] {
    const int32_t lResult = g_pfnEndOfJob(kMask);
    bPaperEnd = IsEventPending(EV_PAPER_END);
    g_ulRollEndDetected = 0;
    g_ulRollEndArmed = 0;
    return lResult;
  }, Ms(120000)), 0);
  EXPECT_TRUE(bPaperEnd);
  EXPECT_EQ(GetStatusItem(SI_PRINTER_STATE), 0x6Cu);
  EXPECT_NEAR(Web().Front(), front, 0.5);
  for (const sim::MechanismEvent& e : Mechanism().Trace().Events()) {
    EXPECT_FALSE(e.at >= from && e.name == "ClutchLoad") << e.Text();
  }
}

TEST_P(EndOfJobParking, ATopSensorThatNeverClearsIsUpperJam64) {
  WebDevice().SetFault(sim::WebFault::PaperJammed, true);
  EXPECT_EQ(Run([] { return g_pfnEndOfJob(kMask); }, Ms(120000)), -1);
  EXPECT_TRUE(IsErrorRaised(0x1540));
  WebDevice().SetFault(sim::WebFault::PaperJammed, false);
}

INSTANTIATE_TEST_SUITE_P(Variants, EndOfJobParking,
                         ::testing::Values(sim::EngineVariant::EM2, sim::EngineVariant::EM3), webtest::VariantName);

}  // namespace
