// The positioners moving the parts of the virtual board: each move of the
// table starts in the application between two passes and is polled with
// the abort check between the polls, as the unit moves of the sequences
// poll it; the model's switches end it.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "firmware/control/panel_test_rig.h"
#include "firmware/devices/machine_ports.h"
#include "firmware/devices/settings.h"
#include "firmware/mechanism/cutter.h"
#include "firmware/sequences/event_actions.h"
#include "sim/mechanism/dc_mechanism.h"
#include "sim/mechanism/positioner_geometry.h"
#include "tests/support/positioners.h"

namespace paneltest {
namespace {

using namespace positionertest;

struct MoveCase {
  const char* pszName;
  Part part;
  std::vector<uint32_t> before;  // moves that bring the part to its start
  uint32_t ulRequest;
  uint32_t ulMotorState;  // right after the start
  uint32_t ulPeriod;      // 0: not looked at
  uint32_t ulDuty;
  uint32_t ulPosition;
};

// Duties that tell the eject pinch's two settings apart.
constexpr int32_t kEjectDuty1 = 40, kEjectDuty2 = 100;

const std::vector<MoveCase> kMoves = {
    {"head L down", Part::HeadL, {}, 2, DC_MOTOR_FORWARD, 800, 100, 2},
    {"head L up", Part::HeadL, {2}, 1, DC_MOTOR_REVERSE, 800, 100, 1},
    {"head L up while up", Part::HeadL, {}, 1, DC_MOTOR_STOPPED, 800, 100, 1},
    {"head R down", Part::HeadR, {}, 2, DC_MOTOR_FORWARD, 800, 100, 2},
    {"head R up", Part::HeadR, {2}, 1, DC_MOTOR_REVERSE, 800, 100, 1},
    {"load pinch down", Part::LoadPinch, {}, 2, DC_MOTOR_FORWARD, 0, 0, 2},
    {"load pinch up", Part::LoadPinch, {2}, 1, DC_MOTOR_REVERSE, 0, 0, 1},
    {"load bar down", Part::LoadBar, {}, 2, DC_MOTOR_FORWARD, 100, 60, 2},
    {"load bar up", Part::LoadBar, {2}, 1, DC_MOTOR_REVERSE, 100, 100, 1},
    {"eject pinch to FDown from rest", Part::EjectPinch, {}, 2, DC_MOTOR_REVERSE, 0, kEjectDuty1, 2},
    {"eject pinch FDown to Up", Part::EjectPinch, {2}, 1, DC_MOTOR_FORWARD, 0, kEjectDuty2, 1},
    {"eject pinch FDown to CDown", Part::EjectPinch, {2}, 3, DC_MOTOR_REVERSE, 0, kEjectDuty1, 3},
    {"eject pinch Up to CDown", Part::EjectPinch, {2, 1}, 3, DC_MOTOR_FORWARD, 0, kEjectDuty2, 3},
    {"eject pinch Up to FDown", Part::EjectPinch, {2, 1}, 2, DC_MOTOR_REVERSE, 0, kEjectDuty1, 2},
    {"eject pinch CDown to Up", Part::EjectPinch, {2, 3}, 1, DC_MOTOR_REVERSE, 0, kEjectDuty1, 1},
    {"eject pinch CDown to FDown", Part::EjectPinch, {2, 3}, 2, DC_MOTOR_FORWARD, 0, kEjectDuty2, 2},
    {"path selector to 4", Part::PathSel, {}, 4, DC_MOTOR_REVERSE, 0, 0, 4},
    {"path selector back to 3", Part::PathSel, {4}, 3, DC_MOTOR_FORWARD, 0, 0, 3},
    {"path selector to 3 while there", Part::PathSel, {}, 3, DC_MOTOR_STOPPED, 0, 0, 3},
    {"lock released from rest", Part::RotLock, {}, 1, DC_MOTOR_REVERSE, 0, 60, 3},
    {"lock unlocked", Part::RotLock, {}, 3, DC_MOTOR_REVERSE, 0, 100, 3},
    {"lock locked again", Part::RotLock, {3}, 5, DC_MOTOR_FORWARD, 0, 60, 5},
    // The cutter settles at LEFT first; its request is the cut mode, the
    // duty the start duty.
    {"cutter mode 1 from LEFT", Part::Cutter, {}, 1, DC_MOTOR_FORWARD, 0, 100, 2},
    {"cutter mode 2 from LEFT", Part::Cutter, {}, 2, DC_MOTOR_FORWARD, 0, 50, 2},
    {"cutter mode 3 from LEFT", Part::Cutter, {}, 3, DC_MOTOR_FORWARD, 0, 50, 2},
    {"cutter mode 1 from RIGHT", Part::Cutter, {2}, 1, DC_MOTOR_REVERSE, 0, 100, 1},
    {"cutter mode 2 from RIGHT", Part::Cutter, {2}, 2, DC_MOTOR_REVERSE, 0, 50, 1},
    {"cutter mode 3 from RIGHT", Part::Cutter, {2}, 3, DC_MOTOR_REVERSE, 0, 50, 1},
};

class PositionerMoves : public PanelTest, public ::testing::WithParamInterface<MoveCase> {};

TEST_P(PositionerMoves, EndOnTheModelsSwitchesWellInsideTheTimeOut) {
  const MoveCase& c = GetParam();
  static int32_t s_lResult;
  static uint32_t s_ulState, s_ulPeriod, s_ulDuty, s_ulPosition, s_ulElapsed;
  InApp(
      [&c] {
        g_PortMotorEnable.Set();
        g_ParamEjectPinchDuty1.SetValueNoSave(kEjectDuty1);
        g_ParamEjectPinchDuty2.SetValueNoSave(kEjectDuty2);
        const Driven d = Of(c.part);
        Prepare(d, c.before);
        if (::testing::Test::HasFatalFailure()) return;
        const uint32_t ulStart = g_MsTimer.NowMs();
        d.start(c.ulRequest);
        d.pMotor->GetState(&s_ulState);
        s_ulPeriod = s_ulDuty = 0;
        if (d.pChopper != nullptr) {
          d.pChopper->GetPeriod(&s_ulPeriod);
          d.pChopper->GetDuty(&s_ulDuty);
        }
        s_lResult = Poll(d);
        s_ulElapsed = g_MsTimer.NowMs() - ulStart;
        s_ulPosition = d.position();
      },
      Ms(20000));
  EXPECT_EQ(s_lResult, 0);
  EXPECT_EQ(s_ulState, c.ulMotorState);
  if (c.ulPeriod != 0) {
    EXPECT_EQ(s_ulPeriod, c.ulPeriod);
  }
  if (c.ulDuty != 0) {
    EXPECT_EQ(s_ulDuty, c.ulDuty);
  }
  EXPECT_EQ(s_ulPosition, c.ulPosition);
  EXPECT_LT(s_ulElapsed, 1500u) << "well inside the time-out";
  if (c.ulMotorState != DC_MOTOR_STOPPED) {
    EXPECT_GT(s_ulElapsed, 100u) << "a real travel";
  }
}

INSTANTIATE_TEST_SUITE_P(Table, PositionerMoves, ::testing::ValuesIn(kMoves), CaseName<::testing::TestParamInfo<MoveCase>>);

}  // namespace
}  // namespace paneltest

