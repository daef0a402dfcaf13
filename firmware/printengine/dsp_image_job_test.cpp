// The DSP image jobs against a scripted DSP in the board's clock: the
// stand-in echoes the image modes and the run bit; the test DSP below does
// the work of a running request (progress, rows, a stall) as a DSP
// program would.
#include "firmware/printengine/dsp_image_job.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "firmware/control/control_test_rig.h"
#include "firmware/control/error_manager.h"
#include "firmware/control/error_table.h"
#include "firmware/hal/hw.h"
#include "firmware/mechanism/abort_check_inputs.h"
#include "firmware/platform/us_timer.h"
#include "firmware/printengine/dsp_window.h"
#include "firmware/printengine/print_line_test_support.h"
#include "firmware/printengine/print_mode.h"
#include "firmware/service/self_print_gray.h"
#include "sim/board.h"
#include "sim/bus.h"
#include "sim/dsp/dsp_core.h"

namespace {

using testsupport::Ms;

// The work of a running request, looked at every millisecond: from the
// first line of the kick, `rate` lines a millisecond, each a destination
// row of print-width bytes filled with `fill`, lines done raised line by
// line; it stops at the total (reported `overshoot` lines past it), at
// `stallAt`, or when the run bit drops.
class ImageDsp {
 public:
  struct Kick {
    uint16_t usMode;
    uint32_t ulFirst;
    uint32_t ulTotal;
    uint32_t ulWidth;
    uint32_t ulDestination;
    bool operator==(const Kick&) const = default;
  };
  uint32_t rate = 200;
  uint32_t stallAt = std::numeric_limits<uint32_t>::max();
  uint32_t overshoot = 0;
  uint8_t fill = 0;
  std::vector<Kick> kicks;

  explicit ImageDsp(sim::Board& board) : m_board(board) {}
  void Start() {
    m_bActive = true;
    Look();
  }
  void Stop() { m_bActive = false; }

 private:
  uint16_t Word(PhysAddr a) const {
    const uint8_t* p = m_board.GetBus().RamPointer(a, 2);
    return static_cast<uint16_t>(p[0] | p[1] << 8);
  }
  void SetWord(PhysAddr a, uint16_t us) {
    uint8_t* p = m_board.GetBus().RamPointer(a, 2);
    p[0] = static_cast<uint8_t>(us);
    p[1] = static_cast<uint8_t>(us >> 8);
  }
  uint32_t Address(PhysAddr a) const { return Word(a) | static_cast<uint32_t>(Word(a + 2)) << 16; }
  void Look() {
    if (!m_bActive) return;
    const uint16_t usControl = Word(DSP_CONTROL_WORD);
    const uint16_t usMode = usControl & DSP_MODE_MASK;
    const bool bRun = (usControl & DSP_RUN_BIT) != 0 && (usMode == DSP_MODE_IMAGE || usMode == DSP_MODE_IMAGE_COPY);
    if (bRun && !m_bRunning) {
      m_kick = {usMode, Word(DSP_JOB_FIRST_LINE), Word(DSP_JOB_TOTAL_LINES), Word(DSP_JOB_PRINT_WIDTH),
                Address(DSP_JOB_DESTINATION)};
      kicks.push_back(m_kick);
      m_ulLine = m_kick.ulFirst;
    } else if (bRun) {
      for (uint32_t i = 0; i < rate && m_ulLine < m_kick.ulTotal && m_ulLine < stallAt; ++i) {
        std::memset(m_board.GetBus().RamPointer(m_kick.ulDestination + m_ulLine * m_kick.ulWidth, m_kick.ulWidth), fill,
                    m_kick.ulWidth);
        ++m_ulLine;
      }
      SetWord(DSP_JOB_LINES_DONE, static_cast<uint16_t>(m_ulLine + (m_ulLine >= m_kick.ulTotal ? overshoot : 0)));
    }
    m_bRunning = bRun;
    m_board.Clock().ScheduleIn(Ms(1), [this] { Look(); });
  }

