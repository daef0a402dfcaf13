// The eject motor on a printer running its main loop: built in its place
// by the machine definition, started by direction at "MoveDuty[%]" (the
// exit rollers travel out or in), stopped softly (a brake, off 100 ms
// later) and only when running, stopped still when a cover opens during
// the brake, and started by a paper move that asks for it.
#include <gtest/gtest.h>

#include <vector>

#include "firmware/devices/machine_actuators.h"
#include "firmware/devices/paper_position.h"
#include "firmware/devices/parameter.h"
#include "firmware/devices/settings.h"
#include "firmware/mechanism/eject_motor.h"
#include "sim/bus_trace.h"
#include "sim/mechanism/dc_mechanism.h"
#include "sim/mechanism/mechanism_inputs.h"
#include "tests/support/carousel.h"

namespace {

using carouseltest::CarouselPrinter;
using sim::DriveState;
using testsupport::Ms;

// DCMOTOR1, which holds the eject motor's lines, and its PWM pair (channel
// 15).
constexpr uint32_t kDcMotor1 = 0x64000032u;
constexpr uint32_t kEjectPwmPair = 0x64000088u;

class EjectMotor : public CarouselPrinter {
 protected:
  void SetUp() override { BootReady(sim::EngineVariant::EM3); }
  std::vector<carouseltest::DriveChange> MotorSince(sim::Nanos since) {
    return carouseltest::DrivesOf(Mechanism().Trace(), "DcMotorEject", since);
  }
  int32_t Stop() {
    int32_t lResult = 9;
    EXPECT_TRUE(InLoop([&] { lResult = g_EjectMotor.Stop(); }, Ms(2000)));
    return lResult;
  }
};

TEST_F(EjectMotor, IsBuiltInItsPlaceOnItsChopperAndStopped) {
  EXPECT_EQ(g_EjectMotor.Motor(), &g_ChopMotorEject);
  EXPECT_EQ(g_EjectMotor.IsRunning(), 0);
  EXPECT_EQ(Mechanism().Drive(sim::DcMotor::Eject), DriveState::Stop);
  EXPECT_FALSE(m_machine->Logged("[placeholder] CEjectMotor (eject motor) is not built yet"));
}

TEST_F(EjectMotor, DirectionOneRunsReverseAnyOtherForwardAtTheMoveDuty) {
  struct Case {
    uint32_t ulDirection;
    int32_t lDuty;  // "MoveDuty[%]"
    DriveState drive;
  };
  const Case cases[] = {{1, 60, DriveState::Reverse},
                        {0, 60, DriveState::Forward},
                        {2, 60, DriveState::Forward},
                        {0xFFFFFFFFu, 60, DriveState::Forward},
                        {1, 35, DriveState::Reverse}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ulDirection);
    int32_t lResult = 9, lRunning = 9;
    ASSERT_TRUE(InLoop([&] {
      g_ParamEjectMotorDuty.SetValueNoSave(c.lDuty);
      lResult = g_EjectMotor.Start(c.ulDirection);
      lRunning = g_EjectMotor.IsRunning();
    }));
    EXPECT_EQ(lResult, 0);
    EXPECT_EQ(lRunning, 1);
    EXPECT_EQ(Mechanism().Drive(sim::DcMotor::Eject), c.drive);
    EXPECT_EQ(Mechanism().SpeedPercent(sim::DcMotor::Eject), static_cast<uint32_t>(c.lDuty));
    // The rollers carry the sheet out under Forward, in under Reverse.
    const int64_t speed = Mechanism().GetEjectRollers().Speed();
    EXPECT_EQ(speed, (c.drive == DriveState::Forward ? 1 : -1) * int64_t{sim::EjectRollers::kFullSpeed} * c.lDuty / 100);
    EXPECT_EQ(Stop(), 0);
  }
}

