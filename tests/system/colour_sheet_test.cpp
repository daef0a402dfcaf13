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
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "firmware/hostif/usb_command_layer.h"
#include "firmware/hostif/usb_command_test_support.h"
#include "firmware/mechanism/step_machine.h"
#include "firmware/platform/time_base.h"
#include "firmware/printengine/dsp_image_job.h"
#include "firmware/printengine/job_queue_test_support.h"
#include "firmware/printengine/media_config.h"
#include "firmware/printengine/print_job_queue.h"
#include "firmware/printengine/text_overlay_test_support.h"
#include "sim/dsp/image_job_rule.h"
#include "protocol/codes.h"
#include "protocol/requests.h"
#include "sim/fpga/fpga_main_block.h"
#include "sim/mechanism/printed_sheets.h"
#include "sim/mechanism/sheet_png.h"
#include "sim/usb/usb_host_port.h"
#include "tests/support/host_print.h"
#include "tests/support/machine_test.h"
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

// The DSP stand-in's derivation of a whole overcoat plane from the words
// its request read.
std::vector<uint8_t> Derive(sim::Board& board, const sim::ImageJobWords& words) {
  const sim::image_job::RamReader ram = [&board](uint32_t addr, uint32_t bytes) -> const uint8_t* {
    return board.GetBus().RamPointer(addr, bytes);
  };
  std::vector<uint8_t> plane(kWidth * kHeight);
  for (uint32_t r = 0; r < kHeight; ++r) sim::image_job::ComputeRow(words, r, ram, &plane[r * kWidth]);
  return plane;
}

// The overcoat PNG a plane's bytes give: each line's row of the plane (the
// overcoat's row mapping and pipeline, the blank row past the image), the
// word 64 x the level bits 3-4 pick plus the other bits, at dot 48 + the
// side offset, grey 255 - density.
sim::SheetImage RenderOvercoat(const std::vector<uint8_t>& plane, uint16_t usLineCount,
                               const std::array<uint16_t, 4>& levels, int32_t lSideOffset) {
  const std::vector<uint16_t> rows = testsupport::ExpectedRows(usLineCount, 12, 12);
  sim::SheetImage image(2560, usLineCount, 1, 255);
  for (uint32_t y = 0; y < usLineCount; ++y) {
    const size_t n = y < 2 ? 4 : y + 3;
    const bool bBlank = n >= usLineCount && n > 5;
    for (uint32_t x = 0; x < kWidth; ++x) {
      const uint8_t ucByte = bBlank ? 0xFF : plane[rows[n] * kWidth + x];
      const uint32_t ulWord = 64u * levels[(ucByte >> 3) & 3u] + (ucByte & ~0x18u);
      image.At(static_cast<uint32_t>(static_cast<int32_t>(kFirstDot + x) + lSideOffset), y) =
          static_cast<uint8_t>(255 - Density(static_cast<uint16_t>(ulWord)));
    }
  }
  return image;
}

// A rectangle of the plane (dots of the chart, lines of the sheet).
struct Area {
  uint32_t ulX0, ulX1, ulY0, ulY1;
  bool Holds(uint32_t x, uint32_t y) const { return x >= ulX0 && x < ulX1 && y >= ulY0 && y < ulY1; }
};

// Where the overcoat PNG differs from the plain derivation's rendering:
// darker pixels, and pixels outside the text's areas.
std::pair<uint32_t, uint32_t> TextMarks(const sim::SheetImage& overcoat, const sim::SheetImage& plain,
                                        const std::vector<Area>& areas, int32_t lSideOffset) {
  uint32_t ulDarker = 0, ulOutside = 0;
  for (uint32_t y = 0; y < overcoat.height; ++y) {
    for (uint32_t x = 0; x < overcoat.width; ++x) {
      if (overcoat.At(x, y) == plain.At(x, y)) continue;
      const uint32_t ulX = static_cast<uint32_t>(static_cast<int32_t>(x - kFirstDot) - lSideOffset);
      const bool bInside = std::any_of(areas.begin(), areas.end(), [&](const Area& a) { return a.Holds(ulX, y); });
      ulOutside += bInside ? 0 : 1;
      ulDarker += overcoat.At(x, y) < plain.At(x, y) ? 1 : 0;
    }
  }
  return {ulDarker, ulOutside};
}

