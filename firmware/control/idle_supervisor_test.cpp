// The idle supervisor's key and job stages: the keys at idle and the
// events they raise, the Clear-key guard after a menu, "Key Enable" 0, the
// service-mode combinations and their hold, and the job-pending check.
#include <string>

#include "firmware/control/control_test_rig.h"
#include "firmware/control/keys.h"
#include "firmware/control/lcd.h"
#include "firmware/control/power_save.h"
#include "firmware/devices/settings.h"
#include "firmware/printengine/job_queue_test_support.h"
#include "firmware/printengine/print_job_queue.h"

namespace controltest {
namespace {

// Runs the key stage for ulMs and returns the events it raised.
uint64_t KeyStageFor(uint32_t ulMs) {
  g_EventSet = 0;
  const uint32_t ulStart = NowMs();
  while (NowMs() - ulStart < ulMs) g_IdleSupervisor.HandlePanelKeys();
  return g_EventSet;
}

struct KeyCase {
  const char* name;
  PanelKey key;
  int32_t keyEnable;
  uint32_t powerSave;
  bool rolledBack;  // "Paper Rolledback" raised
  int32_t rollBackFlag;
  uint64_t events;
};

TEST_F(ControlTest, KeysAtIdleRaiseTheirEvents) {
  const uint64_t kFeed = Events({EV_LOAD_PAPER, EV_CHECK_RIBBON_SIZE, EV_PRECUT});
  const KeyCase cases[] = {
      {"Menu", PanelKey::Menu, 1, 0, false, 0, Events({EV_MENU_KEY})},
      {"Clear", PanelKey::Clear, 1, 0, false, 0, Events({EV_ROLLBACK_PAPER})},
      {"Feed", PanelKey::Feed, 1, 0, false, 0, kFeed},
      {"Feed rolled back", PanelKey::Feed, 1, 0, true, 0, kFeed | Events({EV_RELOAD_PAPER2})},
      {"Feed rolled back, flag 5", PanelKey::Feed, 1, 0, true, 5,
       kFeed | Events({EV_RELOAD_PAPER2, EV_INIT_RIBBON})},
      {"Enter does nothing", PanelKey::Enter, 1, 0, false, 0, 0},
      {"keys disabled: Menu refused", PanelKey::Menu, 0, POWER_SAVE_NORMAL, false, 0, Events({EV_KEY_REFUSED})},
      {"keys disabled: Feed ignored", PanelKey::Feed, 0, POWER_SAVE_NORMAL, false, 0, 0},
      {"keys disabled in power save", PanelKey::Menu, 0, POWER_SAVE_ON, false, 0, 0},
  };
  g_pCurEventMng = &g_EventMngReadyA;
  for (const KeyCase& c : cases) {
    InApp([&c] {
      g_ParamKeyEnable.SetValueNoSave(c.keyEnable);
      g_ParamRollBackFlag.SetValueNoSave(c.rollBackFlag);
      g_PowerSave.Apply(c.powerSave);
      if (c.rolledBack) {
        g_ErrorMng.SetError(erridx::kPaperRolledBack);
      } else {
        g_ErrorMng.ClearError(erridx::kPaperRolledBack);
      }
    });
    Keys().Tap(c.key, Ms(100), Ms(20));
    uint64_t ullEvents = 0;
    InApp([&ullEvents] { ullEvents = KeyStageFor(300); });
    EXPECT_EQ(ullEvents, c.events) << c.name;
  }
}

TEST_F(ControlTest, AClearKeyWithinASecondOfAMenuIsConsumed) {
  g_pCurEventMng = &g_EventMngReadyA;
  for (const auto& [guardMs, rollBack] : {std::pair<uint32_t, bool>{1000, false}, {1001, true}}) {
    // Clear pressed 850 ms into the guard (accepted after 50 ms) and let go
    // before the guard ends; the release is seen exactly guardMs after the
    // guard started.
    Keys().Tap(PanelKey::Clear, Ms(130), Ms(850));
    InApp([this, guardMs = guardMs, rollBack = rollBack] {
      g_IdleSupervisor.StartMenuKeyGuard();
      const uint32_t ulStart = NowMs();
      uint32_t ulKey = KEY_NONE;
      while (!Keys().IsPressed(PanelKey::Clear)) EXPECT_EQ(g_KeyMng.WaitKey(1, &ulKey), 0);
      while (NowMs() - ulStart < 970) EXPECT_EQ(g_KeyMng.WaitKey(1, &ulKey), 0);
      while (Keys().IsPressed(PanelKey::Clear) || NowMs() - ulStart < guardMs) CpuRelax();
      g_EventSet = 0;
      g_IdleSupervisor.HandlePanelKeys();
      EXPECT_EQ(g_EventSet, rollBack ? Events({EV_ROLLBACK_PAPER}) : 0) << guardMs;
    }, Ms(3000));
  }
}

// The Maintenance combination (Enter and +) held at idle.
uint32_t ModeSwitchesWhileRunning(uint32_t ulMs) {
  uint32_t ulSwitches = 0;
  const uint32_t ulStart = NowMs();
  while (NowMs() - ulStart < ulMs) {
    g_IdleSupervisor.HandlePanelKeys();
    if (g_usServiceMode == 3) {
      ++ulSwitches;
      g_usServiceMode = 0;
    }
  }
  return ulSwitches;
}

TEST_F(ControlTest, ACombinationSwitchesAtTheFirstReportAfterThreeSeconds) {
  Keys().Chord({PanelKey::Enter, PanelKey::Inc}, Ms(4500), Ms(20));
  InApp([] {
    g_usServiceMode = 0;
    const uint32_t ulStart = NowMs();
    while (g_IdleSupervisor.LastKeyCode() != KEY_COMBO_MAINTENANCE && NowMs() - ulStart < 1000) {
      g_IdleSupervisor.HandlePanelKeys();
    }
    const uint32_t ulFirstReport = g_IdleSupervisor.KeyComboStart();
    // The held combination is reported at every poll, and the stage reads
    // the time after its poll: a pass started on a tick reads it ulPollMs
    // later. Passes whose reading is 1000 and 3000 ms after the first
    // report leave the mode; the next one switches it.
    while (NowMs() - ulFirstReport < 1000) CpuRelax();
    const uint32_t ulBefore = NowMs();
    g_IdleSupervisor.HandlePanelKeys();
    const uint32_t ulPollMs = NowMs() - ulBefore;
    EXPECT_EQ(g_usServiceMode, 0u);
    for (const auto& [heldMs, mode] : {std::pair<uint32_t, uint16_t>{3000, 0}, {3001, 3}}) {
      while (NowMs() - ulFirstReport < heldMs - ulPollMs) CpuRelax();
      g_IdleSupervisor.HandlePanelKeys();
      EXPECT_EQ(g_usServiceMode, mode) << heldMs;
    }
    char acLine[17] = {};
    g_Lcd.ReadText(acLine, 0, 16);
    EXPECT_EQ(std::string(acLine), "Maintenance     ");
  }, Ms(8000));
}

TEST_F(ControlTest, HoldingOnAfterASwitchDoesNotSwitchAgainAtEveryPass) {
  // About 500 ms to the first report, 3000 ms of hold, the 2000 ms pause:
  // a new switch would need another 3000 ms of the 7000 ms hold.
  Keys().Chord({PanelKey::Enter, PanelKey::Inc}, Ms(7000), Ms(20));
  uint32_t ulSwitches = 0;
  InApp([&ulSwitches] { ulSwitches = ModeSwitchesWhileRunning(7500); }, Ms(10000));
  EXPECT_EQ(ulSwitches, 1u);
}

TEST_F(ControlTest, ASecondHoldOfTheSameCombinationCountsFromItsOwnStart) {
  // The first hold switches; the second, let go after 2000 ms, must not.
  Keys().Chord({PanelKey::Enter, PanelKey::Inc}, Ms(4000), Ms(20));
  Keys().Chord({PanelKey::Enter, PanelKey::Inc}, Ms(2000), Ms(6500));
  uint32_t ulSwitches = 0;
  InApp([&ulSwitches] { ulSwitches = ModeSwitchesWhileRunning(9000); }, Ms(12000));
  EXPECT_EQ(ulSwitches, 1u);
}

struct JobCase {
  const char* name;
  uint32_t printMode;
  bool error;
  uint32_t prepared;
  uint32_t ready;
  uint32_t copies;  // of each job, a 1208-line picture on the large media
  CEventMng* state;
  uint64_t events;
  uint32_t sheet;  // the merged sheet's selector formed, 0 for none
};

TEST_F(ControlTest, PendingJobsRaiseThePrintEventsUnlessMergedSheetsWaitForAnError) {
  const uint64_t kPrint = Events({EV_PREPARE_JOB, EV_PRINT_JOB});
  const JobCase cases[] = {
      {"ready job", 0, false, 0, 1, 1, &g_EventMngReadyA, kPrint, 0},
      {"no ready job", 0, false, 0, 0, 3, &g_EventMngReadyA, 0, 0},
      {"ready job with an error", 0, true, 0, 1, 1, &g_EventMngReadyA, kPrint, 0},
      {"merged, error", 1, true, 1, 1, 3, &g_EventMngReadyA, 0, 0},
      {"merged, prepared", 1, false, 1, 0, 1, &g_EventMngReadyA, kPrint, 0},
      {"merged, a lone short picture waits for another", 1, false, 0, 1, 1, &g_EventMngReadyA, 0, 0},
      {"merged sheet of three copies", 1, false, 0, 1, 3, &g_EventMngReadyA, kPrint, 4},
      {"ready C checks the ribbon", 0, false, 0, 1, 1, &g_EventMngReadyC, kPrint | Events({EV_CHECK_RIBBON}), 0},
  };
  InApp([&] {
    jobtest::LoadMedia(RIBBON_SIZE_8X12, RIBBON_SIZE_8X12);
    for (const JobCase& c : cases) {
      MakeCurrent(c.state);
      g_ulPrintMode = c.printMode;
      g_ulJobPrepared = c.prepared;
      jobtest::EmptyQueue();
      for (uint32_t i = 0; i < c.ready; ++i) {
        ASSERT_NE(jobtest::MakeInternalJob(c.copies, 1, &g_PrintSizeTable[0]), nullptr) << c.name;
      }
      g_MergedJobRecord.usMergeSelector = 0;
      if (c.error) {
        g_ErrorMng.SetError(0x0101);
      } else {
        g_ErrorMng.ClearError(0x0101);
      }
      g_EventSet = 0;
      g_IdleSupervisor.CheckJobPending();
      EXPECT_EQ(g_EventSet, c.events) << c.name;
      EXPECT_EQ(g_IdleSupervisor.UpdateRequested() != 0, c.state == &g_EventMngReadyC) << c.name;
      EXPECT_EQ(g_MergedJobRecord.usMergeSelector, c.sheet) << c.name;
    }
  }, Ms(5000));
}

}  // namespace
}  // namespace controltest
