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
#include "firmware/printengine/print_mode.h"
#include "sim/cpu.h"
#include "sim/intc.h"
#include "sim/soc/gpio.h"
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

    testsupport::ExpectPlaneFromPicture(Dsp(), ulSession, Record(), run, usPlane, picture, 3);
  }
  EXPECT_FALSE(controltest::IsErrorSet(erridx::kDspTableTimeout));
}

// Two size-7 jobs on one merged sheet (layout 3: the second job's image
// first, then the first's), as the merging leaves the merged record.
TEST_F(PrintPlane, AMergedSheetTakesEachRowFromItsSubImageAndTheOvercoatWhole) {
  struct Case {
    const char* pszName;
    uint16_t usPlane;
    bool bSecondOwnsBuffer;
  };
  const Case cases[] = {
      {"plane Y", PLANE_Y, true},
      {"plane Y, the second job's slot without a buffer", PLANE_Y, false},
      {"the overcoat never splits", PLANE_OVERCOAT, true},
  };
  Prepare(testsupport::GreyRamp(2464, 1208), 0);
  uint32_t ulFirstImage = 0, ulSecondImage = 0;
  InApp([&] {
    ImageSlot* pSecond = printlinetest::AttachedSlot(&g_PrintSizeTable[0]);
    ASSERT_NE(pSecond, nullptr);
    pSecond->usInternal = 0;
    PrintJobRecord* pFirst = nullptr;
    g_PrintJobQueue.GetNthActiveJob(1, &pFirst);
    ASSERT_NE(pFirst, nullptr);
    ulFirstImage = pFirst->slotColorB.ulImageAddress;
    ulSecondImage = pSecond->ulImageAddress;
    ASSERT_NE(ulFirstImage, ulSecondImage);
    g_MergedJobRecord = *pFirst;
    g_MergedJobRecord.pNext = nullptr;
    g_MergedJobRecord.usMergeSelector = 3;
    g_MergedJobRecord.pPrintSize = &g_PrintSizeTable[5];  // id 10: two 1208-line images
    g_ulPrintMode = PRINT_MODE_MULTI_UP;
  });
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pszName);
    InApp([&] {
      PrintJobRecord* pSecondJob = nullptr;
      g_PrintJobQueue.GetNthActiveJob(2, &pSecondJob);
      pSecondJob->slotColorB.ucOwnsBuffer = c.bSecondOwnsBuffer ? 1 : 0;
    });
    Dsp().ClearLineRuns();
    const uint32_t ulSession = Dsp().PrintSession();
    const PlaneRun run = PrintOnePlane(c.usPlane);
    ASSERT_EQ(run.lPlan, 0);
    ASSERT_TRUE(run.bDone);
    EXPECT_EQ(run.usLineCount, 2416 + 24);
    const std::vector<uint16_t> expected = ExpectedRows(run.usLineCount, 12, 12);
    std::vector<const sim::DspCore::LineRun*> runs;
    for (const sim::DspCore::LineRun& r : Dsp().LineRuns()) {
      if (r.session > ulSession) runs.push_back(&r);
    }
    ASSERT_EQ(runs.size(), expected.size());
    uint32_t ulSplit = 0, ulMismatches = 0;
    for (size_t n = 1; n < runs.size(); ++n) {
      const bool bBlank = n >= run.usLineCount && n > 5;
      uint32_t ulBase = PRINT_BLANK_ROW;
      uint16_t usRow = 0;
      if (c.usPlane == PLANE_OVERCOAT) {
        if (!bBlank) ulBase = PRINT_OVERCOAT_PLANE, usRow = expected[n];
      } else if (!bBlank && expected[n] >= 1208) {
        ulBase = ulFirstImage, usRow = static_cast<uint16_t>(expected[n] - 1208);
        ++ulSplit;
      } else if (!bBlank && c.bSecondOwnsBuffer) {
        ulBase = ulSecondImage, usRow = expected[n];
      }
      if ((runs[n]->words.base != ulBase || runs[n]->words.row != usRow) && ++ulMismatches < 4) {
        ADD_FAILURE() << "line " << n << ": base " << std::hex << runs[n]->words.base << " row " << std::dec
                      << runs[n]->words.row << ", expected " << std::hex << ulBase << " row " << std::dec << usRow;
      }
    }
    EXPECT_EQ(ulMismatches, 0u);
    EXPECT_EQ(ulSplit > 0, c.usPlane != PLANE_OVERCOAT);
  }
  InApp([] { g_ulPrintMode = 0; });
}

