// A colour sheet in virtual time: planes Y, M and C of a test chart (colour
// bars, a grey ramp, a one-dot grid, a diagonal) printed line by line as
// the colour-pass sequence prints them, and the sheet's PNG file, read back,
// against the rendering the test computes from the chart: each picture
// row by the print line's row mapping and one-line pipeline, each pixel
// placed at dot 48 plus the side offset, its level through the plane's
// gradation, red from C, green from M, blue from Y. The sheets go into
// $BOM_SHEET_DIR/<test> when it is set, for a person to look at.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "sim/fpga/fpga_main_block.h"
#include "sim/mechanism/printed_sheets.h"
#include "sim/mechanism/sheet_png.h"
#include "tests/support/print_plane.h"
#include "tests/support/temp_dir.h"

namespace {

using testsupport::Ms;
using testsupport::PlaneRun;

constexpr uint32_t kWidth = 2464, kHeight = 1208;
constexpr int32_t kSideOffset = 3;  // "Side A-R" of unit L
constexpr uint32_t kFirstDot = (2560 - kWidth) / 2;

// The chart: three bands of colour bars, a grey ramp and a dot every 8th
// column of every 8th row, and a black diagonal from the top left corner
// over all of them, so that no row repeats the one above.
testsupport::TestImage Chart() {
  constexpr uint32_t kBand = kHeight / 3 + 1;
  const testsupport::TestImage bands[3] = {testsupport::ColourBars(kWidth, kBand),
                                           testsupport::GreyRamp(kWidth, kBand),
                                           testsupport::DotGrid(kWidth, kBand, 8)};
  testsupport::TestImage chart(kWidth, kHeight);
  for (uint32_t y = 0; y < kHeight; ++y) {
    const testsupport::TestImage& band = bands[y / kBand];
    std::copy_n(band.bytes.begin() + static_cast<std::ptrdiff_t>(band.Offset(0, y % kBand)), 3 * kWidth,
                chart.bytes.begin() + static_cast<std::ptrdiff_t>(chart.Offset(0, y)));
    chart.Set(y % kWidth, y, 0, 0, 0);
  }
  return chart;
}

// Where a test's sheets go: $BOM_SHEET_DIR/<test> when set, else a
// temporary folder.
std::string SheetFolder() {
  const char* pszRoot = std::getenv("BOM_SHEET_DIR");
  if (pszRoot == nullptr || *pszRoot == '\0') return testsupport::MakeTempDir("sheets");
  const ::testing::TestInfo* pInfo = ::testing::UnitTest::GetInstance()->current_test_info();
  return std::string(pszRoot) + "/" + pInfo->test_suite_name() + "." + pInfo->name();
}

uint8_t Density(uint16_t usWord) { return static_cast<uint8_t>(usWord / 64u > 255u ? 255u : usWord / 64u); }

class ColourSheet : public testsupport::PrintPlaneTest {
 protected:
  // The chart's planes Y, M and C, each with the gradation it printed with.
  void PrintColourPlanes(const std::function<void(uint16_t)>& beforePlane = nullptr) {
    m_folder = SheetFolder();
    m_pSheets = sim::InstallPrintedSheets(m_machine->GetBoard(), m_folder);
    ASSERT_NE(m_pSheets, nullptr);
    Prepare(m_chart, 0);
    ASSERT_FALSE(HasFatalFailure());
    // The slot's tone curve the identity (level i at i x 64), so that the
    // sample TABLE's gradation (64 a level) gives each plane its range.
    InApp([this] {
      for (uint32_t i = 0; i < TONE_CURVE_WORDS; ++i) m_pSlot->ausToneCurve[i] = static_cast<uint16_t>((i % 256) * 64);
    });
    for (uint16_t usPlane : {PLANE_Y, PLANE_M, PLANE_C}) {
      SCOPED_TRACE(usPlane);
      if (beforePlane) beforePlane(usPlane);
      m_runs[usPlane] = PrintOnePlane(usPlane);
      ASSERT_EQ(m_runs[usPlane].lPlan, 0);
      ASSERT_TRUE(m_runs[usPlane].bDone);
      m_gradations[usPlane] = Dsp().Table(DSP_TABLE_GRADATION);
      ASSERT_EQ(m_gradations[usPlane].size(), 512u);
      ASSERT_FALSE(Dsp().LineRuns().empty());
      ASSERT_EQ(Dsp().LineRuns().back().words.sideOffset, kSideOffset);
      // The DSP leaves print mode: the plane has ended.
      m_machine->RunFor(Ms(5));
    }
  }

