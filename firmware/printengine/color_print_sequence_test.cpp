// The sheet step machine on a quiet board: a job made in the application
// task as the command handlers make it, the steps run one at a time where
// their routing and their words matter (the variants' rows, the wind after
// each pass, the head's paper edge from the two CIS readings, the single
// pass's flag and excitation, the speed modulation), and whole runs where
// the sheet ends before any paper moves (an image that never comes, an
// image of the other unit only).
#include "firmware/printengine/color_print_sequence.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "firmware/control/control_test_rig.h"
#include "firmware/control/host_status_table.h"
#include "firmware/devices/paper_position.h"
#include "firmware/devices/settings.h"
#include "firmware/devices/stepper.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/mechanism/donor_mng.h"
#include "firmware/platform/time_base.h"
#include "firmware/printengine/job_queue_test_support.h"
#include "firmware/printengine/plane_sequencer.h"
#include "firmware/printengine/print_geometry.h"
#include "firmware/printengine/print_sequence.h"
#include "firmware/printengine/print_sequence_words.h"
#include "firmware/printengine/print_support.h"
#include "firmware/printengine/single_pass.h"
#include "firmware/sequences/sequence_words.h"
#include "protocol/codes.h"

namespace {

using namespace protocol;
using testsupport::Ms;

constexpr uint32_t kMask = SEQ_CHECK_COVERS;

class PrintSheet : public controltest::ControlTest {
 protected:
  // A one-sided host job of an 8x10 picture on side A, complete, its print
  // order built on unit L; ucMask names further expected pictures (only
  // side A's colour picture arrives).
  PrintJobRecord* MakeJob(uint8_t ucMask = SLOT_COLOR_A | IMAGE_MASK_ONE_SIDED, bool bComplete = true) {
    PrintJobRecord* pJob = nullptr;
    InApp([&] {
      jobtest::LoadMedia(RIBBON_SIZE_8X10, RIBBON_SIZE_8X10);
      jobtest::HostSetup setup;
      setup.ucMask = ucMask;
      setup.ucFirstSide = SIDE_A;
      ASSERT_EQ(jobtest::SetUpHostJob(setup), 0);
      pJob = jobtest::ReceivingJob();
      pJob->pPrintSize = &g_PrintSize8x10;  // as the print handler sets it
      jobtest::SetImageBlock(2464, 3024);
      if ((ucMask & SLOT_COLOR_A) != 0) {
        ASSERT_EQ(jobtest::ReceiveImage(0, IMAGE_HOST, &g_PrintSize8x10), 0);
      }
      if (bComplete) g_PrintJobQueue.CompleteJob();
      ASSERT_EQ(g_PrintJobQueue.BuildPrintOrder(pJob, SIDE_A, UNIT_L, UNIT_L), 0);
      pJob->ucPrinting = 1;
      pJob->ucPendingMask = pJob->ucExpectedMask;
    });
    return pJob;
  }
};

// One step of a run whose prologue has run: the next step and the result.
struct StepOutcome {
  uint32_t ulNext;
  int32_t lResult;
};
StepOutcome RunStep(CPrintSheetRun& run, uint32_t ulStep) {
  SeqStepState s{0, ulStep, 0};
  const uint32_t ulNext = run.Step(s);
  return {ulNext, s.lResult};
}

const PrintSheetVariant* const kVariants[3] = {&g_ColorSheetVariant, &g_ColorSheetMarkSenVariant,
                                               &g_SinglePassSheetVariant};
constexpr uint32_t kNoRow = 0xFFFFFFFFu;

TEST_F(PrintSheet, RoutesEachVariantByItsRows) {
  MakeJob();
  struct Case {
    const char* name;
    uint32_t step;
    std::function<void(CPrintSheetRun&)> set;
    uint32_t next[3];  // colour, mark sensor, single pass; kNoRow: no such row
  };
  const auto none = [](CPrintSheetRun&) {};
  const auto received = [](CPrintSheetRun& r) { r.m_ulWaitStart = g_MsTimer.NowMs(); };
  const auto overcoatPass = [](CPrintSheetRun& r) { r.m_pass.ulPassIndex = 3; };
  const auto windDone = [](CPrintSheetRun& r) {
    r.m_lWindStep = 0;
    r.m_pass.ulPlaneCode = PLANE_M;
  };
  const auto windFailedOnL = [](CPrintSheetRun& r) {
    r.m_lWindStep = -1;
    r.m_pass.ulPlaneCode = PLANE_L;
  };
  const auto imageStretch = [](CPrintSheetRun& r) { r.m_ulPlaneState = PLANE_STATE_IMAGE | PLANE_STATE_MARK; };
  const std::vector<Case> cases = {
      {"the image is in (SP: not attached)", 1001, received, {1010, 1, 1002}},
      {"the wait's third step", 1003, received, {1004, 1001, 1001}},
      {"the wait's time-out step", 1004, received, {1001, SEQ_STEP_END, SEQ_STEP_END}},
      {"the pass-over", 1010, none, {1, kNoRow, kNoRow}},
      {"the CIS on", 8, none, {3900, 3900, 3900}},
      {"the unit's ribbon check pending", 40, none, {50, 50, 45}},
      {"a colour pass", 50, none, {60, 60, 65}},
      {"the overcoat pass", 50, overcoatPass, {51, 51, 65}},
      {"the image stretch goes on", 290, imageStretch, {220, 220, 220}},
      {"a stalled overcoat run-out", 303, windFailedOnL, {305, 305, 305}},
      {"a stalled colour run-out", 303, windDone, {304, 304, 304}},
      {"the image loop's stall check", 250, none, {260, 260, 260}},
      {"after the head-up settle", 4025, none, {kNoRow, 403, kNoRow}},
      {"a wind that ended", 407, windDone, {408, 410, 408}},
      {"a wind that failed after L", 407, windFailedOnL, {409, 408, 409}},
      {"the failed wind's plane", 408, windFailedOnL, {430, 410, 430}},
      {"a failed wind after L", 409, windFailedOnL, {430, SEQ_STEP_ERROR, 430}},
      {"the mark wind's end", 420, windDone, {kNoRow, 490, kNoRow}},
      {"after the wind's settle", 470, windDone, {490, kNoRow, 490}},
      {"the back-feed's first step", 490, none, {495, 495, kNoRow}},
      {"after the back-feed", 600, none, {50, 50, kNoRow}},
      {"no such step", 12345, none, {kNoRow, kNoRow, kNoRow}},
  };
  for (const Case& c : cases) {
    for (uint32_t v = 0; v < 3; ++v) {
      SCOPED_TRACE(testing::Message() << c.name << ", variant " << v);
      StepOutcome o{};
      InApp([&] {
        CPrintSheetRun run(*kVariants[v], 0, kMask);
        ASSERT_EQ(run.Prologue(), 0);
        c.set(run);
        o = RunStep(run, c.step);
        g_pDonorMng->StopRibbon(1, 1);
      }, Ms(5000));
      if (c.next[v] == kNoRow) {
        EXPECT_EQ(o.lResult, -1) << "a step without a row";
        EXPECT_EQ(o.ulNext, SEQ_STEP_ERROR);
      } else if (c.next[v] != SEQ_STEP_ERROR) {
        EXPECT_EQ(o.ulNext, c.next[v]);
        EXPECT_EQ(o.lResult, 0);
      } else {
        EXPECT_EQ(o.lResult, -1);
      }
    }
  }
}

// The wind after each pass takes the phase held before the next pass's
// codes replace it; each pass's wind phase reaches the ribbon drive.
TEST_F(PrintSheet, WindsAfterEachPassWithThePhaseHeldBeforeIt) {
  MakeJob();
  struct Case {
    bool overcoatOnly;
    std::vector<uint32_t> winds;  // per pass, in order
  };
  const Case cases[] = {
      {false, {RIBPH_WIND_M, RIBPH_WIND_M, RIBPH_WIND_C, RIBPH_WIND_L}},
      {true, {RIBPH_WIND_Y}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.overcoatOnly);
    std::vector<uint32_t> winds, phases, passes;
    InApp([&] {
      g_ulEngModeA = 2;
      PrintJobRecord* pJob = nullptr;
      g_PrintJobQueue.GetCurrentJob(&pJob);
      pJob->slotColorA.usOvercoatOnly = c.overcoatOnly ? 1 : 0;
      CPrintSheetRun run(g_ColorSheetVariant, 0, kMask);
      ASSERT_EQ(run.Prologue(), 0);
      ASSERT_EQ(RunStep(run, 23).ulNext, 24u);
      for (size_t i = 0; i < c.winds.size(); ++i) {
        passes.push_back(run.m_pass.ulPassIndex);
        ASSERT_EQ(RunStep(run, CPrintSheetRun::kStepWindAfterPass).ulNext, 405u);
        ASSERT_EQ(RunStep(run, 405).ulNext, 406u);
        winds.push_back(run.m_pass.ulWindPhase);
        phases.push_back(g_pDonorMng->GetRibbonPhase());
        g_pDonorMng->StopRibbon(1, 1);
        ++run.m_pass.ulPlaneCode;
      }
      pJob->slotColorA.usOvercoatOnly = 0;
    }, Ms(5000));
    EXPECT_EQ(winds, c.winds);
    EXPECT_EQ(phases, c.winds);
    EXPECT_EQ(passes, c.overcoatOnly ? std::vector<uint32_t>{3} : std::vector<uint32_t>({0, 1, 2, 3}));
  }
}

// Step 3910: the head's paper edge from the readings 1130 lines apart on
// unit L (A), its side offset checked once more when out of range, and the
// defaults when the CIS gave no usable edge.
TEST_F(PrintSheet, PlacesTheHeadEdgeFromBothReadings) {
  MakeJob();
  struct Case {
    const char* name;
    uint32_t edge1, edge2;
    int32_t cisOffsetL;
    uint32_t retried;
    uint32_t next;
    int32_t edgeResult, trackPointA, sideOffsetL;
  };
  const Case cases[] = {
      {"a straight paper", 100, 100, 0, 0, 10, 0, 100, 20},
      {"a skewed paper", 100, 110, 0, 0, 10, 0, 100, 20},
      {"a side offset out of range: read again", 150, 150, 0, 0, 3900, 0, 150, 0},
      {"the second time it is taken", 150, 150, 0, 1, 10, 0, 150, 0},
      {"an edge outside the head: the defaults", 10, 100, 0, 0, 10, -1, 80, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StepOutcome o{};
    int32_t lTrack = 0, lSide = 0, lEdgeResult = 0;
    InApp([&] {
      g_ParamCisOffsetL.SetValueNoSave(c.cisOffsetL);
      g_ParamSideOffsetL.SetValueNoSave(5);
      CPrintSheetRun run(g_ColorSheetVariant, 0, kMask);
      ASSERT_EQ(run.Prologue(), 0);
      run.m_ulEdge1 = c.edge1;
      run.m_ulEdge2 = c.edge2;
      run.m_ulEdgeLine1 = 60000;
      run.m_ulEdgeLine2 = 60000 + 1130;
      run.m_ulEdgeRetried = c.retried;
      g_lCisEdgeResult = 7;
      o = RunStep(run, CPrintSheetRun::kStepEdgeCalc);
      lTrack = g_PrintGeometry.TrackPointA();
      lSide = SettingValue(g_ParamSideOffsetL);
      lEdgeResult = g_lCisEdgeResult;
    });
    EXPECT_EQ(o.lResult, 0);
    EXPECT_EQ(o.ulNext, c.next);
    EXPECT_EQ(lEdgeResult, c.edgeResult);
    EXPECT_EQ(lTrack, c.trackPointA);
    EXPECT_EQ(lSide, c.sideOffsetL);
  }
}

// The single pass: its start state, its flag from the pass values to the
// panel search, its printing state and the excitation of its print move.
TEST_F(PrintSheet, TheSinglePassSetsItsFlagStatesAndExcitation) {
  MakeJob(SLOT_COLOR_A | SLOT_SP_A | IMAGE_MASK_ONE_SIDED);
  uint32_t ulStartState = 0, ulPrintingState = 0, ulFlagAt23 = 9, ulFlagAt109 = 9, ulExcitation = 0;
  uint32_t ulColourExcitation = 0;
  PrintPassValues pass{};
  InApp([&] {
    g_ulSinglePass = 0;
    CPrintSheetRun run(g_SinglePassSheetVariant, 0, kMask);
    ASSERT_EQ(run.Prologue(), 0);
    ASSERT_EQ(RunStep(run, 0).ulNext, 1000u);
    ulStartState = GetStatusItem(SI_PRINTER_STATE);
    RunStep(run, 23);
    ulFlagAt23 = g_ulSinglePass;
    pass = run.m_pass;
    RunStep(run, 75);
    RunStep(run, 80);
    ulPrintingState = GetStatusItem(SI_PRINTER_STATE);
    RunStep(run, 101);
    g_PaperPosition.GetParam(PAPER_PARAM_EXCITATION_MODE, &ulExcitation);
    RunStep(run, 109);
    ulFlagAt109 = g_ulSinglePass;
    g_pDonorMng->StopRibbon(1, 1);
    CPrintSheetRun colour(g_ColorSheetVariant, 0, kMask);
    ASSERT_EQ(colour.Prologue(), 0);
    RunStep(colour, 101);
    g_PaperPosition.GetParam(PAPER_PARAM_EXCITATION_MODE, &ulColourExcitation);
  }, Ms(5000));
  EXPECT_EQ(ulStartState, static_cast<uint32_t>(PRINTER_STATE_PRINT_6D));
  EXPECT_EQ(ulPrintingState, static_cast<uint32_t>(PRINTER_STATE_PRINT_6E));
  EXPECT_EQ(ulFlagAt23, 1u);
  EXPECT_EQ(ulFlagAt109, 0u);
  EXPECT_EQ(pass.ulPlaneCode, PLANE_SP);
  EXPECT_EQ(pass.ulPassIndex, SP_PASS_INDEX);
  EXPECT_EQ(pass.ulSpeedProfile, SP_SPEED_PROFILE);
  EXPECT_EQ(ulExcitation, 4u);
  EXPECT_EQ(ulColourExcitation, 2u);
}

// A single pass that ends before its panel search leaves the flag clear.
TEST_F(PrintSheet, AnAbortedSinglePassClearsItsFlag) {
  MakeJob(SLOT_COLOR_A | SLOT_SP_A | IMAGE_MASK_ONE_SIDED);
  uint32_t ulFlag = 9;
  InApp([&] {
    CPrintSheetRun run(g_SinglePassSheetVariant, 0, kMask);
    ASSERT_EQ(run.Prologue(), 0);
    RunStep(run, 23);
    RunStep(run, SEQ_STEP_ERROR);
    RunStep(run, SEQ_STEP_END);
    run.Exit();
    ulFlag = g_ulSinglePass;
  });
  EXPECT_EQ(ulFlag, 0u);
}

// The speed modulation runs from the print move's start to the steppers'
// stop after the pass, and is off after every run.
TEST_F(PrintSheet, SpeedModulationFromThePrintMoveToTheSteppersStop) {
  MakeJob();
  uint32_t ulAt112 = 9, ulAt450 = 9, ulAfterExit = 9;
  StepOutcome at450{};
  InApp([&] {
    CPrintSheetRun run(g_ColorSheetVariant, 0, kMask);
    ASSERT_EQ(run.Prologue(), 0);
    run.m_lPrintMove = -100;
    run.m_pass.ulSpeedProfile = 1;
    RunStep(run, 101);
    RunStep(run, 112);
    ulAt112 = g_ulSpeedModOn;
    g_StpmtrMain.Halt();
    g_StpmtrSub.Halt();
    g_PaperPosition.StopAll();
    at450 = RunStep(run, 450);
    ulAt450 = g_ulSpeedModOn;
    g_ulSpeedModOn = 1;
    run.Exit();
    ulAfterExit = g_ulSpeedModOn;
  });
  EXPECT_EQ(ulAt112, 1u);
  EXPECT_EQ(ulAt450, 0u);
  EXPECT_EQ(at450.ulNext, 460u) << "both steppers stopped";
  EXPECT_EQ(ulAfterExit, 0u);
}

// Whole runs that end before paper moves: the second side's image never
// attached (the job cancelled after 60 s, result 0), the single-pass image
// never attached (the same), and a picture the job does not expect on this
// side (passed over at once).
struct ImageWaitCase {
  const char* name;
  uint8_t mask;
  uint32_t orderRow, imageUnit;
  int32_t (*sequence)(uint32_t, uint32_t);
};

// One case a process: each waits a minute of virtual time.
class ImageWait : public PrintSheet, public ::testing::WithParamInterface<ImageWaitCase> {};

TEST_P(ImageWait, AnImageThatDoesNotComeCancelsTheJobAfterAMinute) {
  const ImageWaitCase& c = GetParam();
  PrintJobRecord* pJob = MakeJob(c.mask, false);
  ASSERT_NE(pJob, nullptr);
  int32_t lResult = 9;
  uint32_t ulElapsed = 0;
  uint16_t usCancel = 0, usState = 0;
  InApp([&] {
    g_PrintJobQueue.SetPrintOrderIndex(c.orderRow);
    const uint32_t ulStart = g_MsTimer.NowMs();
    lResult = c.sequence(c.imageUnit, kMask);
    ulElapsed = g_MsTimer.NowMs() - ulStart;
    usCancel = pJob->usCancelRequest;
    ImageSlot* pSlot = nullptr;
    g_PrintJobQueue.GetOrderedSlot(pJob, &pSlot, 3);
    usState = pSlot != nullptr ? pSlot->usSlotState : 0;
    jobtest::EmptyQueue();
  }, Ms(70000));
  EXPECT_EQ(lResult, 0);
  EXPECT_EQ(usCancel & CANCEL_INCOMPLETE_ROWS, CANCEL_INCOMPLETE_ROWS);
  EXPECT_GE(ulElapsed, 60000u);
  EXPECT_LT(ulElapsed, 61000u);
  EXPECT_EQ(usState, SLOT_STARTED) << "the sheet started, its slot still pending";
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, ImageWait,
    ::testing::Values(
        ImageWaitCase{"ColourBNeverSent", SLOT_COLOR_A | SLOT_COLOR_B, 1, 1, ColorPrintSequence},
        ImageWaitCase{"ColourBNeverSentMarkSensor", SLOT_COLOR_A | SLOT_COLOR_B, 1, 1, ColorPrintSequenceMarkSen},
        ImageWaitCase{"SpANeverSent", SLOT_COLOR_A | SLOT_SP_A | IMAGE_MASK_ONE_SIDED, 1, 0, SinglePassPrintSequence}),
    [](const ::testing::TestParamInfo<ImageWaitCase>& param) { return std::string(param.param.name); });

TEST_F(PrintSheet, APictureOfTheOtherSideOnlyIsPassedOver) {
  PrintJobRecord* pJob = MakeJob();
  int32_t lResult = 9;
  uint8_t ucPending = 0;
  uint32_t ulIndex = 0, ulElapsed = 0;
  InApp([&] {
    const uint32_t ulStart = g_MsTimer.NowMs();
    lResult = ColorPrintSequence(1, kMask);
    ulElapsed = g_MsTimer.NowMs() - ulStart;
    ucPending = pJob->ucPendingMask;
    g_PrintJobQueue.GetPrintOrderIndex(&ulIndex);
    jobtest::EmptyQueue();
  }, Ms(5000));
  EXPECT_EQ(lResult, 0);
  EXPECT_EQ(ucPending, 0) << "the row's slot taken off the pending mask";
  EXPECT_EQ(ulIndex, 1u);
  EXPECT_LT(ulElapsed, 1000u);
}

TEST_F(PrintSheet, NoJobOrNoSlotRunsNoStep) {
  int32_t lNoJob = 9;
  uint32_t ulState = 0;
  InApp([&] {
    SetStatusItem(SI_PRINTER_STATE, PRINTER_STATE_READY, 0);
    lNoJob = ColorPrintSequence(0, kMask);
    ulState = GetStatusItem(SI_PRINTER_STATE);
  });
  EXPECT_EQ(lNoJob, -1);
  EXPECT_EQ(ulState, static_cast<uint32_t>(PRINTER_STATE_READY)) << "step 0 never ran";
}

}  // namespace
