// A colour sheet printed by the colour print sequence alone on a printer
// whose main loop runs it, the paper web and the ribbon moving under the
// head: a one-sided host job's picture on unit L, from the position sensor
// to the end of the overcoat pass. The sheet's lines of Y, M, C and L are
// recorded, the two CIS readings place the head's paper edge, the slot
// leaves the pending mask, and the sheet is written as a PNG (into
// $BOM_SHEET_DIR/<test> when set, for a person to look at); with the CIS
// switched off no edge is read and
// the edge result of the sheet before stays.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "firmware/control/error_manager.h"
#include "firmware/devices/paper_position.h"
#include "firmware/devices/print_log.h"
#include "firmware/devices/settings.h"
#include "firmware/devices/stepper.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/mechanism/step_machine.h"
#include "firmware/printengine/job_queue_test_support.h"
#include "firmware/printengine/print_conditioning.h"
#include "firmware/printengine/print_geometry.h"
#include "firmware/printengine/print_sequence.h"
#include "firmware/printengine/print_sequence_words.h"
#include "firmware/printengine/print_support.h"
#include "firmware/sequences/sequence_words.h"
#include "firmware/printengine/color_print_sequence.h"
#include "sim/mechanism/head_thermal.h"
#include "sim/mechanism/paper_web.h"
#include "sim/mechanism/print_recorder.h"
#include "sim/mechanism/printed_sheets.h"
#include "tests/support/temp_dir.h"
#include "tests/support/paper_web.h"

namespace {

using paperwebtest::PaperWebPrinter;
using testsupport::Ms;

constexpr uint32_t kMask = SEQ_CHECK_COVERS;
constexpr uint32_t kPictureLines = 1208, kExtraLines = 24;

// $BOM_SHEET_DIR/<test> when set, else a temporary folder.
std::string SheetFolder() {
  const char* pszRoot = std::getenv("BOM_SHEET_DIR");
  if (pszRoot == nullptr || *pszRoot == '\0') return testsupport::MakeTempDir("sheets");
  const ::testing::TestInfo* pInfo = ::testing::UnitTest::GetInstance()->current_test_info();
  return std::string(pszRoot) + "/" + pInfo->test_suite_name() + "." + pInfo->name();
}

struct SheetRun {
  int32_t lResult = 9;
  uint8_t ucPending = 0xFF;
  int32_t lEdgeResult = 0;
  uint32_t ulSpeedMod = 9;
  uint32_t ulCheckPending = 9;
  uint32_t aulLines[4] = {};
  int32_t lLowestError = 0;
};

class ColourSheetSequence : public PaperWebPrinter {
 protected:
  void SetUp() override { BootOnTheWeb(sim::EngineVariant::EM3); }

  // In the loop: a one-sided job of a 1208-line picture on unit L, being
  // printed, the paper at the position sensor. Null when refused.
  static PrintJobRecord* MakeJob() {
    jobtest::EmptyQueue();
    jobtest::LoadMedia(RIBBON_SIZE_8X10, RIBBON_SIZE_8X10);
    jobtest::HostSetup setup;
    setup.ucFirstSide = SIDE_A;
    if (jobtest::SetUpHostJob(setup) != 0) return nullptr;
    PrintJobRecord* pJob = jobtest::ReceivingJob();
    jobtest::SetImageBlock(2464, kPictureLines);
    if (jobtest::ReceiveImage(0, IMAGE_HOST, &g_PrintSize8x10) != 0) return nullptr;
    pJob->pPrintSize = &g_PrintSize8x10;  // as the print handler sets it
    g_PrintJobQueue.CompleteJob();
    g_PrintJobQueue.BuildPrintOrder(pJob, SIDE_A, UNIT_L, UNIT_L);
    pJob->ucPrinting = 1;
    pJob->ucPendingMask = pJob->ucExpectedMask;
    g_PaperPosition.SetCurrentPoint(PAPER_AT_POSITION_SENSOR);
    return pJob;
  }

