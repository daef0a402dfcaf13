// The positioners moving the parts of the virtual board: each move of the
// table starts in the application between two passes and is polled with
// the abort check between the polls, as the unit moves of the sequences
// poll it; the model's switches end it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "firmware/control/panel_test_rig.h"
#include "firmware/devices/machine_ports.h"
#include "firmware/devices/settings.h"
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
