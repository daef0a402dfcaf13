// Multi-up printing from the host to the cut sheets: three jobs of a
// 1208-line picture each, set up in multi-up mode and sent through the
// print-job commands on the large media, become one sheet of three in the
// idle job-pending check, which raises the print events; the cut sequence
// run on that sheet cuts its six positions and counts one copy on each job,
// so all three retire and the plane sequencer is idle.
#include <gtest/gtest.h>

#include <cstdint>

#include "firmware/control/event_set.h"
#include "firmware/control/idle_supervisor.h"
#include "firmware/devices/life_counters.h"
#include "firmware/devices/paper_position.h"
#include "firmware/devices/settings.h"
#include "firmware/mechanism/step_machine.h"
#include "firmware/printengine/cut_sequence.h"
#include "firmware/printengine/media_config.h"
#include "firmware/printengine/plane_sequencer.h"
#include "firmware/printengine/print_job_queue.h"
#include "firmware/printengine/print_line.h"
#include "firmware/printengine/print_support.h"
#include "firmware/sequences/sequence_words.h"
#include "protocol/codes.h"
#include "tests/support/paper_web.h"
#include "tests/support/print_jobs.h"

namespace {

using paperwebtest::PaperWebPrinter;
using testsupport::Ms;

constexpr uint16_t kShortPicture = 1208;

class MergedSheet : public PaperWebPrinter {
 protected:
  void SetUp() override {
    BootOnTheWeb(sim::EngineVariant::EM3);
    ASSERT_TRUE(m_machine->UsbHost().WaitForConfigured(Ms(10000)));
    InLoop([] {
      // The large media; the jobs wait for one another as long as they may.
      g_MediaConfig.SetRibbonSize(0, RIBBON_SIZE_8X12);
      g_MediaConfig.SetRibbonSize(1, RIBBON_SIZE_8X12);
      g_MediaConfig.SetLoadModeChecked(LOAD_MODE_LOADED);
      g_MediaConfig.SelectPrintSizeTable();
      g_ParamWaitTime.SetValueNoSave(100);
    });
  }
  // A one-sided multi-up job of one short picture: its id.
  uint8_t SendShortJob() {
    protocol::SetupPrintJobRequest setup = hostjobs::JobSetup(SLOT_COLOR_A | IMAGE_MASK_ONE_SIDED);
    setup.printMode = protocol::PRINT_MODE_MULTI_UP;
    const auto [code, ucId] = hostjobs::SetUpJob(m_machine->UsbHost(), setup);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(hostjobs::SendImage(*m_machine, hostjobs::Image(PRINT_WIDTH, kShortPicture)), 0);
    return ucId;
  }
};

TEST_F(MergedSheet, ThreeShortJobsBecomeOneSheetOfThreeCutAndCountedOnEachJob) {
  for (int i = 0; i < 3; ++i) SendShortJob();
  uint32_t ulReady = 0, ulActive = 0;
  InLoop([&] {
    g_PrintJobQueue.GetReadyJobCount(&ulReady);
    g_PrintJobQueue.GetActiveJobCount(&ulActive);
  });
  ASSERT_EQ(ulReady, 3u);
  ASSERT_EQ(ulActive, 3u);

  bool bPrintEvents = false;
  uint32_t ulSelector = 0, ulLayout = 0, ulCuts = 0, ulPrinting = 0;
  InLoop([&] {
    g_ulJobPrepared = 0;
    g_EventSet = 0;
    g_IdleSupervisor.CheckJobPending();
    bPrintEvents = IsEventPending(EV_PREPARE_JOB) && IsEventPending(EV_PRINT_JOB);
    PrintJobRecord* pJob = nullptr;
    g_PrintJobQueue.GetCurrentJob(&pJob);
    ulSelector = pJob->usMergeSelector;
    ulLayout = pJob->pPrintSize != nullptr ? pJob->pPrintSize->ulSizeId : 0;
    ulCuts = pJob->ucCutCount;
    for (uint32_t n = 1; n <= 3; ++n) {
      PrintJobRecord* pQueued = nullptr;
      if (g_PrintJobQueue.GetNthActiveJob(n, &pQueued) == 0) ulPrinting += pQueued->ucPrinting;
    }
  });
  EXPECT_EQ(ulSelector, 7u) << "one picture of each job";
  EXPECT_EQ(ulLayout, 16u);
  EXPECT_EQ(ulCuts, 6u);
  EXPECT_EQ(ulPrinting, 3u);
  EXPECT_TRUE(bPrintEvents);

  const size_t sheets = Web().Sheets().size();
  uint32_t ulCutCounter = 0, ulCutCounterAfter = 0, ulPlaneState = 9;
  int32_t lResult = 9;
  ASSERT_TRUE(InLoop([&] {
    g_CounterCut.GetValue(&ulCutCounter);
    g_PlaneSequencer.SetState(1);
    g_PaperPosition.SetCurrentPoint(PAPER_AT_POSITION_SENSOR);
    g_ulPathChanged = 0;
    lResult = CutSheetSequence(SEQ_CHECK_COVERS);
    g_CounterCut.GetValue(&ulCutCounterAfter);
    g_PrintJobQueue.GetActiveJobCount(&ulActive);
    g_PlaneSequencer.GetState(&ulPlaneState);
  }, Ms(120000)));
  EXPECT_EQ(lResult, 0);
  EXPECT_EQ(Web().Sheets().size(), sheets + 6);
  EXPECT_EQ(ulCutCounterAfter, ulCutCounter + 6);
  EXPECT_EQ(ulActive, 0u) << "a copy counted on each job, all three retired";
  EXPECT_EQ(ulPlaneState, 0u) << "no copy left: the plane sequencer idle";
}

}  // namespace
