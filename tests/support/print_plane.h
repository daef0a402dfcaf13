// Planes printed by a sequence in the application task that plays the
// colour-pass sequence's part (test code only): the board with the sample
// TABLE and the DSP linked, a host-like job whose colour picture lies in its
// slot's buffer, and per plane StartPlane, PlanPlane, the main stepper at
// the rate that "Stp/Lx1000" and the line period give, the state polled to
// 2, EndPlane.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

#include "firmware/control/control_test_rig.h"
#include "firmware/devices/machine_ports.h"
#include "firmware/devices/settings.h"
#include "firmware/devices/stepper.h"
#include "firmware/hal/hw.h"
#include "firmware/platform/head_drive.h"
#include "firmware/platform/ioctl.h"
#include "firmware/printengine/head_line_log.h"
#include "firmware/printengine/plane_lead_in.h"
#include "firmware/printengine/plane_sequencer.h"
#include "firmware/printengine/print_line.h"
#include "firmware/printengine/print_line_test_support.h"
#include "firmware/sequences/ribbon_winding.h"
#include "sim/bus.h"
#include "sim/dsp/dsp_core.h"
#include "sim/dsp/print_line_rule.h"
#include "sim/mechanism/print_recorder.h"
#include "tests/support/test_images.h"

namespace testsupport {

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

// The rows a plane hands over, by line (0 the prefetch): the extra-line
// rows twice at both ends, the blank row (0) past the last image line.
inline std::vector<uint16_t> ExpectedRows(uint16_t usLineCount, uint32_t ulE1, uint32_t ulE2) {
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

// One plane as the colour-pass sequence prints it, in the application task
// (the job's slot is the current print-order row's); afterPlan runs once the
// plane is planned.
inline PlaneRun PrintPlaneInApp(uint16_t usPlane, const std::function<void()> &afterPlan = nullptr) {
  PlaneRun run;
  run.lStart = g_PlaneSequencer.StartPlane(0, 0);
  if (run.lStart != 0) return run;
  run.lPlan = g_PlaneSequencer.PlanPlane(usPlane);
  if (run.lPlan != 0) return run;
  g_PlaneSequencer.GetTotalSteps(&run.ulTotalSteps);
  run.ulFront = g_PlaneSequencer.FrontSteps();
  run.ulImage = g_PlaneSequencer.ImageSteps();
  run.ulRear = g_PlaneSequencer.RearSteps();
  run.usLineCount = g_PrintLine.Plane().usLineCount;
  run.ulLogOffset = g_PrintLine.LogOffsetBytes();
  if (afterPlan) afterPlan();
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
  return run;
}

// A plane of a host picture of unit L against what the DSP took (the
// sessions after ulSession) and the line record: the rows by line, one stale
// line, no overrun, every line printed for real and computed from the
// picture (placed at dot 48 + the side offset, levels by the plane's
// gradation), and the head log.
inline void ExpectPlaneFromPicture(const sim::DspCore &dsp, uint32_t ulSession, sim::PrintRecorder &record,
                                   const PlaneRun &run, uint16_t usPlane, const TestImage &picture,
                                   int16_t sSideOffset) {
  // The rows the DSP was handed, line by line.
  std::vector<uint16_t> rows;
  for (const sim::DspCore::LineRun &r : dsp.LineRuns()) {
    if (r.session > ulSession) rows.push_back(r.words.row);
  }
  const std::vector<uint16_t> expected = ExpectedRows(run.usLineCount, 12, 12);
  ASSERT_EQ(rows.size(), expected.size());
  EXPECT_EQ(rows, expected);

  // The strobed lines: one stale line (the second line pulse: the first
  // line's hand-over follows it), no overrun, every line printed for real.
  const std::vector<sim::PrintRecorder::Line> &lines = record.Lines(0, usPlane);
  ASSERT_EQ(lines.size(), run.usLineCount);
  uint32_t ulStale = 0, ulOverruns = 0, ulPrinted = 0;
  for (const sim::PrintRecorder::Line &l : lines) {
    ulStale += l.bStale ? 1 : 0;
    ulOverruns += l.bOverrun ? 1 : 0;
    ulPrinted += l.Printed() ? 1 : 0;
  }
  EXPECT_EQ(ulStale, 1u);
  EXPECT_EQ(ulOverruns, 0u);
  EXPECT_EQ(ulPrinted, lines.size());

  // Each line from the picture, placed at dot 48 + the side offset, levels
  // through the plane's gradation. The first line pulse strobes what the
  // first line handed over (line 4's row); the second finds nothing new
  // (its hand-over follows it) and strobes that again; from then on
  // line pulse k strobes the row of line k + 2.
  const std::vector<uint8_t> &gradation = dsp.Table(DSP_TABLE_GRADATION);
  ASSERT_EQ(gradation.size(), 512u);
  const uint32_t ulRowBytes = 2464 * 3;
  uint32_t ulMismatches = 0;
  const std::vector<uint8_t> blank(ulRowBytes, 0xFF);
  for (size_t i = 0; i < lines.size(); ++i) {
    sim::PrintLineWords w;
    w.sideOffset = sSideOffset;
    w.planeCode = usPlane;
    w.rowLength = 2464;
    w.headWidth = 2560;
    w.colourByte = usPlane;
    const size_t n = i < 2 ? 4 : i + 3;
    w.row = expected[n];
    // Past the last image line the blank row (white).
    const bool bBlank = n >= run.usLineCount && n > 5;
    const uint8_t* pucRow = bBlank ? blank.data() : &picture.bytes[static_cast<size_t>(w.row) * ulRowBytes];
    std::vector<uint16_t> want(sim::print_line::kLineWords);
    sim::print_line::ComputeLine(w, pucRow, gradation.data(), want.data());
    if (lines[i].words != want && ++ulMismatches < 4) ADD_FAILURE() << "line " << i << " row " << w.row;
  }
  EXPECT_EQ(ulMismatches, 0u);

  // The head log: each entry the word at the log offset of the line the
  // drive strobed when it was read.
  const uint32_t ulWord = run.ulLogOffset / 2;
  EXPECT_EQ(ulWord, 48u + static_cast<uint32_t>(SettingValue(g_ParamHeadLogOffset)));
  uint32_t ulLogMismatches = 0;
  for (size_t j = 0; j + 1 < lines.size(); ++j) {
    if (run.log[j] != lines[j + 1].words[ulWord] && ++ulLogMismatches < 4) {
      ADD_FAILURE() << "log entry " << j;
    }
  }
  EXPECT_EQ(ulLogMismatches, 0u);
}

class PrintPlaneTest : public controltest::ControlTest {
 protected:
  sim::DspCore &Dsp() { return *m_machine->GetBoard().FindDevice<sim::DspCore>(); }
  sim::PrintRecorder &Record() { return m_machine->PrintRecord(); }

  // The board: the sample TABLE, the DSP linked, the head drive, the
  // start-up's pin edges and motor enable; "Stp/Lx1000" 1000.
  void PrepareBoard() {
    InApp(
        [&] {
          printlinetest::PrepareBoard();
          if (::testing::Test::HasFatalFailure()) return;
          g_HeadDrive.Init();
          for (uint32_t ulPin = 1; ulPin <= 6; ++ulPin) IoctlSetGpioFallTrig(ulPin);
          g_PortMotorEnable.Set();
          g_ParamStpLx1000.SetValueNoSave(1000);
          g_ParamSideAL.SetValueNoSave(0);
          g_ParamSideAR.SetValueNoSave(3);
          g_ParamCisSW.SetValueNoSave(0);
          g_ulRibDummyLines = 60;
        },
        Ms(20000));
  }

  // The picture's bytes at an image address.
  void PutPicture(uint32_t ulImageAddress, const testsupport::TestImage &picture) {
    uint8_t *p = m_machine->GetBoard().GetBus().RamPointer(ulImageAddress, static_cast<uint32_t>(picture.bytes.size()));
    ASSERT_NE(p, nullptr);
    std::copy(picture.bytes.begin(), picture.bytes.end(), p);
  }

  // The board and a host-like job of size row `ulSizeRow` whose colour
  // picture lies in its slot's buffer.
  void Prepare(const testsupport::TestImage &picture, uint32_t ulSizeRow) {
    PrepareBoard();
    if (::testing::Test::HasFatalFailure()) return;
    InApp([&] {
      m_pSlot = printlinetest::AttachedSlot(&g_PrintSizeTable[ulSizeRow]);
      ASSERT_NE(m_pSlot, nullptr);
      m_pSlot->usInternal = 0;
    });
    ASSERT_NE(m_pSlot, nullptr);
    PutPicture(m_pSlot->ulImageAddress, picture);
  }

  // One plane as the colour-pass sequence prints it.
  // PrintPlaneInApp in the application task.
  PlaneRun PrintOnePlane(uint16_t usPlane, std::function<void()> afterPlan = nullptr, sim::Nanos limit = Ms(30000)) {
    PlaneRun run;
    InApp([&] { run = PrintPlaneInApp(usPlane, afterPlan); }, limit);
    return run;
  }

  ImageSlot *m_pSlot = nullptr;
};

}  // namespace testsupport
