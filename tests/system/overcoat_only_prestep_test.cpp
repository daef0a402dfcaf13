// The step before an overcoat-only sheet on a running printer: the DSP
// copies the 8x12 overcoat image to its destination while the ribbon winds
// to its overcoat panel, the paper returns to the position sensor and the
// roll-encoder check runs; a paper end seen after the check ends the step
// through its error step.
#include <gtest/gtest.h>

#include "firmware/control/event_set.h"
#include "firmware/control/engine_variant.h"
#include "firmware/devices/paper_position.h"
#include "firmware/devices/slit.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/mechanism/ribbon_roll.h"
#include "firmware/mechanism/roll_encoder_checks.h"
#include "firmware/mechanism/step_machine.h"
#include "firmware/printengine/dsp_image_job.h"
#include "firmware/printengine/dsp_window.h"
#include "firmware/printengine/print_sequence_support.h"
#include "firmware/printengine/print_size.h"
#include "firmware/printengine/print_support.h"
#include "sim/mechanism/paper_web.h"
#include "tests/support/paper_web.h"

namespace {

using paperwebtest::PaperWebPrinter;
using testsupport::Ms;

constexpr uint32_t kMask = SEQ_CHECK_COVERS;

class OvercoatOnly : public PaperWebPrinter {
 protected:
  void SetUp() override { BootOnTheWeb(sim::EngineVariant::EM3); }
};

struct PreStepRun {
  int32_t lResult = 9;
  uint32_t ulStopBefore = 0, ulStopAfter = 0, ulReduction = 0;
  uint32_t ulSupplyBefore = 0, ulSupplyAfter = 0;
  bool bPaperEnd = false;
};

PreStepRun RunPreStep() {
  PreStepRun r;
  g_PaperPosition.SetCurrentPoint(PAPER_AT_POSITION_SENSOR);
  r.ulStopBefore = g_pRibbonRoll->GetPanelStopLines(3);
  r.ulReduction = g_pRibbonRoll->Type().ulOvercoatStopReduction;
  g_pCurSlitRibEncSrc->ReadCount(&r.ulSupplyBefore);
  r.lResult = OvercoatOnlyPreStep(nullptr, kMask);
  g_pCurSlitRibEncSrc->ReadCount(&r.ulSupplyAfter);
  r.ulStopAfter = g_pRibbonRoll->GetPanelStopLines(3);
  r.bPaperEnd = IsEventPending(EV_PAPER_END);
  return r;
}

TEST_F(OvercoatOnly, TheDspCopiesTheOvercoatImageWhileTheRibbonWindsAndThePaperReturns) {
  PreStepRun r;
  ASSERT_TRUE(InLoop([&] { r = RunPreStep(); }, Ms(120000)));
  EXPECT_EQ(r.lResult, 0);
  EXPECT_EQ(r.ulStopAfter, r.ulStopBefore > r.ulReduction ? r.ulStopBefore - r.ulReduction : 0u);
  // The copy of the 8x12 record, complete and ended.
  EXPECT_EQ(g_DspImageJob.usMode, DSP_MODE_IMAGE_COPY);
  EXPECT_EQ(g_DspImageJob.ulDestination, DSP_IMAGE_DESTINATION);
  EXPECT_EQ(g_DspImageJob.ulPrintWidth, g_PrintSize8x12.ulPrintWidth);
  EXPECT_GE(g_DspImageJob.ulLinesDone, g_DspImageJob.ulTotalLines);
  EXPECT_GT(g_DspImageJob.ulTotalLines, 0u);
  EXPECT_EQ(g_bDspBusy, 0u);
  EXPECT_NE(r.ulSupplyAfter, r.ulSupplyBefore) << "the ribbon wound to its panel";
  EXPECT_NEAR(Web().Front(), sim::PaperWeb::kPosition, 1.0) << "back at the position sensor";
  EXPECT_FALSE(r.bPaperEnd);
}

TEST_F(OvercoatOnly, APaperEndSeenByTheRollCheckEndsThroughTheErrorStep) {
  PreStepRun r;
  ASSERT_TRUE(InLoop([&] {
    // A roll end latched: the check raises the paper end.
    g_ulRollEndArmed = 1;
    g_ulRollEndDetected = 1;
    r = RunPreStep();
    g_ulRollEndDetected = 0;
    g_ulRollEndArmed = 0;
  }, Ms(120000)));
  EXPECT_EQ(r.lResult, -1);
  EXPECT_TRUE(r.bPaperEnd);
  EXPECT_EQ(g_bDspBusy, 0u) << "the copy waited for";
  EXPECT_NEAR(Web().Front(), sim::PaperWeb::kPosition, 1.0);
}

}  // namespace
