// The service screens that reach past a restart, on one printer booted in
// turn: the EEPROM undo declined and accepted (the backup's bytes 20-511
// come back and the printer restarts), the parameter reset (defaults at the
// next boot), and a setting stored in a menu.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <string>
#include <vector>

#include "firmware/devices/settings.h"
#include "firmware/platform/fpga_regs.h"
#include "firmware/service/reset_screens.h"
#include "firmware/service/value_editors.h"
#include "sim/panel/panel.h"
#include "sim/state_dir.h"
#include "tests/support/forked_boots.h"

namespace {

using testsupport::Ms;

// Exit codes of a boot: 0 as expected, else the step that went wrong.
enum : int { kOk = 0, kNotSettled = 1, kNoQuestion = 2, kNoReset = 3, kUnexpectedReset = 4, kWrongValue = 5 };

constexpr int32_t kBackupValue = 5;
constexpr int32_t kBoardValue = 7;

// The start-up is over once the main loop runs a step between two passes.
// (After a restore the start-up takes longer: it finds the head units'
// copies differ from the restored settings.)
bool InMainLoop(sim::Machine& m) {
  return m.RunStep([] {}, Ms(120000));
}

sim::LcdController& Lcd(sim::Machine& m) { return *m.GetBoard().FindDevice<sim::LcdController>(); }

bool Shown(sim::Machine& m, const std::string& text) {
  return m.RunUntil([&] { return Lcd(m).Visible() == text; }, Ms(3000)) == sim::RunResult::ConditionMet;
}
void Tap(sim::Machine& m, sim::PanelKey key) {
  m.Keys().Tap(key, Ms(200), Ms(50));
  m.RunFor(Ms(350));
}
int32_t ValueIn(sim::Machine& m, const CParameter& param) {
  static int32_t s_lValue;
  s_lValue = -1000;
  m.RunStep([&] { param.GetValue(&s_lValue); }, Ms(60000));
  return s_lValue;
}
int32_t DefaultOf(const CParameter& param) {
  int32_t lValue = 0;
  param.GetDefault(&lValue);
  return lValue;
}

// "Top L" holds 5 in the backup EEPROM and 7 in the board's.
void StoreDifferentValues(sim::Machine& m) {
  m.RunStep(
      [] {
        g_FpgaMain.SelectExternalEeprom(1);
        g_ParamTopOffsetL.SetValue(kBackupValue);
        g_FpgaMain.SelectExternalEeprom(0);
        g_ParamTopOffsetL.SetValue(kBoardValue);
      },
      Ms(2000));
}

struct Scenario {
  const char* what;
  void (*pfnScreen)();
  const char* question;
  std::vector<sim::PanelKey> keys;
  bool bRestarts;
  int32_t lNextBoot;  // "Top L" at the next boot; INT32_MIN: its default
};

constexpr int32_t kDefault = INT32_MIN;

int BootWithScreen(const Scenario& s, int index, sim::MachineOptions options) {
  sim::Machine m(std::move(options));
  if (!InMainLoop(m)) return kNotSettled;
  if (index == 1) {
    const int32_t lWanted = s.lNextBoot == kDefault ? DefaultOf(g_ParamTopOffsetL) : s.lNextBoot;
    return ValueIn(m, g_ParamTopOffsetL) == lWanted ? kOk : kWrongValue;
  }
  StoreDifferentValues(m);
  m.AtNextPass(s.pfnScreen);
  if (!Shown(m, s.question)) return kNoQuestion;
  for (sim::PanelKey key : s.keys) Tap(m, key);
  const sim::RunResult r = m.RunFor(Ms(30000));
  if (s.bRestarts) return r == sim::RunResult::Reset ? kOk : kNoReset;
  return r == sim::RunResult::Reset ? kUnexpectedReset : kOk;
}

TEST(ServiceScreenBoots, UndoResetAndStoredSettingsAtTheNextBoot) {
  const Scenario scenarios[] = {
      {"EEPROM Undo declined", EepromUndoScreen, "OK ?            ", {sim::PanelKey::Clear}, false, kBoardValue},
      {"EEPROM Undo", EepromUndoScreen, "OK ?            ", {sim::PanelKey::Enter}, true, kBackupValue},
      {"Parameter Reset declined", ParameterResetScreen, "RESET ?         ", {sim::PanelKey::Feed}, false,
       kBoardValue},
      {"Parameter Reset", ParameterResetScreen, "RESET ?         ", {sim::PanelKey::Enter}, false, kDefault},
  };
  for (const Scenario& s : scenarios) {
    SCOPED_TRACE(s.what);
    testsupport::ForkedBoots printer;
    printer.ProvisionSamplePrinter();
    const auto boot = [&](int index, sim::MachineOptions options) { return BootWithScreen(s, index, options); };
    EXPECT_EQ(printer.Run(1, boot), std::vector<int>{kOk});
    if (s.bRestarts) {
      const std::vector<uint8_t> main = printer.ReadBytes(sim::StateDir::kMainEepromFile);
      const std::vector<uint8_t> backup = printer.ReadBytes(sim::StateDir::kBackupEepromFile);
      ASSERT_GE(main.size(), 512u);
      ASSERT_GE(backup.size(), 512u);
      EXPECT_TRUE(std::equal(main.begin() + 20, main.begin() + 512, backup.begin() + 20))
          << "bytes 20-511 come from the backup";
    }
    EXPECT_EQ(printer.Run(1, boot), std::vector<int>{kOk});
  }
}

// "DensityLm" edited to 100.1 and stored with Enter keeps its value across
// a restart.
TEST(ServiceScreenBoots, AValueStoredInAnEditorSurvivesARestart) {
  testsupport::ForkedBoots printer;
  printer.ProvisionSamplePrinter();
  const std::vector<int> codes = printer.Run(2, [](int index, sim::MachineOptions options) {
    sim::Machine m(std::move(options));
    if (!InMainLoop(m)) return kNotSettled;
    if (index == 1) {
      return ValueIn(m, g_ParamDensityLmL) == 100 && ValueIn(m, g_ParamDensityLmMinorL) == 1 ? kOk : kWrongValue;
    }
    m.RunStep(
        [] {
          g_ParamDensityLmL.SetValue(100);
          g_ParamDensityLmMinorL.SetValue(0);
        },
        Ms(2000));
    m.AtNextPass([] { EditParamPair(&g_ParamDensityLmL, &g_ParamDensityLmMinorL); });
    if (!Shown(m, "DensityLm  100.0")) return kNoQuestion;
    Tap(m, sim::PanelKey::Inc);
    Tap(m, sim::PanelKey::Enter);
    Tap(m, sim::PanelKey::Clear);
    m.RunFor(Ms(500));
    return kOk;
  });
  EXPECT_EQ(codes, (std::vector<int>{kOk, kOk}));
}

}  // namespace
