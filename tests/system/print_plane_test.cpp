// Planes printed line by line on the virtual printer: a sequence in the
// application task plays the colour-pass sequence's part (the job's slot,
// StartPlane and PlanPlane per plane, the main stepper at the rate that
// "Stp/Lx1000" and the TABLE's line period give, the state polled to 2,
// EndPlane), and the test compares what the DSP stand-in was handed and
// what the head drive strobed (the line record) with the picture.
#include <gtest/gtest.h>

#include <vector>

#include "firmware/control/error_manager.h"
#include "firmware/devices/settings.h"
#include "sim/dsp/print_line_rule.h"
#include "tests/support/print_plane.h"

namespace {

using testsupport::Ms;

using testsupport::ExpectedRows;
using testsupport::PlaneRun;
using PrintPlane = testsupport::PrintPlaneTest;

TEST_F(PrintPlane, AOneSidedJobPrintsYMAndCLineByLineFromThePicture) {
  // Size id 7: 1208 lines of 2464 dots.
  const testsupport::TestImage picture = testsupport::ColourBars(2464, 1208);
  Prepare(picture, 0);
  for (uint16_t usPlane : {PLANE_Y, PLANE_M, PLANE_C}) {
    SCOPED_TRACE(usPlane);
    Dsp().ClearLineRuns();
    const uint32_t ulSession = Dsp().PrintSession();
    const PlaneRun run = PrintOnePlane(usPlane);
    ASSERT_EQ(run.lStart, 0);
    ASSERT_EQ(run.lPlan, 0);
    ASSERT_TRUE(run.bDone);
    EXPECT_EQ(run.usLineCount, 1208 + 24);
    // The stretches at the steps the plan gave.
    EXPECT_EQ(run.ulImageAt, run.ulImage + run.ulRear);
    EXPECT_EQ(run.ulRunOutAt, run.ulRear);

    // The rows the DSP was handed, line by line.
    std::vector<uint16_t> rows;
    for (const sim::DspCore::LineRun& r : Dsp().LineRuns()) {
      if (r.session > ulSession) rows.push_back(r.words.row);
    }
    const std::vector<uint16_t> expected = ExpectedRows(run.usLineCount, 12, 12);
    ASSERT_EQ(rows.size(), expected.size());
    EXPECT_EQ(rows, expected);

    // The strobed lines: one stale line (the first line pulse, before any
    // hand-over), no overrun, every line printed for real.
    const std::vector<sim::PrintRecorder::Line>& lines = Record().Lines(0, usPlane);
    ASSERT_EQ(lines.size(), run.usLineCount);
    uint32_t ulStale = 0, ulOverruns = 0, ulPrinted = 0;
    for (const sim::PrintRecorder::Line& l : lines) {
      ulStale += l.bStale ? 1 : 0;
      ulOverruns += l.bOverrun ? 1 : 0;
      ulPrinted += l.Printed() ? 1 : 0;
    }
    EXPECT_EQ(ulStale, 1u);
    EXPECT_EQ(ulOverruns, 0u);
    EXPECT_EQ(ulPrinted, lines.size());

    // Each line from the picture, placed at dot 48 + "Side A-R" 3, levels
    // through the plane's gradation. The first line pulse strobes what the
    // first line handed over (line 4's row); the second finds nothing new
    // (its hand-over follows it) and strobes that again; from then on
    // line pulse k strobes the row of line k + 2.
    const std::vector<uint8_t>& gradation = Dsp().Table(DSP_TABLE_GRADATION);
    ASSERT_EQ(gradation.size(), 512u);
    const uint32_t ulRowBytes = 2464 * 3;
    uint32_t ulMismatches = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
      sim::PrintLineWords w;
      w.sideOffset = 3;
      w.planeCode = usPlane;
      w.rowLength = 2464;
      w.headWidth = 2560;
      w.colourByte = usPlane;
      w.row = expected[i < 2 ? 4 : i + 3];
      std::vector<uint16_t> want(sim::print_line::kLineWords);
      sim::print_line::ComputeLine(w, &picture.bytes[static_cast<size_t>(w.row) * ulRowBytes], gradation.data(),
                                   want.data());
      if (lines[i].words != want && ++ulMismatches < 4) ADD_FAILURE() << "line " << i << " row " << w.row;
    }
    EXPECT_EQ(ulMismatches, 0u);

    // The head log: each entry the word at the log offset of the line the
    // drive strobed when it was read.
    const uint32_t ulWord = run.ulLogOffset / 2;
    EXPECT_EQ(ulWord, 48u + static_cast<uint32_t>(SettingValue(g_ParamHeadLogOffset)));
    uint32_t ulLogMismatches = 0;
    for (size_t j = 0; j + 1 < lines.size(); ++j) {
      if (run.log[j] != lines[j + 1].words[ulWord] &&
          ++ulLogMismatches < 4) {
        ADD_FAILURE() << "log entry " << j;
      }
    }
    EXPECT_EQ(ulLogMismatches, 0u);
  }
  EXPECT_FALSE(controltest::IsErrorSet(erridx::kDspTableTimeout));
}

}  // namespace
