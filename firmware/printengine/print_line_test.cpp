// The print line's segment table, the rows its lines hand the DSP and the
// per-line run-bit exchange, ticked by hand in the application task. A test
// DSP in the board's clock answers the exchange (the stand-in's own echoes
// are switched off once the plane has started): it echoes the mode and the
// run bit after set latencies and notes every row it was handed and every
// run bit raised before it had dropped its echo of the last one.
#include "firmware/printengine/print_line.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "firmware/control/control_test_rig.h"
#include "firmware/control/error_manager.h"
#include "firmware/control/line_steps.h"
#include "firmware/devices/settings.h"
#include "firmware/hal/hw.h"
#include "firmware/printengine/dsp_window.h"
#include "firmware/printengine/plane_lead_in.h"
#include "firmware/printengine/plane_sequencer.h"
#include "firmware/printengine/print_line_test_support.h"
#include "firmware/printengine/print_mode.h"
#include "firmware/sequences/ribbon_winding.h"
#include "sim/board.h"
#include "sim/bus.h"
#include "sim/dsp/dsp_core.h"

namespace {

using printlinetest::AttachedSlot;
using printlinetest::PrepareBoard;
using testsupport::Ms;
constexpr sim::Nanos kUs = 1000;

// The DSP's side of the line exchange, looked at every 5 us.
class TestDsp {
 public:
  explicit TestDsp(sim::Board& board) : m_board(board) {}
  sim::Nanos echo = 100 * kUs;  // run bit seen -> echo set
  sim::Nanos drop = 20 * kUs;   // run bit cleared -> echo dropped
  bool bSilent = false;
  uint32_t ulRuns = 0;
  uint32_t ulEarlyRuns = 0;  // run bit raised while the echo of the last was still up
  std::vector<uint16_t> rows;
  std::vector<uint32_t> bases;

  void Start() {
    m_board.FindDevice<sim::DspCore>()->SetModesSilent(true);
    m_bActive = true;
    ulRuns = ulEarlyRuns = 0;
    rows.clear();
    bases.clear();
    m_usPrev = Word(DSP_CONTROL_WORD);
    Look();
  }
  void Stop() {
    m_bActive = false;
    m_board.FindDevice<sim::DspCore>()->SetModesSilent(false);
  }

 private:
  uint16_t Word(PhysAddr a) const {
    const uint8_t* p = m_board.GetBus().RamPointer(a, 2);
    return static_cast<uint16_t>(p[0] | p[1] << 8);
  }
  void SetStatus(uint16_t usMask, uint16_t usValue) {
    uint8_t* p = m_board.GetBus().RamPointer(DSP_STATUS_WORD, 2);
    const uint16_t us = static_cast<uint16_t>((Word(DSP_STATUS_WORD) & ~usMask) | (usValue & usMask));
    p[0] = static_cast<uint8_t>(us);
    p[1] = static_cast<uint8_t>(us >> 8);
  }
  void Look() {
    if (!m_bActive) return;
    const uint16_t usControl = Word(DSP_CONTROL_WORD);
    if (!bSilent) SetStatus(DSP_MODE_MASK, usControl);
    const bool bRun = (usControl & DSP_RUN_BIT) != 0, bWasRun = (m_usPrev & DSP_RUN_BIT) != 0;
    if (bRun && !bWasRun) {
      ++ulRuns;
      if ((Word(DSP_STATUS_WORD) & DSP_RUN_BIT) != 0) ++ulEarlyRuns;
      rows.push_back(Word(DSP_LINE_ROW));
      bases.push_back(static_cast<uint32_t>(Word(DSP_ADDRESS_HIGH)) << 16 | Word(DSP_ADDRESS_LOW));
      if (!bSilent) m_board.Clock().ScheduleIn(echo, [this] { SetStatus(DSP_RUN_BIT, DSP_RUN_BIT); });
    }
    if (!bRun && bWasRun && !bSilent) m_board.Clock().ScheduleIn(drop, [this] { SetStatus(DSP_RUN_BIT, 0); });
    m_usPrev = usControl;
    m_board.Clock().ScheduleIn(5 * kUs, [this] { Look(); });
  }

