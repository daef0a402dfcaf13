// Planes printed line by line on the virtual printer: a sequence in the
// application task plays the colour-pass sequence's part (the job's slot,
// StartPlane and PlanPlane per plane, the main stepper at the rate that
// "Stp/Lx1000" and the TABLE's line period give, the state polled to 2,
// EndPlane), and the test compares what the DSP stand-in was handed and
// what the head drive strobed (the line record) with the picture.
#include <gtest/gtest.h>

#include <vector>

#include "firmware/control/error_manager.h"
#include "firmware/devices/buf_slot_table.h"
#include "firmware/devices/settings.h"
#include "firmware/printengine/job_queue_test_support.h"
#include "firmware/printengine/print_mode.h"
#include "firmware/printengine/print_sequence_support.h"
#include "firmware/platform/time_base.h"
#include "sim/cpu.h"
#include "sim/intc.h"
#include "sim/soc/gpio.h"
#include "sim/dsp/print_line_rule.h"
#include "sim/mechanism/stepper_drivers.h"
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

// A host job with a picture on each side, side A the full 8x10 length and
// side B shorter, both on unit L, side A first. When the job completes, the
// shorter side's rear and tail lines are lengthened to the longer side's;
// the plane start puts the print size's rear lines back, so each side's
// colour planes run out the same rear lines after their own picture, and
// only the tail lines (what the next plane's move counts) keep the
// difference.
TEST_F(PrintPlane, TwoSidesOfTwoLengthsPrintTheirOwnLinesAndTheSameRunOut) {
  constexpr uint32_t kLongLines = 3024, kShortLines = 1208, kExtra = 24, kRear = 82;
  PrepareBoard();
  ASSERT_FALSE(HasFatalFailure());
  const testsupport::TestImage longPicture = testsupport::ColourBars(2464, kLongLines);
  const testsupport::TestImage shortPicture = testsupport::Diagonal(2464, kShortLines);
  PrintJobRecord* pJob = nullptr;
  InApp([&] {
    jobtest::LoadMedia(RIBBON_SIZE_8X10, RIBBON_SIZE_8X10);
    jobtest::HostSetup setup;
    setup.ucMask = SLOT_COLOR_A | SLOT_COLOR_B;
    setup.ucFirstSide = SIDE_A;
    ASSERT_EQ(jobtest::SetUpHostJob(setup), 0);
    pJob = jobtest::ReceivingJob();
    ASSERT_NE(pJob, nullptr);
    // Each picture in a colour buffer of its own, as the print command and
    // its data phase leave it; then the job's completion.
    for (uint16_t usLines : {kLongLines, kShortLines}) {
      jobtest::SetImageBlock(2464, usLines);
      const uint32_t ulOffset = jobtest::TakeBuffer(BUF_POOL_COLOUR);
      ASSERT_NE(ulOffset, BUF_SLOT_NO_OFFSET);
      ASSERT_EQ(g_PrintJobQueue.AddImageSlot(0, ulOffset, IMAGE_HOST, &g_PrintSize8x10), 0);
      ASSERT_EQ(g_PrintJobQueue.CompleteSlot(), 0);
    }
    ASSERT_EQ(g_PrintJobQueue.CompleteJob(), 0);
    g_PrintJobQueue.EqualiseSlotLengths(pJob);
    ASSERT_EQ(g_PrintJobQueue.BuildPrintOrder(pJob, SIDE_A, UNIT_L, UNIT_L), 0);
  });
  ASSERT_NE(pJob, nullptr);
  ASSERT_FALSE(HasFatalFailure());
  PutPicture(pJob->slotColorA.ulImageAddress, longPicture);
  PutPicture(pJob->slotColorB.ulImageAddress, shortPicture);
  const PrintSizeRecord& shortParams = pJob->slotColorB.printParams;
  ASSERT_EQ(shortParams.aulRearDummyLines[PLANE_Y], kRear + kLongLines - kShortLines) << "lengthened";

  struct Side {
    const char* pszName;
    uint32_t ulOrderRow;
    const testsupport::TestImage* pPicture;
    uint32_t ulLines;
  };
  const Side sides[] = {{"side A", 0, &longPicture, kLongLines}, {"side B", 1, &shortPicture, kShortLines}};
  sim::StepperDrivers& shafts = *m_machine->GetBoard().FindDevice<sim::StepperDrivers>();
  // Per side and plane, in shaft eighths from the plane's start: the first
  // and last strobed line and the plane's end.
  struct Where {
    int64_t llFirst = 0, llLast = 0, llEnd = 0;
  };
  Where where[2][3];
  uint32_t aulPaperReturn[2] = {};
  uint32_t ulEighthsPerStep = 0;
  for (uint32_t s = 0; s < 2; ++s) {
    const Side& side = sides[s];
    SCOPED_TRACE(side.pszName);
    InApp([&] { g_PrintJobQueue.SetPrintOrderIndex(side.ulOrderRow); });
    for (uint16_t usPlane : {PLANE_Y, PLANE_M, PLANE_C}) {
      SCOPED_TRACE(usPlane);
      Dsp().ClearLineRuns();
      const uint32_t ulSession = Dsp().PrintSession();
      const int64_t llStart = shafts.ShaftEighths(sim::Stepper::Main);
      const PlaneRun run = PrintOnePlane(usPlane);
      ASSERT_EQ(run.lStart, 0);
      ASSERT_EQ(run.lPlan, 0);
      ASSERT_TRUE(run.bDone);
      // The side's own picture, then the size's rear lines: "Stp/Lx1000"
      // 1000 makes a step of each line (even counts).
      EXPECT_EQ(run.usLineCount, side.ulLines + kExtra);
      EXPECT_EQ(run.ulImage, side.ulLines + kExtra);
      EXPECT_EQ(run.ulRear, kRear);
      // Every line from the picture, the last three the blank row.
      ASSERT_FALSE(Dsp().LineRuns().empty());
      const int16_t sSideOffset = Dsp().LineRuns().back().words.sideOffset;
      testsupport::ExpectPlaneFromPicture(Dsp(), ulSession, Record(), run, usPlane, *side.pPicture, sSideOffset);
      const std::vector<sim::PrintRecorder::Line>& lines = Record().Lines(0, usPlane);
      ASSERT_EQ(lines.size(), side.ulLines + kExtra);
      Where& w = where[s][usPlane];
      w.llFirst = lines.front().shaftEighths - llStart;
      w.llLast = lines.back().shaftEighths - llStart;
      w.llEnd = shafts.ShaftEighths(sim::Stepper::Main) - llStart;
      ulEighthsPerStep = static_cast<uint32_t>(w.llEnd / run.ulTotalSteps);
      EXPECT_EQ(w.llEnd, static_cast<int64_t>(ulEighthsPerStep) * run.ulTotalSteps);
    }
    InApp([&] { g_PlaneSequencer.GetPaperReturnSteps(0, &aulPaperReturn[s]); });
  }
  // The rear lines the plane start put back; the tail keeps the length.
  EXPECT_EQ(shortParams.aulRearDummyLines[PLANE_Y], kRear);
  EXPECT_EQ(shortParams.ulColourTailLines, 72u + kLongLines - kShortLines);
  // The paper return after the side counts the tail beyond the rear lines:
  // the shorter side's takes back the length it lacks.
  EXPECT_EQ(aulPaperReturn[1] - aulPaperReturn[0], kLongLines - kShortLines);
  // The pictures start at the same distance into their planes; the shorter
  // side ends its plane the same distance past its last line as the longer
  // one: no blank run-out for the length it lacks.
  const int64_t llDifference = static_cast<int64_t>(ulEighthsPerStep) * (kLongLines - kShortLines);
  for (uint16_t usPlane : {PLANE_Y, PLANE_M, PLANE_C}) {
    SCOPED_TRACE(usPlane);
    const Where& a = where[0][usPlane];
    const Where& b = where[1][usPlane];
    EXPECT_EQ(b.llFirst, a.llFirst);
    EXPECT_EQ(a.llLast - b.llLast, llDifference);
    EXPECT_EQ(b.llEnd - b.llLast, a.llEnd - a.llLast);
    EXPECT_EQ(b.llEnd - b.llLast, static_cast<int64_t>(ulEighthsPerStep) * kRear);
    EXPECT_EQ(a.llEnd - b.llEnd, llDifference);
  }
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

// The bench loop: with a job ready it plans plane Y of that job and steps
// it from task context, one line step a millisecond, to its end. Each of
// its passes first runs the Menu key's action, whose menu Clear leaves.
TEST_F(PrintPlane, TheBenchLoopStepsPlaneYOfTheReadyJobALineAMillisecond) {
  Prepare(testsupport::ColourBars(2464, 1208), 0);
  for (uint64_t k = 0; k < 4; ++k) m_machine->Keys().Tap(sim::PanelKey::Clear, Ms(150), Ms(300 + 500 * k));
  int32_t lResult = 9;
  uint32_t ulState = 9, ulSteps = 0, ulDivider = 0, ulStartMs = 0, ulEndMs = 0;
  InApp([&] {
    ulStartMs = g_MsTimer.NowMs();
    lResult = PlaneBenchLoop();
    ulEndMs = g_MsTimer.NowMs();
    g_PlaneSequencer.GetState(&ulState);
    g_PlaneSequencer.GetTotalSteps(&ulSteps);
    ulDivider = g_PlaneSequencer.LineDivider();
    g_PrintLine.EndPlane();
    g_PlaneSequencer.SetState(PLANE_STATE_IDLE);
  }, Ms(120000));
  EXPECT_EQ(lResult, 0);
  EXPECT_EQ(ulState, PLANE_STATE_DONE);
  ASSERT_GT(ulSteps, 0u);
  EXPECT_GE(ulEndMs - ulStartMs, ulSteps * ulDivider) << "one call a millisecond";
  EXPECT_LE(ulEndMs - ulStartMs, ulSteps * ulDivider * 2);
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
