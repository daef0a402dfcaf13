// The event set and the printer-state base: bit mapping, the lowest event,
// round clearing, the first constructor, the start-up events, and the
// dispatch frame of each state (pending events in, handler run, events
// left).
#include "firmware/control/control_test_rig.h"
#include "firmware/devices/settings.h"
#include "firmware/hal/global.h"
#include "firmware/printengine/job_queue_test_support.h"

namespace controltest {
namespace {

TEST_F(ControlTest, EventsMapToBitsAndOnlyOnePassEventsAreCleared) {
  InApp([] {
    CEventMng& e = *g_pCurEventMng;
    for (uint32_t ulId : {0u, 1u, 16u, 31u, 32u, 36u, 63u}) {
      g_EventSet = 0;
      EXPECT_EQ(e.SetEvent(ulId), 0);
      EXPECT_EQ(g_EventSet, uint64_t{1} << ulId) << ulId;
      uint32_t ulSet = 0;
      EXPECT_EQ(e.TestEvent(ulId, &ulSet), 0);
      EXPECT_EQ(ulSet, 1u);
      e.ClearRoundEvents();
      EXPECT_EQ(g_EventSet != 0, ulId >= EVENT_ROUND_COUNT) << ulId;
      e.SetEvent(ulId);
      e.ClearEvent(ulId);
      EXPECT_EQ(g_EventSet, 0u);
    }
    // Ids outside the set are refused and change nothing.
    g_EventSet = Events({EV_SYSTEM_RESET});
    for (uint32_t ulId : {64u, 100u, 0xFFFFFFFFu}) {
      uint32_t ulSet = 7;
      EXPECT_EQ(e.SetEvent(ulId), -1);
      EXPECT_EQ(e.ClearEvent(ulId), -1);
      EXPECT_EQ(e.TestEvent(ulId, &ulSet), -1);
      EXPECT_EQ(ulSet, 7u);
    }
    EXPECT_EQ(g_EventSet, Events({EV_SYSTEM_RESET}));
  });
}

struct LowestCase {
  uint64_t events;
  int32_t result;
  uint32_t lowest;
};

TEST_F(ControlTest, LowestEventSearchesTheOnePassWordFirst) {
  InApp([] {
    for (const LowestCase& c : {LowestCase{Events({33, 2}), 0, 2}, LowestCase{Events({33}), 0, 33},
                                LowestCase{Events({63, 32}), 0, 32}, LowestCase{0, -1, 0xFFFFFFFFu}}) {
      g_EventSet = c.events;
      uint32_t ulLowest = 5;
      EXPECT_EQ(g_pCurEventMng->LowestEvent(&ulLowest), c.result);
      EXPECT_EQ(ulLowest, c.lowest);
    }
  });
}

TEST_F(ControlTest, StatesTakeTheirIdsInConstructionOrderAndOnlyTheFirstClearsTheSet) {
  InApp([] {
    EXPECT_EQ(g_ulEventMngCount, 16u);
    EXPECT_EQ(g_EventMngReadyB.Id(), 0u);
    EXPECT_EQ(g_EventMngReadyA.Id(), 2u);
    EXPECT_EQ(g_EventMngCoverOpen.Id(), 8u);
    EXPECT_EQ(g_EventMngLoadFail.Id(), 15u);
    EXPECT_EQ(g_ulCurEventStateId, EVENT_STATE_NONE);
    // A later object keeps the set; the first of a system clears it.
    static CEventMngHError s_Extra;
    g_EventSet = Events({EV_INIT_MECHA, EV_AUTO_DIAG});
    hal::ConstructGlobal(s_Extra, kGlobalBuild);
    EXPECT_EQ(s_Extra.Id(), 16u);
    EXPECT_EQ(g_EventSet, Events({EV_INIT_MECHA, EV_AUTO_DIAG}));
    g_ulEventMngCount = 0;
    hal::ConstructGlobal(s_Extra, kGlobalBuild);
    EXPECT_EQ(s_Extra.Id(), 0u);
    EXPECT_EQ(g_EventSet, 0u);
  });
}

TEST_F(ControlTest, StartUpEventsFollowTheRollBackFlag) {
  InApp([] {
    const uint64_t kAll = Events({EV_INIT_MECHA, EV_INIT_RIBBON, EV_LOAD_PAPER, EV_RELOAD_PAPER1});
    const uint64_t kMecha = Events({EV_INIT_MECHA});
    const uint64_t want[] = {kAll, kMecha, kMecha, kMecha, kAll, kAll};
    for (int32_t lFlag = 0; lFlag <= 5; ++lFlag) {
      ASSERT_EQ(g_ParamRollBackFlag.SetValueNoSave(lFlag), 0);
      g_EventSet = 0;
      EXPECT_EQ(g_EventMngReadyB.PostStartupEvents(), 0);
      EXPECT_EQ(g_EventSet, want[lFlag]) << "RollBack Flag " << lFlag;
    }
  });
}

TEST_F(ControlTest, EntryRunsOnTheFirstDispatchOnlyAndAnUnhandledPassAsksNothing) {
  InApp([] {
    ASSERT_NE(jobtest::MakeInternalJob(), nullptr);  // B finds a job but no print event
    MakeCurrent(&g_EventMngCError);
    g_ulJobPrepared = 1;
    g_EventMngCError.Dispatch();
    EXPECT_EQ(g_ulCurEventStateId, g_EventMngCError.Id());
    EXPECT_EQ(g_ulJobPrepared, 0u) << "the common entry";
    EXPECT_EQ(g_IdleSupervisor.UpdateRequested(), 0u) << "nothing was handled";
    g_ulJobPrepared = 1;
    g_EventMngCError.Dispatch();
    EXPECT_EQ(g_ulJobPrepared, 1u) << "no second entry";
  });
  // The common entry switches the LEDs and resumes the fan control.
  EXPECT_TRUE(Leds().IsOn(PanelLed::Error));
  EXPECT_FALSE(Leds().IsOn(PanelLed::Ready));
}

// The frame of each state: the first pending event of its order runs its
// handler, and the state's one-pass policy decides what is left.
struct FrameCase {
  const char* name;
  CEventMng* state;
  uint64_t pending;
  uint64_t left;
  bool handled;
};

TEST_F(ControlTest, EachStateServesTheFirstEventOfItsOrderAndKeepsWhatItsPolicySays) {
  const FrameCase cases[] = {
      // The menu comes before the job preparation and clears the one-pass
      // events first.
      {"ReadyA menu before prepare", &g_EventMngReadyA, Events({3, 2, 7}), 0, true},
      // A kept event handled (the deferred resets, which clear their own
      // event): the other one-pass events survive.
      {"ReadyA kept event", &g_EventMngReadyA, Events({35, 7}), Events({7}), true},
      {"ReadyA nothing to serve", &g_EventMngReadyA, Events({7, 32 + 10}), Events({32 + 10}), false},
      {"ReadyC pre-cut", &g_EventMngReadyC, Events({13, 1, 6}), 0, true},
      {"ReadyC no job preparation", &g_EventMngReadyC, Events({2}), 0, false},
      {"PreReady mechanism first, keeps the rest", &g_EventMngPreReady, Events({7, 4, 5}), Events({7, 5}), true},
      {"PreReady ignores the panel keys", &g_EventMngPreReady, Events({3, 13}), Events({3, 13}), false},
      {"NoPaper roll-back clears first", &g_EventMngNoPaper, Events({11, 7, 33}), Events({33}), true},
      {"Jam mechanism before roll-back", &g_EventMngJam, Events({11, 4, 19, 7}), Events({19, 7}), true},
      // The jam eject feeds paper, which this rig's printer cannot: its
      // dispatch is shown on the whole printer (jam_eject_reset_test).
      {"CoverOpen keeps 4-9, clears its list", &g_EventMngCoverOpen,
       Events({4, 5, 7, 9, 2, 1, 10, 11, 13, 20}), Events({4, 5, 7, 9}), false},
      {"HError does not serve the mechanism", &g_EventMngHError, Events({4, 32}), 0, true},
      {"CError serves the mechanism", &g_EventMngCError, Events({4, 32}), Events({32}), true},
      {"PapRemove paper end first", &g_EventMngPapRemove, Events({16, 3, 7}), Events({3, 7}), true},
  };
  ClearEveryMenu();
  InApp([&] {
    for (const FrameCase& c : cases) {
      MakeCurrent(c.state);
      g_ulCurEventStateId = EVENT_STATE_NONE;
      g_EventSet = c.pending;
      c.state->Dispatch();
      EXPECT_EQ(g_EventSet, c.left) << c.name;
      EXPECT_EQ(g_IdleSupervisor.UpdateRequested() != 0, c.handled) << c.name;
    }
  }, Ms(20000));
}

TEST_F(ControlTest, ReadyBPrintsWithThePaperEndFollowUpInTheSamePass) {
  InApp([] {
    ASSERT_NE(jobtest::MakeInternalJob(), nullptr);
    MakeCurrent(&g_EventMngReadyB);
    g_ulJobPrepared = 1;
    g_EventSet = Events({EV_PRINT_JOB, EV_PREPARE_JOB, EV_PAPER_END});
    g_EventMngReadyB.Dispatch();
    EXPECT_EQ(g_EventSet, 0u) << "printed, paper end served, one-pass events cleared";
    EXPECT_EQ(jobtest::ActiveJobs(), 0u);
    EXPECT_EQ(g_ulJobPrepared, 0u);
    EXPECT_EQ(g_IdleSupervisor.UpdateRequested(), 1u);
    // Without an active job B only runs its prepare action.
    MakeCurrent(&g_EventMngReadyB);
    g_ulJobPrepared = 1;
    g_EventSet = Events({EV_PRINT_JOB, EV_FLASH_LED});
    g_EventMngReadyB.Dispatch();
    EXPECT_EQ(g_EventSet, Events({EV_FLASH_LED})) << "the host's kept events wait";
    EXPECT_EQ(g_ulJobPrepared, 0u);
  });
}

}  // namespace
}  // namespace controltest
