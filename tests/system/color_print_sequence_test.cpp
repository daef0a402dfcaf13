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

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

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

class ColourSheet : public PaperWebPrinter {
 protected:
  void SetUp() override { BootOnTheWeb(sim::EngineVariant::EM3); }

  // In the loop: the job, the paper at the position sensor, the sheet.
  SheetRun PrintSheet(int32_t lCisSw) {
    SheetRun r;
    EXPECT_TRUE(InLoop([&] {
      g_ParamCisSW.SetValueNoSave(lCisSw);
      jobtest::EmptyQueue();
      jobtest::LoadMedia(RIBBON_SIZE_8X10, RIBBON_SIZE_8X10);
      jobtest::HostSetup setup;
      setup.ucFirstSide = SIDE_A;
      if (jobtest::SetUpHostJob(setup) != 0) return;
      PrintJobRecord* pJob = jobtest::ReceivingJob();
      jobtest::SetImageBlock(2464, 1208);
      if (jobtest::ReceiveImage(0, IMAGE_HOST, &g_PrintSize8x10) != 0) return;
      g_PrintJobQueue.CompleteJob();
      g_PrintJobQueue.BuildPrintOrder(pJob, SIDE_A, UNIT_L, UNIT_L);
      pJob->ucPrinting = 1;
      pJob->ucPendingMask = pJob->ucExpectedMask;
      g_PaperPosition.SetCurrentPoint(PAPER_AT_POSITION_SENSOR);
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

TEST_F(ColourSheet, PrintsYMCAndTheOvercoatFromThePositionSensor) {
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

TEST_F(ColourSheet, WithTheCisOffNoEdgeIsReadAndTheEdgeResultStays) {
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

}  // namespace
