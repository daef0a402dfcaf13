// The start-up's service-mode window on the panel: which chord selects
// which mode and shows which name, what a plain key and "Allow Access OCP"
// do, how long the window and a shown name take, and the chord that arrives
// in the pass in which the window closes.
#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "firmware/control/app_startup.h"
#include "firmware/control/event_set.h"
#include "firmware/control/event_states.h"
#include "firmware/control/keys.h"
#include "firmware/control/host_status_table.h"
#include "firmware/control/idle_supervisor.h"
#include "firmware/control/panel_test_rig.h"
#include "firmware/devices/main_loop_stop.h"
#include "firmware/devices/settings.h"
#include "firmware/service/service_menus.h"
#include "protocol/codes.h"
#include "sim/memory/board_eeproms.h"

namespace {

using paneltest::PanelKey;
using paneltest::PanelTest;
using testsupport::Ms;

// "Key Enable"'s cell in the main EEPROM.
constexpr uint32_t kKeyEnableByte = 380;

struct StartupCase {
  const char* name;
  std::vector<PanelKey> keys;  // pressed together 100 ms into the window, held 800 ms
  uint8_t ucControlType;
  uint16_t usMode;
  const char* pszShown;  // nullptr: nothing new on the LCD
  uint32_t ulKeyEnable;
  uint32_t ulMinMs, ulMaxMs;  // the window's length
};

constexpr uint32_t kNoKeyMin = 1000, kNoKeyMax = 1003;
// A chord's code comes after it was held 500 ms; then its name stays 2000 ms.
constexpr uint32_t kChordMin = 2600, kChordMax = 2700;

const StartupCase kCases[] = {
    {"NoKeyIsUserModeAfterOneSecond", {}, 1, 0, nullptr, 0, kNoKeyMin, kNoKeyMax},
    {"Diagnostics", {PanelKey::Dec, PanelKey::Inc, PanelKey::Feed}, 1, 1, "Diagnostics     ", 0, kChordMin, kChordMax},
    {"SystemSetup", {PanelKey::Dec, PanelKey::Inc, PanelKey::Menu, PanelKey::Clear}, 1, 2, "System Setup    ", 0,
     kChordMin, kChordMax},
    {"Maintenance", {PanelKey::Enter, PanelKey::Inc}, 1, 3, "Maintenance     ", 0, kChordMin, kChordMax},
    {"DensitySetup", {PanelKey::Dec, PanelKey::Feed}, 1, 4, "DensitySetupMode", 0, kChordMin, kChordMax},
    {"Factory", {PanelKey::Inc, PanelKey::Clear, PanelKey::Feed}, 1, 5, "Factory Mode    ", 0, kChordMin, kChordMax},
    {"ModeChordWithMarkSensorRibbons", {PanelKey::Enter, PanelKey::Inc}, 0, 3, "Maintenance     ", 0, kChordMin,
     kChordMax},
    {"AllowAccessStoresKeyEnable", {PanelKey::Enter, PanelKey::Dec, PanelKey::Inc, PanelKey::Clear}, 1, 0,
     "Allow Access OCP", 1, kChordMin, kChordMax},
    {"AllowAccessIgnoredWithMarkSensorRibbons", {PanelKey::Enter, PanelKey::Dec, PanelKey::Inc, PanelKey::Clear}, 0,
     0, nullptr, 0, kChordMin, kChordMax},
    // A chord the window does not know ends it all the same.
    {"OtherChordSelectsNothing", {PanelKey::Menu, PanelKey::Enter}, 1, 0, nullptr, 0, kChordMin, kChordMax},
};

class StartupMode : public PanelTest, public testing::WithParamInterface<StartupCase> {
 protected:
  // Runs the window with `keys` pressed `offset` into it (held `hold`):
  // its length in ms.
  uint32_t RunWindow(const std::vector<PanelKey>& keys, sim::Nanos offset, sim::Nanos hold) {
    static uint32_t s_ulStart, s_ulEnd;
    static bool s_bGo;
    s_bGo = false;
    Start([] {
      while (!s_bGo) CpuRelax();
      s_ulStart = paneltest::NowMs();
      SelectStartupMode();
      s_ulEnd = paneltest::NowMs();
    });
    RunFor(Ms(1));
    for (PanelKey key : keys) {
      Keys().PressAt(key, m_machine->Now() + offset);
      Keys().ReleaseAt(key, m_machine->Now() + offset + hold);
    }
    s_bGo = true;
    EXPECT_TRUE(Finish(Ms(5000)));
    RunFor(Ms(300));  // every key up again
    return s_ulEnd - s_ulStart;
  }
};

TEST_P(StartupMode, EachCodeSelectsItsModeAndShowsItsName) {
  const StartupCase& c = GetParam();
  InApp([&] {
    g_ucRibbonControlType = c.ucControlType;
    g_usServiceMode = 0;
    ASSERT_EQ(g_ParamKeyEnable.SetValue(0), 0);
    SetStatusItem(SI_KEY_ENABLE, 0, 0);
    g_Lcd.WriteText("start-up        ", 0, 16);
  });
  const size_t screensBefore = Lcd().Screens().size();
  const uint32_t ulMs = RunWindow(c.keys, Ms(100), Ms(800));
  EXPECT_GE(ulMs, c.ulMinMs);
  EXPECT_LE(ulMs, c.ulMaxMs);
  EXPECT_EQ(g_usServiceMode, c.usMode);
  if (c.pszShown != nullptr) {
    ASSERT_EQ(Lcd().Screens().size(), screensBefore + 1);
    EXPECT_EQ(Lcd().Screens().back().text, c.pszShown);
  } else {
    EXPECT_EQ(Lcd().Screens().size(), screensBefore) << Lcd().Visible();
  }
  int32_t lKeyEnable = -1;
  g_ParamKeyEnable.GetValue(&lKeyEnable);
  EXPECT_EQ(static_cast<uint32_t>(lKeyEnable), c.ulKeyEnable);
  EXPECT_EQ(m_machine->GetBoard().FindDevice<sim::BoardEeproms>()->Main().PeekByte(kKeyEnableByte), c.ulKeyEnable);
  EXPECT_EQ(GetStatusItem(SI_KEY_ENABLE), c.ulKeyEnable);
  EXPECT_EQ(g_ulMainLoopStop, 0u);
}

INSTANTIATE_TEST_SUITE_P(Cases, StartupMode, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<StartupCase>& param) { return std::string(param.param.name); });

