// The printer's control core as printer-sim runs it: the start-up events
// are served and the printer settles in ready state A; a raised error index
// selects its state, shows on the LCD, the LEDs and the host's status, and
// clearing it returns to ready; keys, jobs and a cover opened inside a
// sequence go through the main loop; a host reset ends it. Test steps run
// in the application task between two passes of the main loop.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "firmware/control/engine_variant.h"
#include "firmware/control/error_manager.h"
#include "firmware/control/event_states.h"
#include "firmware/control/idle_supervisor.h"
#include "firmware/control/lcd.h"
#include "firmware/devices/life_counters.h"
#include "firmware/devices/main_loop_stop.h"
#include "firmware/devices/settings.h"
#include "firmware/hostif/usb_command_test_support.h"
#include "firmware/mechanism/abort_check_inputs.h"
#include "firmware/mechanism/step_machine.h"
#include "firmware/printengine/job_queue_test_support.h"
#include "protocol/codes.h"
#include "sim/mechanism/mechanism_inputs.h"
#include "sim/panel/panel.h"
#include "sim/usb/usb_host_port.h"
#include "tests/support/forked_boots.h"
#include "tests/support/machine_test.h"
#include "tests/support/prepared_paths.h"


namespace {

using hostiftest::Command;
using sim::PanelKey;
using sim::PanelLed;
using testsupport::Ms;
using namespace protocol;

constexpr sim::Nanos kSettle = testsupport::kSettleToReady;

// What each pass of the main loop started with.
struct Pass {
  CEventMng* state;
  uint64_t events;
};

class ControlCore : public testsupport::MachineTest {
 protected:
  void SetUp() override {
    BootNewPrinter();
    m_machine->RunUntil([this] { return Lcd().Visible() == testsupport::kReadyLine; }, kSettle);
    ASSERT_EQ(Lcd().Visible(), testsupport::kReadyLine);
    // Ready state A draws its line before it sets the LEDs.
    m_machine->RunFor(Ms(100));
    ASSERT_TRUE(m_machine->UsbHost().WaitForConfigured(Ms(5000)));
    testsupport::PrepareJobsAtOnce();
  }

  sim::LcdController& Lcd() { return *m_machine->GetBoard().FindDevice<sim::LcdController>(); }
  sim::PanelLeds& Leds() { return *m_machine->GetBoard().FindDevice<sim::PanelLeds>(); }
  sim::PanelKeys& Keys() { return *m_machine->GetBoard().FindDevice<sim::PanelKeys>(); }

  void Step(std::function<void()> step) { ASSERT_TRUE(m_machine->RunStep(std::move(step), Ms(1000))); }

  // Runs until the current state is `state` (and its line is drawn).
  bool RunUntilState(CEventMng* pState, sim::Nanos limit = Ms(2000)) {
    m_machine->RunUntil([pState] { return g_pCurEventMng == pState; }, limit);
    m_machine->RunFor(Ms(100));
    return g_pCurEventMng == pState;
  }

  // Records the state and events at the start of every pass from now on.
  void RecordPasses() {
    m_passes.clear();
    m_machine->AtNextPass([this] { Record(); });
  }
  void Record() {
    m_passes.push_back(Pass{g_pCurEventMng, g_EventSet});
    m_machine->AtNextPass([this] { Record(); });
  }
  bool Visited(CEventMng* pState) const {
    for (const Pass& p : m_passes) {
      if (p.state == pState) return true;
    }
    return false;
  }

  protocol::ReplyHeader Status() {
    const hostiftest::Reply r = Command(m_machine->UsbHost(), CMD_GET_STATUS);
    EXPECT_EQ(r.header.replyKind, REPLY_OK);
    return r.header;
  }

