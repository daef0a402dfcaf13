// Planes printed line by line on the virtual printer: a sequence in the
// application task plays the colour-pass sequence's part (the job's slot,
// StartPlane and PlanPlane per plane, the main stepper at the rate that
// "Stp/Lx1000" and the TABLE's line period give, the state polled to 2,
// EndPlane), and the test compares what the DSP stand-in was handed and
// what the head drive strobed (the line record) with the picture.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "firmware/control/control_test_rig.h"
#include "firmware/control/error_manager.h"
#include "firmware/control/line_steps.h"
#include "firmware/devices/machine_ports.h"
#include "firmware/devices/settings.h"
#include "firmware/platform/ioctl.h"
#include "firmware/devices/stepper.h"
#include "firmware/hal/hw.h"
#include "firmware/hal/kernel.h"
#include "firmware/platform/head_drive.h"
#include "firmware/printengine/head_line_log.h"
#include "firmware/printengine/plane_lead_in.h"
#include "firmware/printengine/plane_sequencer.h"
#include "firmware/printengine/print_line.h"
#include "firmware/printengine/print_line_test_support.h"
#include "firmware/sequences/ribbon_winding.h"
#include "sim/bus.h"
#include "sim/dsp/dsp_core.h"
#include "sim/dsp/print_line_rule.h"
#include "sim/fpga/fpga_main_block.h"
#include "sim/mechanism/print_recorder.h"
#include "tests/support/test_images.h"

namespace {

using testsupport::Ms;

// What the sequence saw of one plane.
struct PlaneRun {
  int32_t lStart = -1;
  int32_t lPlan = -1;
  uint32_t ulTotalSteps = 0;
  uint32_t ulFront = 0, ulImage = 0, ulRear = 0;
  // Remaining steps at the first sight of each stretch.
  uint32_t ulImageAt = 0, ulRunOutAt = 0;
  bool bDone = false;
  uint16_t usLineCount = 0;
  uint32_t ulLogOffset = 0;
  std::vector<uint16_t> log;  // the plane's head log of unit L
};

class PrintPlane : public controltest::ControlTest {
 protected:
  sim::DspCore& Dsp() { return *m_machine->GetBoard().FindDevice<sim::DspCore>(); }
  sim::PrintRecorder& Record() { return m_machine->PrintRecord(); }

  // The board and a host-like job of size row `ulSizeRow` whose colour
  // picture lies in its slot's buffer; "Stp/Lx1000" 1000.
  void Prepare(const testsupport::TestImage& picture, uint32_t ulSizeRow) {
    InApp(
        [&] {
          printlinetest::PrepareBoard(printlinetest::AddLineValues);
          if (::testing::Test::HasFatalFailure()) return;
          g_HeadDrive.Init();
          // The start-up's pin edges and motor enable.
          for (uint32_t ulPin = 1; ulPin <= 6; ++ulPin) IoctlSetGpioFallTrig(ulPin);
          g_PortMotorEnable.Set();
          g_ParamStpLx1000.SetValueNoSave(1000);
          g_ParamSideAL.SetValueNoSave(0);
          g_ParamSideAR.SetValueNoSave(3);
          g_ParamCisSW.SetValueNoSave(0);
          g_ulRibDummyLines = 60;
          m_pSlot = printlinetest::AttachedSlot(&g_PrintSizeTable[ulSizeRow]);
          ASSERT_NE(m_pSlot, nullptr);
          m_pSlot->usInternal = 0;
        },
        Ms(20000));
    ASSERT_NE(m_pSlot, nullptr);
    uint8_t* p = m_machine->GetBoard().GetBus().RamPointer(m_pSlot->ulImageAddress,
                                                             static_cast<uint32_t>(picture.bytes.size()));
    ASSERT_NE(p, nullptr);
    std::copy(picture.bytes.begin(), picture.bytes.end(), p);
  }

  // One plane as the colour-pass sequence prints it.
  PlaneRun PrintOnePlane(uint16_t usPlane, sim::Nanos limit = Ms(30000)) {
    PlaneRun run;
    InApp(
        [&] {
          run.lStart = g_PlaneSequencer.StartPlane(0, 0);
          if (run.lStart != 0) return;
          run.lPlan = g_PlaneSequencer.PlanPlane(usPlane);
          if (run.lPlan != 0) return;
          g_PlaneSequencer.GetTotalSteps(&run.ulTotalSteps);
          run.ulFront = g_PlaneSequencer.FrontSteps();
          run.ulImage = g_PlaneSequencer.ImageSteps();
          run.ulRear = g_PlaneSequencer.RearSteps();
          run.usLineCount = g_PrintLine.Plane().usLineCount;
          run.ulLogOffset = g_PrintLine.LogOffsetBytes();
          uint32_t ulPeriod = g_PrintLine.LinePeriodUs();
          const uint32_t ulRate = 1000000u * static_cast<uint32_t>(SettingValue(g_ParamStpLx1000)) / 1000u / ulPeriod;
          g_StpmtrMain.RunConstant(ulRate, 0, 2, 0);
          uint32_t ulState = 0;
          for (uint32_t ulWaited = 0; ulWaited < 25000000u; ulWaited += 50) {
            g_PlaneSequencer.GetState(&ulState);
            const uint32_t ulStretch = ulState & 0xFFF;
            if (run.ulImageAt == 0 && ulStretch == PLANE_STATE_IMAGE) run.ulImageAt = g_PlaneSequencer.RemainingSteps();
            if (run.ulRunOutAt == 0 && ulStretch == PLANE_STATE_RUN_OUT) {
              run.ulRunOutAt = g_PlaneSequencer.RemainingSteps();
            }
            if (ulState == PLANE_STATE_DONE) break;
            CpuRelaxUs(50);
          }
          run.bDone = ulState == PLANE_STATE_DONE;
          g_StpmtrMain.Halt();
          g_PrintLine.EndPlane();
          g_PlaneSequencer.SetState(PLANE_STATE_IDLE);
          for (uint32_t i = 0; i < HEAD_LINE_LOG_ENTRIES; ++i) run.log.push_back(g_usHeadLineLogA[usPlane][i]);
        },
        limit);
    return run;
  }

  ImageSlot* m_pSlot = nullptr;
};

// The rows a plane hands over, by line (0 the prefetch): the extra-line
// rows twice at both ends, the blank row (0) past the last image line.
std::vector<uint16_t> ExpectedRows(uint16_t usLineCount, uint32_t ulE1, uint32_t ulE2) {
  std::vector<uint16_t> rows{0};
  uint16_t usRow = 0, usZoneA = 0, usZoneB = 0;
  for (uint32_t n = 1; n < usLineCount + 4u; ++n) {
    if (n + 1 > usLineCount && n > 5) {
      rows.push_back(0);
      continue;
    }
    rows.push_back(usRow);
    bool bAdvance = true;
    if (n < 2 * ulE1) {
      bAdvance = (++usZoneA & 1u) == 0;
    } else if (n >= usLineCount - 2 * ulE2 && n < usLineCount) {
      bAdvance = (++usZoneB & 1u) == 0;
    }
    if (bAdvance) ++usRow;
  }
  return rows;
}

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