  sim::Board& m_board;
  bool m_bActive = false;
  bool m_bRunning = false;
  Kick m_kick{};
  uint32_t m_ulLine = 0;
};

uint16_t Word(PhysAddr a) {
  uint16_t us = 0;
  ReadDspWord(a, &us);
  return us;
}

uint32_t Address(PhysAddr a) { return Word(a) | static_cast<uint32_t>(Word(a + 2)) << 16; }

bool Error278() { return controltest::IsErrorSet(erridx::kDspTableTimeout); }

PrintSizeRecord SizeOf(uint32_t ulLines) {
  PrintSizeRecord size{};
  size.ulPrintWidth = size.ulOvercoatWidth = size.ulSourceWidth = PRINT_WIDTH;
  size.ulPrintLength = size.ulOvercoatLength = size.ulSourceHeight = ulLines;
  return size;
}

class DspImageJobTest : public controltest::ControlTest {
 protected:
  void TearDown() override {
    if (m_pDsp) m_pDsp->Stop();
    controltest::ControlTest::TearDown();
  }
  ImageDsp& Dsp() {
    if (!m_pDsp) m_pDsp = std::make_unique<ImageDsp>(m_machine->GetBoard());
    return *m_pDsp;
  }
  sim::DspCore& StandIn() { return *m_machine->GetBoard().FindDevice<sim::DspCore>(); }
  // The DSP linked and the test DSP at work.
  void Run(std::function<void()> body, sim::Nanos limit = Ms(60000)) {
    InApp(
        [&] {
          printlinetest::PrepareBoard();
          if (::testing::Test::HasFatalFailure()) return;
          // The stand-in's own image work held: the test DSP does it.
          StandIn().SetImageRate(0);
          Dsp().Start();
          body();
        },
        limit);
  }
  std::unique_ptr<ImageDsp> m_pDsp;
};

// A host image is one plane of interleaved pixels; an internal image has
// three planes, each W x (H + both extra-line counts), and rows through the
// planes' row tables. Addresses go low word first.
TEST_F(DspImageJobTest, AProcessRequestWritesItsWordsAndAnInternalImageItsRowTables) {
  Run([] {
    InstallGrayPatterns();  // their rows in order so far
    struct Case {
      const char* what;
      uint16_t usInternal;
      uint32_t ulPlaneSize;
      uint32_t aulSource[3];
    };
    constexpr uint32_t W = 2464, H = 1200, kImage = 0xC0900000u;
    const Case cases[] = {
        {"host image", 0, W * H, {kImage, kImage, kImage}},
        {"internal image", 1, W * (H + 24), {kImage, kImage + W * (H + 24), kImage + 2 * W * (H + 24)}},
    };
    for (const Case& c : cases) {
      SCOPED_TRACE(c.what);
      for (PhysAddr table : {DSP_ROW_TABLE_Y, DSP_ROW_TABLE_M, DSP_ROW_TABLE_C}) {
        for (uint32_t r = 0; r < H + 4; ++r) HwWrite16(table + 2 * r, 0xEEEE);
      }
      ImageSlot slot{};
      slot.ulImageAddress = kImage;
      slot.ucOwnsBuffer = 1;
      slot.usInternal = c.usInternal;
      slot.printParams = SizeOf(1250);
      slot.printParams.ulSourceWidth = W;
      slot.printParams.ulSourceHeight = H;
      slot.printParams.aulExtraLines[0] = slot.printParams.aulExtraLines[1] = 12;
      slot.printParams.ulMargin1 = 7;
      slot.printParams.ulMargin2 = 9;
      slot.pParams = &slot.printParams;
      EXPECT_EQ(RequestDspImageProcess(&slot, 0xC5A01000u), 0);
      EXPECT_EQ(g_DspImageJob.ulPlaneSize, c.ulPlaneSize);
      EXPECT_EQ(g_DspImageJob.usMode, DSP_MODE_IMAGE);
      EXPECT_EQ(g_DspImageJob.ulLinesDone, 0u);
      EXPECT_EQ(Word(DSP_JOB_SOURCE_WIDTH), W);
      EXPECT_EQ(Word(DSP_JOB_SOURCE_HEIGHT), H);
      EXPECT_EQ(Word(DSP_JOB_PRINT_WIDTH), W);
      EXPECT_EQ(Word(DSP_JOB_TOTAL_LINES), 1250);
      EXPECT_EQ(Word(DSP_JOB_MARGIN_1), 7);
      EXPECT_EQ(Word(DSP_JOB_MARGIN_2), 9);
      EXPECT_EQ(Word(DSP_JOB_SOURCE_Y), c.aulSource[0] & 0xFFFF) << "low word first";
      EXPECT_EQ(Address(DSP_JOB_SOURCE_Y), c.aulSource[0]);
      EXPECT_EQ(Address(DSP_JOB_SOURCE_M), c.aulSource[1]);
      EXPECT_EQ(Address(DSP_JOB_SOURCE_C), c.aulSource[2]);
      EXPECT_EQ(Address(DSP_JOB_DESTINATION), 0xC5A01000u);
      for (uint32_t p = 0; p < 3; ++p) EXPECT_EQ(Word(DSP_JOB_ROW_TABLE_FLAGS + 2 * p), c.usInternal);
      const PhysAddr tables[] = {DSP_ROW_TABLE_Y, DSP_ROW_TABLE_M, DSP_ROW_TABLE_C};
      for (uint32_t p = 0; p < 3; ++p) {
        SCOPED_TRACE(p);
        const uint16_t usFirst = c.usInternal != 0 ? 0 : 0xEEEE;
        const uint16_t usLast = c.usInternal != 0 ? static_cast<uint16_t>(H - 1) : 0xEEEE;
        EXPECT_EQ(HwRead16(tables[p]), usFirst);
        EXPECT_EQ(HwRead16(tables[p] + 2 * (H - 1)), usLast);
        EXPECT_EQ(HwRead16(tables[p] + 2 * H), 0xEEEE) << "one entry per source row";
      }
    }
  });
}

// The ribbon preparation's copy of a full-length size into the overcoat
// plane: print width, total lines and destination only, in mode 7, and the
// wait ends once the DSP has done every line.
TEST_F(DspImageJobTest, TheFullLengthCopyFillsTheOvercoatPlane) {
  Run([this] {
    const PrintSizeRecord size = SizeOf(3624);
    constexpr uint32_t kBytes = 2464 * 3624;
    std::memset(PhysToHost(DSP_IMAGE_DESTINATION, kBytes + 16), 0xA5, kBytes + 16);
    Dsp().rate = 400;
    HwWrite16(DSP_JOB_SOURCE_WIDTH, 0x1234);
    ASSERT_EQ(RequestDspImageCopy(&size, DSP_IMAGE_DESTINATION), 0);
    EXPECT_EQ(Word(DSP_JOB_SOURCE_WIDTH), 0x1234) << "mode 7 takes no source";
    const uint32_t ulStart = g_UsTimer.NowUs();
    ASSERT_EQ(KickDspImageJob(), 0);
    EXPECT_EQ(g_bDspBusy, 1u);
    EXPECT_EQ(WaitDspImageRequest(), 0);
    EXPECT_EQ(g_bDspBusy, 0u);
    EXPECT_EQ(g_DspImageJob.ulLinesDone, 3624u);
    EXPECT_GE(g_DspImageJob.ulEndTime - ulStart, 9000u) << "3624 lines at 400 a millisecond";
    EXPECT_EQ(Word(DSP_CONTROL_WORD), DSP_MODE_IDLE);
    ASSERT_EQ(Dsp().kicks.size(), 1u);
    EXPECT_EQ(Dsp().kicks[0], (ImageDsp::Kick{DSP_MODE_IMAGE_COPY, 0, 3624, 2464, DSP_IMAGE_DESTINATION}));
    const uint8_t* p = static_cast<const uint8_t*>(PhysToHost(DSP_IMAGE_DESTINATION, kBytes + 16));
    EXPECT_EQ(std::count(p, p + kBytes, 0), static_cast<std::ptrdiff_t>(kBytes));
    EXPECT_EQ(p[kBytes], 0xA5);
    EXPECT_FALSE(Error278());
  });
}

// The request's lifecycle: nothing sent while nothing remains; a forced
// poll ends a running request and reports it incomplete; the next kick
// goes on from lines done; a DSP past the end has completed.
TEST_F(DspImageJobTest, KicksPollsAndEndsFollowLinesDone) {
  Run([this] {
    const PrintSizeRecord size = SizeOf(1000);
    sim::BusTrace& trace = sim::Board::Current().GetBus().Trace();
    trace.WatchRam(DSP_WINDOW, DSP_WINDOW + DSP_WINDOW_BYTES - 1);

    // Nothing left: no word.
    RequestDspImageCopy(&size, DSP_IMAGE_DESTINATION);
    g_DspImageJob.ulLinesDone = 1000;
    trace.Clear();
    trace.Start();
    EXPECT_EQ(KickDspImageJob(), 0);
    trace.Stop();
    EXPECT_TRUE(trace.In(DSP_WINDOW, DSP_WINDOW + DSP_WINDOW_BYTES - 1, sim::BusTrace::Kind::Writes).empty());
    EXPECT_EQ(g_bDspBusy, 0u);
    EXPECT_EQ(PollDspImageJob(0), 1) << "complete, though never kicked";

    // A forced poll of a running request.
    Dsp().rate = 100;
    RequestDspImageCopy(&size, DSP_IMAGE_DESTINATION);
    ASSERT_EQ(KickDspImageJob(), 0);
    g_MsTimer.WaitMs(4);
    EXPECT_EQ(PollDspImageJob(0), 0);
    EXPECT_EQ(g_bDspBusy, 1u);
    EXPECT_EQ(PollDspImageJob(1), 0);
    EXPECT_EQ(g_bDspBusy, 0u);
    EXPECT_EQ(Word(DSP_CONTROL_WORD), DSP_MODE_IDLE);
    const uint32_t ulKept = g_DspImageJob.ulLinesDone;
    EXPECT_GT(ulKept, 0u);
    EXPECT_LT(ulKept, 1000u);
    g_MsTimer.WaitMs(5);
    EXPECT_EQ(PollDspImageJob(0), 0) << "an ended request is not read again";
    EXPECT_EQ(g_DspImageJob.ulLinesDone, ulKept);

    // The next kick goes on from there, through the abort check's step.
    ASSERT_EQ(StartDspImageJob(), 0);
    EXPECT_EQ(Word(DSP_JOB_FIRST_LINE), ulKept);
    while (g_bDspBusy == 1) StepDspRequestIfBusy();
    EXPECT_EQ(g_DspImageJob.ulLinesDone, 1000u);
    EXPECT_EQ(PollDspImageJob(1), 1) << "a done request stays done";
    ASSERT_EQ(Dsp().kicks.size(), 2u);
    EXPECT_EQ(Dsp().kicks[1].ulFirst, ulKept);

    // A DSP that reports past the end has completed. The progress word
    // still reads 1000 from the request before until the DSP writes it.
    Dsp().overshoot = 3;
    RequestDspImageCopy(&size, DSP_IMAGE_DESTINATION);
    ASSERT_EQ(KickDspImageJob(), 0);
    const uint32_t ulStart = g_MsTimer.NowMs();
    EXPECT_EQ(WaitDspImageRequest(), 0);
    EXPECT_GE(g_MsTimer.NowMs() - ulStart, 9u) << "1000 lines at 100 a millisecond";
    EXPECT_EQ(g_DspImageJob.ulLinesDone, 1003u);
    EXPECT_EQ(g_bDspBusy, 0u);
    trace.WatchRam(1, 0);
    EXPECT_FALSE(Error278());
  });
}

// A DSP that stops making progress ends the wait 3000 ms after its last
// line with error 278; one that does not follow the kick fails it.
TEST_F(DspImageJobTest, AStalledOrSilentDspFailsTheWait) {
  Run(
      [this] {
        const PrintSizeRecord size = SizeOf(1000);
        struct Case {
          const char* what;
          bool bMulti;
        };
        for (const Case& c : {Case{"single sheet", false}, Case{"multi-up sheet", true}}) {
          SCOPED_TRACE(c.what);
          g_ErrorMng.ClearError(erridx::kDspTableTimeout);
          g_ulPrintMode = c.bMulti ? PRINT_MODE_MULTI_UP : PRINT_MODE_NORMAL;
          g_DspImageJob.ulBufferCount = c.bMulti ? 1 : 0;
          g_DspImageJob.ulBufferIndex = 0;
          Dsp().rate = 100;
          Dsp().stallAt = 450;
          RequestDspImageCopy(&size, DSP_IMAGE_DESTINATION);
          ASSERT_EQ(StartDspImageJob(), 0);
          const uint32_t ulStart = g_MsTimer.NowMs();
          EXPECT_EQ(c.bMulti ? WaitDspImageJob() : WaitDspImageRequest(), -1);
          const uint32_t ulMs = g_MsTimer.NowMs() - ulStart;
          EXPECT_GE(ulMs, 3004u) << "the last line came after 4.5 ms";
          EXPECT_LE(ulMs, 3010u);
          EXPECT_TRUE(Error278());
          EXPECT_EQ(g_bDspBusy, 0u);
          EXPECT_EQ(g_DspImageJob.ulLinesDone, 450u);
          EXPECT_EQ(Word(DSP_CONTROL_WORD), DSP_MODE_IDLE);
        }
        g_ulPrintMode = PRINT_MODE_NORMAL;
        g_DspImageJob.ulBufferCount = 0;
        g_ErrorMng.ClearError(erridx::kDspTableTimeout);

        // Silent at the kick: two tries of the mode switch, nothing busy.
        StandIn().SetModesSilent(true);
        RequestDspImageCopy(&size, DSP_IMAGE_DESTINATION);
        EXPECT_EQ(StartDspImageJob(), -1);
        EXPECT_EQ(g_bDspBusy, 0u);
        EXPECT_FALSE(Error278()) << "the caller decides";
        StandIn().SetModesSilent(false);
      },
      Ms(90000));
}

// Each layout's images lie one after another from the destination, the
// later jobs of the active list first; each is prepared and kicked in turn
// as the one before completes.
TEST_F(DspImageJobTest, AMultiUpSheetLaysOutItsImagesAndProcessesThemInTurn) {
  Run([this] {
    ASSERT_EQ(SetPrintMode(PRINT_MODE_MULTI_UP), 0);
    static PrintSizeRecord s_sizes[3];
    // Jobs 1 and 2 the same size S, job 3 longer.
    const uint32_t kLines[3] = {300, 300, 500};
    PrintJobRecord* apJobs[3] = {};
    for (uint32_t j = 0; j < 3; ++j) {
      s_sizes[j] = g_PrintSize8x10;
      s_sizes[j].ulPrintLength = s_sizes[j].ulOvercoatLength = kLines[j];
      apJobs[j] = jobtest::MakeInternalJob(1, 1, &s_sizes[j]);
      ASSERT_NE(apJobs[j], nullptr);
    }
    g_PrintJobQueue.BuildPrintOrder(apJobs[0], SIDE_B, UNIT_L, UNIT_L);
    ImageSlot* apSlots[3] = {};
    for (uint32_t j = 0; j < 3; ++j) ASSERT_EQ(g_PrintJobQueue.GetOrderedSlot(apJobs[j], &apSlots[j], 3), 0);
    apSlots[1]->ucOwnsBuffer = 0;  // job 2 without a buffer of its own: a copy
    constexpr uint32_t S = 2464 * 300;
    constexpr PhysAddr D = DSP_IMAGE_DESTINATION;
    struct Case {
      uint16_t usLayout;
      uint32_t ulCount;
      uint32_t aulJob[3];  // 1-3
      PhysAddr aulDestination[3];
    };
    const Case cases[] = {
        {1, 1, {1}, {D}},
        {2, 2, {1, 1}, {D, D + S}},
        {3, 2, {2, 1}, {D, D + S}},
        {4, 3, {1, 1, 1}, {D, D + S, D + 2 * S}},
        {5, 3, {2, 1, 1}, {D, D + S, D + 2 * S}},
        {6, 3, {2, 2, 1}, {D, D + S, D + 2 * S}},
        {7, 3, {3, 2, 1}, {D, D + 2464 * 500, D + 2464 * 500 + S}},
    };
    Dsp().rate = 100;
    for (const Case& c : cases) {
      SCOPED_TRACE(c.usLayout);
      g_MergedJobRecord.usMergeSelector = c.usLayout;
      Dsp().kicks.clear();
      Dsp().fill = static_cast<uint8_t>(c.usLayout);
      ASSERT_EQ(SetupDspPlaneBuffers(), 0);
      ASSERT_EQ(g_DspImageJob.ulBufferCount, c.ulCount);
      EXPECT_EQ(g_DspImageJob.ulBufferIndex, 0u);
      std::vector<ImageDsp::Kick> expected;
      for (uint32_t i = 0; i < c.ulCount; ++i) {
        const uint32_t j = c.aulJob[i] - 1;
        EXPECT_EQ(g_DspImageJob.aEntries[i].pSlot, apSlots[j]) << i;
        EXPECT_EQ(g_DspImageJob.aEntries[i].pPrintSize, &s_sizes[j]) << i;
        EXPECT_EQ(g_DspImageJob.aEntries[i].ulDestination, c.aulDestination[i]) << i;
        const uint16_t usMode = j == 1 ? DSP_MODE_IMAGE_COPY : DSP_MODE_IMAGE;
        expected.push_back({usMode, 0, kLines[j], 2464, c.aulDestination[i]});
      }
      EXPECT_EQ(g_DspImageJob.ulDestination, D) << "the first entry prepared";
      ASSERT_EQ(StartDspImageJob(), 0);
      EXPECT_EQ(WaitDspImageJob(), 0);
      EXPECT_EQ(g_DspImageJob.ulBufferIndex, c.ulCount);
      EXPECT_EQ(g_bDspBusy, 0u);
      EXPECT_EQ(Dsp().kicks, expected);
      for (uint32_t i = 0; i < c.ulCount; ++i) {
        const uint32_t ulBytes = 2464 * kLines[c.aulJob[i] - 1];
        EXPECT_EQ(HwRead8(c.aulDestination[i]), c.usLayout) << "image " << i << " done";
        EXPECT_EQ(HwRead8(c.aulDestination[i] + ulBytes - 1), c.usLayout) << "image " << i << " done";
      }
      EXPECT_EQ(StartDspImageJob(), 0) << "a finished sheet kicks nothing";
      EXPECT_EQ(g_bDspBusy, 0u);
      EXPECT_EQ(StepDspImageJob(0), 1);
    }
    EXPECT_FALSE(Error278());
  });
}

// A single sheet's request is the head job's slot of the current row, and
// the colour print's calling order completes it between the passes.
TEST_F(DspImageJobTest, ASingleSheetRunsBetweenThePassesAndIsWaitedForBeforeTheOvercoat) {
  Run([this] {
    ImageSlot* pSlot = printlinetest::AttachedSlot(&g_PrintSize8x10);
    ASSERT_NE(pSlot, nullptr);
    const uint32_t ulTotal = pSlot->pParams->ulOvercoatLength;
    Dsp().rate = 150;
    ASSERT_EQ(SetupDspPlaneBuffers(), 0);
    EXPECT_EQ(g_DspImageJob.pSlot, pSlot);
    EXPECT_EQ(g_DspImageJob.ulDestination, DSP_IMAGE_DESTINATION);
    EXPECT_EQ(g_DspImageJob.ulBufferCount, 0u);
    // After each colour plane a kick, a while of abort checks, and the end
    // before the next plane.
    std::vector<uint32_t> firstLines;
    for (uint32_t ulPlane = 0; ulPlane < 3; ++ulPlane) {
      if (ulPlane != 0) {
        EXPECT_EQ(EndDspImageJob(), 0);
        EXPECT_EQ(g_bDspBusy, 0u);
      }
      firstLines.push_back(g_DspImageJob.ulLinesDone);
      ASSERT_EQ(StartDspImageJob(), 0);
      const uint32_t ulStart = g_MsTimer.NowMs();
      while (g_MsTimer.NowMs() - ulStart < 5) StepDspRequestIfBusy();
    }
    ASSERT_EQ(Dsp().kicks.size(), 3u);
    for (uint32_t i = 0; i < 3; ++i) EXPECT_EQ(Dsp().kicks[i].ulFirst, firstLines[i]) << i;
    EXPECT_GT(firstLines[2], firstLines[1]);
    EXPECT_GT(firstLines[1], firstLines[0]);
    EXPECT_LT(g_DspImageJob.ulLinesDone, ulTotal);
    EXPECT_EQ(WaitDspImageJob(), 0);
    EXPECT_EQ(g_DspImageJob.ulLinesDone, ulTotal);
    EXPECT_EQ(g_bDspBusy, 0u);
  });
}

}  // namespace
