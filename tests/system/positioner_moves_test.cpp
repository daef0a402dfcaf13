// The positioners moving the parts of the virtual board: each move of the
// table starts in the application between two passes and is polled with
// the abort check between the polls, as the unit moves of the sequences
// poll it; the model's switches end it.
#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <string>
#include <vector>

#include "firmware/control/error_manager.h"
#include "firmware/control/panel_test_rig.h"
#include "firmware/devices/chop_motor.h"
#include "firmware/devices/dc_motor.h"
#include "firmware/devices/machine_actuators.h"
#include "firmware/devices/machine_ports.h"
#include "firmware/devices/settings.h"
#include "firmware/mechanism/path_select.h"
#include "firmware/mechanism/rotation_lock.h"
#include "firmware/mechanism/simple_positioners.h"
#include "firmware/mechanism/step_machine.h"
#include "firmware/sequences/event_actions.h"
#include "sim/mechanism/dc_mechanism.h"
#include "sim/mechanism/mechanism_inputs.h"

namespace paneltest {
namespace {

enum class Part { HeadL, HeadR, LoadPinch, LoadBar, EjectPinch, PathSel, RotLock };

// One positioner as the table drives it.
struct Driven {
  std::function<int32_t(uint32_t)> start;
  std::function<int32_t(int32_t*)> step;
  std::function<uint32_t()> position;
  CDcMotor* pMotor;
  CFpgaChopMotor* pChopper;  // null for a plain DC motor
};

template <typename T>
Driven Drive(T& positioner, CDcMotor* pMotor, CFpgaChopMotor* pChopper) {
  return {[&positioner](uint32_t r) { return positioner.StartMove(r); },
          [&positioner](int32_t* p) { return positioner.Step(p); },
          [&positioner] {
            uint32_t ulPosition = 0;
            positioner.GetPosition(&ulPosition);
            return ulPosition;
          },
          pMotor, pChopper};
}

Driven Of(Part part) {
  switch (part) {
    case Part::HeadL: return Drive(g_HeadLiftL, &g_DcMotorHeadL, &g_ChopMotorHeadL);
    case Part::HeadR: return Drive(g_HeadLiftR, &g_DcMotorHeadR, &g_ChopMotorHeadR);
    case Part::LoadPinch: return Drive(g_LoadPinch, &g_DcMotorLoadPinch, nullptr);
    case Part::LoadBar: return Drive(g_LoadBar, &g_DcMotorLoadBar, &g_ChopMotorLoadBar);
    case Part::EjectPinch: return Drive(g_EjectPinch, &g_DcMotorEjectPinch, &g_ChopMotorEjectPinch);
    case Part::PathSel: return Drive(g_PathSelect, &g_DcMotorPathSel, nullptr);
    case Part::RotLock: return Drive(g_RotationLock, &g_DcMotorRotLock, &g_ChopMotorRotLock);
  }
  return {};
}

// Polls until done or failure with the abort check between the polls.
int32_t Poll(const Driven& d) {
  int32_t lResult = 0, lDone = 0;
  while (lResult == 0 && lDone == 0) {
    lResult = d.step(&lDone);
    if (lResult == 0 && lDone == 0 && CheckAbort(SEQ_CHECK_COVERS) != 0) return -2;
  }
  return lResult;
}

// The case's name as a test name.
template <typename Info>
std::string CaseName(const Info& test) {
  std::string name = test.param.pszName;
  for (char& ch : name) {
    if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
  }
  return name;
}

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
        for (uint32_t ulBefore : c.before) {
          ASSERT_EQ(d.start(ulBefore), 0);
          ASSERT_EQ(Poll(d), 0) << "to " << ulBefore;
        }
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

// A part that does not move: the time-out of its target is raised, the
// motor stopped, the position undefined, and the latch holds after it.
struct StuckCase {
  const char* pszName;
  Part part;
  sim::Axis axis;
  std::vector<uint32_t> before;
  uint32_t ulRequest;
  uint32_t ulError;
};

const std::vector<StuckCase> kStuck = {
    {"head L down", Part::HeadL, sim::Axis::HeadL, {}, 2, 0x203},
    {"head L up", Part::HeadL, sim::Axis::HeadL, {2}, 1, 0x201},
    {"head R down", Part::HeadR, sim::Axis::HeadR, {}, 2, 0x204},
    {"head R up", Part::HeadR, sim::Axis::HeadR, {2}, 1, 0x202},
    {"load pinch up", Part::LoadPinch, sim::Axis::LoadPinch, {2}, 1, 0x212},
    {"load pinch down", Part::LoadPinch, sim::Axis::LoadPinch, {}, 2, 0x213},
    {"load bar up", Part::LoadBar, sim::Axis::LoadBar, {2}, 1, 0x21D},
    {"load bar down", Part::LoadBar, sim::Axis::LoadBar, {}, 2, 0x21E},
    {"eject pinch up", Part::EjectPinch, sim::Axis::EjectPinch, {2}, 1, 0x217},
    {"eject pinch down", Part::EjectPinch, sim::Axis::EjectPinch, {}, 2, 0x218},
    {"lock unlocking", Part::RotLock, sim::Axis::RotLock, {}, 3, 0x220},
    {"lock locking", Part::RotLock, sim::Axis::RotLock, {3}, 5, 0x221},
    {"path selector to 4", Part::PathSel, sim::Axis::PathSel, {}, 4, 0x211},
    {"path selector to 3", Part::PathSel, sim::Axis::PathSel, {4}, 3, 0x210},
};

class StuckPositioners : public PanelTest, public ::testing::WithParamInterface<StuckCase> {
 protected:
  sim::DcMechanism& Mechanism() { return *m_machine->GetBoard().FindDevice<sim::DcMechanism>(); }
};

TEST_P(StuckPositioners, RaiseTheTimeOutOfTheTargetAndStayLatched) {
  const StuckCase& c = GetParam();
  static int32_t s_lResult, s_lRestart, s_lAgain;
  static uint32_t s_ulState, s_ulPosition, s_ulFlag, s_ulAfterRestart, s_ulFlagAgain;
  InApp(
      [&c] {
        g_PortMotorEnable.Set();
        const Driven d = Of(c.part);
        for (uint32_t ulBefore : c.before) {
          ASSERT_EQ(d.start(ulBefore), 0);
          ASSERT_EQ(Poll(d), 0) << "to " << ulBefore;
        }
      },
      Ms(20000));
  Mechanism().SetAxisStuck(c.axis, true);
  InApp(
      [&c] {
        const Driven d = Of(c.part);
        ASSERT_EQ(d.start(c.ulRequest), 0);
        s_lResult = Poll(d);
        d.pMotor->GetState(&s_ulState);
        s_ulPosition = d.position();
        g_ErrorMng.IsErrorSet(c.ulError, &s_ulFlag);
        g_ErrorMng.ClearError(c.ulError);
        // Latched: the next start moves nothing, the next step fails again.
        s_lRestart = d.start(c.ulRequest);
        d.pMotor->GetState(&s_ulAfterRestart);
        int32_t lDone = 0;
        s_lAgain = d.step(&lDone);
        g_ErrorMng.IsErrorSet(c.ulError, &s_ulFlagAgain);
      },
      Ms(20000));
  EXPECT_EQ(s_lResult, -1);
  EXPECT_EQ(s_ulFlag, 1u) << "error " << c.ulError;
  EXPECT_EQ(s_ulState, static_cast<uint32_t>(DC_MOTOR_STOPPED));
  EXPECT_EQ(s_ulPosition, 0u);
  EXPECT_EQ(s_lRestart, 0);
  EXPECT_EQ(s_ulAfterRestart, static_cast<uint32_t>(DC_MOTOR_STOPPED));
  EXPECT_EQ(s_lAgain, -1);
}

INSTANTIATE_TEST_SUITE_P(Table, StuckPositioners, ::testing::ValuesIn(kStuck), CaseName<::testing::TestParamInfo<StuckCase>>);

}  // namespace
}  // namespace paneltest

