// The roll-edge search: its arithmetic as tables, and the sub-sequences on a
// booted printer with the "RollEdge" samples, the roll encoder and the sub
// stepper's countdown scripted (the board's sub stepper turns, the script
// decides what the sequence sees).
#include "firmware/sequences/roll_edge.h"

#include <gtest/gtest.h>

#include <vector>

#include "firmware/control/panel_test_rig.h"
#include "firmware/sequences/sequence_words.h"

namespace paneltest {
namespace {

TEST(RollEdgeSpans, AreTruncatedFromTheDoubleProduct) {
  InitRollEdgeSpans();
  EXPECT_EQ(g_ulRollEncSpanQuarter, 42u);
  EXPECT_EQ(g_ulRollEncSpan, 171u);
  EXPECT_EQ(g_ulRollEncSpanDouble, 342u);
  EXPECT_EQ(g_ulRollEncSpanLong, 180u);
}

TEST(RollEdgeBudgets, AreTheStepsOfTheirRuns) {
  InitRollEdgeSpans();
  EXPECT_EQ(ROLL_EDGE_CALIBRATE_BUDGET, 12520u);
  EXPECT_EQ(ROLL_EDGE_SEARCH_BUDGET, 50096u);
  EXPECT_EQ(RollEdgeLoadBarBudget(), 33932u);
  struct Case {
    uint32_t counts, mode, budget;
  };
  // 6262 / 171 x 342 is 12524.000000000002 in double precision.
  for (const Case c : {Case{30, 1, 2196}, Case{30, 2, 4392}, Case{30, 3, 8784}, Case{342, 1, 25048},
                       Case{342, 2, 50096}, Case{342, 3, 100192}}) {
    EXPECT_EQ(RollFeedBudget(c.counts, c.mode), c.budget) << c.counts << " counts, mode " << c.mode;
  }
}

TEST(RollEdgeDiagLevels, AreZeroWhileNoCalibrationSetTheThreshold) {
  // An uncalibrated threshold (0) would wrap to 227 through (0 - 114) >> 2.
  EXPECT_EQ(RollEdgeDiagLevel(0), 0u);
  EXPECT_EQ(RollEdgeDiagLevel(908 + ROLL_EDGE_MARGIN), 227u);
  EXPECT_EQ(RollEdgeDiagLevel(114 + ROLL_EDGE_MARGIN), 28u);
}

// The script: samples in order (the last one repeated); the encoder
// advances countsPerSample / samplesPerCount with each sample and
// countsPerRead with each read; every sample costs stepsPerSample steps.
// A check is a run of samples not interrupted by an encoder read; from
// check `edgeAtCheck` on every sample reads 1023.
struct Script {
  std::vector<uint32_t> samples;
  uint32_t countsPerSample = 1, samplesPerCount = 1, countsPerRead = 0, stepsPerSample = 0;
  uint32_t edgeAtCheck = 0;
  // Progress.
  uint32_t taken = 0, reads = 0, checks = 0;
  bool lastWasRead = true;
};
Script g_script;

int32_t ScriptSample(uint32_t* pulRaw) {
  Script& s = g_script;
  if (s.lastWasRead) ++s.checks;
  s.lastWasRead = false;
  const size_t i = s.taken < s.samples.size() ? s.taken : s.samples.size() - 1;
  *pulRaw = s.edgeAtCheck != 0 && s.checks >= s.edgeAtCheck ? 1023 : s.samples[i];
  ++s.taken;
  return 0;
}
uint32_t ScriptEncoder() {
  Script& s = g_script;
  s.lastWasRead = true;
  ++s.reads;
  return (s.taken * s.countsPerSample / s.samplesPerCount + s.reads * s.countsPerRead) & 0xFFFF;
}
uint32_t ScriptCountdown() { return 0xFFFFFFFFu - g_script.taken * g_script.stepsPerSample; }
const RollEdgeInputs kScripted = {ScriptSample, ScriptEncoder, ScriptCountdown};

class RollEdge : public PanelTest {
 protected:
  void SetUp() override {
    PanelTest::SetUp();
    InitRollEdgeSpans();
    g_pRollEdgeInputs = &kScripted;
  }
  void TearDown() override {
    g_pRollEdgeInputs = &g_BoardRollEdgeInputs;
    PanelTest::TearDown();
  }
};

struct CalibrationCase {
  const char* name;
  Script script;
  int32_t result;
  uint32_t threshold;  // 7 when unchanged
};

const std::vector<CalibrationCase> kCalibrations = {
    {"lowest trimmed mean 908: threshold 1022", {{908}}, 0, 1022},
    {"lowest trimmed mean 909 fails", {{909}}, -1, 7},
    {"highest and lowest of a group are dropped", {{0, 1023, 908, 908, 908, 1000}}, 0, 1022},
    {"the lowest group wins", {{1000, 1000, 1000, 1000, 1000, 500, 500, 500, 500, 500, 1000}}, 0, 614},
    // 0, 11, 22, 33, 44 counts before the five samples: the fifth is not taken.
    {"encoder past 42 counts before the first group", {{100}, 11, 1}, -1, 7},
    {"first group at exactly 40 counts", {{100}, 10, 1}, 0, 214},
    {"over 12520 steps", {{100}, 1, 100, 0, 12521}, -1, 7},
};

class RollEdgeCalibration : public RollEdge, public ::testing::WithParamInterface<CalibrationCase> {};

TEST_P(RollEdgeCalibration, TakesTheLowestTrimmedMeanOfFiveSamples) {
  const CalibrationCase& c = GetParam();
  g_script = c.script;
  static int32_t s_lResult;
  static uint32_t s_ulThreshold;
  s_ulThreshold = 7;
  InApp([] { s_lResult = CalibrateRollEdgeLevel(&s_ulThreshold, 0); });
  EXPECT_EQ(s_lResult, c.result);
  EXPECT_EQ(s_ulThreshold, c.threshold);
}

INSTANTIATE_TEST_SUITE_P(Cases, RollEdgeCalibration, ::testing::ValuesIn(kCalibrations));

struct SearchCase {
  const char* name;
  Script script;
  int32_t result;
  uint32_t notFound;
};

const std::vector<SearchCase> kSearches = {
    {"four high samples in a row", {{100, 100, 900, 900, 100, 900, 900, 900, 900}}, 0, 0},
    {"no edge within 171 counts", {{100}}, 0, 1},
    {"three in a row are not enough", {{900, 900, 900, 100}}, 0, 1},
    {"over 50096 steps", {{100}, 1, 100, 0, 50097}, -1, 1},
};

class RollEdgeSearch : public RollEdge, public ::testing::WithParamInterface<SearchCase> {};

TEST_P(RollEdgeSearch, FindsTheEdgeAboveThreshold1) {
  const SearchCase& c = GetParam();
  g_script = c.script;
  g_ulRollEdgeThresh1 = 500;
  static int32_t s_lResult;
  static uint32_t s_ulNotFound;
  s_ulNotFound = 7;
  InApp([] { s_lResult = SearchRollEdge(&s_ulNotFound, 0); });
  EXPECT_EQ(s_lResult, c.result);
  EXPECT_EQ(s_ulNotFound, c.notFound);
}

INSTANTIATE_TEST_SUITE_P(Cases, RollEdgeSearch, ::testing::ValuesIn(kSearches));

struct AlignCase {
  const char* name;
  uint32_t mode;
  uint32_t edgeAtCheck;
  int32_t result;
  uint32_t checks;
};

const std::vector<AlignCase> kAligns = {
    {"mode 2 found at once", 2, 1, 0, 1},
    {"mode 2 does not retry", 2, 2, -1, 1},
    {"mode 1 found at the 20th check", 1, 20, 0, 20},
    {"mode 1 gives up after the 20th check", 1, 21, -1, 20},
};

class RollEdgeAlign : public RollEdge, public ::testing::WithParamInterface<AlignCase> {};

TEST_P(RollEdgeAlign, ChecksTheEdgeAfterEachFeed) {
  const AlignCase& c = GetParam();
  Script script;
  script.samples = {100};
  script.countsPerSample = 0;
  script.countsPerRead = 1;
  script.edgeAtCheck = c.edgeAtCheck;
  g_script = script;
  g_ulRollEdgeThresh2 = 500;
  static int32_t s_lResult;
  static uint32_t s_ulMode;
  s_ulMode = c.mode;
  InApp([] { s_lResult = AlignRollEdge(s_ulMode, 0); }, Ms(60000));
  EXPECT_EQ(s_lResult, c.result);
  EXPECT_EQ(g_script.checks, c.checks);
}

INSTANTIATE_TEST_SUITE_P(Cases, RollEdgeAlign, ::testing::ValuesIn(kAligns));

TEST_F(RollEdge, TheHighestSampleGoesToDiagnosisByte42AlsoAfterAFailure) {
  Script script;
  script.samples = {100, 1000, 300};
  script.stepsPerSample = 30000;  // over 50096 steps at the third sample
  g_script = script;
  static int32_t s_lResult;
  InApp([] { s_lResult = MeasureRollEdgeMax(0); });
  EXPECT_EQ(s_lResult, -1);
  EXPECT_EQ(g_ucDiagResults[DIAG_ROLL_EDGE_PEAK], 250u);
}

}  // namespace
}  // namespace paneltest
