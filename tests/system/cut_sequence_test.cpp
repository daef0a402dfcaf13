// The cut and eject sequence and the end-of-job parking on a printer whose
// main loop runs them, the paper web moving and cut under them: as many cut
// sheets as cut positions, each the length between its cuts (a long one in
// moves of at most 1800 lines), the "Cut" counter and the copy counted; the
// parking back past the top sensor of both engine variants, and the jam
// when the sensor never clears.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "firmware/control/engine_variant.h"
#include "firmware/control/error_manager.h"
#include "firmware/control/event_set.h"
#include "firmware/control/host_status_table.h"
#include "firmware/devices/life_counters.h"
#include "firmware/devices/paper_position.h"
#include "firmware/mechanism/paper_moves.h"
#include "firmware/mechanism/simple_positioners.h"
#include "firmware/mechanism/step_machine.h"
#include "firmware/printengine/cut_sequence.h"
#include "firmware/printengine/job_queue_test_support.h"
#include "firmware/printengine/print_line.h"
#include "firmware/printengine/print_support.h"
#include "firmware/sequences/sequence_words.h"
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
int32_t CutAJob(const std::vector<uint16_t>& cuts, uint32_t ulPathChanged = 0) {
  g_PrintJobQueue.CancelJobs(0, 0);
  PrintJobRecord* pJob = jobtest::MakeInternalJob(1, 1);
  if (pJob == nullptr) return 99;
  pJob->ucCutCount = static_cast<uint8_t>(cuts.size());
  for (size_t i = 0; i < cuts.size(); ++i) pJob->ausCutPositions[i] = cuts[i];
  g_PaperPosition.SetCurrentPoint(PAPER_AT_POSITION_SENSOR);
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
};

TEST_F(CutSequence, EveryCutPositionGivesASheetOfItsDistance) {
  const std::vector<CutCase> cases = {
      {"size 7", {19, 1189}},
      {"size 6: 3600 lines in two moves", {12, 3612}},
      {"1801 lines: 1800 and 1", {0, 1801}},
      {"1800 lines in one move", {0, 1800}},
      {"layout 16", LayoutCuts(16)},
      {"one cut position: that cut only", {40}},
  };
  for (const CutCase& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_FALSE(c.cuts.empty());
    const size_t sheets = Web().Sheets().size();
    const uint32_t ulCuts = CutCounter();
    EXPECT_EQ(Run([&] { return CutAJob(c.cuts); }, Ms(120000)), 0);
    ASSERT_EQ(Web().Sheets().size(), sheets + c.cuts.size());
    for (size_t i = 1; i < c.cuts.size(); ++i) {
      EXPECT_NEAR(Web().Sheets()[sheets + i].lines, c.cuts[i] - c.cuts[i - 1], 1.0) << i;
    }
    EXPECT_EQ(CutCounter(), ulCuts + c.cuts.size());
    EXPECT_EQ(GetStatusItem(SI_PRINTER_STATE), c.cuts.size() >= 2 ? 0x6Bu : 0x6Au);
    EXPECT_EQ(EjectPinchPosition(), 1u) << "up at the end";
    EXPECT_EQ(jobtest::ActiveJobs(), 0u) << "the copy counted, the job retired";
  }
}

TEST_F(CutSequence, AfterAPathChangeThePaperIsFedToThePositionSensorFirst) {
  const size_t sheets = Web().Sheets().size();
  EXPECT_EQ(Run([] { return CutAJob({19, 1189}, 1); }, Ms(120000)), 0);
  EXPECT_EQ(Web().Sheets().size(), sheets + 2);
  EXPECT_NEAR(Web().Sheets().back().lines, 1170, 1.0);
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
  uint32_t ulCounter = 0;
  InLoop([&] { g_PaperPosition.GetCurrentPoint(&ulCounter); });
  EXPECT_EQ(ulCounter, g_ulEngPosRefB);
  EXPECT_NEAR(Web().Front(), g_ulEngPosRefB + slackFeed, 1.0);
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