  // In the loop: the job, the sheet.
  SheetRun PrintSheet(int32_t lCisSw) {
    SheetRun r;
    EXPECT_TRUE(InLoop([&] {
      g_ParamCisSW.SetValueNoSave(lCisSw);
      PrintJobRecord* pJob = MakeJob();
      if (pJob == nullptr) return;
      g_lCisEdgeResult = 7;
      // The pre-heat wait has its own tests: this sheet's head counts as warm.
      g_ulPreheatWaited = 1;
      r.lResult = ColorPrintSequence(0, kMask);
      r.ucPending = pJob->ucPendingMask;
      r.lEdgeResult = g_lCisEdgeResult;
      r.ulSpeedMod = g_ulSpeedModOn;
      r.ulCheckPending = g_ulRibbonCheckPending;
      for (uint32_t i = 0; i < 4; ++i) r.aulLines[i] = g_aulPlaneLines[i];
      g_ErrorMng.LowestActiveError(&r.lLowestError);
    }, Ms(600000)));
    return r;
  }
};

TEST_F(ColourSheetSequence, PrintsYMCAndTheOvercoatFromThePositionSensor) {
  const std::string folder = SheetFolder();
  sim::PrintedSheets* pSheets = sim::InstallPrintedSheets(m_machine->GetBoard(), folder);
  ASSERT_NE(pSheets, nullptr);
  const SheetRun r = PrintSheet(1);
  EXPECT_EQ(r.lResult, 0);
  EXPECT_EQ(r.lLowestError, -1) << "no error raised";
  EXPECT_EQ(r.ucPending, 0) << "the slot printed";
  EXPECT_EQ(r.lEdgeResult, 0) << "both readings found the paper edge";
  EXPECT_EQ(r.ulSpeedMod, 0u);
  EXPECT_EQ(r.ulCheckPending & 1u, 0u) << "the unit's ribbon check is done by a good sheet";
  for (uint16_t usPlane : {PLANE_Y, PLANE_M, PLANE_C, PLANE_L}) {
    SCOPED_TRACE(usPlane);
    EXPECT_GT(r.aulLines[usPlane], kPictureLines + kExtraLines) << "the plane's lines with its dummy lines";
    EXPECT_EQ(m_machine->PrintRecord().Lines(0, usPlane).size(), kPictureLines + kExtraLines)
        << "every image line strobed";
  }
  EXPECT_EQ(pSheets->Count(), 1u);
  EXPECT_EQ(pSheets->WriteFailures(), 0u);
  EXPECT_TRUE(std::filesystem::exists(folder + "/sheet-0001-L.png"));
  EXPECT_TRUE(std::filesystem::exists(folder + "/sheet-0001-L-overcoat.png"));
}

TEST_F(ColourSheetSequence, WithTheCisOffNoEdgeIsReadAndTheEdgeResultStays) {
  int32_t lTrackA = 0, lTrackB = 0;
  InLoop([&] {
    g_PrintGeometry.SetTrackPoint(0, 80);
    g_PrintGeometry.SetTrackPoint(1, 80);
  });
  const SheetRun r = PrintSheet(0);
  InLoop([&] {
    lTrackA = SettingValue(g_ParamTrackPointA);
    lTrackB = SettingValue(g_ParamTrackPointB);
  });
  EXPECT_EQ(r.lResult, 0);
  EXPECT_EQ(r.lEdgeResult, 7);
  EXPECT_EQ(lTrackA, 80);
  EXPECT_EQ(lTrackB, 80);
  EXPECT_EQ(r.ucPending, 0);
}

// The overcoat pass's cooling wait (steps 50 to 60): only on a matte
// overcoat with "TProtectL SW" 1, where a hot head keeps the pass until it
// has cooled to "TProtectL Lv", the paper backed off the head meanwhile and
// returned.
TEST_F(ColourSheetSequence, TheMatteOvercoatWaitsForAHotHeadWithThePaperBackedOff) {
  const uint32_t ulLevel = sim::HeadThermal::NtcReading(45.0) >> 2;
  struct Case {
    const char* name;
    uint16_t overcoat;
    int32_t sw;
    std::vector<uint32_t> steps;  // 50 and what follows up to 60
    bool backedOff;
  };
  const Case cases[] = {
      {"matte, switch on: the wait", OVERCOAT_MATTE, 1, {50, 51, 52, 55, 60}, true},
      {"matte, switch off", OVERCOAT_MATTE, 0, {50, 51, 52, 60}, false},
      {"glossy", OVERCOAT_GLOSSY, 1, {50, 51, 60}, false},
  };
  sim::HeadThermal& thermal = *m_machine->GetBoard().FindDevice<sim::HeadThermal>();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint32_t> steps;
    int32_t lResult = 9;
    bool bDone = false;
    sim::Nanos start = 0, end = 0;
    const double before = Web().Front();
    double lowest = before;
    thermal.SetHeadC(0, 60.0);
    m_machine->AtNextPass([&] {
      PrintJobRecord* pJob = MakeJob();
      ASSERT_NE(pJob, nullptr);
      g_PaperPosition.SetCurrentPoint(PAPER_AT_POSITION_SENSOR);
      g_ParamTProtectLSW.SetValueNoSave(c.sw);
      g_ParamTProtectLLv.SetValueNoSave(static_cast<int32_t>(ulLevel));
      pJob->slotColorA.usOvercoatKind = c.overcoat;
      CPrintSheetRun run(g_ColorSheetVariant, 0, kMask);
      ASSERT_EQ(run.Prologue(), 0);
      run.m_pass.ulPassIndex = 3;
      start = m_machine->Now();
      SeqStepState s{0, CPrintSheetRun::kStepPassStart, 0};
      while (s.ulStep != 60 && s.lResult == 0) {
        steps.push_back(s.ulStep);
        s.ulStep = run.Step(s);
      }
      steps.push_back(s.ulStep);
      end = m_machine->Now();
      lResult = s.lResult;
      bDone = true;
    });
    m_machine->RunUntil([&] {
      lowest = std::min(lowest, Web().Front());
      return bDone;
    }, Ms(300000));
    ASSERT_TRUE(bDone);
    EXPECT_EQ(lResult, 0);
    EXPECT_EQ(steps, c.steps);
    if (c.backedOff) {
      EXPECT_LT(lowest, before - 100.0) << "backed off";
      EXPECT_GT(end - start, Ms(1000)) << "waited for the head";
    } else {
      EXPECT_NEAR(lowest, before, 1.0);
    }
    EXPECT_NEAR(Web().Front(), before, 1.0) << "back where it was";
  }
}

}  // namespace