TEST_F(EjectMotor, StopBrakesAndSwitchesTheMotorOff100MsLater) {
  ASSERT_TRUE(InLoop([] { g_EjectMotor.Start(0); }));
  m_machine->RunFor(Ms(200));
  const sim::Nanos since = m_machine->Now();
  EXPECT_EQ(Stop(), 0);
  EXPECT_EQ(g_EjectMotor.IsRunning(), 0);
  const std::vector<carouseltest::DriveChange> events = MotorSince(since);
  ASSERT_EQ(events.size(), 2u) << Mechanism().Trace().Text();
  EXPECT_EQ(events[0].drive, DriveState::Brake);
  EXPECT_EQ(events[1].drive, DriveState::Stop);
  EXPECT_GE(events[1].at - events[0].at, Ms(100));
  EXPECT_LT(events[1].at - events[0].at, Ms(101));
  EXPECT_FALSE(Mechanism().GetEjectRollers().Turning());
}

TEST_F(EjectMotor, StopWhileNotRunningMakesNoMotorCall) {
  sim::BusTrace& trace = m_machine->GetBoard().GetBus().Trace();
  trace.Start();
  EXPECT_EQ(Stop(), 0);
  trace.Stop();
  EXPECT_TRUE(trace.In(kDcMotor1, kDcMotor1 + 1, sim::BusTrace::Kind::Writes).empty());
  EXPECT_TRUE(trace.In(kEjectPwmPair, kEjectPwmPair + 3, sim::BusTrace::Kind::Writes).empty());
}

// The abort check of the wait sees the cover: the motor is switched off at
// once, the flag cleared, and Stop returns the abort.
TEST_F(EjectMotor, ACoverOpenedDuringTheBrakeStillSwitchesTheMotorOff) {
  ASSERT_TRUE(InLoop([] { g_EjectMotor.Start(1); }));
  bool bDone = false;
  int32_t lResult = 9;
  m_machine->AtNextPass([&] {
    lResult = g_EjectMotor.Stop();
    bDone = true;
  });
  m_machine->RunUntil([&] { return Mechanism().Drive(sim::DcMotor::Eject) == DriveState::Brake; }, Ms(100));
  ASSERT_EQ(Mechanism().Drive(sim::DcMotor::Eject), DriveState::Brake);
  const sim::Nanos braked = m_machine->Now();
  m_machine->RunFor(Ms(40));
  Inputs().SetCoverOpen(sim::Cover::Front, true);
  const sim::Nanos opened = m_machine->Now();
  m_machine->RunUntil([&] { return bDone; }, Ms(200));
  ASSERT_TRUE(bDone);
  EXPECT_EQ(lResult, -1);
  EXPECT_EQ(g_EjectMotor.IsRunning(), 0);
  const std::vector<carouseltest::DriveChange> events = MotorSince(braked);
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back().drive, DriveState::Stop);
  EXPECT_GE(events.back().at, opened);
  EXPECT_LT(events.back().at - braked, Ms(100)) << "before the wait's end";
}

// A move of the paper position whose feed-drive mode is not 40 starts the
// eject motor with the paper: forward with a forward move, reverse with a
// backward one.
TEST_F(EjectMotor, APaperMoveWithFeedDriveTenStartsItInTheMovesDirection) {
  struct Case {
    int32_t lSteps;
    DriveState drive;
  };
  for (const Case& c : {Case{200, DriveState::Forward}, Case{-200, DriveState::Reverse}}) {
    SCOPED_TRACE(c.lSteps);
    int32_t lRunning = 9;
    ASSERT_TRUE(InLoop([&] {
      g_PaperPosition.SetParam(PAPER_PARAM_EXCITATION_MODE, 2);
      g_PaperPosition.SetParam(PAPER_PARAM_FEED_DRIVE, 10);
      g_PaperPosition.MoveSteps(c.lSteps);
      lRunning = g_EjectMotor.IsRunning();
      g_PaperPosition.StopAtTarget();
    }));
    EXPECT_EQ(lRunning, 1);
    EXPECT_EQ(Mechanism().Drive(sim::DcMotor::Eject), c.drive);
    EXPECT_EQ(Mechanism().SpeedPercent(sim::DcMotor::Eject), 60u);
    EXPECT_EQ(Stop(), 0);
    EXPECT_EQ(Mechanism().Drive(sim::DcMotor::Eject), DriveState::Stop);
  }
}

}  // namespace
