// The tape's layout: the panels in order with the gap before the next Y,
// the colour sensor ahead of the head, the leader and no ribbon, the mark
// bands of the mark types, the barcode's bars, and placing the tape.
#include "sim/mechanism/ribbon_tape.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace sim {
namespace {

TEST(RibbonTape, PanelsFollowEachOtherWithTheGapBeforeTheNextY) {
  struct Case {
    RibbonType type;
    double line;
    Panel panel;
  };
  // 8x12 K1: Y and M 4196 lines, C and L 4202, a print of 16798.
  const Case cases[] = {
      {RibbonType::Color8x12K1, 0, Panel::Yellow},     {RibbonType::Color8x12K1, 4195.9, Panel::Yellow},
      {RibbonType::Color8x12K1, 4196, Panel::Magenta}, {RibbonType::Color8x12K1, 8392, Panel::Cyan},
      {RibbonType::Color8x12K1, 12594, Panel::Overcoat}, {RibbonType::Color8x12K1, 16796, Panel::None},
      {RibbonType::Color8x12K1, 16798, Panel::Yellow}, {RibbonType::Color8x12K1, -1, Panel::None},
      {RibbonType::Color8x10K2, 3596, Panel::Magenta}, {RibbonType::Color8x10K2, 14384, Panel::None},
      {RibbonType::Mark8x10, 16340, Panel::None},      {RibbonType::Mark8x10, 17532 + 4085, Panel::Magenta},
  };
  for (const Case& c : cases) {
    RibbonTape tape(c.type);
    EXPECT_EQ(tape.PanelAt(c.line), c.panel) << "line " << c.line;
  }
}

TEST(RibbonTape, TheColourSensorReadsAheadOfTheHeadAndTheLeaderLikeTheOvercoat) {
  RibbonTape em3(RibbonType::Color8x12K1);
  RibbonTape em2(RibbonType::Color8x12K1, RibbonTape::kLineOffsetEm2);
  EXPECT_EQ(em3.ColorSensorLines(), 386u);
  EXPECT_EQ(em2.ColorSensorLines(), 389u);
  // The head 3800 lines into Y: the sensor 4186 (Y), then 10 lines on (M).
  em3.Place(0, Panel::Yellow, 3800);
  const double mm10 = 10 * RibbonTape::kMmPerLine;
  EXPECT_EQ(em3.PanelAtColorSensor(0, 100000, true), Panel::Yellow);
  EXPECT_EQ(em3.PanelAtColorSensor(mm10, 100000, true), Panel::Magenta);
  EXPECT_EQ(em3.PanelAtHead(mm10, 100000, true), Panel::Yellow);
  // The gap between prints reads clear.
  em3.Place(0, Panel::Overcoat, 4202 - 386 + 1);
  EXPECT_EQ(em3.PanelAtColorSensor(0, 100000, true), Panel::Overcoat);
  EXPECT_EQ(em3.PanelAtHead(0, 100000, true), Panel::Overcoat);
  // The leader: 300 mm of supply at the sensor's point; no ribbon.
  em3.Place(0, Panel::Yellow, 0);
  const double sensorMm = 386 * RibbonTape::kMmPerLine;
  EXPECT_EQ(em3.PanelAtColorSensor(0, 300.1 + sensorMm, true), Panel::Yellow);
  EXPECT_EQ(em3.PanelAtColorSensor(0, 300 + sensorMm, true), Panel::Overcoat);
  EXPECT_EQ(em3.PanelAtHead(0, 300, true), Panel::Overcoat);
  EXPECT_EQ(em3.PanelAtColorSensor(0, 100000, false), Panel::None);
}

TEST(RibbonTape, TheMarkBandShowsThePanelsPatternAndElsewhereThatOfPanels1To3) {
  struct Case {
    RibbonType type;
    double line;
    std::array<bool, 4> marks;
  };
  const std::array<bool, 4> kOthers{false, false, true, true};
  const Case cases[] = {
      {RibbonType::Mark8x10, 0, {true, true, false, false}},
      {RibbonType::Mark8x10, 117.9, {true, true, false, false}},
      {RibbonType::Mark8x10, 118, kOthers},
      {RibbonType::Mark8x12, 17532 + 50, {true, false, true, false}},
      {RibbonType::Mark8x12, 4085 + 50, kOthers},
      {RibbonType::Mark8x12, 16400, kOthers},
      {RibbonType::Color8x12K1, 0, {false, false, false, false}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RibbonTape(c.type).MarksAt(c.line), c.marks) << "line " << c.line;
  }
}

TEST(RibbonTape, TheBarcodeRepeatsItsTemplateEvery490SupplyCounts) {
  // 8x12 K1: 14, 2, 2, 2, 2, 6, 2, 8, 8, 6, 2, 2 (56 units), bars first,
  // a unit 8.75 supply counts: 5 bits of 4 per 7 counts.
  RibbonTape tape(RibbonType::Color8x12K1);
  EXPECT_DOUBLE_EQ(tape.BarcodePeriodCounts(), 490.0);
  constexpr double u = RibbonTape::kBarcodeUnitCounts;
  struct Case {
    double counts;
    bool bBar;
  };
  const Case cases[] = {{0, true},          {14 * u - 0.1, true}, {14 * u, false},        {16 * u - 0.1, false},
                        {16 * u, true},     {28 * u, true},       {30 * u, false},      {490 + 14 * u, false}, {-0.1, false},
                        {-2 * u - 0.1, true}};
  for (const Case& c : cases) EXPECT_EQ(tape.BarcodeBarAt(c.counts), c.bBar) << c.counts << " counts";
}

// Wherever a panel boundary puts the donor check's window (124 to 627
// supply counts into its run), the window holds one whole turn of the code:
// its units, read at their middles, are a rotation of the template.
TEST(RibbonTape, EveryBarcodeWindowHoldsTheWholeCode) {
  for (RibbonType type : {RibbonType::Color8x10K1, RibbonType::Color8x12K1, RibbonType::Color8x10K2,
                          RibbonType::Color8x12K2}) {
    RibbonTape tape(type);
    constexpr double u = RibbonTape::kBarcodeUnitCounts;
    const auto units = static_cast<uint32_t>(tape.BarcodePeriodCounts() / u + 0.5);
    ASSERT_LE(tape.BarcodePeriodCounts(), RibbonTape::kBarcodeWindowCounts - u) << "one unit to spare";
    std::vector<bool> turn;
    for (uint32_t k = 0; k < units; ++k) turn.push_back(tape.BarcodeBarAt((k + 0.5) * u));
    for (double start = 0; start < tape.BarcodePeriodCounts(); start += 0.7) {
      const double first = std::ceil((start + 124) / u) * u;  // the first unit begun inside the window
      std::vector<bool> seen;
      for (uint32_t k = 0; k < units; ++k) {
        ASSERT_LE(first + (k + 1) * u, start + 627);
        seen.push_back(tape.BarcodeBarAt(first + (k + 0.5) * u));
      }
      const auto shift = static_cast<uint32_t>(std::lround(first / u)) % units;
      std::rotate(turn.begin(), turn.begin() + shift, turn.end());
      EXPECT_EQ(seen, turn) << "window from " << start + 124;
      std::rotate(turn.begin(), turn.end() - shift, turn.end());
    }
  }
}

}  // namespace
}  // namespace sim
