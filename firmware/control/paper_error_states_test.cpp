// The paper-handling, error and cover states: which pending event each
// serves and which survive its pass, their timers at the edges and the
// cover entries by "RollBack Flag".
#include "firmware/control/control_test_rig.h"
#include "firmware/devices/settings.h"
#include "firmware/platform/time_base.h"
#include "firmware/control/host_status_table.h"
#include "firmware/devices/panel_ports.h"
#include "firmware/control/engine_variant.h"
#include "firmware/mechanism/roll_rotation.h"
#include "firmware/mechanism/simple_positioners.h"
#include "firmware/sequences/action_results_placeholder.h"
#include "sim/mechanism/input_faults.h"
#include "sim/mechanism/mechanism_inputs.h"

// The timers of the paper states, for tests that place their start in the
// past.
struct PaperStateAccess {
  static void PreReadyEnteredAgo(uint32_t ulMs) { g_EventMngPreReady.m_ulEntryTime = g_MsTimer.NowMs() - ulMs; }
  static uint32_t PreReadyWindow() { return g_EventMngPreReady.m_ulWindow; }
  static void ReadyLoadEnteredAgo(uint32_t ulMs) { g_EventMngReadyLoad.m_ulEntryTime = g_MsTimer.NowMs() - ulMs; }
  static void HalfRollBackEnteredAgo(uint32_t ulMs) {
    g_EventMngHalfRollBack.m_ulEntryTime = g_MsTimer.NowMs() - ulMs;
  }
};

