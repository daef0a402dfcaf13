// The tape's layout: the panels in order with the gap before the next Y,
// the colour sensor ahead of the head, the leader and no ribbon, the mark
// bands of the mark types, the barcode's bars, and placing the tape.
#include "sim/mechanism/ribbon_tape.h"

#include <gtest/gtest.h>

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

TEST(RibbonTape, TheBarcodeRepeatsItsTemplateInItsUnitLength) {
  // 8x12 K1: 14, 2, 2, 2, 2, 6, 2, 8, 8, 6, 2, 2 (56 units), bars first.
  RibbonTape tape(RibbonType::Color8x12K1);
  tape.SetBarcodeUnit(0.5);
  struct Case {
    double mm;
    bool bBar;
  };
  const Case cases[] = {{0, true}, {6.9, true}, {7.0, false}, {7.9, false}, {8.0, true},
                        {(14 + 2 + 2 + 2 + 2 + 6 + 2) * 0.5, false}, {28.0, true}, {27.9, false}};
  for (const Case& c : cases) EXPECT_EQ(tape.BarcodeBarAt(c.mm), c.bBar) << c.mm << " mm";
}

}  // namespace
}  // namespace sim
