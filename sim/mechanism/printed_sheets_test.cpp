// The printed sheets: the pictures composed from the planes' words, the
// sheets a repeated plane code starts, and the files written.
#include "sim/mechanism/printed_sheets.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace sim {
namespace {

// A plane of `lines` lines, dot x of line i the word words(x, i).
template <typename Words>
PrintRecorder::Plane MakePlane(uint32_t unit, uint16_t code, uint32_t lines, Words words) {
  PrintRecorder::Plane plane;
  plane.unit = unit;
  plane.planeCode = code;
  plane.session = 1;
  for (uint32_t i = 0; i < lines; ++i) {
    PrintRecorder::Line& line = plane.lines.emplace_back();
    line.words.resize(PrintedSheet::kDots);
    for (uint32_t x = 0; x < PrintedSheet::kDots; ++x) line.words[x] = words(x, i);
  }
  return plane;
}

PrintRecorder::Plane Flat(uint32_t unit, uint16_t code, uint32_t lines, uint16_t word) {
  return MakePlane(unit, code, lines, [word](uint32_t, uint32_t) { return word; });
}

TEST(PrintedSheet, DensityIsTheWordOver64UpTo255) {
  const struct {
    uint16_t word;
    uint8_t density;
  } cases[] = {{0, 0}, {63, 0}, {64, 1}, {6400, 100}, {16320, 255}, {16383, 255}, {65535, 255}};
  for (const auto& c : cases) EXPECT_EQ(PrintedSheet::Density(c.word), c.density) << c.word;
}

// Red from C, green from M, blue from Y, each 255 - density; SP darkens all
// three; where a plane has no line, no dye.
TEST(PrintedSheet, TheColourPictureTakesEachChannelFromItsPlane) {
  PrintedSheet sheet(1, 0);
  EXPECT_FALSE(sheet.HasColour());
  // Y: 10 x 64 on dot 5 only; M: 20 x 64 everywhere; C: the dot number
  // x 64 on 3 lines; SP: 30 x 64 on line 1, dot 7.
  sheet.Add(MakePlane(0, 0, 4, [](uint32_t x, uint32_t) { return static_cast<uint16_t>(x == 5 ? 640 : 0); }));
  sheet.Add(Flat(0, 1, 4, 1280));
  sheet.Add(MakePlane(0, 2, 3, [](uint32_t x, uint32_t) { return static_cast<uint16_t>(64 * (x % 256)); }));
  sheet.Add(MakePlane(0, 4, 2, [](uint32_t x, uint32_t y) { return static_cast<uint16_t>(x == 7 && y == 1 ? 1920 : 0); }));
  EXPECT_TRUE(sheet.HasColour());
  const SheetImage image = sheet.Colour();
  ASSERT_EQ(image.width, 2560u);
  ASSERT_EQ(image.height, 4u);
  ASSERT_EQ(image.channels, 3u);
  struct Case {
    uint32_t x, y;
    uint8_t r, g, b;
  };
  const Case cases[] = {
      {0, 0, 255, 235, 255},       // M alone
      {5, 0, 250, 235, 245},       // C 5, M 20, Y 10
      {200, 2, 55, 235, 255},      // C 200
      {7, 1, 218, 205, 225},       // C 7, M 20, SP 30
      {100, 3, 255, 235, 255},     // C has no line 3: no cyan
      {260, 0, 251, 235, 255},     // dot 260: C 4
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.x << "," << c.y);
    EXPECT_EQ(image.At(c.x, c.y, 0), c.r);
    EXPECT_EQ(image.At(c.x, c.y, 1), c.g);
    EXPECT_EQ(image.At(c.x, c.y, 2), c.b);
  }
  // SP clamps at 0.
  PrintedSheet dark(2, 0);
  dark.Add(Flat(0, 2, 1, 16320));
  dark.Add(Flat(0, 4, 1, 6400));
  EXPECT_EQ(dark.Colour().At(0, 0, 0), 0);
  EXPECT_EQ(dark.Colour().At(0, 0, 1), 155);
}

