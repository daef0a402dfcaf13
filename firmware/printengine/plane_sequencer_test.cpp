// The plane sequencer's plans and its count-down, with paper steps given by
// hand in the application task ("Stp/Lx1000" 1000: a step per line, taken
// down to an even count), and the dummy lines of the print sizes.
#include "firmware/printengine/plane_sequencer.h"

#include <gtest/gtest.h>

#include <functional>

#include "firmware/control/app_startup.h"
#include "firmware/control/engine_variant.h"
#include "firmware/control/control_test_rig.h"
#include "firmware/devices/settings.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/hal/hw.h"
#include "firmware/mechanism/roll_encoder_checks.h"
#include "firmware/printengine/dummy_lines.h"
#include "firmware/printengine/plane_lead_in.h"
#include "firmware/printengine/print_line.h"
#include "firmware/printengine/print_line_test_support.h"
#include "firmware/sequences/ribbon_winding.h"

namespace {

using printlinetest::AttachedSlot;
using printlinetest::PrepareBoard;
using testsupport::Ms;

// The step (counted paper step) at which each stretch and bit was first seen.
struct Seen {
  uint32_t ulImage = 0, ulRunOut = 0, ulMark = 0, ulFlag = 0, ulDone = 0;
  bool operator==(const Seen&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Seen& s) {
  return os << "{image " << s.ulImage << ", run-out " << s.ulRunOut << ", mark " << s.ulMark << ", flag "
            << s.ulFlag << ", done " << s.ulDone << "}";
}

// Paper steps (ulDivider calls each) until the plane is done.
Seen CountDown(uint32_t ulDivider) {
  Seen seen;
  const uint32_t ulSaved = SaveIrqAndDisable();
  for (uint32_t ulStep = 1; seen.ulDone == 0 && ulStep < 100000; ++ulStep) {
    for (uint32_t i = 0; i < ulDivider; ++i) g_PlaneSequencer.OnLine();
    uint32_t ulState = 0;
    g_PlaneSequencer.GetState(&ulState);
    if (seen.ulImage == 0 && (ulState & 0xFFF) == PLANE_STATE_IMAGE) seen.ulImage = ulStep;
    if (seen.ulRunOut == 0 && (ulState & 0xFFF) == PLANE_STATE_RUN_OUT) seen.ulRunOut = ulStep;
    if (seen.ulMark == 0 && (ulState & PLANE_STATE_MARK) != 0) seen.ulMark = ulStep;
    if (seen.ulFlag == 0 && g_usPlaneLineFlag != 0) seen.ulFlag = ulStep;
    if (ulState == PLANE_STATE_DONE) seen.ulDone = ulStep;
  }
  g_PrintLine.StopPrint();
  RestoreIrq(ulSaved);
  return seen;
}

// The head job leaves the queue with its buffers.
void DropHeadJob() {
  PrintJobRecord* pJob = nullptr;
  if (g_PrintJobQueue.GetJob(PRINT_JOB_LIST_ACTIVE, &pJob) != 0 || pJob == nullptr) return;
  g_PrintJobQueue.FreeImageBuffers(pJob);
  g_PrintJobQueue.RetireJob();
}

class PlaneSequencerTest : public controltest::ControlTest {
 protected:
  void RunInApp(std::function<void()> body) {
    InApp(
        [&] {
          PrepareBoard();
          if (::testing::Test::HasFatalFailure()) return;
          g_ucRibbonControlType = 1;
          InitDummyLines();
          g_ParamStpLx1000.SetValueNoSave(1000);
          g_ParamTopOffsetL.SetValueNoSave(0);
          g_ParamTopOffsetSP.SetValueNoSave(0);
          g_ulRollEndDetected = 0;
          body();
        },
        Ms(120000));
  }
};

TEST_F(PlaneSequencerTest, PlansFollowThePlaneTableAndTheCountDownReportsEachStretch) {
  struct Case {
    const char* pszName;
    uint16_t usPlane;
    std::function<void(ImageSlot*)> setup;
    uint32_t ulFront, ulImage, ulRear, ulLines;
    Seen seen;
    uint32_t ulDivider;
  };
  // Size id 8: 1808 lines + 12 + 12; the 8x12 dummy lines (front Y 154,
  // M 171, C 118, L 136, SP 300; rear 82, 82, 82, 118, 300).
  const Case cases[] = {
      {"plane Y, 155 lead-in lines", PLANE_Y, [](ImageSlot*) { g_ulRibDummyLines = 155; }, 154, 1832, 82, 2069,
       {154, 1986, 24, 24, 2068}, 1},
      {"plane M, no flag lines", PLANE_M, [](ImageSlot*) {}, 170, 1832, 82, 2085, {170, 2002, 24, 1, 2084}, 1},
      {"SP: four pulses a step", PLANE_SP, [](ImageSlot*) { g_ulRibDummyLines = 40; }, 40, 1832, 300, 2172,
       {40, 1872, 24, 1, 2172}, 4},
      {"roll end: the flag at once", PLANE_Y,
       [](ImageSlot*) {
         g_ulRibDummyLines = 100;
         g_ulRollEndDetected = 1;
       },
       100, 1832, 82, 2014, {100, 1932, 24, 1, 2014}, 1},
      {"overcoat of a printed side", PLANE_OVERCOAT, [](ImageSlot*) { g_ParamTopOffsetL.SetValueNoSave(10); }, 136,
       1832, 118, 2086, {136, 1968, 24, 1, 2086}, 1},
      {"overcoat of the fill-in side: the top offset too", PLANE_OVERCOAT,
       [](ImageSlot* pSlot) {
         g_ParamTopOffsetL.SetValueNoSave(10);
         pSlot->usFillIn = 1;
       },
       146, 1832, 118, 2096, {146, 1978, 24, 1, 2096}, 1},
  };
  RunInApp([&] {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.pszName);
      DropHeadJob();
      ImageSlot* pSlot = AttachedSlot(&g_PrintSizeTable[1]);
      ASSERT_NE(pSlot, nullptr);
      pSlot->usInternal = 0;
      g_ulRollEndDetected = 0;
      c.setup(pSlot);
      ASSERT_EQ(g_PlaneSequencer.StartPlane(0, 0), 0);
      EXPECT_EQ(g_pCurPrintSize, pSlot->pParams);
      ASSERT_EQ(g_PlaneSequencer.PlanPlane(c.usPlane), 0);
      uint32_t ulSteps = 0, ulLines = 0, ulState = 0;
      g_PlaneSequencer.GetTotalSteps(&ulSteps);
      g_PlaneSequencer.GetTotalLines(&ulLines);
      g_PlaneSequencer.GetState(&ulState);
      EXPECT_EQ(ulState, PLANE_STATE_LEAD_IN);
      EXPECT_EQ(g_usPlaneLineFlag, 0);
      EXPECT_EQ(g_PlaneSequencer.FrontSteps(), c.ulFront);
      EXPECT_EQ(g_PlaneSequencer.ImageSteps(), c.ulImage);
      EXPECT_EQ(g_PlaneSequencer.RearSteps(), c.ulRear);
      EXPECT_EQ(ulSteps, c.ulFront + c.ulImage + c.ulRear);
      EXPECT_EQ(ulLines, c.ulLines);
      EXPECT_EQ(g_PlaneSequencer.LineDivider(), c.ulDivider);
      EXPECT_EQ(CountDown(c.ulDivider), c.seen);
      g_PlaneSequencer.SetState(PLANE_STATE_IDLE);
    }
  });
}