namespace paneltest {
namespace {

class AbortedMove : public PanelTest {
 protected:
  sim::MechanismInputs& Inputs() { return *m_machine->GetBoard().FindDevice<sim::MechanismInputs>(); }
  sim::DcMechanism& Mechanism() { return *m_machine->GetBoard().FindDevice<sim::DcMechanism>(); }
};

TEST_F(AbortedMove, ACoverOpenedDuringAHeadMoveEndsItAndSwitchingAllOffStopsTheHead) {
  static int32_t s_lResult;
  static uint32_t s_ulState, s_ulPosition;
  InApp([] { g_PortMotorEnable.Set(); });
  Start([] {
    s_lResult = g_HeadLiftL.StartMove(HEAD_POS_DOWN);
    s_lResult = Poll(Of(Part::HeadL));
    MechaAllOff();
    g_DcMotorHeadL.GetState(&s_ulState);
    g_HeadLiftL.GetPosition(&s_ulPosition);
  });
  RunFor(Ms(150));
  Inputs().SetCoverOpen(sim::Cover::Front, true);
  ASSERT_TRUE(Finish(Ms(1000)));
  EXPECT_EQ(s_lResult, -2) << "the abort check ended the polls";
  EXPECT_EQ(s_ulState, static_cast<uint32_t>(DC_MOTOR_STOPPED));
  EXPECT_EQ(s_ulPosition, 0u);
  const int32_t stopped = Mechanism().Position(sim::Axis::HeadL);
  EXPECT_GT(stopped, 0);
  RunFor(Ms(500));
  EXPECT_EQ(Mechanism().Position(sim::Axis::HeadL), stopped) << "halfway down and still";
}

}  // namespace
}  // namespace paneltest
