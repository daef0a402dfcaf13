// The donor checks' arithmetic and decisions without a ribbon: the panel
// index and phase helpers, the barcode's segment picks and its filter, the
// print-start length, and the panel order found from scripted readings (on
// the quiet rig, so nothing moves unless the test moves it).
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "firmware/control/app_startup.h"
#include "firmware/control/engine_variant.h"
#include "firmware/control/error_manager.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/mechanism/ribbon_roll.h"
#include "firmware/mechanism/ribbon_test_rig.h"
#include "firmware/printengine/print_line.h"
#include "firmware/printengine/print_size.h"
#include "firmware/sequences/donor_check_first.h"
#include "firmware/sequences/donor_check_second.h"
#include "firmware/sequences/sequence_words.h"

namespace ribbontest {
namespace {

// A case's name as a test name: letters and digits, the rest '_'.
std::string TestName(const char* pszName) {
  std::string s = pszName;
  for (char& ch : s) {
    if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
  }
  return s;
}

// ---- panel indexes and phases -------------------------------------------------------------------

TEST(DonorPanelIndex, StepsRoundTheFourPanels) {
  // Rows: index 0..3; columns: delta -2, -1, 0, +1.
  const uint32_t kExpected[4][4] = {{2, 3, 0, 1}, {3, 0, 1, 2}, {0, 1, 2, 3}, {1, 2, 3, 0}};
  for (uint32_t ulIndex = 0; ulIndex < 4; ++ulIndex) {
    for (int32_t lDelta = -2; lDelta <= 1; ++lDelta) {
      uint32_t ulOut = 99;
      EXPECT_EQ(StepPanelIndex(ulIndex, lDelta, &ulOut), 0);
      EXPECT_EQ(ulOut, kExpected[ulIndex][lDelta + 2]) << "index " << ulIndex << " delta " << lDelta;
    }
  }
}

TEST(DonorPanelIndex, GivesEachPanelsPhasesAndLeavesIndex4Alone) {
  struct Row { uint32_t ulIndex, ulForward, ulReverse; };
  const Row kRows[] = {{0, 9, 16}, {1, 11, 17}, {2, 13, 18}, {3, 15, 19}, {4, 77, 77}};
  for (const Row& r : kRows) {
    uint32_t ulForward = 77;
    uint32_t ulReverse = 77;
    EXPECT_EQ(PanelForwardPhase(r.ulIndex, &ulForward), 0);
    EXPECT_EQ(PanelReversePhase(r.ulIndex, &ulReverse), 0);
    EXPECT_EQ(ulForward, r.ulForward) << r.ulIndex;
    EXPECT_EQ(ulReverse, r.ulReverse) << r.ulIndex;
  }
}

// ---- barcode segments and the filter ---------------------------------------------------------------

std::vector<uint8_t> Indexes(uint32_t ulCount) {
  std::vector<uint8_t> v(ulCount);
  for (uint32_t i = 0; i < ulCount; ++i) v[i] = static_cast<uint8_t>(i);
  return v;
}

TEST(BarcodeSegment, PicksSamplesAtOneEighthThreeFifthsAndSoOn) {
  struct Row { uint32_t ulSamples; std::vector<uint8_t> picks; };
  const Row kRows[] = {
      {4, {0, 1, 2, 3}}, {7, {0, 2, 3, 5}}, {50, {5, 18, 30, 43}},
      {3, {}}, {0, {}},  // no pick positions: nothing appended
  };
  for (const Row& r : kRows) {
    const std::vector<uint8_t> samples = Indexes(kBarcodeSampleBytes);
    uint8_t aucBits[8] = {};
    uint32_t ulBits = 0;
    AppendBarcodeSegment(samples.data(), r.ulSamples, aucBits, &ulBits);
    EXPECT_EQ(std::vector<uint8_t>(aucBits, aucBits + ulBits), r.picks) << r.ulSamples << " samples";
  }
}

TEST(BarcodeSegment, StopsCountingAt1024AndOverwritesTheNextPosition) {
  std::vector<uint8_t> bits(kBarcodeBitBytes, 'x');
  uint32_t ulBits = 0;
  const uint8_t kSegments[2][4] = {{'0', '0', '0', '0'}, {'1', '1', '1', '1'}};
  for (uint32_t s = 0; s < 258; ++s) AppendBarcodeSegment(kSegments[s % 2], 4, bits.data(), &ulBits);
  EXPECT_EQ(ulBits, kBarcodeBitLimit);
  EXPECT_EQ(bits[1023], '1');  // segment 255
  EXPECT_EQ(bits[1024], '1');  // every later bit lands here: segment 257's
  EXPECT_EQ(bits[1025], 'x');
}

struct FilterCase {
  const char* name;
  std::string in;
  std::string out;
  int32_t result;
};

class BarcodeFilter : public QuietRibbon, public ::testing::WithParamInterface<FilterCase> {};

TEST_P(BarcodeFilter, MergesShortRunsIntoTheNext) {
  static FilterCase s_case;
  static std::string s_out;
  static int32_t s_lResult;
  static uint32_t s_ulIncorrect;
  s_case = GetParam();
  InApp([] {
    SelectUnit(1);
    std::string bits = s_case.in;
    s_lResult = FilterBarcodeBits(reinterpret_cast<uint8_t*>(bits.data()), static_cast<uint32_t>(bits.size()));
    s_out = bits;
    s_ulIncorrect = IsErrorRaised(g_ulCurErrIncorrectRib) ? 1 : 0;
    g_ErrorMng.ClearError(g_ulCurErrIncorrectRib);
    SelectUnit(0);
  });
  EXPECT_EQ(s_lResult, GetParam().result);
  EXPECT_EQ(s_out, GetParam().out);
  EXPECT_EQ(s_ulIncorrect, GetParam().result != 0 ? 1u : 0u) << "unit R's Incorrect Rib";
}

const FilterCase kFilterCases[] = {
    {"clean", "000111000111", "000111000111", 0},
    {"a run of one", "0001000111", "0000000111", 0},
    {"a run of two", "00011000111", "00000000111", 0},
    // Each short run takes the level of the sample after it.
    {"two short runs in a row", "000101111", "000001111", 0},
    {"a short run at the start", "10001111000", "00001111000", 0},
    {"a short run across the wrap", "100011110001", "000011110000", 0},
    {"a run of three joined across the wrap", "10001111", "10001111", 0},
    {"a short run ending the buffer", "0001110", "0001110", 0},
    {"no run of three", "0011001100", "0011001100", -1},
    {"too few bits", "00", "00", -1},
    {"no bits", "", "", -1},
};
INSTANTIATE_TEST_SUITE_P(Cases, BarcodeFilter, ::testing::ValuesIn(kFilterCases),
                         [](const auto& i) { return TestName(i.param.name); });

// ---- the print start of a panel ------------------------------------------------------------------

TEST_F(QuietRibbon, PanelStartLengthOfTheColour8x10Model) {
  static int32_t s_lResult0, s_lLines0, s_lResult4, s_lLines4;
  InApp([] {
    SelectUnit(0);
    g_pRibbonRoll = g_apRibbonRollColorL[0];
    g_ulEngLineOffset = 410;
    g_ulRibDummyLinesInit = 155;
    g_pCurPrintSize = &g_PrintSize8x10;
    s_lResult0 = PanelStartLength(0, &s_lLines0);
    s_lLines4 = 77;
    s_lResult4 = PanelStartLength(4, &s_lLines4);
  });
  EXPECT_EQ(s_lResult0, 0);
  EXPECT_EQ(s_lLines0, 3596 - 410 - (296 - 12) + 155);
  EXPECT_EQ(s_lLines0, 3057);
  EXPECT_EQ(s_lResult4, -1);
  EXPECT_EQ(s_lLines4, 0);
}

// ---- the panel order from scripted readings -------------------------------------------------------

// Readings (R, G, B) of the four panels as the colour sensor gives them.
constexpr uint16_t kY[3] = {300, 300, 700};
constexpr uint16_t kM[3] = {300, 700, 300};
constexpr uint16_t kC[3] = {700, 300, 300};
constexpr uint16_t kL[3] = {300, 300, 300};
constexpr uint16_t kLRed[3] = {350, 300, 300};

struct Script {
  std::vector<const uint16_t*> readings;  // one per stable reading, in order
  std::vector<int32_t> thresholds;        // the threshold of each reading
  std::vector<uint32_t> rewinds;
  uint32_t ulNext = 0;
};
Script s_script;

int32_t ScriptedCalib(uint32_t* pulClass, uint16_t* pusReading, int32_t lThreshold, uint32_t) {
  *pulClass = 0;
  s_script.thresholds.push_back(lThreshold);
  if (s_script.ulNext >= s_script.readings.size()) return -1;
  const uint16_t* pus = s_script.readings[s_script.ulNext++];
  for (uint32_t i = 0; i < 3; ++i) pusReading[i] = pus[i];
  return 0;
}
int32_t ScriptedSearch(const uint16_t*, int32_t, uint32_t) { return 0; }
int32_t ScriptedRewind(uint32_t ulCounts, uint32_t) {
  s_script.rewinds.push_back(ulCounts);
  return 0;
}
constexpr DonorOrderOps kScripted = {ScriptedCalib, ScriptedSearch, ScriptedRewind};

struct OrderCase {
  const char* name;
  std::vector<const uint16_t*> readings;
  bool bPrinted;
  int32_t result;
  uint32_t ulPanel;
  uint32_t ulAttempts;
  uint32_t ulPasses;
  std::vector<int32_t> thresholds;
};

class PanelOrder : public QuietRibbon, public ::testing::WithParamInterface<OrderCase> {};

TEST_P(PanelOrder, IsFoundFromTheReadingsChanges) {
  const OrderCase& c = GetParam();
  s_script = Script{};
  s_script.readings = c.readings;
  static const OrderCase* s_case;
  static int32_t s_lResult;
  static ::DonorOrder s_order;
  static uint32_t s_ulPrinted, s_ulEmpty;
  static bool s_bRefsAreSlots;
  s_case = &c;
  InApp([] {
    SelectUnit(0);
    g_ulEngModeA = 1;
    g_ulUnitsPrinted = s_case->bPrinted ? 1u : 0u;
    DonorReadingSlot aSlots[kDonorSlots] = {};
    s_lResult = FindDonorPanelOrder(0, kScripted, aSlots, &s_order);
    s_bRefsAreSlots = true;
    for (const uint16_t* p : s_order.apusPanels) {
      if (s_lResult == 0 && (p < aSlots[0] || p > aSlots[kDonorSlots - 1])) s_bRefsAreSlots = false;
    }
    s_ulPrinted = g_ulUnitsPrinted;
    s_ulEmpty = IsErrorRaised(g_ulCurErrRibbonEmpty) ? 1 : 0;
    g_ErrorMng.ClearError(g_ulCurErrRibbonEmpty);
  }, Ms(60000));
  EXPECT_EQ(s_lResult, c.result);
  EXPECT_EQ(s_ulEmpty, c.result != 0 ? 1u : 0u) << "Ribbon Empty";
  EXPECT_EQ(s_order.ulAttempts, c.ulAttempts);
  EXPECT_EQ(s_script.thresholds, c.thresholds);
  if (c.result == 0) {
    EXPECT_EQ(s_order.ulPanel, c.ulPanel);
    EXPECT_EQ(s_order.ulPasses, c.ulPasses);
    EXPECT_TRUE(s_bRefsAreSlots) << "every panel has its stable reading";
    EXPECT_EQ(s_ulPrinted, 0u);
  }
}

std::vector<int32_t> Repeat(int32_t lValue, size_t n) { return std::vector<int32_t>(n, lValue); }
std::vector<int32_t> Joined(std::vector<int32_t> a, const std::vector<int32_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

const OrderCase kOrderCases[] = {
    {"Y-M-C-L from the first pass", {kY, kM, kC, kL}, false, 0, 3, 0, 3, Repeat(100, 4)},
    {"L first: Y, M, C", {kL, kY, kM, kC}, false, 0, 2, 0, 3, Repeat(100, 4)},
    {"printed, M first: a fourth pass", {kY, kM, kC, kL, kY}, true, 0, 0, 0, 4, Repeat(100, 5)},
    {"printed, C first: three passes", {kM, kC, kL, kY}, true, 0, 0, 0, 3, Repeat(100, 4)},
    // Y after M is out of order by a rise of 400: the retry's threshold
    // stays at the panel classes' margin and the second attempt passes.
    {"wrong order, then a good one", {kL, kM, kY, kY, kM, kC, kL}, false, 0, 3, 1, 3,
     Joined(Repeat(100, 3), Repeat(93, 4))},
    // A fall of 200 matches no rule: the retry raises the threshold by it.
    // A red rise of 50 matches no rule; its fall of -50 raises the retry's
    // threshold to 150.
    {"no rule, then a good one", {kL, kLRed, kY, kM, kC, kL}, false, 0, 3, 1, 3,
     Joined(Repeat(100, 2), Repeat(150, 4))},
    {"readings that never change", std::vector<const uint16_t*>(10, kL), false, -1, 0, 5, 0, Repeat(100, 10)},
};
INSTANTIATE_TEST_SUITE_P(Cases, PanelOrder, ::testing::ValuesIn(kOrderCases),
                         [](const auto& i) { return TestName(i.param.name); });

}  // namespace
}  // namespace ribbontest