TEST_F(PlaneSequencerTest, TheNextPlaneAndThePaperReturnStepsComeFromThePlan) {
  RunInApp([&] {
    ImageSlot* pSlot = AttachedSlot(&g_PrintSizeTable[1]);
    ASSERT_NE(pSlot, nullptr);
    pSlot->usInternal = 0;
    g_ulRibDummyLines = 155;
    ASSERT_EQ(g_PlaneSequencer.StartPlane(0, 0), 0);
    ASSERT_EQ(g_PlaneSequencer.PlanPlane(PLANE_C), 0);
    uint32_t ulNext = 0;
    g_PlaneSequencer.GetNextPlaneSteps(&ulNext);
    // Front L 136, the image and run-out of C, then the overcoat's image
    // and tail in place of C's (72 both).
    EXPECT_EQ(ulNext, 136u + 1832 + 82);
    uint32_t ulReturn = 0;
    g_PlaneSequencer.GetPaperReturnSteps(20, &ulReturn);
    const uint32_t ulOrigin = (65755 - g_ulEngPosRefA) & 0xFFFF;
    EXPECT_EQ(ulReturn, (ulOrigin & ~1u) - 10 - 20);  // rear 82 over tail 72
    g_PrintLine.StopPrint();
  });
}

TEST_F(PlaneSequencerTest, FailuresLeaveThePlanAlone) {
  RunInApp([&] {
    g_usPlaneLineFlag = 1;
    EXPECT_EQ(g_PlaneSequencer.PlanPlane(5), -1);
    EXPECT_EQ(g_usPlaneLineFlag, 0) << "cleared before the code is looked at";
    // No current job: the start fails in state 1.
    while (jobtest::ActiveJobs() != 0) DropHeadJob();
    EXPECT_NE(g_PlaneSequencer.StartPlane(0, 0), 0);
    uint32_t ulState = 0;
    g_PlaneSequencer.GetState(&ulState);
    EXPECT_EQ(ulState, PLANE_STATE_STARTED);
  });
}