// A lead line's step, taken by the plane sequencer from task context, with
// the line pin's interrupt made due at each switch point of it in turn: the
// interrupt waits for the step's end, so the rows handed over and the
// segment position are those of the step followed by the line pin's tick.
TEST_F(PrintPlane, ALinePinInterruptInsideATaskLevelStepWaitsForItsEnd) {
  Prepare(testsupport::ColourBars(2464, 1208), 0);
  sim::Board& board = m_machine->GetBoard();
  sim::GpioController& gpio = *board.FindDevice<sim::GpioController>();
  constexpr uint32_t kGpioBank0Event = 0x2A;
  struct Outcome {
    uint32_t ulPosition = 0, ulStepsLeft = 0;
    uint16_t usLineCounter = 0, usRow = 0;
    uint32_t ulHandshakes = 0;
    bool operator==(const Outcome&) const = default;
  };
  // Plans plane Y and steps up to the first lead line's step; then that
  // step with the interrupt due at switch point j (0: none, the line pin
  // ticked after it).
  auto Run = [&](uint32_t j) {
    Outcome out;
    InApp([&] {
      ASSERT_EQ(g_PlaneSequencer.StartPlane(0, 0), 0);
      ASSERT_EQ(g_PlaneSequencer.PlanPlane(PLANE_Y), 0);
      // Up to the step that starts the second lead line (line 2, row 0;
      // the line pin's tick then hands over line 3, row 1).
      while (g_PrintLine.CallCount(LINE_CALLS_LEAD) < 2) {
        if (g_PrintLine.GetSegmentPosition() == LINE_SEG_LEAD_FIRST + 1u && g_PrintLine.StepsLeft() == 1) break;
        g_PlaneSequencer.OnLine();
      }
      // The pin's edge latched, its interrupt not yet due.
      const uint32_t ulSaved = SaveIrqAndDisable();
      gpio.DriveInput(2, false);
      gpio.ReleaseInput(2);
      board.Intc().Clear(kGpioBank0Event);
      RestoreIrq(ulSaved);
      if (j != 0) board.GetCpu().InjectAtSwitchPoint(kGpioBank0Event, j);
      g_PlaneSequencer.OnLine();
      if (j == 0) g_PrintLine.StepLineSegment();
      for (int i = 0; i < 4; ++i) CpuRelax();
      out.ulPosition = g_PrintLine.GetSegmentPosition();
      out.ulStepsLeft = g_PrintLine.StepsLeft();
      out.usLineCounter = g_PrintLine.LineCounter();
      out.usRow = HwRead16(DSP_LINE_ROW);
      out.ulHandshakes = g_PrintLine.CallCount(LINE_CALLS_HANDSHAKE);
      g_PrintLine.StopPrint();
      g_PlaneSequencer.SetState(PLANE_STATE_IDLE);
    });
    return out;
  };
  const Outcome undisturbed = Run(0);
  EXPECT_EQ(undisturbed.ulHandshakes, 3u) << "the first lead line, the step's and the line pin's";
  EXPECT_EQ(undisturbed.usRow, 1);
  for (uint32_t j = 1; j <= 48; ++j) {
    EXPECT_EQ(Run(j), undisturbed) << "interrupt due at switch point " << j;
  }
}

}  // namespace