  std::vector<Pass> m_passes;
};

TEST_F(ControlCore, AFreshPrinterServesItsStartUpEventsAndSettlesInReadyA) {
  EXPECT_EQ(g_pCurEventMng, &g_EventMngReadyA);
  EXPECT_EQ(g_EventSet, 0u) << "the pre-ready state served the start-up events";
  EXPECT_TRUE(Leds().IsOn(PanelLed::Ready));
  EXPECT_FALSE(Leds().IsOn(PanelLed::Error));
  EXPECT_TRUE(Leds().IsOn(PanelLed::Power));
  const protocol::ReplyHeader h = Status();
  EXPECT_EQ(h.printerState, PRINTER_STATE_READY);
  EXPECT_EQ(h.errorClass, 0);
  EXPECT_EQ(h.errorDetail, 0);
}

struct IndexCase {
  const char* name;
  uint32_t index;
  CEventMng* state;
  const char* line;  // nullptr: the index is refused and the printer stays ready
  uint8_t major;
  uint8_t minor;
  // What the mechanism shows with the index, so the supervision keeps it:
  // a cover open, or the roll taken out.
  const sim::Cover* pCover = nullptr;
  bool bRollOut = false;
};

TEST_F(ControlCore, ARaisedIndexSelectsItsStateAndClearingItReturnsToReady) {
  static constexpr sim::Cover kPaperCover = sim::Cover::Paper;
  static constexpr sim::Cover kFrontCover = sim::Cover::Front;
  sim::MechanismInputs& mechanism = *m_machine->GetBoard().FindDevice<sim::MechanismInputs>();
  const IndexCase cases[] = {
      {"control", 0x0110, &g_EventMngHError, "Control Error 16", 0x01, 0x10},
      {"mecha", 0x0201, &g_EventMngMError, "Mecha Error   01", 0x02, 0x01},
      {"sensor", 0x031E, &g_EventMngHError, "Sensor Error  30", 0x03, 0x1E},
      {"thermistor", 0x0408, &g_EventMngHError, "TempSensErr   08", 0x04, 0x08},
      {"paper cover", 0x0605, &g_EventMngPaperCoverOpen, "Paper Cover Open", 0x06, 0x05, &kPaperCover},
      {"front cover", 0x0607, &g_EventMngCoverOpen, "Front Cover Open", 0x06, 0x07, &kFrontCover},
      {"cover without a row", 0x0608, &g_EventMngReadyA, nullptr, 0, 0},
      {"jam", 0x1569, &g_EventMngJam, "Upper R Jam   05", 0x05, 0x69},
      // The jam state's entry marks the paper as rolled back: the paper the
      // sensors still see in the path is then an idle jam, shown first.
      {"incorrect paper", 0x1606, &g_EventMngJam, "Upper L Jam   81", 0x05, 0x51},
      {"ribbon", 0x1603, &g_EventMngNoRibbon, "Ribbon Empty L  ", 0x06, 0x0A},
      {"paper empty", 0x1607, &g_EventMngLoadFail, "Paper Empty     ", 0x06, 0x0D},
      {"load paper", 0x1608, &g_EventMngNoPaper, "Load Paper      ", 0x06, 0x0E, nullptr, true},
      {"rolled back", 0x1609, &g_EventMngHalfRollBack, "Paper Rolledback", 0x06, 0x0D},
      {"take out paper", 0x1602, &g_EventMngPapRemove, "Take Out Paper  ", 0x06, 0x10},
      {"sorter", 0x1708, &g_EventMngCError, "PPA Error      0", 0x07, 0x00},
      {"in no range", 0x0700, &g_EventMngReadyA, nullptr, 0, 0},
  };
  for (const IndexCase& c : cases) {
    int32_t lResult = 0;
    Step([&] {
      if (c.pCover != nullptr) mechanism.SetCoverOpen(*c.pCover, true);
      if (c.bRollOut) mechanism.SetRollLoaded(false);
      lResult = g_ErrorMng.SetError(c.index);
    });
    EXPECT_EQ(lResult, c.line != nullptr ? 0 : -1) << c.name;
    ASSERT_TRUE(RunUntilState(c.state)) << c.name;
    if (c.line != nullptr) m_machine->RunUntil([&] { return Lcd().Visible() == c.line; }, Ms(500));
    const protocol::ReplyHeader h = Status();
    if (c.line != nullptr) {
      EXPECT_EQ(Lcd().Visible(), c.line) << c.name;
      EXPECT_TRUE(Leds().IsOn(PanelLed::Error)) << c.name;
      EXPECT_FALSE(Leds().IsOn(PanelLed::Ready)) << c.name;
      EXPECT_EQ(h.printerState, PRINTER_STATE_ERROR) << c.name;
    } else {
      EXPECT_EQ(Lcd().Visible(), testsupport::kReadyLine) << c.name;
      EXPECT_EQ(h.printerState, PRINTER_STATE_READY) << c.name;
    }
    EXPECT_EQ(h.errorClass, c.major) << c.name;
    EXPECT_EQ(h.errorDetail, c.minor) << c.name;
    Step([&] {
      if (c.pCover != nullptr) mechanism.SetCoverOpen(*c.pCover, false);
      if (c.bRollOut) {
        // The roll back in, and its roll-back marks undone.
        mechanism.SetRollLoaded(true);
        g_ErrorMng.ClearError(erridx::kLoadPaperRollback);
        g_ParamRollBackFlag.SetValueNoSave(0);
      }
      if (c.state == &g_EventMngJam) {
        // The jam entry marked the paper as rolled back, so the paper the
        // sensors still see is an idle jam until a load clears the mark.
        g_ParamRollBackFlag.SetValueNoSave(0);
        g_ErrorMng.ClearAllJams();
      }
      g_ErrorMng.ClearError(c.index);
    });
    ASSERT_TRUE(RunUntilState(&g_EventMngReadyA, Ms(4000))) << c.name;
    m_machine->RunUntil([this] { return Lcd().Visible() == testsupport::kReadyLine; }, Ms(1000));
    EXPECT_EQ(Lcd().Visible(), testsupport::kReadyLine) << c.name;
    EXPECT_TRUE(Leds().IsOn(PanelLed::Ready)) << c.name;
    EXPECT_EQ(Status().printerState, PRINTER_STATE_READY) << c.name;
  }
}

TEST_F(ControlCore, APaperEndWithALoadPendingIsServedBeforeTheLoad) {
  RecordPasses();
  Step([] {
    g_pCurEventMng->SetEvent(EV_LOAD_PAPER);
    g_pCurEventMng->SetEvent(EV_PAPER_END);
    g_IdleSupervisor.RequestStateUpdate();
  });
  ASSERT_TRUE(RunUntilState(&g_EventMngReadyA));
  std::vector<CEventMng*> states;
  for (const Pass& p : m_passes) {
    if (states.empty() || states.back() != p.state) states.push_back(p.state);
  }
  EXPECT_EQ(states, (std::vector<CEventMng*>{&g_EventMngReadyA, &g_EventMngPapRemove, &g_EventMngPreReady,
                                             &g_EventMngReadyA}));
  EXPECT_EQ(g_EventSet, 0u);
}

TEST_F(ControlCore, AJobIsPreparedInReadyAPrintedInReadyBAndTheStateReturnsToA) {
  RecordPasses();
  Step([] { ASSERT_NE(jobtest::MakeInternalJob(), nullptr); });
  m_machine->RunUntil([] { return jobtest::ActiveJobs() == 0; }, Ms(2000));
  ASSERT_TRUE(RunUntilState(&g_EventMngReadyA));
  EXPECT_TRUE(Visited(&g_EventMngReadyB));
  EXPECT_EQ(jobtest::ReadyJobs(), 0u);
  EXPECT_EQ(g_ulJobPrepared, 0u);
  // A preparation that fails leaves the job unprinted in ready state A.
  Step([] {
    g_pfnPreparePath = [](uint32_t) { return int32_t{1}; };
    ASSERT_NE(jobtest::MakeInternalJob(), nullptr);
  });
  RecordPasses();
  m_machine->RunFor(Ms(300));
  EXPECT_FALSE(Visited(&g_EventMngReadyB));
  EXPECT_EQ(jobtest::ActiveJobs(), 1u);
  EXPECT_EQ(g_pCurEventMng, &g_EventMngReadyA);
}

TEST_F(ControlCore, TheMenuKeyRunsTheMenuAndACoverOpenedMeanwhileAsksForReload) {
  // User Mode: the information pages, the test print first; Clear leaves.
  Keys().Tap(PanelKey::Menu, Ms(100));
  m_machine->RunUntil([this] { return Lcd().Visible() == "Test Print Mode "; }, Ms(1000));
  ASSERT_EQ(Lcd().Visible(), "Test Print Mode ");
  Keys().Tap(PanelKey::Clear, Ms(200), Ms(100));
  m_machine->RunUntil([this] { return Lcd().Visible() == testsupport::kReadyLine; }, Ms(1000));
  EXPECT_EQ(Lcd().Visible(), testsupport::kReadyLine);
  EXPECT_EQ(g_pCurEventMng, &g_EventMngReadyA);
  // A cover found open by a sequence's abort check: its error, the
  // mechanism event and the supervisor's note.
  int32_t lAbort = 0;
  sim::MechanismInputs& mechanism = *m_machine->GetBoard().FindDevice<sim::MechanismInputs>();
  Step([&lAbort, &mechanism] {
    mechanism.SetCoverOpen(sim::Cover::SideL, true);
    lAbort = CheckAbort(SEQ_CHECK_COVERS);
  });
  EXPECT_EQ(lAbort, -1);
  ASSERT_TRUE(RunUntilState(&g_EventMngCoverOpen));
  EXPECT_EQ(Lcd().Visible(), "SideCover L Open");
  uint32_t ulNote = 0;
  g_IdleSupervisor.GetCoverOpenedFlag(&ulNote);
  EXPECT_EQ(ulNote, 1u);
  // The cover closed: the pre-ready state serves the mechanism event, and
  // ready A's menu, seeing the note when it is left, asks for the reload. (Here the index
  // is cleared at once; the supervision's own clearing, 1000 ms later,
  // takes the note with it.)
  Step([&mechanism] {
    mechanism.SetCoverOpen(sim::Cover::SideL, false);
    g_ErrorMng.ClearError(0x0601);
  });
  ASSERT_TRUE(RunUntilState(&g_EventMngReadyA, Ms(3000)));
  RecordPasses();
  Keys().Tap(PanelKey::Menu, Ms(100));
  m_machine->RunUntil([this] { return Lcd().Visible() == "Test Print Mode "; }, Ms(1000));
  Keys().Tap(PanelKey::Clear, Ms(200), Ms(100));
  m_machine->RunFor(Ms(600));
  bool bReload = false;
  for (const Pass& p : m_passes) {
    if (p.state == &g_EventMngPreReady && (p.events & (uint64_t{1} << EV_RELOAD_PAPER2)) != 0) bReload = true;
  }
  EXPECT_TRUE(bReload);
  EXPECT_EQ(g_pCurEventMng, &g_EventMngReadyA);
}

TEST_F(ControlCore, AHostResetEndsTheMainLoop) {
  const hostiftest::Reply r = Command(m_machine->UsbHost(), CMD_RESET, {RESET_KIND_PRINTER, 0});
  EXPECT_EQ(r.header.replyKind, REPLY_OK);
  // The shut-down closes USB, which detaches from the host for 1.5 s.
  m_machine->RunUntil([this] { return m_machine->Logged("all task is terminated"); }, Ms(4500));
  EXPECT_TRUE(m_machine->Logged("all task is terminated"));
  EXPECT_NE(g_ulMainLoopStop, 0u);
  bool bShown = false;
  for (const auto& s : Lcd().Screens()) bShown = bShown || s.text == "System reset... ";
  EXPECT_TRUE(bShown);
}

TEST_F(ControlCore, AStopFoundAtThePassStartSkipsSelectionAndDispatch) {
  Step([] {
    g_ErrorMng.SetError(0x0201);
    RequestSystemReset();
  });
  // The shut-down's USB close detaches from the host for 1.5 s.
  m_machine->RunUntil([this] { return m_machine->Logged("all task is terminated"); }, Ms(4500));
  EXPECT_TRUE(m_machine->Logged("all task is terminated"));
  EXPECT_EQ(g_pCurEventMng, &g_EventMngReadyA);
}

// ---- across a reset ----------------------------------------------------------------------

bool RunUntilReady(sim::Machine& m) {
  sim::LcdController& lcd = *m.GetBoard().FindDevice<sim::LcdController>();
  m.RunUntil([&lcd] { return lcd.Visible() == testsupport::kReadyLine; }, kSettle);
  return lcd.Visible() == testsupport::kReadyLine;
}

// Boot 0 stores a setting and a counter and asks for a reset, which ends
// its main loop and the kernel; boot 1 finds both and every EEPROM byte as
// boot 0 left it.
TEST(ControlCoreRestarts, AResetRequestEndsTheMainLoopAndTheNextBootFindsTheEepromAsLeft) {
  testsupport::ForkedBoots boots;
  boots.ProvisionSamplePrinter();
  const char* const apszFiles[] = {"eeprom-main.bin", "eeprom-head-l.bin", "eeprom-head-r.bin"};
  auto snapshot = [&] {
    std::vector<std::vector<uint8_t>> files;
    for (const char* pszFile : apszFiles) files.push_back(boots.ReadBytes(pszFile));
    return files;
  };
  const std::vector<int> first = boots.Run(1, [](int, sim::MachineOptions options) {
    sim::Machine m(std::move(options));
    if (!RunUntilReady(m)) return 1;
    int32_t lStored = -1;
    if (!m.RunStep(
            [&lStored] {
              lStored = g_ParamSideAL.SetValue(-5) | g_CounterCut.Write(0x00012345u);
              RequestSystemReset();
            },
            Ms(1000))) {
      return 2;
    }
    if (lStored != 0) return 3;
    // The shut-down closes USB, which detaches from the host for 1.5 s.
    m.RunUntil([&m] { return m.Logged("all task is terminated"); }, Ms(4500));
    if (!m.Logged("all task is terminated") || g_ulMainLoopStop == 0) return 4;
    return m.UnexpectedFaults().empty() ? 0 : 5;
  });
  ASSERT_EQ(first, std::vector<int>{0});
  const std::vector<std::vector<uint8_t>> left = snapshot();
  for (const std::vector<uint8_t>& file : left) ASSERT_EQ(file.size(), 512u);

  const std::vector<int> next = boots.Run(1, [](int, sim::MachineOptions options) {
    sim::Machine m(std::move(options));
    if (!RunUntilReady(m)) return 1;
    if (m.Logged("[EEPROM] formatting the main EEPROM\n")) return 2;
    int32_t lSide = 0;
    uint32_t ulCut = 0;
    if (!m.RunStep(
            [&] {
              lSide = SettingValue(g_ParamSideAL);
              g_CounterCut.GetValue(&ulCut);
            },
            Ms(1000))) {
      return 3;
    }
    if (lSide != -5) return 4;
    if (ulCut != 0x00012345u) return 5;
    return m.UnexpectedFaults().empty() ? 0 : 6;
  });
  EXPECT_EQ(next, std::vector<int>{0});
  const std::vector<std::vector<uint8_t>> after = snapshot();
  for (size_t f = 0; f < after.size(); ++f) EXPECT_EQ(after[f], left[f]) << apszFiles[f];
}

}  // namespace
