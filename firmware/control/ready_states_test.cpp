// Ready state A: the entry's job cancellation, the energy-save pre-heat
// window, the long-idle ribbon check and the menu with a cover opened.
#include <vector>

#include "firmware/control/app_startup.h"
#include "firmware/control/control_test_rig.h"
#include "firmware/control/engine_variant.h"
#include "firmware/control/leds.h"
#include "firmware/devices/settings.h"
#include "firmware/printengine/job_queue_test_support.h"
#include "firmware/printengine/media_config.h"
#include "firmware/printengine/print_job_queue.h"

// The timers of ready state A, for tests that place them in the past.
struct ReadyAStateAccess {
  static void PlacePreheatStart(uint32_t ulAgoMs) { g_EventMngReadyA.m_ulPreheatStart = g_MsTimer.NowMs() - ulAgoMs; }
  static uint16_t PreheatStopped() { return g_EventMngReadyA.m_usPreheatStopped; }
  static void PlacePeriodStart(uint32_t ulAgoMs) { g_EventMngReadyA.m_ulPeriodStart = g_MsTimer.NowMs() - ulAgoMs; }
  static uint32_t& PeriodsLeft() { return g_EventMngReadyA.m_ulPeriodsLeft; }
};

namespace controltest {
namespace {

void EnterReadyA() {
  MakeCurrent(&g_EventMngReadyA);
  g_ulCurEventStateId = EVENT_STATE_NONE;
  g_EventMngReadyA.OnEnter();
}

// The print-size ids of the active jobs, head first.
std::vector<uint32_t> QueuedSizeIds() {
  std::vector<uint32_t> ids;
  PrintJobRecord* pJob = nullptr;
  for (uint32_t n = 1; g_PrintJobQueue.GetNthActiveJob(n, &pJob) == 0; ++n) ids.push_back(pJob->pPrintSize->ulSizeId);
  return ids;
}

struct EntryCase {
  const char* name;
  int32_t ribbonStatus;
  uint16_t mediaSize;  // of both units
  std::vector<uint32_t> jobRows;  // print-size rows of the jobs queued before the entry
  std::vector<uint32_t> leftIds;
  bool eventsCleared;
};

TEST_F(ControlTest, ReadyAEntryCancelsTheJobsOfAChangedRibbonOrPrintSize) {
  // Each row enters A again after the one before it.
  const EntryCase cases[] = {
      {"ribbon status changed", 2, 1, {PRINT_SIZE_ROW_8X10, PRINT_SIZE_ROW_8X12, 2}, {9}, false},
      {"ribbon status changed, nothing left", 3, 1, {PRINT_SIZE_ROW_8X10, PRINT_SIZE_ROW_8X12}, {}, true},
      {"nothing changed", 3, 1, {}, {}, false},
      {"table changed to 8x12", 3, 2, {PRINT_SIZE_ROW_8X10, PRINT_SIZE_ROW_8X12}, {5, 6}, false},
      {"table changed back to 8x10", 3, 1, {PRINT_SIZE_ROW_8X12, 2}, {9}, false},
      {"table changed, no ready job left", 3, 2, {}, {}, true},
  };
  InApp([&] {
    g_ulLastRibbonStatus = 0;
    g_MediaConfig.SetRibbonSize(0, 1);
    g_MediaConfig.SetLoadMode(LOAD_MODE_LOADED);
    g_MediaConfig.SelectPrintSizeTable();
    SavePrintSizeTable();
    for (const EntryCase& c : cases) {
      jobtest::EmptyQueue();
      for (uint32_t ulRow : c.jobRows) ASSERT_NE(jobtest::MakeInternalJob(1, 1, &g_PrintSizeTable[ulRow]), nullptr);
      g_ParamRibbonStatus.SetValueNoSave(c.ribbonStatus);
      g_MediaConfig.SetRibbonSize(0, c.mediaSize);
      g_MediaConfig.SetRibbonSize(1, c.mediaSize);
      g_MediaConfig.SelectPrintSizeTable();
      g_EventSet = Events({EV_PRINT_JOB, EV_PREPARE_JOB});
      EnterReadyA();
      EXPECT_EQ(QueuedSizeIds(), c.leftIds) << c.name;
      EXPECT_EQ(g_EventSet == 0, c.eventsCleared) << c.name;
      EXPECT_EQ(g_ulLastRibbonStatus, static_cast<uint32_t>(c.ribbonStatus)) << c.name;
    }
    jobtest::EmptyQueue();
  }, Ms(5000));
  EXPECT_TRUE(Leds().IsOn(PanelLed::Ready));
  EXPECT_FALSE(Leds().IsOn(PanelLed::Error));
}

TEST_F(ControlTest, WithEnergySaveThePreheatStopsOnceThirtySecondsHavePassed) {
  InApp([] {
    g_ParamEnergySave.SetValueNoSave(1);
    EnterReadyA();
    for (const auto& [agoMs, stopped] : {std::pair<uint32_t, uint16_t>{0, 0}, {29999, 0}, {30000, 1}}) {
      ReadyAStateAccess::PlacePreheatStart(agoMs);
      g_EventMngReadyA.Dispatch();
      EXPECT_EQ(ReadyAStateAccess::PreheatStopped(), stopped) << agoMs;
    }
    // A new entry opens a new window.
    EnterReadyA();
    EXPECT_EQ(ReadyAStateAccess::PreheatStopped(), 0);
  });
}

TEST_F(ControlTest, TheLongIdleRibbonCheckRunsInThe360thPeriodOnly) {
  InApp([] {
    g_ulEngColorRibbon = 1;
    EnterReadyA();
    EXPECT_EQ(ReadyAStateAccess::PeriodsLeft(), 360u);
    struct Pass {
      uint32_t agoMs;
      uint32_t periodsLeft;
      bool checked;
    };
    ReadyAStateAccess::PeriodsLeft() = 2;
    for (const Pass& p : {Pass{119999, 2, false}, Pass{120000, 1, false}, Pass{120000, 0, true},
                          Pass{120000, 0xFFFFFFFFu, false}, Pass{120000, 0xFFFFFFFEu, false}}) {
      MakeCurrent(&g_EventMngReadyA);
      ReadyAStateAccess::PlacePeriodStart(p.agoMs);
      g_EventMngReadyA.Dispatch();
      EXPECT_EQ(ReadyAStateAccess::PeriodsLeft(), p.periodsLeft) << p.agoMs;
      EXPECT_EQ(g_IdleSupervisor.UpdateRequested() != 0, p.checked) << p.periodsLeft;
    }
    // Without the colour-ribbon engine it never runs.
    g_ulEngColorRibbon = 0;
    ReadyAStateAccess::PeriodsLeft() = 1;
    ReadyAStateAccess::PlacePeriodStart(200000);
    g_EventMngReadyA.Dispatch();
    EXPECT_EQ(ReadyAStateAccess::PeriodsLeft(), 1u);
  });
}

TEST_F(ControlTest, ACoverOpenedDuringTheMenuAsksForReloadAndLeavesTheReadyLedOff) {
  ClearEveryMenu();
  for (CEventMng* pState : {static_cast<CEventMng*>(&g_EventMngReadyA), static_cast<CEventMng*>(&g_EventMngReadyC)}) {
    InApp([pState] {
      MakeCurrent(pState);
      g_ulCurEventStateId = EVENT_STATE_NONE;
      pState->OnEnter();
      g_IdleSupervisor.SetCoverOpenedFlag();
      g_EventSet = Events({EV_MENU_KEY, EV_PREPARE_JOB});
      pState->Dispatch();
      EXPECT_EQ(g_EventSet, Events({EV_LOAD_PAPER, EV_INIT_RIBBON, EV_RELOAD_PAPER2}));
      uint32_t ulOn = 1;
      g_LedReady.GetState(&ulOn);
      EXPECT_EQ(ulOn, 0u);
      // Without the note the Ready LED comes back.
      g_IdleSupervisor.ClearCoverOpenedFlag();
      g_LedReady.On();
      g_EventSet = Events({EV_MENU_KEY});
      pState->Dispatch();
      EXPECT_EQ(g_EventSet, 0u);
      g_LedReady.GetState(&ulOn);
      EXPECT_EQ(ulOn, 1u);
    }, Ms(10000));
  }
}

}  // namespace
}  // namespace controltest