class ColourSheet : public testsupport::PrintPlaneTest {
 protected:
  // The chart's planes Y, M and C (and the overcoat when asked), each with
  // the gradation it printed with; the hooks run in the test before and
  // after each plane.
  void PrintColourPlanes(const std::function<void(uint16_t)>& beforePlane = nullptr,
                         const std::function<void(uint16_t)>& afterPlane = nullptr, bool bOvercoat = false) {
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
    for (uint16_t usPlane : {PLANE_Y, PLANE_M, PLANE_C, PLANE_OVERCOAT}) {
      if (usPlane == PLANE_OVERCOAT && !bOvercoat) break;
      SCOPED_TRACE(usPlane);
      if (beforePlane) beforePlane(usPlane);
      if (HasFatalFailure()) return;
      m_runs[usPlane] = PrintOnePlane(usPlane);
      ASSERT_EQ(m_runs[usPlane].lPlan, 0);
      ASSERT_TRUE(m_runs[usPlane].bDone);
      ASSERT_FALSE(Dsp().LineRuns().empty());
      ASSERT_EQ(Dsp().LineRuns().back().words.sideOffset, kSideOffset);
      if (usPlane != PLANE_OVERCOAT) {
        m_gradations[usPlane] = Dsp().Table(DSP_TABLE_GRADATION);
        ASSERT_EQ(m_gradations[usPlane].size(), 512u);
      } else {
        std::copy_n(Dsp().LineRuns().back().words.overcoatLevels, 4, m_overcoatLevels.begin());
      }
      // The DSP leaves print mode: the plane has ended.
      m_machine->RunFor(Ms(5));
      if (afterPlane) afterPlane(usPlane);
      if (HasFatalFailure()) return;
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
  std::array<PlaneRun, 4> m_runs{};
  std::array<std::vector<uint8_t>, 3> m_gradations{};
  std::array<uint16_t, 4> m_overcoatLevels{};
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

// A matte sheet with text items: the DSP's image job in a colour sheet's
// calling order (prepared before Y, ended before M and C, kicked after each
// of Y, M and C and stepped from the abort check while the mechanism
// moves, waited for before the overcoat), the text drawn at the overcoat
// plane's start. The overcoat PNG is the rendering of the chart's
// derivation with the text's cells, through the matte levels, so the text
// shows darker than its cell; the colour PNG is as rendered.
TEST_F(ColourSheet, AMatteSheetsOvercoatPngShowsTheText) {
  auto before = [&](uint16_t usPlane) {
    InApp([&] {
      if (usPlane == PLANE_Y) {
        m_pSlot->usOvercoatKind = OVERCOAT_MATTE;
        overlaytest::PutItems(*m_pSlot, {{200, 100, 1, 0, "MATTE"}, {1000, 400, 2, 0, "Along"}});
        ASSERT_EQ(SetupDspPlaneBuffers(), 0);
      } else if (usPlane == PLANE_OVERCOAT) {
        ASSERT_EQ(WaitDspImageJob(), 0);
      } else {
        ASSERT_EQ(EndDspImageJob(), 0);
      }
      EXPECT_EQ(g_bDspBusy, 0u);
    });
  };
  auto after = [&](uint16_t usPlane) {
    if (usPlane == PLANE_OVERCOAT) return;
    InApp([&] {
      ASSERT_EQ(StartDspImageJob(), 0);
      // The mechanism's moves to the next plane: 20 ms of abort checks.
      const uint32_t ulStart = g_MsTimer.NowMs();
      while (g_MsTimer.NowMs() - ulStart < 20) CheckAbort(0);
    });
  };
  PrintColourPlanes(before, after, true);
  ASSERT_FALSE(HasFatalFailure());
  const std::vector<sim::DspCore::ImageRun>& runs = Dsp().ImageRuns();
  ASSERT_EQ(runs.size(), 3u) << "kicked after Y, M and C";
  EXPECT_EQ(runs.back().linesDone, kHeight);
  // Matte: the cell's background (bits 3-4 01) and ink (11) levels differ.
  EXPECT_GT(m_overcoatLevels[3], m_overcoatLevels[1]);

  // The plane as it should be: the derivation of the chart, then the text.
  const std::vector<uint8_t> derived = Derive(m_machine->GetBoard(), runs.front().words);
  overlaytest::PlaneModel model(derived, kWidth, kHeight);
  for (uint32_t k = 0; k < 5; ++k) model.Draw(overlaytest::Cell{1, 200 + 32 * k, 100, "MATTE"[k], k == 4});
  for (uint32_t k = 0; k < 5; ++k) model.Draw(overlaytest::Cell{2, 1000, 400 + 32 * k, "Along"[k], k == 4});
  const uint16_t usLines = m_runs[PLANE_OVERCOAT].usLineCount;
  const sim::SheetImage overcoat = ReadSheet("sheet-0001-L-overcoat.png");
  ExpectSamePicture(overcoat, RenderOvercoat(model.Bytes(), usLines, m_overcoatLevels, kSideOffset));
  // The text shows: darker than the plain derivation within the items'
  // cells (the sheet's lines lag the plane's rows by 9) and nowhere else.
  const auto [ulDarker, ulOutside] =
      TextMarks(overcoat, RenderOvercoat(derived, usLines, m_overcoatLevels, kSideOffset),
                {{200, 200 + 5 * 32 + 4, 100, 200}, {1000, 1000 + 66, 400, 600}}, kSideOffset);
  EXPECT_GT(ulDarker, 1000u);
  EXPECT_EQ(ulOutside, 0u);
  ExpectSamePicture(ReadSheet("sheet-0001-L.png"), Rendered());
  EXPECT_EQ(m_pSheets->Count(), 1u) << "one sheet of four planes";
}

// A laminate string sent by the host before the picture of a matte job
// (through the in-process host port, to a new sample printer that runs its
// main loop): the DSP's image job done, the overcoat plane printed. The
// plane in SDRAM is the derivation with the string's cells, and the
// overcoat PNG shows the string within its cells.
using HostTextSheet = testsupport::HostPrintTest;

TEST_F(HostTextSheet, ALaminateStringFromTheHostShowsOnTheMatteOvercoat) {
  ASSERT_NO_FATAL_FAILURE(BootWithHostAndMedia());
  const std::string folder = SheetFolder();
  ASSERT_NE(sim::InstallPrintedSheets(m_machine->GetBoard(), folder), nullptr);

  protocol::SetupPrintJobRequest setup{};
  setup.copies = 1;
  setup.unitRequest = SLOT_COLOR_A | IMAGE_MASK_ONE_SIDED;
  setup.cutCount = protocol::CUT_COUNT_DEFAULT;
  ASSERT_EQ(hostiftest::ErrorCodeOf(hostiftest::Exchange(Host(), hostiftest::PacketOf(setup))), 0);
  protocol::SetLaminateStringRequest text{};
  text.itemNumber = 1;
  text.x = 300;
  text.y = 200;
  text.style1 = 1;  // the character font, across the paper
  text.textLength = 4;
  std::memcpy(text.text, "HOST", 4);
  ASSERT_EQ(hostiftest::ErrorCodeOf(hostiftest::Exchange(Host(), hostiftest::PacketOf(text))), 0);
  const testsupport::TestImage chart = Chart();
  protocol::PrintRequest image{};
  image.imageWidth = kWidth;
  image.imageHeight = kHeight;
  image.mediaMaxWidth = kWidth;
  image.mediaMaxHeight = kHeight;
  image.imageType = protocol::IMAGE_TYPE_COLOUR;
  image.printOptionA = OVERCOAT_MATTE;
  ASSERT_EQ(hostiftest::ErrorCodeOf(hostiftest::Exchange(Host(), hostiftest::PacketOf(image))), 0);
  ASSERT_EQ(Host().BulkOut(chart.bytes, Ms(60000)).outcome, sim::UsbOutcome::Done);
  m_machine->RunUntil([] { return g_ulBulkRxKind == BULK_RX_NONE; }, Ms(100));
  m_machine->RunFor(Ms(50));
  InApp([] {
    PrintJobRecord* pJob = nullptr;
    ASSERT_EQ(g_PrintJobQueue.GetNthActiveJob(1, &pJob), 0);
    ASSERT_EQ(g_PrintJobQueue.BuildPrintOrder(pJob, SIDE_A, UNIT_L, UNIT_L), 0);
  });

  InApp(
      [] {
        ASSERT_EQ(SetupDspPlaneBuffers(), 0);
        ASSERT_EQ(StartDspImageJob(), 0);
        ASSERT_EQ(WaitDspImageJob(), 0);
      },
      Ms(5000));
  testsupport::PlaneRun run;
  InApp([&] { run = testsupport::PrintPlaneInApp(PLANE_OVERCOAT); }, Ms(30000));
  ASSERT_EQ(run.lPlan, 0);
  ASSERT_TRUE(run.bDone);
  m_machine->RunFor(Ms(5));

  sim::DspCore& dsp = *m_machine->GetBoard().FindDevice<sim::DspCore>();
  ASSERT_FALSE(dsp.ImageRuns().empty());
  ASSERT_FALSE(dsp.LineRuns().empty());
  const sim::PrintLineWords& words = dsp.LineRuns().back().words;
  const std::array<uint16_t, 4> levels{words.overcoatLevels[0], words.overcoatLevels[1], words.overcoatLevels[2],
                                       words.overcoatLevels[3]};
  EXPECT_GT(levels[3], levels[1]) << "matte";
  const std::vector<uint8_t> derived = Derive(m_machine->GetBoard(), dsp.ImageRuns().front().words);
  overlaytest::PlaneModel model(derived, kWidth, kHeight);
  for (uint32_t k = 0; k < 4; ++k) model.Draw(overlaytest::Cell{1, 300 + 32 * k, 200, "HOST"[k], k == 3});
  const uint8_t* pucPlane = m_machine->GetBoard().GetBus().RamPointer(PRINT_OVERCOAT_PLANE, kWidth * kHeight);
  ASSERT_NE(pucPlane, nullptr);
  const std::vector<uint8_t> plane(pucPlane, pucPlane + kWidth * kHeight);
  EXPECT_TRUE(plane == model.Bytes()) << overlaytest::FirstDifference(plane, model.Bytes(), kWidth);

  sim::SheetImage overcoat;
  ASSERT_TRUE(sim::sheet_png::ReadFile(folder + "/sheet-0001-L-overcoat.png", &overcoat));
  ExpectSamePicture(overcoat, RenderOvercoat(model.Bytes(), run.usLineCount, levels, words.sideOffset));
  const auto [ulDarker, ulOutside] = TextMarks(overcoat, RenderOvercoat(derived, run.usLineCount, levels, words.sideOffset),
                                               {{300, 300 + 4 * 32 + 4, 200, 300}}, words.sideOffset);
  EXPECT_GT(ulDarker, 1000u);
  EXPECT_EQ(ulOutside, 0u);
}

// A machine given a sheet folder makes it and has the printed sheets on
// its print record, writing there.
using SheetFolderMachine = testsupport::MachineTest;
TEST_F(SheetFolderMachine, AMachineWithASheetFolderWritesItsSheetsThere) {
  sim::MachineOptions options;
  options.sheetDir = testsupport::MakeTempDir("machine") + "/sheets/new";
  Boot(options);
  EXPECT_TRUE(std::filesystem::is_directory(options.sheetDir));
  sim::PrintedSheets* pSheets = m_machine->GetBoard().FindDevice<sim::PrintedSheets>();
  ASSERT_NE(pSheets, nullptr);
  sim::PrintRecorder::Plane plane;
  plane.planeCode = PLANE_C;
  plane.session = 1;
  plane.lines.resize(2);
  for (sim::PrintRecorder::Line& line : plane.lines) line.words.assign(2560, 16320);
  pSheets->Take(plane);
  sim::SheetImage image;
  ASSERT_TRUE(sim::sheet_png::ReadFile(options.sheetDir + "/sheet-0001-L.png", &image));
  EXPECT_EQ(image.height, 2u);
  EXPECT_EQ(image.At(0, 0, 0), 0) << "full cyan: no red";
  EXPECT_EQ(image.At(0, 0, 1), 255);
}

}  // namespace