  // The density that line `ulLine` of a plane prints on dot `ulDot`: the
  // row the line's pipeline brings (the first line pulse the row of line 4,
  // the second the same again, line pulse k the row of line k + 2; past
  // the last image line the blank row), the pixel at dot 48 + the side
  // offset, its level through the plane's gradation.
  uint8_t RenderedDensity(uint16_t usPlane, uint32_t ulLine, uint32_t ulDot,
                          const std::vector<uint16_t>& rows) const {
    const PlaneRun& run = m_runs[usPlane];
    const size_t n = ulLine < 2 ? 4 : ulLine + 3;
    const bool bBlank = n >= run.usLineCount && n > 5;
    const int32_t lX = static_cast<int32_t>(ulDot) - static_cast<int32_t>(kFirstDot) - kSideOffset;
    if (lX < 0 || lX >= static_cast<int32_t>(kWidth)) return 0;
    const uint32_t ulLevel = bBlank ? 0 : m_chart.Level(static_cast<uint32_t>(lX), rows[n], usPlane);
    const std::vector<uint8_t>& g = m_gradations[usPlane];
    return Density(static_cast<uint16_t>(g[2 * ulLevel] | g[2 * ulLevel + 1] << 8));
  }

  // The sheet's colour picture as the test renders it from the chart.
  sim::SheetImage Rendered() const {
    const uint32_t ulLines = m_runs[PLANE_Y].usLineCount;
    sim::SheetImage image(2560, ulLines, 3, 255);
    for (uint16_t usPlane : {PLANE_Y, PLANE_M, PLANE_C}) {
      const std::vector<uint16_t> rows = testsupport::ExpectedRows(m_runs[usPlane].usLineCount, 12, 12);
      const uint32_t ulChannel = 2u - usPlane;  // C red, M green, Y blue
      for (uint32_t y = 0; y < ulLines; ++y) {
        for (uint32_t x = 0; x < 2560; ++x) {
          image.At(x, y, ulChannel) = static_cast<uint8_t>(255 - RenderedDensity(usPlane, y, x, rows));
        }
      }
    }
    return image;
  }

  sim::SheetImage ReadSheet(const std::string& name) {
    sim::SheetImage image;
    EXPECT_TRUE(sim::sheet_png::ReadFile(m_folder + "/" + name, &image)) << name;
    return image;
  }

