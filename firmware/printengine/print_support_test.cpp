// The print support's tables and counters: status and pass codes by plane
// (nothing written above SP), the order code, the mark ribbon's wind length
// and the repeat detector over a run of jobs.
#include "firmware/printengine/print_support.h"

#include <gtest/gtest.h>

#include "firmware/control/control_test_rig.h"
#include "firmware/mechanism/ribbon_phases.h"
#include "firmware/printengine/job_queue_test_support.h"
#include "firmware/printengine/print_line.h"
#include "firmware/printengine/print_sequence_words.h"
#include "firmware/sequences/sequence_words.h"
#include "protocol/codes.h"

namespace {

using namespace protocol;

TEST(PrintSupport, PlaneCodesByPlaneAndNothingAboveSp) {
  struct Case {
    uint32_t plane;
    uint32_t printing, done;
    uint32_t pass, phase, held, profile, logColor;
    bool dummyReset;
  };
  constexpr uint32_t kKept = 77;
  const Case cases[] = {
      {0, PRINTER_STATE_PRINT_63, PRINTER_STATE_PRINT_64, 1, 2, RIBPH_WIND_M, 2, 1, false},
      {1, PRINTER_STATE_PRINT_65, PRINTER_STATE_PRINT_66, 2, 3, RIBPH_WIND_C, 3, 2, false},
      {2, PRINTER_STATE_PRINT_67, PRINTER_STATE_PRINT_68, 3, 5, RIBPH_WIND_L, 4, 3, false},
      {3, PRINTER_STATE_PRINT_69, PRINTER_STATE_PRINT_6A, 0, 1, RIBPH_WIND_Y, 1, 0, true},
      {4, PRINTER_STATE_PRINT_6E, PRINTER_STATE_PRINT_6A, 0, 1, RIBPH_WIND_Y, 1, kKept, true},
  };
  EXPECT_EQ(RIBPH_WIND_Y, 8);
  EXPECT_EQ(RIBPH_WIND_L, 14);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.plane);
    uint32_t ulPrinting = 0, ulDone = 0;
    ASSERT_EQ(GetPlaneStatusCodes(c.plane, &ulPrinting, &ulDone), 0);
    EXPECT_EQ(ulPrinting, c.printing);
    EXPECT_EQ(ulDone, c.done);
    g_ulPrintLogColor = kKept;
    g_ulRibDummyLines = 1;
    uint32_t ulPass = 9, ulPhase = 9, ulHeld = 9, ulProfile = 9;
    ASSERT_EQ(GetNextPassCodes(c.plane, &ulPass, &ulPhase, &ulHeld, &ulProfile), 0);
    EXPECT_EQ(ulPass, c.pass);
    EXPECT_EQ(ulPhase, c.phase);
    EXPECT_EQ(ulHeld, c.held);
    EXPECT_EQ(ulProfile, c.profile);
    EXPECT_EQ(g_ulPrintLogColor, c.logColor);
    EXPECT_EQ(g_ulRibDummyLines, c.dummyReset ? g_pCurPrintSize->aulFrontDummyLines[PLANE_Y] : 1u);
  }
  for (uint32_t ulPlane : {5u, 0xFFFFFFFFu}) {
    uint32_t a = 7, b = 7, c = 7, d = 7;
    g_ulPrintLogColor = kKept;
    EXPECT_EQ(GetPlaneStatusCodes(ulPlane, &a, &b), -1);
    EXPECT_EQ(GetNextPassCodes(ulPlane, &a, &b, &c, &d), -1);
    EXPECT_EQ(a + b + c + d, 28u) << "outputs untouched";
    EXPECT_EQ(g_ulPrintLogColor, kKept);
  }
  g_ulPrintLogColor = 0;
}