namespace paneltest {
namespace {

namespace geometry = sim::positioner;

class CutterOnTheModel : public PanelTest {
 protected:
  sim::DcMechanism& Mechanism() { return *m_machine->GetBoard().FindDevice<sim::DcMechanism>(); }
  // The trace's cutter events from `from` on, as text for failure messages.
  std::string CutterTrace(sim::Nanos from) {
    std::string text;
    for (const sim::MechanismEvent& e : Mechanism().Trace().Events()) {
      if (e.at >= from && (e.name == "Cutter" || e.name == "CutterCrossing" || e.name == "DcMotorCutter")) {
        text += e.Text() + "\n";
      }
    }
    return text;
  }
  // The time the carriage reported the position `at` at or after `from`.
  std::optional<sim::Nanos> Reached(sim::Nanos from, int32_t at) {
    for (const sim::MechanismEvent& e : Mechanism().Trace().Of("Cutter")) {
      if (e.at >= from && e.value == at) return e.at;
    }
    return std::nullopt;
  }
};

// A cut in each mode from each side: the duties the carriage ran at, and
// the run duty taken at the first poll after the centre switch came on,
// while the carriage still passes it.
struct CrossingCase {
  const char* pszName;
  bool bFromRight;
  uint32_t ulMode;
  std::vector<uint32_t> duties;
};

const std::vector<CrossingCase> kCrossings = {
    {"mode 1 from LEFT", false, 1, {100, 42}}, {"mode 2 from LEFT", false, 2, {50}},
    {"mode 3 from LEFT", false, 3, {50, 22}},  {"mode 1 from RIGHT", true, 1, {100, 42}},
    {"mode 2 from RIGHT", true, 2, {50}},      {"mode 3 from RIGHT", true, 3, {50, 22}},
};

class CutterCrossings : public CutterOnTheModel, public ::testing::WithParamInterface<CrossingCase> {};

TEST_P(CutterCrossings, RunTheModesDutiesAndTakeTheRunDutyAtTheFirstPollAfterTheCentre) {
  const CrossingCase& c = GetParam();
  static int32_t s_lResult;
  static uint32_t s_ulPosition;
  InApp(
      [&c] {
        g_PortMotorEnable.Set();
        Prepare(CutterDriven(), c.bFromRight ? std::vector<uint32_t>{2} : std::vector<uint32_t>{});
      },
      Ms(5000));
  const size_t before = Mechanism().Crossings().size();
  const sim::Nanos from = m_machine->Now();
  InApp(
      [&c] {
        const Driven d = CutterDriven();
        s_lResult = d.start(c.ulMode);
        if (s_lResult == 0) s_lResult = Poll(d);
        s_ulPosition = d.position();
      },
      Ms(5000));
  const std::string trace = CutterTrace(from);
  EXPECT_EQ(s_lResult, 0) << trace;
  EXPECT_EQ(s_ulPosition, c.bFromRight ? static_cast<uint32_t>(CUTTER_LEFT) : static_cast<uint32_t>(CUTTER_RIGHT));
  const auto& crossings = Mechanism().Crossings();
  ASSERT_EQ(crossings.size(), before + 1) << trace;
  const sim::CutterCrossing& crossing = crossings.back();
  EXPECT_TRUE(Mechanism().CrossingComplete(crossing)) << trace;
  EXPECT_EQ(crossing.duties, c.duties) << trace;
  EXPECT_LT(crossing.end - crossing.start, Ms(600)) << "well inside the time-out";
  // In the trace: the start, each duty, the end.
  std::vector<sim::MechanismEventKind> kinds;
  for (const sim::MechanismEvent& e : Mechanism().Trace().Of("CutterCrossing")) {
    if (e.at >= from) kinds.push_back(e.kind);
  }
  std::vector<sim::MechanismEventKind> expected{sim::MechanismEventKind::CrossingStart};
  expected.insert(expected.end(), c.duties.size(), sim::MechanismEventKind::CrossingDuty);
  expected.push_back(sim::MechanismEventKind::CrossingEnd);
  EXPECT_EQ(kinds, expected) << trace;
  if (c.duties.size() < 2) return;
  // The centre window as the carriage enters and leaves it.
  const int32_t near = geometry::kCutterCentre + (c.bFromRight ? 1 : -1) * geometry::kCutterFlagWidth / 2;
  const int32_t past = geometry::kCutterCentre - (c.bFromRight ? 1 : -1) * (geometry::kCutterFlagWidth / 2 + 1);
  const auto entered = Reached(from, near);
  const auto left = Reached(from, past);
  ASSERT_TRUE(entered && left) << trace;
  sim::Nanos dutyAt = 0;
  for (const sim::MechanismEvent& e : Mechanism().Trace().Of("CutterCrossing")) {
    if (e.at >= from && e.kind == sim::MechanismEventKind::CrossingDuty && e.value == static_cast<int32_t>(c.duties[1])) {
      dutyAt = e.at;
    }
  }
  EXPECT_GE(dutyAt, *entered) << trace;
  EXPECT_LT(dutyAt, *left) << trace;
}

INSTANTIATE_TEST_SUITE_P(Table, CutterCrossings, ::testing::ValuesIn(kCrossings),
                         CaseName<::testing::TestParamInfo<CrossingCase>>);

// Settling from where the carriage stands at power-on: an end switch gives
// the side, between the ends the carriage goes home to LEFT in mode 2.
struct SettleCase {
  const char* pszName;
  uint32_t ulPlaceMs;  // driven towards RIGHT at full duty first
  uint32_t ulPosition;
  bool bDrivesHome;
};

const std::vector<SettleCase> kSettles = {
    {"at LEFT", 0, CUTTER_LEFT, false},
    {"at RIGHT", 300, CUTTER_RIGHT, false},
    // 96 mm from LEFT: no switch there.
    {"between the ends", 60, CUTTER_LEFT, true},
};

class CutterSettling : public CutterOnTheModel, public ::testing::WithParamInterface<SettleCase> {};

TEST_P(CutterSettling, FindsTheSideOrDrivesHome) {
  const SettleCase& c = GetParam();
  static int32_t s_lResult;
  static uint32_t s_ulPosition;
  InApp(
      [&c] {
        g_PortMotorEnable.Set();
        if (c.ulPlaceMs == 0) return;
        g_ChopMotorCutter.SetDuty(100);
        g_ChopMotorCutter.Forward();
        g_MsTimer.WaitMs(c.ulPlaceMs);
        g_ChopMotorCutter.Brake();
      },
      Ms(5000));
  const size_t before = Mechanism().Crossings().size();
  const sim::Nanos from = m_machine->Now();
  InApp(
      [] {
        const Driven d = CutterDriven();
        s_lResult = d.settle();
        if (s_lResult == 0) s_lResult = Poll(d);
        s_ulPosition = d.position();
      },
      Ms(5000));
  const std::string trace = CutterTrace(from);
  EXPECT_EQ(s_lResult, 0) << trace;
  EXPECT_EQ(s_ulPosition, c.ulPosition);
  const auto& crossings = Mechanism().Crossings();
  ASSERT_EQ(crossings.size(), before + (c.bDrivesHome ? 1 : 0)) << trace;
  if (!c.bDrivesHome) return;
  EXPECT_EQ(crossings.back().duties, std::vector<uint32_t>{50});
  EXPECT_LE(crossings.back().to, geometry::kCutterEndZone) << "at LEFT";
  EXPECT_EQ(Mechanism().Drive(sim::DcMotor::Cutter), sim::DriveState::Brake);
}

INSTANTIATE_TEST_SUITE_P(Table, CutterSettling, ::testing::ValuesIn(kSettles),
                         CaseName<::testing::TestParamInfo<SettleCase>>);

}  // namespace
}  // namespace paneltest

