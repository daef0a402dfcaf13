// The positioners' maintenance screens worked by key presses: each Enter
// makes one move and the LCD line shows where the part now is; Clear
// leaves.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "firmware/control/panel_test_rig.h"
#include "firmware/devices/machine_ports.h"
#include "firmware/devices/settings.h"
#include "firmware/mechanism/path_select.h"
#include "firmware/mechanism/rotation_lock.h"
#include "firmware/mechanism/simple_positioners.h"

namespace paneltest {
namespace {

struct Shown {
  std::string line;
  int32_t lFlag;  // the setting the screen writes after the move, -1: none
};

struct ScreenCase {
  const char* pszName;
  std::function<void()> setUp;
  std::function<void()> screen;
  CParameter* pFlag;
  std::string first;
  std::vector<Shown> afterEnter;
};

const std::vector<ScreenCase> kScreens = {
    {"head",
     [] {},
     [] { g_HeadLiftL.TestScreen(); },
     nullptr,
     "Head      :UNDEF",
     // Up finds the head up at once; the up text leaves column 10 as it was.
     {{"Head      :  :UP", -1}, {"Head       :DOWN", -1}, {"Head         :UP", -1}}},
    {"load bar",
     [] {},
     [] { g_LoadBar.TestScreen(); },
     nullptr,
     "Load Bar  :UNDEF",
     {{"Load Bar  :  :UP", -1}, {"Load Bar   :DOWN", -1}, {"Load Bar     :UP", -1}}},
    {"load pinch",
     [] {},
     [] { g_LoadPinch.TestScreen(); },
     nullptr,
     "Load Pinch:UNDEF",
     {{"Load Pinch   :UP", -1}, {"Load Pinch :DOWN", -1}, {"Load Pinch   :UP", -1}}},
    {"eject pinch",
     [] { g_EjectPinch.MoveFDownAndWait(); },
     [] { g_EjectPinch.TestScreen(); },
     nullptr,
     "EjectPinch:FDown",
     {{"EjectPinch   :Up", -1}, {"EjectPinch:CDown", -1}, {"EjectPinch:FDown", -1}, {"EjectPinch   :Up", -1}}},
    {"rotation lock",
     [] {},
     [] { g_RotationLock.TestScreen(); },
     &g_ParamRotationLockFlag,
     "Rot.Lock  :Undef",
     {{"Rot.Lock :Unlock", 2}, {"Rot.Lock   :Lock", 1}, {"Rot.Lock :Unlock", 2}}},
    {"path selector",
     [] {},
     [] { g_PathSelect.TestScreen(); },
     &g_ParamPrintpathFlag,
     "Path Sel. :Undef",
     // No paper at the tops: the find sweeps to 4 and back to 3.
     {{"Path Select   :L", 3}, {"Path Select   :R", 4}, {"Path Select   :L", 3}}},
};

class PositionerScreens : public PanelTest, public ::testing::WithParamInterface<ScreenCase> {};

TEST_P(PositionerScreens, EachEnterMakesOneMoveAndShowsWhereThePartIs) {
  const ScreenCase& c = GetParam();
  InApp(
      [&c] {
        g_PortMotorEnable.Set();
        c.setUp();
      },
      Ms(10000));
  Start(c.screen);
  ASSERT_TRUE(RunUntilShown(c.first)) << Lcd().Visible();
  for (const Shown& shown : c.afterEnter) {
    Keys().Tap(PanelKey::Enter, Ms(200), Ms(60));
    ASSERT_TRUE(RunUntilShown(shown.line, Ms(6000))) << Lcd().Visible() << " for " << shown.line;
    if (c.pFlag != nullptr) {
      EXPECT_EQ(SettingValue(*c.pFlag), shown.lFlag) << shown.line;
    }
  }
  Keys().Tap(PanelKey::Clear, Ms(200), Ms(60));
  EXPECT_TRUE(Finish(Ms(2000)));
}

INSTANTIATE_TEST_SUITE_P(Table, PositionerScreens, ::testing::ValuesIn(kScreens), [](const auto& test) {
  std::string name = test.param.pszName;
  for (char& ch : name) {
    if (ch == ' ') ch = '_';
  }
  return name;
});

}  // namespace
}  // namespace paneltest
