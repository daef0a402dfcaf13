// The positioners' maintenance screens worked by key presses: each Enter
// makes one move and the LCD line shows where the part now is; Clear
// leaves.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "firmware/control/error_manager.h"
#include "firmware/control/panel_test_rig.h"
#include "firmware/mechanism/positioner_test_rig.h"
#include "firmware/devices/machine_ports.h"
#include "firmware/devices/settings.h"
#include "firmware/devices/stepper.h"
#include "firmware/mechanism/cutter.h"
#include "firmware/mechanism/path_select.h"
#include "firmware/mechanism/rotation_lock.h"
#include "firmware/mechanism/simple_positioners.h"
#include "sim/mechanism/dc_mechanism.h"
#include "sim/mechanism/mechanism_inputs.h"
#include "sim/mechanism/stepper_drivers.h"
#include "tests/support/positioners.h"

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
  sim::EngineVariant variant = sim::EngineVariant::EM3;
  // Sets the board up before the setUp job (may be empty).
  std::function<void(sim::Machine&)> board;
};

// Paper at the tops of the paths (the photo sensors' LEDs are lit by the
// setUp job).
template <bool kTopL, bool kTopR>
void PaperAt(sim::Machine& m) {
  auto& inputs = *m.GetBoard().FindDevice<sim::MechanismInputs>();
  inputs.SetPaperSeen(sim::PhotoSensor::TopL, kTopL);
  inputs.SetPaperSeen(sim::PhotoSensor::TopR, kTopR);
}

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
    {"cutter",
     [] {},
     [] { g_Cutter.TestScreen(3); },
     nullptr,
     "Cutter    :UNDEF",
     // The first press settles at LEFT, every other one cuts across.
     {{"Cutter     :LEFT", -1}, {"Cutter    :RIGHT", -1}, {"Cutter     :LEFT", -1}}},
    // The pinch rollers write their position at column 4 of the title;
    // the main one stores it in "MainPinStatus".
    {"main pinch EM2",
     [] {},
     [] { g_ProllMainEM2.TestScreen(); },
     &g_ParamMainPinStatus,
     "Main:UNDEF      ",
     // Undefined lifts from side L (up at once); from up it lowers on unit
     // 0, then on unit 1.
     {{"Main:L-UP/R-UP  ", 1}, {"Main:L-DOWN/R-UP", 3}, {"Main:L-UP/R-UP  ", 1}, {"Main:L-UP/R-DOWN", 5},
      {"Main:L-UP/R-UP  ", 1}},
     sim::EngineVariant::EM2},
    {"main pinch EM3 with paper at top L",
     [] {
       LightPhotoSensors();
       g_ProllMainEM3.MoveUpAndWait();
     },
     [] { g_ProllMainEM3.TestScreen(); },
     &g_ParamMainPinStatus,
     "Main:L-UP/R-UP  ",
     {{"Main:L-DOWN/R-UP", 0x1B}, {"Main:L-HALF/R-UP", 0x12}, {"Main:L-DOWN/R-UP", 0x1B}, {"Main:L-UP/R-UP  ", 0x09},
      {"Main:L-DOWN/R-UP", 0x1B}},
     sim::EngineVariant::EM3,
     PaperAt<true, false>},
    {"main pinch EM3 second screen with paper at both tops",
     [] {
       LightPhotoSensors();
       g_ProllMainEM3.MoveUpAndWait();
     },
     [] { g_ProllMainEM3.TestScreen2(); },
     &g_ParamMainPinStatus,
     "Main:L-UP/R-UP  ",
     // From up to half, on unit 0 and 1 in turn; from half back up.
     {{"Main:L-HALF/R-UP", 0x12}, {"Main:L-UP/R-UP  ", 0x09}, {"Main:L-UP/R-HALF", 0x24}, {"Main:L-UP/R-UP  ", 0x09}},
     sim::EngineVariant::EM3,
     PaperAt<true, true>},
    {"feed pinch",
     [] {},
     [] { g_pProllFeed->TestScreen(); },
     nullptr,
     "Feed:UNDEF      ",
     {{"Feed:L-UP/R-UP  ", -1}, {"Feed:L-DOWN/R-UP", -1}, {"Feed:L-UP/R-UP  ", -1}, {"Feed:L-UP/R-DOWN", -1},
      {"Feed:L-UP/R-UP  ", -1}}},
};

class PositionerScreens : public PanelTest, public ::testing::WithParamInterface<ScreenCase> {
 protected:
  void SetUp() override { BootPanel(positionertest::VariantOptions(GetParam().variant)); }
};

