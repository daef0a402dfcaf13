// The overcoat plane of a colour sheet in virtual time: the DSP's image job
// in the colour print's calling order around planes Y, M and C (the
// request set up before Y, ended before M and C, kicked after each colour
// plane and stepped from the abort check while the mechanism would move,
// waited for before the overcoat), then the overcoat plane started, which
// draws the slot's text items into it. The plane in SDRAM must equal the
// DSP stand-in's derivation of the picture, with bits 3-4 exactly as the
// text overlay draws them.
#include <gtest/gtest.h>

#include <vector>

#include "firmware/mechanism/step_machine.h"
#include "firmware/printengine/dsp_image_job.h"
#include "firmware/printengine/print_line.h"
#include "firmware/printengine/text_overlay_test_support.h"
#include "sim/dsp/image_job_rule.h"
#include "tests/support/print_plane.h"
#include "tests/support/test_images.h"

namespace {

using overlaytest::Cell;
using overlaytest::FirstDifference;
using overlaytest::PlaneModel;
using overlaytest::PutItems;
using testsupport::Ms;
using testsupport::PlaneRun;

constexpr uint32_t kWidth = 2464, kHeight = 1208;
constexpr PhysAddr kPlane = 0xC5A00000u;
// Abort checks after each colour plane, while the mechanism would move.
constexpr uint32_t kMovesMs = 20;

// Colour bars over the top, a grey ramp below, a diagonal over both.
testsupport::TestImage Picture() {
  testsupport::TestImage picture(kWidth, kHeight);
  const testsupport::TestImage bars = testsupport::ColourBars(kWidth, kHeight / 2);
  const testsupport::TestImage ramp = testsupport::GreyRamp(kWidth, kHeight - kHeight / 2);
  for (uint32_t y = 0; y < kHeight; ++y) {
    const testsupport::TestImage& band = y < kHeight / 2 ? bars : ramp;
    const uint32_t ulRow = y < kHeight / 2 ? y : y - kHeight / 2;
    std::copy_n(band.bytes.begin() + static_cast<std::ptrdiff_t>(band.Offset(0, ulRow)), 3 * kWidth,
                picture.bytes.begin() + static_cast<std::ptrdiff_t>(picture.Offset(0, y)));
    picture.Set(y % kWidth, y, 0, 0, 0);
  }
  return picture;
}

class OvercoatPlane : public testsupport::PrintPlaneTest {
 protected:
  std::vector<uint8_t> PlaneBytes() {
    const uint8_t* p = m_machine->GetBoard().GetBus().RamPointer(kPlane, kWidth * kHeight);
    return std::vector<uint8_t>(p, p + kWidth * kHeight);
  }
  // The stand-in's derivation of the whole plane from the words it read.
  std::vector<uint8_t> Derived(const sim::ImageJobWords& words) {
    sim::Bus& bus = m_machine->GetBoard().GetBus();
    const sim::image_job::RamReader ram = [&bus](uint32_t addr, uint32_t bytes) -> const uint8_t* {
      return bus.RamPointer(addr, bytes);
    };
    std::vector<uint8_t> plane(kWidth * kHeight);
    for (uint32_t r = 0; r < kHeight; ++r) sim::image_job::ComputeRow(words, r, ram, &plane[r * kWidth]);
    return plane;
  }
};

TEST_F(OvercoatPlane, TheDspDerivesItBetweenTheColourPassesAndTheOverlayMarksTheText) {
  const testsupport::TestImage picture = Picture();
  Prepare(picture, 0);
  ASSERT_FALSE(HasFatalFailure());
  InApp([this] {
    ASSERT_EQ(m_pSlot->pParams->ulOvercoatLength, kHeight);
    PutItems(*m_pSlot, {{200, 100, 1, 0, "Overcoat 1"}, {1000, 400, 2, 0, "Along"}, {2400, 1100, 1, 2, "End"},
                        {600, 900, 5, 0, "Across"}});
  });
  uint8_t* pucPlane = m_machine->GetBoard().GetBus().RamPointer(kPlane, kWidth * kHeight);
  std::fill(pucPlane, pucPlane + kWidth * kHeight, 0x5A);

  InApp([] { ASSERT_EQ(SetupDspPlaneBuffers(), 0); });
  std::vector<uint32_t> doneBeforePlane;
  for (uint16_t usPlane : {PLANE_Y, PLANE_M, PLANE_C}) {
    SCOPED_TRACE(usPlane);
    if (usPlane != PLANE_Y) {
      InApp([] {
        EXPECT_EQ(EndDspImageJob(), 0);
        EXPECT_EQ(g_bDspBusy, 0u);
      });
    }
    doneBeforePlane.push_back(Dsp().ImageRuns().empty() ? 0 : Dsp().ImageRuns().back().linesDone);
    const PlaneRun run = PrintOnePlane(usPlane);
    ASSERT_EQ(run.lPlan, 0);
    ASSERT_TRUE(run.bDone);
    InApp([] {
      ASSERT_EQ(StartDspImageJob(), 0);
      EXPECT_EQ(g_bDspBusy, 1u);
      const uint32_t ulStart = g_MsTimer.NowMs();
      while (g_MsTimer.NowMs() - ulStart < kMovesMs) CheckAbort(0);
    });
  }
  InApp([] {
    EXPECT_LT(g_DspImageJob.ulLinesDone, kHeight) << "work left for the wait";
    EXPECT_EQ(WaitDspImageJob(), 0);
    EXPECT_EQ(g_bDspBusy, 0u);
    EXPECT_EQ(g_DspImageJob.ulLinesDone, kHeight);
  });

  // One run kicked after each colour plane, each going on from the last.
  const std::vector<sim::DspCore::ImageRun>& runs = Dsp().ImageRuns();
  ASSERT_EQ(runs.size(), 3u);
  sim::ImageJobWords want;
  want.mode = DSP_MODE_IMAGE;
  want.sourceWidth = kWidth;
  want.sourceHeight = kHeight;
  want.printWidth = kWidth;
  want.totalLines = kHeight;
  for (uint32_t& ulSource : want.sources) ulSource = m_pSlot->ulImageAddress;
  want.destination = kPlane;
  for (size_t i = 0; i < runs.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(runs[i].words.firstLine, i == 0 ? 0u : runs[i - 1].linesDone);
    EXPECT_GT(runs[i].linesDone, runs[i].words.firstLine);
    EXPECT_FALSE(runs[i].bRunning);
    sim::ImageJobWords got = runs[i].words;
    got.firstLine = 0;
    EXPECT_EQ(got.sourceWidth, want.sourceWidth);
    EXPECT_EQ(got.sourceHeight, want.sourceHeight);
    EXPECT_EQ(got.printWidth, want.printWidth);
    EXPECT_EQ(got.totalLines, want.totalLines);
    EXPECT_EQ(got.destination, want.destination);
    for (uint32_t p = 0; p < 3; ++p) {
      EXPECT_EQ(got.sources[p], want.sources[p]);
      EXPECT_EQ(got.rowTableFlags[p], 0u);
    }
  }
  // Ended before M and C: no line while those planes print.
  for (size_t i = 1; i < runs.size(); ++i) EXPECT_EQ(runs[i].words.firstLine, doneBeforePlane[i]) << i;

  const std::vector<uint8_t> derived = Derived(runs.front().words);
  {
    const std::vector<uint8_t> plane = PlaneBytes();
    EXPECT_TRUE(plane == derived) << FirstDifference(plane, derived, kWidth);
  }

  // The overcoat plane's start draws the text items into it.
  const PlaneRun overcoat = PrintOnePlane(PLANE_OVERCOAT);
  ASSERT_EQ(overcoat.lPlan, 0);
  ASSERT_TRUE(overcoat.bDone);
  PlaneModel model(derived, kWidth, kHeight);
  const char* const kOvercoat = "Overcoat 1";
  for (uint32_t k = 0; k < 10; ++k) model.Draw(Cell{1, 200 + 32 * k, 100, kOvercoat[k], k == 9});
  for (uint32_t k = 0; k < 5; ++k) model.Draw(Cell{2, 1000, 400 + 32 * k, "Along"[k], k == 4});
  for (uint32_t k = 0; k < 3; ++k) model.Draw(Cell{1, 2304 + 32 * k, 1100, "End"[k], k == 2});
  for (uint32_t k = 0; k < 6; ++k) model.Draw(Cell{5, 600 + 64 * k, 900, "Across"[k], k == 5});
  const std::vector<uint8_t> plane = PlaneBytes();
  EXPECT_TRUE(plane == model.Bytes()) << FirstDifference(plane, model.Bytes(), kWidth);
  size_t ulMarked = 0;
  for (size_t i = 0; i < plane.size(); ++i) {
    if ((plane[i] & 0x18) != 0) ++ulMarked;
  }
  EXPECT_GT(ulMarked, 10u * 32 * 62) << "the text's cells carry bits 3-4; the derivation has them clear";
}

}  // namespace