  sim::Board& m_board;
  bool m_bActive = false;
  uint16_t m_usPrev = 0;
};

class PrintLineTest : public controltest::ControlTest {
 protected:
  void TearDown() override {
    if (m_pDsp) m_pDsp->Stop();
    controltest::ControlTest::TearDown();
  }
  TestDsp& Dsp() {
    if (!m_pDsp) m_pDsp = std::make_unique<TestDsp>(m_machine->GetBoard());
    return *m_pDsp;
  }
  // A host-like picture (no pattern) of the size on unit L, prepared and
  // started as plane Y with the steps-per-line setting.
  void RunPlane(std::function<void()> body, int32_t lStepsPerKiloLine = 1000, uint32_t ulMargin2 = 0,
                sim::Nanos limit = Ms(60000)) {
    InApp(
        [&] {
          PrepareBoard();
          if (::testing::Test::HasFatalFailure()) return;
          g_ParamStpLx1000.SetValueNoSave(lStepsPerKiloLine);
          g_ulRibDummyLines = 50;
          ImageSlot* pSlot = AttachedSlot(&g_PrintSize8x10);
          ASSERT_NE(pSlot, nullptr);
          pSlot->usInternal = 0;
          pSlot->pParams->ulMargin2 = ulMargin2;
          ASSERT_EQ(g_PlaneSequencer.StartPlane(0, 0), 0);
          ASSERT_EQ(g_PrintLine.StartPlane(PLANE_Y), 0);
          Dsp().Start();
          // Ticked by hand only: the line pulses the first line starts wait
          // until the plane has stopped.
          const uint32_t ulSaved = SaveIrqAndDisable();
          body();
          g_PrintLine.StopPrint();
          RestoreIrq(ulSaved);
          Dsp().Stop();
        },
        limit);
  }
  // Ticks until the line counter moves or the plane is idle.
  static void TickLine() {
    const uint16_t usBefore = g_PrintLine.LineCounter();
    while (g_PrintLine.StepsLeft() != 0 && g_PrintLine.LineCounter() == usBefore) g_PrintLine.StepLineSegment();
  }
  static uint32_t LeadInSteps() { return LinesToSteps(PlaneLeadInLines(PLANE_Y, *g_pCurPrintSize, false)); }