TEST_P(PositionerScreens, EachEnterMakesOneMoveAndShowsWhereThePartIs) {
  const ScreenCase& c = GetParam();
  if (c.board) c.board(*m_machine);
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

namespace paneltest {
namespace {

class CutterScreen : public PanelTest {
 protected:
  sim::DcMechanism& Mechanism() { return *m_machine->GetBoard().FindDevice<sim::DcMechanism>(); }
  sim::StepperDrivers& Steppers() { return *m_machine->GetBoard().FindDevice<sim::StepperDrivers>(); }
  // The times the main paper stepper's driver was energised and released
  // at or after `from`.
  std::vector<std::pair<sim::Nanos, bool>> Excitation(sim::Nanos from) {
    std::vector<std::pair<sim::Nanos, bool>> changes;
    bool bOn = false;
    for (const sim::ControlWrite& w : Steppers().ControlHistory(sim::Stepper::Main)) {
      const bool bNow = (w.value & sim::StepperDrivers::kEnergised) != 0;
      if (w.at >= from && bNow != bOn) changes.emplace_back(w.at, bNow);
      bOn = bNow;
    }
    return changes;
  }
  // The first time at or after `from` the cutter motor took the drive.
  sim::Nanos MotorAt(sim::Nanos from, sim::DriveState drive) {
    for (const sim::MechanismEvent& e : Mechanism().Trace().Of("DcMotorCutter")) {
      if (e.at >= from && e.drive == drive) return e.at;
    }
    return 0;
  }
};

// Mode 1 holds a stopped paper stepper energised from 50 ms before each cut
// to 50 ms after it; a running stepper, or another mode, is left alone.
struct ExcitationCase {
  const char* pszName;
  uint32_t ulMode;
  bool bStepperStopped;
  bool bExcited;
};

class CutterScreenExcitation : public CutterScreen, public ::testing::WithParamInterface<ExcitationCase> {};

TEST_P(CutterScreenExcitation, FollowsTheModeAndTheStepperState) {
  const ExcitationCase& c = GetParam();
  InApp([&c] {
    g_PortMotorEnable.Set();
    if (c.bStepperStopped) g_StpmtrMain.Stop();
    ASSERT_EQ(g_Cutter.SettlePosition(), 0);
  });
  Start([&c] { g_Cutter.TestScreen(c.ulMode); });
  ASSERT_TRUE(RunUntilShown("Cutter     :LEFT")) << Lcd().Visible();
  const sim::Nanos from = m_machine->Now();
  const uint8_t control = Steppers().Control(sim::Stepper::Main);
  Keys().Tap(PanelKey::Enter, Ms(200), Ms(60));
  ASSERT_TRUE(RunUntilShown("Cutter    :RIGHT", Ms(3000))) << Lcd().Visible();
  RunFor(Ms(100));
  const sim::Nanos drive = MotorAt(from, sim::DriveState::Forward);
  const sim::Nanos brake = MotorAt(from, sim::DriveState::Brake);
  ASSERT_NE(drive, 0u);
  ASSERT_GT(brake, drive);
  const auto changes = Excitation(from);
  if (c.bExcited) {
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_TRUE(changes[0].second);
    EXPECT_FALSE(changes[1].second);
    // 50 ms ticks (from within a tick: 49-50 ms), the first after the
    // driver's current has settled (2 ms ticks).
    EXPECT_GE(drive - changes[0].first, Ms(50));
    EXPECT_LE(drive - changes[0].first, Ms(53));
    EXPECT_GT(changes[1].first - brake, Ms(49));
    EXPECT_LE(changes[1].first - brake, Ms(51));
  } else {
    EXPECT_TRUE(changes.empty());
  }
  EXPECT_EQ(Steppers().Control(sim::Stepper::Main), control) << "as it was before";
  Keys().Tap(PanelKey::Clear, Ms(200), Ms(60));
  EXPECT_TRUE(Finish(Ms(2000)));
}

INSTANTIATE_TEST_SUITE_P(Table, CutterScreenExcitation,
                         ::testing::Values(ExcitationCase{"mode_1_stopped", 1, true, true},
                                           ExcitationCase{"mode_1_idle", 1, false, false},
                                           ExcitationCase{"mode_3_stopped", 3, true, false}),
                         [](const auto& test) { return std::string(test.param.pszName); });

// A stuck carriage times out; the error flag blocks nothing: once free it
// cuts again. The screen clears the flag while it is open and puts back
// what it found, whether a cut in it failed or not.
TEST_F(CutterScreen, TheErrorFlagBlocksNothingAndTheScreenPutsItBack) {
  static int32_t s_lResult;
  InApp([] {
    g_PortMotorEnable.Set();
    ASSERT_EQ(g_Cutter.SettlePosition(), 0);
  });
  Mechanism().SetAxisStuck(sim::Axis::Cutter, true);
  InApp([] { s_lResult = g_Cutter.MoveAndWait(2); }, Ms(3000));
  EXPECT_EQ(s_lResult, -1);
  EXPECT_EQ(g_Cutter.GetErrorFlag(), 1);
  Mechanism().SetAxisStuck(sim::Axis::Cutter, false);
  // As the sequences do after a failure: stop, settle, cut.
  InApp(
      [] {
        g_Cutter.Stop();
        s_lResult = g_Cutter.SettlePosition();
        if (s_lResult == 0) s_lResult = g_Cutter.MoveAndWait(2);
      },
      Ms(3000));
  EXPECT_EQ(s_lResult, 0);
  EXPECT_EQ(Mechanism().Crossings().size(), 1u);
  EXPECT_EQ(g_Cutter.GetErrorFlag(), 1) << "only the screen clears it";

  // Set before the screen, a good cut inside it: set again after it.
  Start([] { g_Cutter.TestScreen(2); });
  ASSERT_TRUE(RunUntilShown("Cutter    :RIGHT")) << Lcd().Visible();
  EXPECT_EQ(g_Cutter.GetErrorFlag(), 0);
  Keys().Tap(PanelKey::Enter, Ms(200), Ms(60));
  ASSERT_TRUE(RunUntilShown("Cutter     :LEFT", Ms(3000))) << Lcd().Visible();
  Keys().Tap(PanelKey::Clear, Ms(200), Ms(60));
  ASSERT_TRUE(Finish(Ms(2000)));
  EXPECT_EQ(g_Cutter.GetErrorFlag(), 1);
}

TEST_F(CutterScreen, PutsBackAClearFlagAfterACutThatFailedInIt) {
  InApp([] {
    g_PortMotorEnable.Set();
    ASSERT_EQ(g_Cutter.SettlePosition(), 0);
  });
  Mechanism().SetAxisStuck(sim::Axis::Cutter, true);
  Start([] { g_Cutter.TestScreen(2); });
  ASSERT_TRUE(RunUntilShown("Cutter     :LEFT")) << Lcd().Visible();
  Keys().Tap(PanelKey::Enter, Ms(200), Ms(60));
  ASSERT_TRUE(RunUntilShown("Cutter    :UNDEF", Ms(3000))) << Lcd().Visible();
  EXPECT_EQ(g_Cutter.GetErrorFlag(), 1) << "the failed cut";
  Keys().Tap(PanelKey::Clear, Ms(200), Ms(60));
  ASSERT_TRUE(Finish(Ms(2000)));
  EXPECT_EQ(g_Cutter.GetErrorFlag(), 0);
  static uint32_t s_ulTimedOut;
  InApp([] { g_ErrorMng.IsErrorSet(0x219, &s_ulTimedOut); });
  EXPECT_EQ(s_ulTimedOut, 1u) << "towards RIGHT";
}

// Without paper at either top the EM3 screen asks for it for a second and
// moves nothing.
TEST_F(PanelTest, TheEm3MainPinchScreenAsksForPaperForOneSecond) {
  PaperAt<false, false>(*m_machine);
  InApp([] {
    g_PortMotorEnable.Set();
    LightPhotoSensors();
    g_ProllMainEM3.MoveUpAndWait();
  });
  Start([] { g_ProllMainEM3.TestScreen(); });
  ASSERT_TRUE(RunUntilShown("Main:L-UP/R-UP  ")) << Lcd().Visible();
  const sim::Nanos before = m_machine->Now();
  Keys().Tap(PanelKey::Enter, Ms(200), Ms(60));
  ASSERT_TRUE(RunUntilShown("Set Paper!      ", Ms(1000))) << Lcd().Visible();
  const sim::Nanos asked = m_machine->Now();
  m_machine->RunUntil([this] { return Lcd().Visible() != "Set Paper!      "; }, Ms(2000));
  const sim::Nanos shown = m_machine->Now() - asked;
  EXPECT_GE(shown, Ms(1000));
  EXPECT_LT(shown, Ms(1010));
  EXPECT_TRUE(RunUntilShown("Main:L-UP/R-UP  ")) << "the title and the position again";
  const auto& trace = m_machine->GetBoard().FindDevice<sim::DcMechanism>()->Trace();
  EXPECT_FALSE(trace.AnythingMovedSince(before)) << trace.Text();
  Keys().Tap(PanelKey::Clear, Ms(200), Ms(60));
  EXPECT_TRUE(Finish(Ms(2000)));
}

}  // namespace
}  // namespace paneltest