using StartupModeWindow = StartupMode;

// A plain key ends the window when its code comes (on release), selects
// nothing and is followed by the 2000 ms wait.
TEST_F(StartupModeWindow, APlainKeyEndsTheWindowAndWaitsTwoSeconds) {
  InApp([] { g_usServiceMode = 0; });
  const uint32_t ulMs = RunWindow({PanelKey::Menu}, Ms(100), Ms(200));
  EXPECT_GE(ulMs, 2300u);
  EXPECT_LE(ulMs, 2310u);
  EXPECT_EQ(g_usServiceMode, 0u);
}

// The first key poll runs before the deadline check takes effect, so the
// mode of an earlier boot's window is kept only by a code; without one it
// becomes User Mode.
TEST_F(StartupModeWindow, ANonModeCodeKeepsTheModeAndTheDeadlineResetsIt) {
  InApp([] { g_usServiceMode = 4; });
  RunWindow({PanelKey::Enter}, Ms(100), Ms(200));
  EXPECT_EQ(g_usServiceMode, 4u) << "a plain key selects nothing";
  RunWindow({}, 0, 0);
  EXPECT_EQ(g_usServiceMode, 0u);
}

// The chord pressed ever later: its code comes before the deadline, in the
// pass in which the deadline passed, or after the window. A chord that
// shows nothing (Menu and Enter) makes the code's time visible: the window
// then lasts the code's time and 2000 ms, so a window of 3000 ms took a
// code in the deadline pass. The mode chord at that offset is acted on
// after User Mode was set: its mode stays.
TEST_F(StartupModeWindow, AChordArrivingInTheDeadlinePassIsActedOn) {
  uint32_t ulDeadlineOffset = 0;
  bool bSeenLate = false;
  for (uint32_t ulOffset = 494; ulOffset <= 506; ++ulOffset) {
    InApp([] { g_usServiceMode = 0; });
    const uint32_t ulMs = RunWindow({PanelKey::Menu, PanelKey::Enter}, Ms(ulOffset), Ms(700));
    if (ulMs < 2000) {
      EXPECT_LE(ulMs, kNoKeyMax) << ulOffset;
      bSeenLate = true;
      continue;
    }
    EXPECT_FALSE(bSeenLate) << "a later chord cannot come earlier: " << ulOffset;
    if (ulMs >= 3000) ulDeadlineOffset = ulOffset;
  }
  ASSERT_NE(ulDeadlineOffset, 0u) << "no code came in the deadline pass";
  EXPECT_TRUE(bSeenLate);

  InApp([] { g_usServiceMode = 0; });
  RunWindow({PanelKey::Enter, PanelKey::Inc}, Ms(ulDeadlineOffset), Ms(700));
  EXPECT_EQ(g_usServiceMode, 3u);
  EXPECT_EQ(Lcd().Visible(), "Maintenance     ");
}