  std::unique_ptr<TestDsp> m_pDsp;
};

uint16_t Word(PhysAddr a) { return HwRead16(a); }

TEST_F(PrintLineTest, TheSegmentTableRunsLeadInLeadLinesPrintLinesAndEndsOnItsLastRepetition) {
  struct Case {
    int32_t lStepsPerKiloLine;
  };
  for (const Case& c : {Case{1000}, Case{4000}}) {
    SCOPED_TRACE(c.lStepsPerKiloLine);
    RunPlane(
        [&] {
          const uint32_t ulLine = LinesToSteps(1);
          const uint32_t ulLeadIn = LeadInSteps() - 5 * (ulLine + 1);
          const uint16_t usLines = g_PrintLine.Plane().usLineCount;
          EXPECT_EQ(usLines, 3024 + 24);
          EXPECT_EQ(g_PrintLine.StepsLeft(), ulLeadIn);
          // The lead-in counts down; two steps before its end the first row
          // is fetched (line 0) and the line pin takes over from the counting.
          g_ulLineIrqEnable = 5;
          for (uint32_t i = 0; i + 2 < ulLeadIn; ++i) g_PrintLine.StepLineSegment();
          EXPECT_EQ(g_PrintLine.LineCounter(), 1);
          EXPECT_EQ(g_ulLineIrqEnable, 0u);
          EXPECT_EQ(Word(DSP_LINE_ROW), 0);
          // The rest of the lead-in and the gap, then four lead lines.
          for (uint32_t i = 0; i < 2 + (ulLine + 1); ++i) g_PrintLine.StepLineSegment();
          EXPECT_EQ(g_PrintLine.CallCount(LINE_CALLS_LEAD), 1) << "the gap's end starts the first lead line";
          for (uint32_t i = 0; i < 4 * (ulLine + 1); ++i) g_PrintLine.StepLineSegment();
          EXPECT_EQ(g_PrintLine.CallCount(LINE_CALLS_LEAD), 4);
          // One repetition: entry 6 reads as position 7, which the paper
          // steps leave to the line pin.
          EXPECT_EQ(g_PrintLine.CallCount(LINE_CALLS_FIRST), 1);
          EXPECT_EQ(g_PrintLine.GetSegmentPosition(), LINE_SEG_FIRST + 1u);
          EXPECT_EQ(HwRead16(FPGA_LINE_MODE), usLines) << "the line timer runs the plane's lines";
          // Entry 6's two steps, then one print line per tick.
          g_PrintLine.StepLineSegment();
          g_PrintLine.StepLineSegment();
          EXPECT_EQ(g_PrintLine.CallCount(LINE_CALLS_PRINT), 1);
          EXPECT_EQ(g_PrintLine.GetSegmentPosition(), static_cast<uint32_t>(LINE_SEG_PRINT));
          for (uint32_t i = 1; i < usLines - 1u; ++i) g_PrintLine.StepLineSegment();
          EXPECT_EQ(g_PrintLine.CallCount(LINE_CALLS_PRINT), usLines - 1);
          EXPECT_EQ(g_PrintLine.GetSegmentPosition(), LINE_SEG_PLANE_END + 0u);
          // The plane end acts on its last repetition only.
          const uint16_t usCounter = g_PrintLine.LineCounter();
          for (uint32_t i = 0; i < ulLine + 4; ++i) {
            EXPECT_NE(g_PrintLine.StepsLeft(), 0u) << "repetition " << i;
            g_PrintLine.StepLineSegment();
          }
          EXPECT_EQ(g_PrintLine.CallCount(LINE_CALLS_PLANE_END), ulLine + 4);
          EXPECT_EQ(g_PrintLine.StepsLeft(), 0u);
          EXPECT_EQ(g_PrintLine.LineCounter(), usCounter);
          EXPECT_EQ(Word(DSP_CONTROL_WORD) & (DSP_MODE_MASK | DSP_RUN_BIT), 0) << "the DSP left print mode";
          g_PrintLine.StepLineSegment();
          EXPECT_EQ(g_PrintLine.CallCount(LINE_CALLS_SEGMENT_END), 0) << "an idle table does nothing";
          // Every line but the prefetch went through the DSP once.
          EXPECT_EQ(Dsp().ulRuns, 5u + usLines - 1u);
          EXPECT_EQ(Dsp().ulEarlyRuns, 0u);
        },
        c.lStepsPerKiloLine);
  }
}

TEST_F(PrintLineTest, RowsOfTheExtraLinesArePrintedTwiceAndTheBlankRowLiesOutsideTheImage) {
  RunPlane([&] {
    // The words each line n (0 the prefetch) left for the DSP.
    std::vector<uint16_t> rows;
    std::vector<uint32_t> bases;
    while (g_PrintLine.StepsLeft() != 0) {
      TickLine();
      if (g_PrintLine.LineCounter() != rows.size() + 1) break;
      rows.push_back(Word(DSP_LINE_ROW));
      bases.push_back(static_cast<uint32_t>(Word(DSP_ADDRESS_HIGH)) << 16 | Word(DSP_ADDRESS_LOW));
    }
    const uint16_t usLines = g_PrintLine.Plane().usLineCount;
    ASSERT_EQ(rows.size(), usLines + 5u) << "the prefetch, four lead lines, the first line and the print lines";
    // Line 0 (the prefetch), then 0, 0, 1, 1, ..., 11, 11, 12, 13, ...
    std::vector<uint16_t> expected{0};
    for (uint16_t r = 0; r < 12; ++r) expected.insert(expected.end(), {r, r});
    for (uint16_t r = 12; r < 20; ++r) expected.push_back(r);
    EXPECT_EQ(std::vector<uint16_t>(rows.begin(), rows.begin() + 33), expected);
    // The rows of the rear extra lines twice; past the last image line the
    // blank row, row 0.
    EXPECT_EQ(rows[usLines - 25], 3024 - 14);
    for (uint16_t i = 0; i < 24; ++i) EXPECT_EQ(rows[usLines - 24 + i], 3024 - 13 + i / 2) << i;
    for (uint32_t n = 0; n < usLines; ++n) ASSERT_NE(bases[n], PRINT_BLANK_ROW) << n;
    for (uint32_t n = usLines; n < rows.size(); ++n) {
      EXPECT_EQ(bases[n], PRINT_BLANK_ROW) << n;
      EXPECT_EQ(rows[n], 0) << n;
    }
    // The DSP was handed each line's words one line later.
    ASSERT_EQ(Dsp().rows.size(), rows.size() - 1);
    EXPECT_EQ(Dsp().rows, std::vector<uint16_t>(rows.begin(), rows.end() - 1));
  });
}

TEST_F(PrintLineTest, AMarginBeforeTheImageHandsOverTheBlankRowUntilTheFirstImageLine) {
  RunPlane(
      [&] {
        EXPECT_EQ(g_PrintLine.FirstImageLine(), 8) << "source row 4 prints on output line 8";
        while (g_PrintLine.LineCounter() == 0) g_PrintLine.StepLineSegment();
        EXPECT_EQ(static_cast<uint32_t>(Word(DSP_ADDRESS_HIGH)) << 16 | Word(DSP_ADDRESS_LOW), PRINT_BLANK_ROW)
            << "the prefetch hands over the blank row";
        for (uint16_t usLine = 1; usLine <= 9; ++usLine) {
          TickLine();
          const uint32_t ulBase = static_cast<uint32_t>(Word(DSP_ADDRESS_HIGH)) << 16 | Word(DSP_ADDRESS_LOW);
          EXPECT_EQ(ulBase == PRINT_BLANK_ROW, usLine < 8) << usLine;
        }
      },
      1000, 4);
}

TEST_F(PrintLineTest, TheExchangeWaitsForTheDropOfTheLastEchoBeforeItRaisesTheRunBit) {
  // The echo drops later than the next line asks: the run bit waits for it.
  Dsp().drop = 700 * kUs;
  RunPlane([&] {
    while (g_PrintLine.CallCount(LINE_CALLS_PRINT) < 20) TickLine();
    EXPECT_EQ(Dsp().ulEarlyRuns, 0u);
    EXPECT_EQ(Dsp().ulRuns, g_PrintLine.CallCount(LINE_CALLS_HANDSHAKE));
    g_PrintLine.ReportLateExchange();
    EXPECT_FALSE(controltest::IsErrorSet(erridx::kDspTableTimeout));
  });
}

TEST_F(PrintLineTest, ALateExchangeIsRaisedOnceFromTheTaskAndTheRestOfThePlaneDoesNotWait) {
  RunPlane([&] {
    while (g_PrintLine.CallCount(LINE_CALLS_PRINT) < 3) TickLine();
    Dsp().bSilent = true;
    sim::Board& board = m_machine->GetBoard();
    const sim::Nanos start = board.Clock().Now();
    TickLine();
    const sim::Nanos waited = board.Clock().Now() - start;
    EXPECT_GE(waited, LINE_HANDSHAKE_BOUND_US * kUs);
    EXPECT_LT(waited, (LINE_HANDSHAKE_BOUND_US + 200) * kUs) << "the wait is bounded";
    EXPECT_FALSE(controltest::IsErrorSet(erridx::kDspTableTimeout)) << "no handler raises errors";
    const sim::Nanos rest = board.Clock().Now();
    for (int i = 0; i < 100; ++i) TickLine();
    EXPECT_LT(board.Clock().Now() - rest, Ms(5)) << "a dead DSP costs one wait, not one a line";
    uint32_t ulState = 0;
    g_PlaneSequencer.GetState(&ulState);
    EXPECT_TRUE(controltest::IsErrorSet(erridx::kDspTableTimeout));
    g_ErrorMng.ClearError(erridx::kDspTableTimeout);
    g_PrintLine.EndPlane();
    EXPECT_FALSE(controltest::IsErrorSet(erridx::kDspTableTimeout)) << "raised once";
  });
}

TEST_F(PrintLineTest, TheExchangeLeavesTheCallersInterruptMaskAsItFoundIt) {
  RunPlane([&] {
    sim::Cpu& cpu = m_machine->GetBoard().GetCpu();
    for (bool bMasked : {false, true, false}) {
      if (bMasked) {
        DisableIrq();
      } else {
        EnableIrq();
      }
      g_PrintLine.LineHandshake();
      EXPECT_EQ(cpu.IrqMasked(), bMasked);
    }
    DisableIrq();
  });
}

TEST_F(PrintLineTest, AFailingDownloadEndsTheStartBeforeTheLineTimerAndTheSegments) {
  InApp(
      [&] {
        PrepareBoard();
        if (::testing::Test::HasFatalFailure()) return;
        ImageSlot* pSlot = AttachedSlot(&g_PrintSize8x10);
        ASSERT_NE(pSlot, nullptr);
        ASSERT_EQ(g_PlaneSequencer.StartPlane(0, 0), 0);
        m_machine->GetBoard().FindDevice<sim::DspCore>()->SetModesSilent(true);
        const uint16_t usMode = HwRead16(FPGA_LINE_MODE);
        EXPECT_EQ(g_PrintLine.StartPlane(PLANE_M), -1);
        EXPECT_EQ(g_PrintLine.StepsLeft(), 0u);
        EXPECT_EQ(HwRead16(FPGA_LINE_MODE), usMode);
        EXPECT_TRUE(controltest::IsErrorSet(erridx::kDspTableTimeout));
        m_machine->GetBoard().FindDevice<sim::DspCore>()->SetModesSilent(false);
      },
      Ms(60000));
}

}  // namespace
