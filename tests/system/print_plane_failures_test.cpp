// A plane meets a failing or slow DSP, late line interrupts and heads that
// cannot print: the plane start that stops before the line timer, the late
// exchange raised once from task level, the bounded masked waits, the run
// bit that never hands a row over twice, stale lines that copy the line
// before them, and lines recorded as not printed.
#include <gtest/gtest.h>

#include <vector>

#include "firmware/control/error_manager.h"
#include "firmware/platform/fpga_regs.h"
#include "sim/bus_trace.h"
#include "sim/cpu.h"
#include "sim/fpga/fpga_main_block.h"
#include "tests/support/print_plane.h"

namespace {

using testsupport::ExpectedRows;
using testsupport::Ms;
using testsupport::PlaneRun;

constexpr sim::Nanos kUs = 1000;
// The GPIO bank-0 interrupt that carries the line pin.
constexpr uint32_t kGpioBank0Event = 0x2A;

class PrintPlaneFailures : public testsupport::PrintPlaneTest {
 protected:
  sim::FpgaMainBlock& Fpga() { return *m_machine->GetBoard().FindDevice<sim::FpgaMainBlock>(); }
  void Prepare() { PrintPlaneTest::Prepare(testsupport::GreyRamp(2464, 1208), 0); }
};

TEST_F(PrintPlaneFailures, AFailingDownloadLeavesTheLineTimerHeadPowerAndSegmentsAlone) {
  Prepare();
  Dsp().FailChecksums(5);
  sim::BusTrace& trace = m_machine->GetBoard().GetBus().Trace();
  int32_t lPlan = 0;
  uint32_t ulStepsLeft = 1;
  uint32_t ulPrintRepetitions = 0;
  InApp(
      [&] {
        ASSERT_EQ(g_PlaneSequencer.StartPlane(0, 0), 0);
        ulPrintRepetitions = g_PrintLine.Segment(LINE_SEG_PRINT).ulRepetitions;
        trace.Start();
        lPlan = g_PlaneSequencer.PlanPlane(PLANE_Y);
        ulStepsLeft = g_PrintLine.StepsLeft();
        EXPECT_EQ(g_PrintLine.Segment(LINE_SEG_PRINT).ulRepetitions, ulPrintRepetitions);
        uint32_t ulState = 0;
        g_PlaneSequencer.GetState(&ulState);
        EXPECT_EQ(ulState, PLANE_STATE_STARTED) << "the plan is not applied";
      },
      Ms(20000));
  EXPECT_EQ(lPlan, -2);
  EXPECT_EQ(ulStepsLeft, 0u);
  EXPECT_TRUE(controltest::IsErrorSet(erridx::kDspTableChecksum));
  EXPECT_TRUE(trace.In(FPGA_LINE_PERIOD_LO, FPGA_LINE_MODE + 1, sim::BusTrace::Kind::Writes).empty())
      << "line period and line mode";
  EXPECT_TRUE(trace.In(0x01E260B0u, 0x01E260C3u, sim::BusTrace::Kind::Writes).empty()) << "head power";
  EXPECT_TRUE(trace.In(HD_PARAM0, HD_PARAM0 + 7, sim::BusTrace::Kind::Writes).empty()) << "drive parameters";
}

TEST_F(PrintPlaneFailures, OneSlowLineRaisesTheLateExchangeOnceFromTheTaskAndThePlaneCompletes) {
  Prepare();
  Dsp().SlowLines(200, 1);
  bool bRaisedInPlane = true;
  const PlaneRun run = PrintOnePlane(PLANE_Y, [&] { bRaisedInPlane = controltest::IsErrorSet(erridx::kDspTableTimeout); });
  EXPECT_FALSE(bRaisedInPlane);
  ASSERT_EQ(run.lPlan, 0);
  EXPECT_TRUE(run.bDone);
  EXPECT_TRUE(controltest::IsErrorSet(erridx::kDspTableTimeout));
  EXPECT_EQ(Record().Lines(0, PLANE_Y).size(), run.usLineCount);
}

TEST_F(PrintPlaneFailures, ADspThatFallsSilentEndsThePlaneInBoundedTimeWithNoLongMaskedStretch) {
  Prepare();
  sim::Cpu& cpu = m_machine->GetBoard().GetCpu();
  cpu.ResetAccounting();
  const sim::Nanos start = m_machine->GetBoard().Clock().Now();
  m_machine->GetBoard().Clock().ScheduleIn(Ms(1500), [this] { Dsp().SetModesSilent(true); });
  const PlaneRun run = PrintOnePlane(PLANE_Y);
  ASSERT_EQ(run.lPlan, 0);
  EXPECT_TRUE(run.bDone);
  EXPECT_LT(m_machine->GetBoard().Clock().Now() - start, Ms(5000));
  EXPECT_TRUE(controltest::IsErrorSet(erridx::kDspTableTimeout));
  const sim::Nanos bound = (LINE_HANDSHAKE_BOUND_US + 100) * kUs;
  EXPECT_LE(cpu.Figures(kGpioBank0Event).maxMaskedNs, bound);
  EXPECT_LE(cpu.LongestMasked().length, bound);
  EXPECT_GE(cpu.Figures(kGpioBank0Event).maxMaskedNs, LINE_HANDSHAKE_BOUND_US * kUs) << "the one wait that ran out";
  Dsp().SetModesSilent(false);
}

TEST_F(PrintPlaneFailures, AnEchoThatDropsLateNeverLetsARowBeHandedOverTwice) {
  Prepare();
  Dsp().SetEchoDropDelay(2500 * kUs);  // beyond the next line
  Dsp().ClearLineRuns();
  const uint32_t ulSession = Dsp().PrintSession();
  const PlaneRun run = PrintOnePlane(PLANE_Y);
  ASSERT_EQ(run.lPlan, 0);
  EXPECT_TRUE(run.bDone);
  // Lines wait for the late drop, so the line pulses outrun some of them
  // (their ticks merge): rows may be left out, but the DSP takes the lines'
  // rows in their order, none of them twice.
  const std::vector<uint16_t> expected = ExpectedRows(run.usLineCount, 12, 12);
  size_t next = 0;
  uint32_t ulRuns = 0;
  for (const sim::DspCore::LineRun& r : Dsp().LineRuns()) {
    if (r.session <= ulSession) continue;
    ++ulRuns;
    while (next < expected.size() && expected[next] != r.words.row) ++next;
    ASSERT_LT(next, expected.size()) << "run " << ulRuns << " row " << r.words.row << " out of order or twice";
    ++next;
  }
  EXPECT_GT(ulRuns, run.usLineCount / 2u);
}

TEST_F(PrintPlaneFailures, LateLineInterruptsLeaveStaleLinesThatCopyTheLineBefore) {
  Prepare();
  // Three lines in the middle of the image find their interrupt after the
  // next line has been taken.
  m_machine->GetBoard().Clock().ScheduleIn(Ms(1500), [this] { Fpga().SetLineInterruptLate(2500 * kUs, 3); });
  const PlaneRun run = PrintOnePlane(PLANE_Y);
  ASSERT_EQ(run.lPlan, 0);
  EXPECT_TRUE(run.bDone);
  const std::vector<sim::PrintRecorder::Line>& lines = Record().Lines(0, PLANE_Y);
  uint32_t ulStale = 0;
  for (size_t i = 1; i < lines.size(); ++i) {
    if (!lines[i].bStale) continue;
    ++ulStale;
    EXPECT_EQ(lines[i].words, lines[i - 1].words) << "line " << i;
  }
  EXPECT_GT(ulStale, 1u) << "besides the first line pulse's";
}

TEST_F(PrintPlaneFailures, WithoutHeadPowerOrSupplyTheLinesAreRecordedAsNotPrinted) {
  struct Case {
    const char* pszName;
    std::function<void()> cut;
  };
  const Case cases[] = {
      {"head power off", [] { g_PortHeadPowerL.Set(); }},
      {"THV supply off", [] { g_FpgaMain.ThvOff(); }},
  };
  Prepare();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pszName);
    const PlaneRun run = PrintOnePlane(PLANE_Y, c.cut);
    ASSERT_EQ(run.lPlan, 0);
    EXPECT_TRUE(run.bDone);
    const std::vector<sim::PrintRecorder::Line>& lines = Record().Lines(0, PLANE_Y);
    ASSERT_FALSE(lines.empty());
    for (const sim::PrintRecorder::Line& l : lines) ASSERT_FALSE(l.Printed());
    InApp([] { g_ThvYL.Init(); });
  }
}

}  // namespace