namespace controltest {
namespace {

void Enter(CEventMng* pState) {
  MakeCurrent(pState);
  g_ulCurEventStateId = EVENT_STATE_NONE;
}

struct PassCase {
  const char* name;
  CEventMng* state;
  uint64_t before;
  uint64_t after;
  bool handled;
};

TEST_F(ControlTest, EveryPaperErrorAndReadyStateServesItsOrderWithItsEntryRun) {
  const uint64_t kClearList = Events({2, 1, 10, 11, 13, 20});
  const PassCase cases[] = {
      {"ready A: roll-back", &g_EventMngReadyA, Events({11, 9}), 0, true},
      {"ready B: no active job", &g_EventMngReadyB, Events({1, 9}), 0, true},
      {"ready C: roll-back", &g_EventMngReadyC, Events({11, 9}), 0, true},
      {"pre-ready: mechanism before load, both kept", &g_EventMngPreReady, Events({7, 4}), Events({7}), true},
      {"pre-ready: keys are not its own", &g_EventMngPreReady, Events({11, 8}), Events({11}), true},
      {"no paper: mechanism first", &g_EventMngNoPaper, Events({11, 4, 9}), 0, true},
      {"no paper: ribbon set-up", &g_EventMngNoPaper, Events({10, 11}), 0, true},
      {"load failure: mechanism", &g_EventMngLoadFail, Events({4, 9}), 0, true},
      {"load failure: nothing of its own", &g_EventMngLoadFail, Events({11, 9}), 0, false},
      {"paper removal: paper end first, events kept", &g_EventMngPapRemove, Events({16, 4}), Events({4}), true},
      {"paper removal: nothing of its own", &g_EventMngPapRemove, Events({4, 11}), Events({4, 11}), false},
      {"half roll-back: roll-back", &g_EventMngHalfRollBack, Events({11, 4}), 0, true},
      {"no ribbon: mechanism", &g_EventMngNoRibbon, Events({4, 11}), 0, true},
      {"jam: mechanism before roll-back", &g_EventMngJam, Events({11, 19, 4, 5, 9}), Events({5, 9, 19}), true},
      // The jam eject feeds paper, which this rig's printer cannot: its
      // dispatch is shown on the whole printer (jam_eject_reset_test).
      {"cover: nothing served, the clear list", &g_EventMngCoverOpen, Events({5, 7, 9, 4}) | kClearList,
       Events({5, 7, 9, 4}), false},
      {"paper cover: the same", &g_EventMngPaperCoverOpen, Events({5, 7, 9, 4, 16}) | kClearList,
       Events({5, 7, 9, 4, 16}), false},
      {"control error: mechanism", &g_EventMngCError, Events({4, 9}), 0, true},
      {"hardware error: no mechanism", &g_EventMngHError, Events({4, 9}), 0, false},
      {"mechanism error: no mechanism", &g_EventMngMError, Events({4, 9}), 0, false},
  };
  InApp([&] {
    for (const PassCase& c : cases) {
      Enter(c.state);
      g_EventSet = c.before;
      c.state->Dispatch();
      EXPECT_EQ(g_EventSet, c.after) << c.name;
      EXPECT_EQ(g_IdleSupervisor.UpdateRequested() != 0, c.handled) << c.name;
    }
  });
}

TEST_F(ControlTest, PreReadyServesFor2000MsAndOpensANewWindowForAnEventLeftPending) {
  InApp([] {
    Enter(&g_EventMngPreReady);
    g_EventSet = Events({EV_CHECK_RIBBON});
    g_EventMngPreReady.Dispatch();
    EXPECT_EQ(g_EventSet, 0u) << "the ribbon check ran";
    EXPECT_EQ(PaperStateAccess::PreReadyWindow(), 2000u) << "a check does not keep the state serving";
    // At 2000 ms an event is still served, at 2001 not.
    PaperStateAccess::PreReadyEnteredAgo(2000);
    g_EventSet = Events({EV_AUTO_DIAG, EV_RELOAD_PAPER3});
    MakeCurrent(&g_EventMngPreReady);
    g_EventMngPreReady.Dispatch();
    EXPECT_EQ(g_EventSet, Events({EV_AUTO_DIAG})) << "reload 3 served";
    EXPECT_EQ(PaperStateAccess::PreReadyWindow(), CEventMngPreReady::kServeAlways);
    // A fresh entry: the window passes with a mechanism event pending.
    Enter(&g_EventMngPreReady);
    g_EventMngPreReady.Dispatch();
    PaperStateAccess::PreReadyEnteredAgo(2001);
    g_EventSet = Events({EV_INIT_MECHA});
    MakeCurrent(&g_EventMngPreReady);
    g_EventMngPreReady.Dispatch();
    EXPECT_EQ(g_EventSet, Events({EV_INIT_MECHA})) << "nothing served in that pass";
    EXPECT_NE(g_IdleSupervisor.UpdateRequested(), 0u);
    // The next pass serves it instead of asking for the same state again.
    MakeCurrent(&g_EventMngPreReady);
    g_EventMngPreReady.Dispatch();
    EXPECT_EQ(g_EventSet, 0u);
    // Without a pending event of its kind, the passed window serves nothing.
    Enter(&g_EventMngPreReady);
    g_EventMngPreReady.Dispatch();
    PaperStateAccess::PreReadyEnteredAgo(2001);
    g_EventSet = Events({EV_AUTO_DIAG});
    for (int i = 0; i < 2; ++i) g_EventMngPreReady.Dispatch();
    EXPECT_EQ(g_EventSet, Events({EV_AUTO_DIAG}));
  });
}

TEST_F(ControlTest, ReadyLoadingWaits1000MsThenInitialisesAndSetsTheRibbonUp) {
  struct Case {
    uint32_t agoMs;
    int32_t mechaResult;
    uint64_t after;
  };
  InApp([] {
    const InitMechaHook pfnSaved = g_pfnInitMecha;
    for (const Case& c : {Case{1000, 0, Events({EV_INIT_MECHA, EV_LOAD_PAPER, EV_CHECK_RIBBON_SIZE, EV_PRECUT})},
                          Case{1001, 0, 0}, Case{1001, 1, 0}}) {
      // The home run's result as the case gives it.
      g_pfnInitMecha = c.mechaResult == 0 ? +[]() -> int32_t { return 0; } : +[]() -> int32_t { return 1; };
      Enter(&g_EventMngReadyLoad);
      g_EventSet = Events({EV_INIT_MECHA, EV_PRECUT});
      g_EventMngReadyLoad.OnEnter();
      EXPECT_EQ(g_EventSet, Events({EV_INIT_MECHA, EV_PRECUT, EV_LOAD_PAPER, EV_CHECK_RIBBON_SIZE}));
      PaperStateAccess::ReadyLoadEnteredAgo(c.agoMs);
      g_EventMngReadyLoad.Dispatch();
      EXPECT_EQ(g_EventSet, c.after) << c.agoMs << " " << c.mechaResult;
      // A failed initialisation is the pass's work; the ribbon set-up waits.
      EXPECT_EQ(g_IdleSupervisor.UpdateRequested() != 0, c.agoMs > 1000) << c.agoMs;
    }
    g_pfnInitMecha = pfnSaved;
  });
}

TEST_F(ControlTest, HalfRollBackReloadsAfter30000MsWithTheRibbonFirstForFlag5) {
  struct Case {
    int32_t flag;
    int32_t ribbonResult;
    uint32_t agoMs;
  };
  InApp([] {
    for (const Case& c : {Case{5, 0, 29999}, Case{5, 0, 30000}, Case{5, 1, 30000}, Case{0, 1, 30000}}) {
      g_ParamRollBackFlag.SetValueNoSave(c.flag);
      g_PlaceholderActionResults.lInitRibbon = c.ribbonResult;
      Enter(&g_EventMngHalfRollBack);
      g_EventSet = Events({EV_INIT_RIBBON, EV_RELOAD_PAPER2});
      g_EventMngHalfRollBack.OnEnter();
      EXPECT_EQ(g_EventSet, 0u) << "the entry clears the pending reload";
      PaperStateAccess::HalfRollBackEnteredAgo(c.agoMs);
      g_EventMngHalfRollBack.Dispatch();
      // The failing ribbon initialisation keeps its event; the pass clears it.
      EXPECT_EQ(g_EventSet, 0u) << c.flag << " " << c.agoMs;
      EXPECT_EQ(g_IdleSupervisor.UpdateRequested() != 0, c.agoMs >= 30000) << c.flag << " " << c.agoMs;
    }
    g_PlaceholderActionResults.lInitRibbon = 0;
  });
}

// The Menu key in half roll-back: a cover opened while the menu ran ends the
// roll-back ("RollBack Flag" 1); without one the flag stays.
TEST_F(ControlTest, HalfRollBackMenuWithACoverOpenedEndsTheRollBack) {
  ClearEveryMenu();
  InApp([] {
    for (const bool bCoverOpened : {false, true}) {
      g_ParamRollBackFlag.SetValueNoSave(5);
      Enter(&g_EventMngHalfRollBack);
      g_EventMngHalfRollBack.OnEnter();
      if (bCoverOpened) {
        g_IdleSupervisor.SetCoverOpenedFlag();
      } else {
        g_IdleSupervisor.ClearCoverOpenedFlag();
      }
      g_EventSet = Events({EV_MENU_KEY});
      g_EventMngHalfRollBack.Dispatch();
      EXPECT_EQ(g_EventSet, 0u) << bCoverOpened;
      EXPECT_EQ(SettingValue(g_ParamRollBackFlag), bCoverOpened ? 1 : 5) << bCoverOpened;
      EXPECT_NE(g_IdleSupervisor.UpdateRequested(), 0u) << bCoverOpened;
    }
    g_IdleSupervisor.ClearCoverOpenedFlag();
  }, Ms(10000));
}

// Paper removal ends when the paper reads gone while "take out paper"
// stands: after a 2000 ms wait the carousel turns home (it stands there
// already, so the turn only publishes the "Carousel" status item), the
// error clears and the roll-back ends. A paper end pending is served first.
TEST_F(ControlTest, PaperRemovalEndsOnceThePaperIsTakenOut) {
  constexpr uint32_t kTakeOutPaper = 0x1602;
  constexpr uint32_t kNotPublished = 0xC0FFEEu;
  struct Case {
    const char* name;
    bool raised;
    bool paperSeen;  // by the position sensor
    uint64_t events;
    bool ends;
  };
  const Case cases[] = {
      {"paper still there", true, true, 0, false},
      {"paper taken out", true, false, 0, true},
      {"nothing to take out", false, false, 0, false},
      {"the paper end first", true, false, Events({EV_PAPER_END}), false},
  };
  sim::MechanismInputs& mechanism = *m_machine->GetBoard().FindDevice<sim::MechanismInputs>();
  InApp([&] {
    // The application start-up's photo-sensor LEDs, which the rig leaves out.
    g_PortPhotoSenLed1.Set();
    g_PortPhotoSenLed2.Set();
    for (const Case& c : cases) {
      g_ParamRollBackFlag.SetValueNoSave(3);
      if (c.raised) g_ErrorMng.SetError(kTakeOutPaper);
      mechanism.SetPaperSeen(sim::PhotoSensor::Position, c.paperSeen);
      g_ParamRotationFlag.SetValueNoSave(ROLL_POS_NEUTRAL);
      SetStatusItem(SI_COUNTER_CAROUSEL, kNotPublished, 0);
      Enter(&g_EventMngPapRemove);
      g_EventSet = c.events;
      const uint32_t ulStart = NowMs();
      g_EventMngPapRemove.Dispatch();
      const uint32_t ulSpent = NowMs() - ulStart;
      EXPECT_EQ(IsErrorSet(kTakeOutPaper), c.raised && !c.ends) << c.name;
      EXPECT_EQ(SettingValue(g_ParamRollBackFlag), c.ends ? 0 : 3) << c.name;
      EXPECT_EQ(GetStatusItem(SI_COUNTER_CAROUSEL) != kNotPublished, c.ends) << c.name << ": turned home";
      EXPECT_EQ(ulSpent >= CEventMngPapRemove::kTakeOutWaitMs, c.ends) << c.name << " " << ulSpent;
      EXPECT_EQ(g_IdleSupervisor.UpdateRequested() != 0, c.ends || c.events != 0) << c.name;
      g_ErrorMng.ClearError(kTakeOutPaper);
    }
    mechanism.SetPaperSeen(sim::PhotoSensor::Position, true);
  }, Ms(12000));
}

struct CoverCase {
  const char* name;
  CEventMng* state;
  int32_t flag;
  bool homeFails;  // the load bar, down, sticks: the return home fails
  uint64_t events;
  int32_t flagAfter;
};

TEST_F(ControlTest, CoverEntriesByRollBackFlagEndEarlyWhenTheMechanismFails) {
  const uint64_t kRibbonReload = Events({EV_INIT_RIBBON, EV_RELOAD_PAPER2});
  const CoverCase cases[] = {
      {"flag 0", &g_EventMngCoverOpen, 0, false, kRibbonReload | Events({EV_LOAD_PAPER}), 0},
      {"flag 2", &g_EventMngCoverOpen, 2, false, kRibbonReload, 2},
      {"flag 4", &g_EventMngCoverOpen, 4, false, kRibbonReload, 1},
      {"flag 5", &g_EventMngPaperCoverOpen, 5, false, kRibbonReload, 1},
      {"flag 5, home fails", &g_EventMngCoverOpen, 5, true, 0, 1},
  };
  InApp([&] {
    // The lock is known: the return home ends with the load bar's result.
    g_ParamRotationLockFlag.SetValueNoSave(1);
    for (const CoverCase& c : cases) {
      if (c.homeFails) {
        g_LoadBar.MoveDownAndWait();
        m_machine->MechanismFaults().SetAxisStuck(sim::Axis::LoadBar, true);
      }
      g_ParamRollBackFlag.SetValueNoSave(c.flag);
      g_ErrorMng.SetError(0x1609);
      g_EventSet = 0;
      Enter(c.state);
      c.state->OnEnter();
      EXPECT_EQ(g_EventSet, c.events) << c.name;
      EXPECT_EQ(SettingValue(g_ParamRollBackFlag), c.flagAfter) << c.name;
      EXPECT_EQ(IsErrorSet(0x1609), c.flag < 4) << c.name;
      // An entry that ended early is not run again during the stay.
      g_EventSet = 0;
      c.state->OnEnter();
      EXPECT_EQ(g_EventSet, 0u) << c.name;
      g_ErrorMng.ClearError(0x1609);
    }
  }, Ms(60000));
  EXPECT_TRUE(Leds().IsOn(PanelLed::Error));
}

TEST_F(ControlTest, TheJamEntryClearsReadyLoadingAndEndsTheRollBackUnlessItsOwnJamsStand) {
  InApp([] {
    for (const auto& [jam, flagAfter] : {std::pair<uint32_t, int32_t>{0x1503, 1}, {0x15D6, 4}, {0x15C4, 4}}) {
      g_ParamRollBackFlag.SetValueNoSave(4);
      g_ErrorMng.SetError(jam);
      g_ErrorMng.SetError(0x160A);
      Enter(&g_EventMngJam);
      g_EventMngJam.OnEnter();
      EXPECT_EQ(SettingValue(g_ParamRollBackFlag), flagAfter) << std::hex << jam;
      EXPECT_FALSE(IsErrorSet(0x160A));
      g_ErrorMng.ClearError(jam);
    }
  });
}

}  // namespace
}  // namespace controltest