TEST_F(PlaneSequencerTest, TheDummyLinesOfTheCurrentUnitGoIntoTheFullSizeRecords) {
  RunInApp([&] {
    g_ParamFrontDummyM8x12R.SetValueNoSave(100);
    g_ParamRearDummyC8x12R.SetValueNoSave(90);
    g_ParamFrontDummyM8x10R.SetValueNoSave(171);
    SelectUnit(1);
    EXPECT_EQ(g_PrintSize8x12.aulFrontDummyLines[PLANE_M], 100u);
    EXPECT_EQ(g_PrintSize8x12.aulRearDummyLines[PLANE_C], 90u);
    EXPECT_EQ(g_PrintSize8x10.aulFrontDummyLines[PLANE_M], 171u) << "8x10 keeps its value";
    SelectUnit(0);
    EXPECT_EQ(g_PrintSize8x12.aulFrontDummyLines[PLANE_M], 171u) << "unit L's own set";
    // A size other than 8x10 prints with the 8x12 lines.
    SelectUnit(1);
    ImageSlot* pSlot = AttachedSlot(&g_PrintSizeTable[1]);
    ASSERT_NE(pSlot, nullptr);
    ASSERT_EQ(g_PlaneSequencer.StartPlane(0, 0), 0);
    EXPECT_EQ(pSlot->pParams->aulFrontDummyLines[PLANE_M], 100u);
    EXPECT_EQ(pSlot->pParams->aulRearDummyLines[PLANE_C], 90u);
    SelectUnit(0);
  });
}

TEST_F(PlaneSequencerTest, StartUpDummyLinesFollowTheRibbonControl) {
  RunInApp([&] {
    for (uint8_t ucType : {uint8_t{0}, uint8_t{1}}) {
      g_ucRibbonControlType = ucType;
      InitDummyLines();
      const uint32_t aulFront[2][PRINT_PLANES] = {{66, 170, 200, 180, 300}, {154, 171, 118, 136, 300}};
      for (const PrintSizeRecord& record : g_PrintSizeTable) {
        for (uint32_t p = 0; p < PRINT_PLANES; ++p) {
          EXPECT_EQ(record.aulFrontDummyLines[p], aulFront[ucType][p]) << record.ulSizeId << " " << p;
          EXPECT_EQ(record.aulRearDummyLines[p], p == PLANE_SP ? 300u : p == PLANE_OVERCOAT ? 118u : 82u);
        }
      }
      EXPECT_EQ(SettingValue(g_ParamFrontDummyC8x10R), static_cast<int32_t>(aulFront[ucType][PLANE_C]));
      EXPECT_EQ(SettingValue(g_ParamRearDummyL8x12L), 118);
    }
  });
}

}  // namespace