  const testsupport::TestImage m_chart = Chart();
  std::string m_folder;
  sim::PrintedSheets* m_pSheets = nullptr;
  std::array<PlaneRun, 3> m_runs{};
  std::array<std::vector<uint8_t>, 3> m_gradations{};
};

// Pixel by pixel, with the first rows, columns and channels that differ
// named.
void ExpectSamePicture(const sim::SheetImage& actual, const sim::SheetImage& expected) {
  ASSERT_EQ(actual.width, expected.width);
  ASSERT_EQ(actual.height, expected.height);
  ASSERT_EQ(actual.channels, expected.channels);
  uint32_t ulMismatches = 0;
  for (uint32_t y = 0; y < actual.height; ++y) {
    for (uint32_t x = 0; x < actual.width; ++x) {
      for (uint32_t c = 0; c < actual.channels; ++c) {
        if (actual.At(x, y, c) != expected.At(x, y, c) && ++ulMismatches <= 5) {
          ADD_FAILURE() << "row " << y << " dot " << x << " channel " << c << ": " << int{actual.At(x, y, c)}
                        << ", rendered " << int{expected.At(x, y, c)};
        }
      }
    }
  }
  EXPECT_EQ(ulMismatches, 0u);
}

TEST_F(ColourSheet, TheSheetsPngEqualsTheChartRenderedPixelForPixel) {
  PrintColourPlanes();
  ASSERT_FALSE(HasFatalFailure());
  ASSERT_NE(m_pSheets->Current(0), nullptr);
  EXPECT_EQ(m_pSheets->Count(), 1u);
  EXPECT_EQ(m_pSheets->WriteFailures(), 0u);
  const sim::SheetImage sheet = ReadSheet("sheet-0001-L.png");
  const sim::SheetImage rendered = Rendered();
  ExpectSamePicture(sheet, rendered);

  // What the sheet shows where (line 100 prints chart row 91, in the bars;
  // line 600 row 591, in the ramp): the red bar red, the blue bar blue, the
  // ramp's white end white and its grey in between; no dye beside the
  // picture.
  struct Spot {
    const char* what;
    uint32_t line, x;  // x of the chart
    uint8_t r, g, b;
  };
  const Spot spots[] = {
      {"red bar", 100, 5 * 308 + 10, 255, 0, 0},
      {"blue bar", 100, 6 * 308 + 10, 0, 0, 255},
      {"white bar", 100, 200, 255, 255, 255},
      {"the ramp's white end", 600, kWidth - 1, 255, 255, 255},
      {"the ramp's middle", 600, 1232, 127, 127, 127},
  };
  for (const Spot& spot : spots) {
    SCOPED_TRACE(spot.what);
    const uint32_t ulDot = kFirstDot + kSideOffset + spot.x;
    EXPECT_EQ(sheet.At(ulDot, spot.line, 0), spot.r);
    EXPECT_EQ(sheet.At(ulDot, spot.line, 1), spot.g);
    EXPECT_EQ(sheet.At(ulDot, spot.line, 2), spot.b);
  }
  for (uint32_t ulDot : {0u, kFirstDot + kSideOffset - 1, kFirstDot + kSideOffset + kWidth}) {
    EXPECT_EQ(sheet.At(ulDot, 100, 0), 255) << "dot " << ulDot;
  }
  EXPECT_TRUE(std::filesystem::exists(m_folder + "/sheet-0001-L.png"));
  EXPECT_FALSE(std::filesystem::exists(m_folder + "/sheet-0001-L-overcoat.png")) << "no overcoat printed";
}

// Late line interrupts during plane M: the PNG's green channel is the
// record's lines, and its rows that repeat the row above are the rendered
// ones that do (the extra-line rows printed twice, the pipeline's second
// line) and the lines the record counted stale.
TEST_F(ColourSheet, LateLineInterruptsShowAsTheDuplicatedRowsTheRecordCounted) {
  PrintColourPlanes([this](uint16_t usPlane) {
    if (usPlane != PLANE_M) return;
    m_machine->GetBoard().Clock().ScheduleIn(Ms(1500), [this] {
      m_machine->GetBoard().FindDevice<sim::FpgaMainBlock>()->SetLineInterruptLate(2500 * sim::kNsPerUs, 3);
    });
  });
  ASSERT_FALSE(HasFatalFailure());
  const sim::SheetImage sheet = ReadSheet("sheet-0001-L.png");
  ASSERT_EQ(sheet.height, m_runs[PLANE_M].usLineCount);
  const std::vector<sim::PrintRecorder::Line>& lines = Record().Lines(0, PLANE_M);
  ASSERT_EQ(lines.size(), sheet.height);
  const sim::SheetImage rendered = Rendered();
  auto repeats = [](const sim::SheetImage& image, uint32_t y, uint32_t c) {
    for (uint32_t x = 0; x < image.width; ++x) {
      if (image.At(x, y, c) != image.At(x, y - 1, c)) return false;
    }
    return true;
  };
  uint32_t ulStale = lines[0].bStale ? 1 : 0, ulRepeats = 0;
  for (uint32_t y = 0; y < sheet.height; ++y) {
    for (uint32_t x = 0; x < sheet.width; ++x) {
      if (sheet.At(x, y, 1) != 255 - Density(lines[y].words[x])) {
        ADD_FAILURE() << "row " << y << " dot " << x << " is not the recorded line";
        return;
      }
    }
    if (y == 0) continue;
    ulStale += lines[y].bStale ? 1 : 0;
    const bool bRepeats = repeats(sheet, y, 1);
    ulRepeats += bRepeats ? 1 : 0;
    EXPECT_EQ(bRepeats, repeats(rendered, y, 1) || lines[y].bStale) << "row " << y;
  }
  EXPECT_GT(ulStale, 1u) << "besides the first line pulse's";
  EXPECT_GE(ulRepeats, 24u + ulStale) << "the extra-line rows twice, the pipeline's and the late lines";
  // The planes without the switch are as rendered.
  uint32_t ulMismatches = 0;
  for (uint32_t y = 0; y < sheet.height; ++y) {
    for (uint32_t x = 0; x < sheet.width; ++x) {
      for (uint32_t c : {0u, 2u}) ulMismatches += sheet.At(x, y, c) != rendered.At(x, y, c) ? 1 : 0;
    }
  }
  EXPECT_EQ(ulMismatches, 0u);
}

}  // namespace