namespace paneltest {
namespace {

// Switching everything off in the middle of a cut stops the carriage where
// it is: no cut across, the side forgotten; the next cut settles again,
// which drives the carriage home first.
TEST_F(CutterOnTheModel, SwitchingAllOffInterruptsACutAndTheNextCutSettlesAgain) {
  static int32_t s_lResult;
  static uint32_t s_ulStopped, s_ulHome, s_ulAcross;
  InApp(
      [] {
        g_PortMotorEnable.Set();
        ASSERT_EQ(g_Cutter.SettlePosition(), 0);
        ASSERT_EQ(g_Cutter.Cut(3), 0);
        g_MsTimer.WaitMs(100);
        MechaAllOff();
        g_Cutter.GetPosition(&s_ulStopped);
      },
      Ms(5000));
  EXPECT_EQ(s_ulStopped, 0u);
  EXPECT_EQ(Mechanism().Drive(sim::DcMotor::Cutter), sim::DriveState::Stop);
  ASSERT_EQ(Mechanism().Crossings().size(), 1u);
  const sim::CutterCrossing interrupted = Mechanism().Crossings().back();
  EXPECT_FALSE(Mechanism().CrossingComplete(interrupted)) << "stopped at " << interrupted.to;
  RunFor(Ms(200));
  EXPECT_EQ(Mechanism().Position(sim::Axis::Cutter), interrupted.to) << "and stands there";
  InApp(
      [] {
        const Driven d = CutterDriven();
        s_lResult = d.start(3);  // settles: between the ends, home in mode 2
        if (s_lResult == 0) s_lResult = Poll(d);
        s_ulHome = d.position();
        if (s_lResult == 0) s_lResult = d.start(3);
        if (s_lResult == 0) s_lResult = Poll(d);
        s_ulAcross = d.position();
      },
      Ms(5000));
  EXPECT_EQ(s_lResult, 0);
  EXPECT_EQ(s_ulHome, static_cast<uint32_t>(CUTTER_LEFT));
  EXPECT_EQ(s_ulAcross, static_cast<uint32_t>(CUTTER_RIGHT));
  const auto& crossings = Mechanism().Crossings();
  ASSERT_EQ(crossings.size(), 3u);
  EXPECT_EQ(crossings[1].duties, std::vector<uint32_t>{50}) << "home";
  EXPECT_FALSE(Mechanism().CrossingComplete(crossings[1])) << "from between the ends";
  EXPECT_TRUE(Mechanism().CrossingComplete(crossings[2]));
  EXPECT_EQ(crossings[2].duties, (std::vector<uint32_t>{50, 22}));
}

}  // namespace
}  // namespace paneltest