TEST(PrintSupport, OrderCodeFromSideAndUnit) {
  struct Case {
    uint32_t side, unit, code;
  };
  const Case cases[] = {{1, 1, 1}, {1, 2, 3}, {1, 0, 3}, {2, 1, 2}, {0, 1, 2}, {2, 2, 4}, {0, 0, 4}};
  for (const Case& c : cases) EXPECT_EQ(OrderCode(c.side, c.unit), c.code) << c.side << "/" << c.unit;
}

TEST(PrintSupport, MarkRibbonWindsTheDummyLinesBeyond66) {
  PrintSizeRecord size{};
  const uint32_t dummy[PRINT_PLANES] = {65, 66, 67, 200, 300};
  for (uint32_t i = 0; i < PRINT_PLANES; ++i) size.aulFrontDummyLines[i] = dummy[i];
  EXPECT_EQ(MarkPanelWindLines(size, PLANE_Y), 0u);
  EXPECT_EQ(MarkPanelWindLines(size, PLANE_M), 0u);
  EXPECT_EQ(MarkPanelWindLines(size, PLANE_C), 1u);
  EXPECT_EQ(MarkPanelWindLines(size, PLANE_L), 134u);
  EXPECT_EQ(MarkPanelWindLines(size, PLANE_SP), 0u) << "SP winds as Y";
  EXPECT_EQ(MarkPanelWindLines(size, 9), 0u);
}

using controltest::ControlTest;

// Makes a complete internal job (side mode 1: one colour image; 0: both),
// the only job, with its print order; runs the detector.
int32_t CountJob(uint32_t ulSideMode) {
  g_PrintJobQueue.CancelJobs(0, 0);
  PrintJobRecord* pJob = jobtest::MakeInternalJob(1, ulSideMode);
  EXPECT_NE(pJob, nullptr);
  g_PrintJobQueue.BuildPrintOrder(pJob, SIDE_A, UNIT_L, UNIT_R);
  return CountUnitRepeat();
}

TEST_F(ControlTest, RepeatDetectorCountsSingleColourJobsWithTheSameOrderCode) {
  InApp([] {
    jobtest::LoadMedia(1, 1);
    g_ulUnitRepeatCount = 0;
    g_ulPrevOrderCode = 0;
    g_ulCurOrderCode = 0;
    // No job: the failure, the state as it was.
    g_PrintJobQueue.CancelJobs(0, 0);
    g_ulUnitRepeatCount = 5;
    EXPECT_EQ(CountUnitRepeat(), -1);
    EXPECT_EQ(g_ulUnitRepeatCount, 5u);
    g_ulUnitRepeatCount = 0;
    struct Step {
      uint32_t sideMode;
      uint32_t count;
      bool zeroCodes;
    };
    // Single-colour jobs count from the second on; a two-sided job resets.
    const Step steps[] = {{1, 0, false}, {1, 1, false}, {1, 2, false}, {0, 0, true}, {1, 0, false}, {1, 1, false}};
    for (const Step& s : steps) {
      EXPECT_EQ(CountJob(s.sideMode), 0);
      EXPECT_EQ(g_ulUnitRepeatCount, s.count) << s.sideMode;
      if (s.zeroCodes) {
        EXPECT_EQ(g_ulCurOrderCode, 0u);
        EXPECT_EQ(g_ulPrevOrderCode, 0u);
      } else {
        uint32_t ulKind = 0, ulSide = 0, ulUnit = 0;
        g_PrintJobQueue.GetPrintOrderEntry(1, &ulKind, &ulSide, &ulUnit);
        EXPECT_EQ(g_ulCurOrderCode, OrderCode(ulSide, ulUnit));
      }
    }
    // A different order code starts the count again.
    g_ulCurOrderCode = 99;
    EXPECT_EQ(CountJob(1), 0);
    EXPECT_EQ(g_ulPrevOrderCode, 99u);
    EXPECT_EQ(g_ulUnitRepeatCount, 0u);
    g_PrintJobQueue.CancelJobs(0, 0);
  });
}

}  // namespace