TEST(PrintedSheet, TheOvercoatPictureIsGreyOfItsDensity) {
  PrintedSheet sheet(1, 1);
  sheet.Add(MakePlane(1, 3, 2, [](uint32_t x, uint32_t y) { return static_cast<uint16_t>(64 * (x % 256) + y); }));
  EXPECT_FALSE(sheet.HasColour());
  const SheetImage image = sheet.Overcoat();
  ASSERT_EQ(image.channels, 1u);
  ASSERT_EQ(image.height, 2u);
  EXPECT_EQ(image.At(0, 0), 255);
  EXPECT_EQ(image.At(100, 1), 155);
  EXPECT_EQ(sheet.OvercoatName(), "sheet-0001-R-overcoat.png");
  EXPECT_EQ(sheet.ColourName(), "sheet-0001-R.png");
}

// A plane code that comes again on a unit starts that unit's next sheet;
// the other unit's sheet goes on. Each plane's end writes its file.
TEST(PrintedSheets, ARepeatedPlaneCodeStartsTheUnitsNextSheetAndEachPlaneWritesItsFile) {
  const std::string folder = testsupport::MakeTempDir("sheets");
  PrintedSheets sheets(folder);
  struct Step {
    uint32_t unit;
    uint16_t code;
    uint16_t word;
    uint32_t sheet;  // the unit's current sheet after the plane
    const char* file;
  };
  const Step steps[] = {
      {0, 0, 640, 1, "sheet-0001-L.png"},
      {0, 1, 640, 1, "sheet-0001-L.png"},
      {1, 0, 1280, 2, "sheet-0002-R.png"},
      {0, 3, 3200, 1, "sheet-0001-L-overcoat.png"},
      {0, 0, 1920, 3, "sheet-0003-L.png"},
      {1, 1, 1280, 2, "sheet-0002-R.png"},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.file);
    sheets.Take(Flat(s.unit, s.code, 3, s.word));
    ASSERT_NE(sheets.Current(s.unit), nullptr);
    EXPECT_EQ(sheets.Current(s.unit)->Number(), s.sheet);
    SheetImage image;
    ASSERT_TRUE(sheet_png::ReadFile(folder + "/" + s.file, &image));
    EXPECT_EQ(image, s.code == 3 ? sheets.Current(s.unit)->Overcoat() : sheets.Current(s.unit)->Colour());
  }
  EXPECT_EQ(sheets.Count(), 3u);
  EXPECT_EQ(sheets.WriteFailures(), 0u);
  // Sheet 1 of unit L kept its Y and M (blue 245, green 245) when sheet 3
  // started: its file is the one its planes wrote.
  SheetImage first;
  ASSERT_TRUE(sheet_png::ReadFile(folder + "/sheet-0001-L.png", &first));
  EXPECT_EQ(first.At(0, 0, 0), 255);
  EXPECT_EQ(first.At(0, 0, 1), 245);
  EXPECT_EQ(first.At(0, 0, 2), 245);
  SheetImage third;
  ASSERT_TRUE(sheet_png::ReadFile(folder + "/sheet-0003-L.png", &third));
  EXPECT_EQ(third.At(0, 0, 1), 255) << "no magenta on the new sheet";
  EXPECT_EQ(third.At(0, 0, 2), 225);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()), 4);

  // Without a folder nothing is written; an unwritable one counts.
  PrintedSheets quiet("");
  quiet.Take(Flat(0, 0, 1, 64));
  EXPECT_EQ(quiet.WriteFailures(), 0u);
  PrintedSheets broken(folder + "/missing");
  broken.Take(Flat(0, 0, 1, 64));
  broken.Take(Flat(0, 0, 0, 64));  // a plane of no lines writes nothing
  EXPECT_EQ(broken.WriteFailures(), 1u);
}

}  // namespace
}  // namespace sim
