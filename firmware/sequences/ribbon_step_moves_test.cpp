// The take-up shifted in passes on quiet motors: whenever the take-up motor
// starts, the test counts the pass's pulses on its encoder at once, so the
// overshoot of each pass is the case's; the supply encoder never moves, so
// the supply stands still at once.
#include "firmware/sequences/ribbon_step_moves.h"

#include <gtest/gtest.h>

#include <vector>

#include "firmware/control/error_manager.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/mechanism/ribbon_test_rig.h"
#include "sim/fpga/fpga_main_block.h"
#include "sim/mechanism/dc_mechanism.h"

namespace ribbontest {
namespace {

TEST(RibbonPassShares, SpreadTheRemainderOverTheFirstPasses) {
  EXPECT_EQ(RibbonPassShare(10, 3, 0), 4u);
  EXPECT_EQ(RibbonPassShare(10, 3, 1), 3u);
  EXPECT_EQ(RibbonPassShare(10, 3, 2), 3u);
  EXPECT_EQ(RibbonPassShare(9, 3, 2), 3u);
  EXPECT_EQ(RibbonPassShare(5, 0, 0), 0u);
}

struct ShiftCase {
  const char* name;
  uint32_t counts;
  uint32_t passes;
  std::vector<uint32_t> pulses;  // counted at each start of the take-up
  int32_t result;
  uint32_t takeUps;  // take-up runs
  uint32_t carry;
  bool ribbonEmpty;
};

const std::vector<ShiftCase> kCases = {
    // 4, 3, 3: 9 moved in the first (carry 5) skips the second (carry 2),
    // the third moves 1 (2 counted, carry 1).
    {"an overshoot of 5 skips the second pass", 10, 3, {9, 2}, 0, 2, 1, false},
    {"each pass one over its share", 10, 3, {5, 4, 4}, 0, 3, 3, false},
    // A take-up that cannot move is braked after 5000 ms with the
    // ribbon-empty index raised.
    {"a take-up that never moves gives up after 5000 ms", 10, 3, {0}, -1, 1, 0, true},
};

class ShiftInPasses : public QuietRibbon, public ::testing::WithParamInterface<ShiftCase> {};

TEST_P(ShiftInPasses, CarriesTheOvershootToTheNextShare) {
  const ShiftCase& c = GetParam();
  static const ShiftCase* s_case;
  static uint32_t s_ulTakeUps, s_ulCarry, s_ulEmpty, s_ulElapsedMs;
  static int32_t s_lResult;
  static bool s_bRunning;
  s_case = &c;
  s_ulTakeUps = 0;
  s_bRunning = false;
  sim::FpgaMainBlock& fpga = Fpga();
  sim::DcMechanism::ObserveActuatorOutputs(fpga, [&fpga](uint32_t offset, uint16_t value) {
    if (offset != 0x34) return;
    const bool bRunning = ((value & 0x1) != 0) != ((value & 0x2) != 0);
    if (bRunning && !s_bRunning) {
      if (s_ulTakeUps < s_case->pulses.size() && s_case->pulses[s_ulTakeUps] != 0) {
        fpga.CountPulses(kTakeUpCounter, s_case->pulses[s_ulTakeUps]);
      }
      ++s_ulTakeUps;
    }
    s_bRunning = bRunning;
  });
  InApp([] {
    const uint32_t ulFrom = paneltest::NowMs();
    s_ulCarry = 99;
    s_lResult = ShiftRibbonInPasses(s_case->counts, 0, s_case->passes, &s_ulCarry, 0);
    s_ulElapsedMs = paneltest::NowMs() - ulFrom;
    g_ErrorMng.IsErrorSet(g_ulCurErrRibbonEmpty, &s_ulEmpty);
    g_ErrorMng.ClearError(g_ulCurErrRibbonEmpty);
  }, Ms(20000));
  EXPECT_EQ(s_lResult, c.result) << c.name;
  EXPECT_EQ(s_ulTakeUps, c.takeUps) << c.name;
  EXPECT_EQ(s_ulCarry, c.carry) << c.name;
  EXPECT_EQ(s_ulEmpty != 0, c.ribbonEmpty) << c.name;
  if (c.ribbonEmpty) {
    EXPECT_GE(s_ulElapsedMs, 4999u) << c.name;  // the ms count lags the microsecond timer
    EXPECT_LT(s_ulElapsedMs, 5100u) << c.name;
  }
  // Every motor braked or stopped, the clutch released.
  EXPECT_FALSE(((QuietLines() & 0x1) != 0) != ((QuietLines() & 0x2) != 0)) << c.name << ": take-up stopped";
  EXPECT_FALSE(ClutchOn()) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Cases, ShiftInPasses, ::testing::ValuesIn(kCases));

}  // namespace
}  // namespace ribbontest