// ---- the Menu key's action ----

struct ModeMenuCase {
  uint16_t usMode;
  const char* pszFirstItem;  // of the top menu (ribbon control type 1)
};
// Diagnostics and Factory Mode share a menu; User Mode and every value
// beyond the six modes open the information pages, the test print first.
const ModeMenuCase kModeMenus[] = {
    {1, "Diagnostics     "}, {5, "Diagnostics     "}, {2, "PrintParam Set  "}, {3, "MntPrintCounter "},
    {4, "Density         "}, {0, "Test Print Mode "}, {7, "Test Print Mode "},
};

class ModeMenu : public PanelTest {};

// Clear leaves the top menu, the Menu key's event is gone, and the Clear
// key that left does not start a paper rollback at idle in the next
// 1000 ms.
TEST_F(ModeMenu, EachModeOpensItsTopMenuAndClearLeavesItGuarded) {
  for (const ModeMenuCase& c : kModeMenus) {
    InApp([&] {
      g_ucRibbonControlType = 1;
      g_usServiceMode = c.usMode;
      g_pCurEventMng = &g_EventMngReadyA;
      g_pCurEventMng->SetEvent(EV_MENU_KEY);
      SetStatusItem(SI_PRINTER_STATE, protocol::PRINTER_STATE_READY, 0);
    });
    static int32_t s_lResult;
    s_lResult = -1;
    Start([] { s_lResult = RunModeMenu(); });
    ASSERT_TRUE(RunUntilShown(c.pszFirstItem)) << c.usMode << ": " << Lcd().Visible();
    Keys().Tap(PanelKey::Clear, Ms(150));
    ASSERT_TRUE(Finish(Ms(2000))) << c.usMode;
    EXPECT_EQ(s_lResult, 0);
    uint32_t ulSet = 1;
    g_pCurEventMng->TestEvent(EV_MENU_KEY, &ulSet);
    EXPECT_EQ(ulSet, 0u) << c.usMode;

    // Clear at idle: its code comes on release, 430 ms after leaving
    // (guarded) or 1130 ms after (a rollback).
    for (const auto& [ulPressMs, bRollBack] : {std::pair<uint32_t, bool>{300, false}, {1000, true}}) {
      static uint32_t s_ulRollBack;
      Keys().Tap(PanelKey::Clear, Ms(130), Ms(ulPressMs));
      InApp(
          [ulUntil = ulPressMs + 400] {
            g_EventSet = 0;
            s_ulRollBack = 0;
            const uint32_t ulStart = paneltest::NowMs();
            while (paneltest::NowMs() - ulStart < ulUntil) {
              g_IdleSupervisor.HandlePanelKeys();
              uint32_t ulRollBack = 0;
              g_pCurEventMng->TestEvent(EV_ROLLBACK_PAPER, &ulRollBack);
              s_ulRollBack |= ulRollBack;
            }
          },
          Ms(3000));
      EXPECT_EQ(s_ulRollBack != 0, bRollBack) << c.usMode << " at " << ulPressMs << " ms";
    }
    RunFor(Ms(1500));
  }
}

}  // namespace
