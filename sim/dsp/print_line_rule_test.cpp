// The stand-in's line rule: which byte of which row makes which word on
// which dot, for every kind of plane, and the placement on the head.
#include "sim/dsp/print_line_rule.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "tests/support/test_images.h"

namespace sim {
namespace {

using print_line::ComputeLine;
using print_line::kLineWords;

// A gradation that tells the level back: entry L is 1000 + L.
std::vector<uint8_t> TellingGradation() {
  std::vector<uint8_t> table(512);
  for (uint32_t level = 0; level < 256; ++level) {
    table[2 * level] = static_cast<uint8_t>((1000 + level) & 0xFF);
    table[2 * level + 1] = static_cast<uint8_t>((1000 + level) >> 8);
  }
  return table;
}

std::vector<uint16_t> Line(const PrintLineWords& w, const uint8_t* row, const std::vector<uint8_t>* gradation) {
  std::vector<uint16_t> out(kLineWords, 0xDEAD);
  ComputeLine(w, row, gradation != nullptr ? gradation->data() : nullptr, out.data());
  return out;
}

// A host picture's colour planes read B, G and R by the plane code, level
// 255 - byte; an internal picture's byte is the level.
TEST(PrintLineRule, ColourPlanesReadTheirByteOfTheRow) {
  const testsupport::TestImage bars = testsupport::ColourBars(16, 2);  // bars 2 pixels wide
  const std::vector<uint8_t> gradation = TellingGradation();
  struct Case {
    const char* what;
    uint16_t colourByte;
    uint16_t internal;
    uint16_t byteLevels;
    uint32_t pixel;
    uint16_t word;
  };
  const Case cases[] = {
      {"Y of white", 0, 0, 0, 0, 1000},
      {"Y of yellow (blue 0)", 0, 0, 0, 2, 1255},
      {"M of yellow (green 255)", 1, 0, 0, 2, 1000},
      {"C of cyan (red 0)", 2, 0, 0, 4, 1255},
      {"C of magenta (red 255)", 2, 0, 0, 8, 1000},
      {"M of magenta", 1, 0, 0, 8, 1255},
      {"a byte word above 2 reads red", 7, 0, 0, 4, 1255},
      {"one internal word alone keeps host rows", 0, 1, 0, 2, 1255},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PrintLineWords w;
    w.planeCode = c.colourByte < 3 ? c.colourByte : 2;
    w.colourByte = c.colourByte;
    w.internalImage = c.internal;
    w.byteLevels = c.byteLevels;
    w.rowLength = 16;
    w.headWidth = 2560;
    w.row = 1;
    const uint8_t* row = bars.bytes.data() + print_line::RowBytes(w) * w.row;
    EXPECT_EQ(print_line::RowBytes(w), 48u);
    EXPECT_EQ(Line(w, row, &gradation)[1272 + c.pixel], c.word);
  }

  // An internal picture: one byte per pixel, the byte is the level.
  PrintLineWords w;
  w.planeCode = 1;
  w.internalImage = 1;
  w.byteLevels = 1;
  w.rowLength = 4;
  w.headWidth = 2560;
  const uint8_t row[4] = {0, 7, 128, 255};
  EXPECT_EQ(print_line::RowBytes(w), 4u);
  const std::vector<uint16_t> line = Line(w, row, &gradation);
  EXPECT_EQ(std::vector<uint16_t>(line.begin() + 1278, line.begin() + 1282),
            (std::vector<uint16_t>{1000, 1007, 1128, 1255}));
}

// SP rows are 1 bit per dot, most significant first, a set bit level 0; the
// blank row prints nothing; an internal SP row's bytes are levels.
TEST(PrintLineRule, SpRowsAreBitsAndTheBlankRowPrintsNothing) {
  std::vector<uint8_t> gradation = TellingGradation();
  gradation[0] = gradation[1] = 0;  // level 0: no dye
  PrintLineWords w;
  w.planeCode = print_line::kPlaneSp;
  w.rowLength = 10;
  w.headWidth = 2560;
  EXPECT_EQ(print_line::RowBytes(w), 2u);
  const uint8_t row[2] = {0x7F, 0xBF};  // dots 0 and 9 clear
  std::vector<uint16_t> line = Line(w, row, &gradation);
  const int32_t first = print_line::FirstDot(w);
  EXPECT_EQ(first, 1275);
  for (int32_t p = 0; p < 10; ++p) EXPECT_EQ(line[first + p], (p == 0 || p == 9) ? 1255 : 0) << p;

  const std::vector<uint8_t> blank(16384, 0xFF);
  for (uint16_t plane : {0, 1, 2, 4}) {
    PrintLineWords b = w;
    b.planeCode = plane;
    b.colourByte = plane < 3 ? plane : 0;
    b.rowLength = 2464;
    const std::vector<uint16_t> blankLine = Line(b, blank.data(), &gradation);
    EXPECT_EQ(blankLine, std::vector<uint16_t>(kLineWords, 0)) << "plane " << plane;
  }

  w.byteLevels = 1;
  EXPECT_EQ(print_line::RowBytes(w), 10u);
  const uint8_t levels[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 200};
  line = Line(w, levels, &gradation);
  EXPECT_EQ(line[first + 9], 1200);
  EXPECT_EQ(line[first + 1], 1001);
}

// The overcoat word: 64 x the level bits 3-4 pick, plus the other bits; no
// gradation.
TEST(PrintLineRule, TheOvercoatWordIsTheLevelPickedByBitsThreeAndFourPlusTheOtherBits) {
  PrintLineWords w;
  w.planeCode = print_line::kPlaneOvercoat;
  w.rowLength = 6;
  w.headWidth = 2560;
  w.overcoatLevels[0] = 10;
  w.overcoatLevels[1] = 20;
  w.overcoatLevels[2] = 30;
  w.overcoatLevels[3] = 255;
  const uint8_t row[6] = {0x00, 0x08, 0x10, 0x18, 0x1F, 0xE7};
  const std::vector<uint16_t> line = Line(w, row, nullptr);
  const int32_t first = print_line::FirstDot(w);
  const std::vector<uint16_t> expected = {640, 1280, 1920, 16320, 16320 + 7, 640 + 0xE7};
  EXPECT_EQ(std::vector<uint16_t>(line.begin() + first, line.begin() + first + 6), expected);
}

// The row lands at (head width - row length) / 2 + the side offset; what
// falls off the head is dropped; no gradation or no row: an empty line.
TEST(PrintLineRule, TheRowIsCentredOnTheHeadAndShiftedByTheSideOffset) {
  const std::vector<uint8_t> gradation = TellingGradation();
  struct Case {
    const char* what;
    uint16_t headWidth;
    uint16_t rowLength;
    int16_t sideOffset;
    int32_t first;  // the dot of pixel 0
    uint32_t printed;
  };
  const Case cases[] = {
      {"the full width", 2560, 2464, 0, 48, 2464},
      {"shifted right", 2560, 2464, 20, 68, 2464},
      {"shifted left past the edge", 2560, 2464, -60, -12, 2464 - 12},
      {"an odd difference rounds toward zero", 2560, 2463, 0, 48, 2463},
      {"a narrower head", 2400, 2464, 0, -32, 2400},
      {"a row wider than the buffer", 2560, 2600, 0, -20, 2560},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PrintLineWords w;
    w.planeCode = 0;
    w.headWidth = c.headWidth;
    w.rowLength = c.rowLength;
    w.sideOffset = c.sideOffset;
    EXPECT_EQ(print_line::FirstDot(w), c.first);
    const std::vector<uint8_t> row(3u * c.rowLength, 0);  // full dye everywhere
    const std::vector<uint16_t> line = Line(w, row.data(), &gradation);
    uint32_t printed = 0;
    for (uint32_t dot = 0; dot < kLineWords; ++dot) {
      const bool bOnRow = static_cast<int32_t>(dot) >= c.first && static_cast<int32_t>(dot) < c.first + c.rowLength &&
                          dot < c.headWidth;
      EXPECT_EQ(line[dot], bOnRow ? 1255 : 0) << dot;
      printed += line[dot] != 0 ? 1u : 0u;
    }
    EXPECT_EQ(printed, c.printed);
  }
  PrintLineWords w;
  w.headWidth = 2560;
  w.rowLength = 4;
  const uint8_t row[12] = {};
  EXPECT_EQ(Line(w, row, nullptr), std::vector<uint16_t>(kLineWords, 0)) << "no gradation taken";
  EXPECT_EQ(Line(w, nullptr, &gradation), std::vector<uint16_t>(kLineWords, 0)) << "no row";
  w.planeCode = 5;
  EXPECT_EQ(Line(w, row, &gradation), std::vector<uint16_t>(kLineWords, 0)) << "no such plane";
}

}  // namespace
}  // namespace sim
