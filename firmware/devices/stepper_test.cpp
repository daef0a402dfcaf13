// The stepper state machine on real pulses: the periods a ramp run plays,
// short runs, pending states, the sub stepper drawn down, the stops and the
// refusals; and the drivers' control bytes, fans and top-speed modulation.
#include "firmware/devices/stepper.h"

#include <gtest/gtest.h>

#include "firmware/devices/paper_position.h"
#include "firmware/devices/settings.h"
#include "firmware/devices/fan.h"
#include "firmware/devices/stepper_test_rig.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/platform/time_base.h"
#include "firmware/platform/us_timer.h"
#include "tests/support/ramp_run.h"

namespace steppertest {
namespace {

using sim::Stepper;

class Steppers : public StepperTest {
 protected:
  void TearDown() override {
    InApp([] {
      g_StpmtrMain.Stop();
      g_StpmtrSub.Stop();
      g_StpmtrSub.SetIndependent(0);
    });
    StepperTest::TearDown();
  }
  TestRamp m_ramp;
};

TEST_F(Steppers, ARampRunPlaysTheAccelerationTheTopAndTheDecelerationWalkedBack) {
  ASSERT_EQ(m_ramp.ramp.SetupByRate(1000, 3000, 20), 0);
  const uint32_t ulLength = m_ramp.Count();
  ASSERT_GT(ulLength, 10u);
  const uint32_t ulSteps = 2 * ulLength + 15;
  InApp([&] { EXPECT_EQ(g_StpmtrMain.RunRamp(m_ramp.Table(), m_ramp.Table(), ulLength, 0, 2, ulSteps, 0), 0); });
  ASSERT_TRUE(RunUntilPulses(0, ulSteps + 3));
  // The start edge to the first pulse is entry 0; the handler of pulse k
  // loads the interval after it. Then the motor keeps the last period at
  // constant rate.
  std::vector<uint32_t> expected = testsupport::RampRunIntervals(m_ramp.Table(), ulLength, ulSteps);
  expected.push_back(m_ramp.storage[1]);
  expected.push_back(m_ramp.storage[1]);
  std::vector<uint32_t> intervals = Intervals(0);
  intervals.resize(expected.size());
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(intervals[i], expected[i]) << "interval " << i;
  EXPECT_EQ(StateOf(g_StpmtrMain), STPMTR_CONSTANT);
}

TEST_F(Steppers, ShortRunsAndRequestedDecelerationsEndInConstantRateOrStopped) {
  ASSERT_EQ(m_ramp.ramp.SetupByRate(1000, 3000, 20), 0);
  const uint32_t ulLength = m_ramp.Count();
  struct Case {
    const char* pszWhat;
    uint32_t ulSteps;
    bool bRequestDecel;  // after a few pulses
    int32_t lEndState;
    bool bPulsing;
  };
  const Case cases[] = {
      {"too few steps for the top", ulLength, false, STPMTR_CONSTANT, true},
      {"no step limit, brought down", 0, true, STPMTR_STOPPED, false},
      {"few steps, brought down", ulLength, true, STPMTR_STOPPED, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pszWhat);
    const size_t before = Pulses(0);
    InApp([&] { g_StpmtrMain.RunRamp(m_ramp.Table(), m_ramp.Table(), ulLength, 0, 2, c.ulSteps, 0); });
    ASSERT_TRUE(RunUntilPulses(0, before + 5));
    if (c.bRequestDecel) InApp([] { g_StpmtrMain.RequestDecel(); });
    uint32_t ulTopPosition = 0;
    m_machine->RunUntil(
        [&] {
          uint32_t ulPosition = 0;
          g_StpmtrMain.GetRampSteps(&ulPosition);
          ulTopPosition = std::max(ulTopPosition, ulPosition);
          return StateOf(g_StpmtrMain) == c.lEndState;
        },
        Ms(1000));
    EXPECT_EQ(StateOf(g_StpmtrMain), c.lEndState);
    EXPECT_LT(ulTopPosition, ulLength) << "decelerated before the top";
    const size_t atEnd = Pulses(0);
    RunFor(Ms(20));
    EXPECT_EQ(Pulses(0) > atEnd, c.bPulsing);
    InApp([] { g_StpmtrMain.Halt(); });
  }
}

TEST_F(Steppers, PendingStatesMoveAHeldRunOnButNotAConstantOne) {
  ASSERT_EQ(m_ramp.ramp.SetupByRate(1000, 3000, 20), 0);
  InApp([&] { g_StpmtrMain.RunRamp(m_ramp.Table(), m_ramp.Table(), m_ramp.Count(), 0, 2, 0, 1); });
  ASSERT_TRUE(RunUntilPulses(0, 6));
  EXPECT_EQ(StateOf(g_StpmtrMain), STPMTR_HELD);
  for (uint32_t interval : Intervals(0)) EXPECT_EQ(interval, m_ramp.storage[0]) << "held at the start rate";
  InApp([] { g_StpmtrMain.SetPendingState(STPMTR_ACCELERATING); });
  ASSERT_TRUE(RunUntilPulses(0, Pulses(0) + 3));
  EXPECT_EQ(StateOf(g_StpmtrMain), STPMTR_ACCELERATING);
  EXPECT_LT(Intervals(0).back(), m_ramp.storage[0]);

  InApp([] {
    EXPECT_EQ(g_StpmtrMain.RunConstant(2000, 0, 2, 0), 0);
    g_StpmtrMain.SetPendingState(STPMTR_DECELERATING);
  });
  ASSERT_TRUE(RunUntilPulses(0, Pulses(0) + 3));
  EXPECT_EQ(StateOf(g_StpmtrMain), STPMTR_CONSTANT) << "a pending state is dropped in state 1";
  EXPECT_EQ(Intervals(0).back(), 12500u);
}

// A deceleration that begins before the first step up has nothing to come
// down: it ends at the first pulse instead of counting below 0.
TEST_F(Steppers, ADecelerationFromRampPositionZeroEndsAtOnce) {
  ASSERT_EQ(m_ramp.ramp.SetupByRate(1000, 3000, 20), 0);
  struct Case {
    const char* pszWhat;
    uint32_t ulHeld;
    bool bRequestDecel;  // else pending state 4
    int32_t lEndState;
  };
  for (const Case& c : {Case{"RequestDecel before the first pulse", 0, true, STPMTR_STOPPED},
                        Case{"pending state 4 from the held start", 1, false, STPMTR_CONSTANT}}) {
    SCOPED_TRACE(c.pszWhat);
    const size_t before = Pulses(0);
    InApp([&] {
      g_StpmtrMain.RunRamp(m_ramp.Table(), m_ramp.Table(), m_ramp.Count(), 0, 2, 0, c.ulHeld);
      if (c.bRequestDecel) {
        g_StpmtrMain.RequestDecel();
      } else {
        g_StpmtrMain.SetPendingState(STPMTR_DECELERATING);
      }
    });
    ASSERT_TRUE(RunUntilPulses(0, before + 1));
    RunFor(Ms(1));
    EXPECT_EQ(StateOf(g_StpmtrMain), c.lEndState);
    uint32_t ulPosition = 99;
    g_StpmtrMain.GetRampSteps(&ulPosition);
    EXPECT_EQ(ulPosition, 0u);
    InApp([] { g_StpmtrMain.Halt(); });
  }
}

TEST_F(Steppers, TheMainSteppersDecelerationDrawsTheSubDownUnlessItIsIndependent) {
  ASSERT_EQ(m_ramp.ramp.SetupByRate(1000, 3000, 20), 0);
  const uint32_t ulLength = m_ramp.Count();
  for (int32_t lIndependent : {0, 1}) {
    SCOPED_TRACE(lIndependent);
    InApp([&] {
      g_StpmtrSub.SetIndependent(lIndependent);
      g_StpmtrSub.RunRamp(m_ramp.Table(), m_ramp.Table(), ulLength, 0, 2, 0, 0);
      g_StpmtrMain.RunRamp(m_ramp.Table(), m_ramp.Table(), ulLength, 0, 2, 4, 0);
    });
    RunFor(Ms(40));
    EXPECT_EQ(StateOf(g_StpmtrMain), STPMTR_CONSTANT);
    EXPECT_EQ(StateOf(g_StpmtrSub), lIndependent == 0 ? STPMTR_CONSTANT : STPMTR_TOP_SPEED);
    InApp([] {
      g_StpmtrMain.Halt();
      g_StpmtrSub.Halt();
    });
  }
}

TEST_F(Steppers, DecelerateAndStopReturnsOnceTheInterruptHasBroughtTheMotorDown) {
  ASSERT_EQ(m_ramp.ramp.SetupByRate(1000, 3000, 20), 0);
  InApp([&] { g_StpmtrMain.RunRamp(m_ramp.Table(), m_ramp.Table(), m_ramp.Count(), 0, 2, 0, 0); });
  RunFor(Ms(40));
  ASSERT_EQ(StateOf(g_StpmtrMain), STPMTR_TOP_SPEED);
  size_t pulsesAtReturn = 0;
  InApp([&] {
    EXPECT_EQ(g_StpmtrMain.DecelerateAndStop(), 0);
    pulsesAtReturn = Pulses(0);
  });
  EXPECT_EQ(StateOf(g_StpmtrMain), STPMTR_STOPPED);
  EXPECT_EQ(Drivers().Control(Stepper::Main) & sim::StepperDrivers::kEnergised, 0);
  RunFor(Ms(10));
  EXPECT_EQ(Pulses(0), pulsesAtReturn);
  // It came down the whole ramp before stopping.
  const std::vector<uint32_t> intervals = Intervals(0);
  EXPECT_EQ(intervals.back(), m_ramp.storage[1]);
}

// A run held at its start rate has no deceleration of its own to wait for:
// it comes down from its first step and the wait ends.
TEST_F(Steppers, DecelerateAndStopEndsAHeldRunToo) {
  ASSERT_EQ(m_ramp.ramp.SetupByRate(1000, 3000, 20), 0);
  InApp([&] {
    g_StpmtrMain.RunRamp(m_ramp.Table(), m_ramp.Table(), m_ramp.Count(), 0, 2, 0, 1);
    EXPECT_EQ(g_StpmtrMain.DecelerateAndStop(), 0);
  });
  EXPECT_EQ(StateOf(g_StpmtrMain), STPMTR_STOPPED);
  EXPECT_EQ(Pulses(0), 1u);
}

TEST_F(Steppers, ARateOfZeroOrAboveOneMegahertzStartsNothing) {
  struct Case {
    uint32_t ulRate;
    int32_t lResult;
  };
  for (const Case& c : {Case{0, -1}, Case{1000001, -1}, Case{0xFFFFFFFFu, -1}, Case{1000000, 0}}) {
    uint8_t ucBefore = Drivers().Control(Stepper::Exit);
    InApp([&] { EXPECT_EQ(g_StpmtrExit.RunConstant(c.ulRate, 0, 2, 0), c.lResult) << c.ulRate; });
    EXPECT_EQ(Fpga().PulsesRunning(2), c.lResult == 0) << c.ulRate;
    if (c.lResult != 0) {
      EXPECT_EQ(Drivers().Control(Stepper::Exit), ucBefore);
    }
  }
  // 1 MHz: the fastest period, 25 ticks.
  EXPECT_EQ(Fpga().Register(sim::FpgaMainBlock::kPulsePeriod[2]), 25);
  InApp([] { g_StpmtrExit.Stop(); });
}

// ---- the drivers --------------------------------------------------------------------------

TEST_F(Steppers, DirectionAndStepModeBitsByMotorUnitAndEngineVersion) {
  struct Case {
    const char* pszWhat;
    CStpmtr* pMotor;
    Stepper stepper;
    uint32_t ulUnit;
    int32_t lEngineVersion;
    uint32_t ulDirection;
    int32_t lResult;
    uint8_t ucDirectionBit;
  };
  const Case cases[] = {
      {"main A 0", &g_StpmtrMain, Stepper::Main, 0, 5, 0, 0, 1},
      {"main A 1", &g_StpmtrMain, Stepper::Main, 0, 5, 1, 0, 0},
      {"main A 2", &g_StpmtrMain, Stepper::Main, 0, 5, 2, -2, 0xFF},
      {"main B 0", &g_StpmtrMain, Stepper::Main, 1, 5, 0, 0, 0},
      {"main B 7", &g_StpmtrMain, Stepper::Main, 1, 5, 7, 0, 1},
      {"sub v1 0", &g_StpmtrSub, Stepper::Sub, 0, 1, 0, 0, 0},
      {"sub v1 1", &g_StpmtrSub, Stepper::Sub, 0, 1, 1, 0, 1},
      {"sub v5 0", &g_StpmtrSub, Stepper::Sub, 1, 5, 0, 0, 1},
      {"sub v2 1", &g_StpmtrSub, Stepper::Sub, 0, 2, 1, 0, 0},
      {"sub 2", &g_StpmtrSub, Stepper::Sub, 0, 5, 2, -2, 0xFF},
      {"exit B 0", &g_StpmtrExit, Stepper::Exit, 1, 5, 0, 0, 1},
      {"exit 2", &g_StpmtrExit, Stepper::Exit, 0, 5, 2, -2, 0xFF},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pszWhat);
    const uint8_t ucBefore = Drivers().Control(c.stepper);
    const uint32_t ulWrites = Drivers().ControlWrites(c.stepper);
    InApp([&] {
      SelectUnit(c.ulUnit);
      g_ParamEngineVersion.SetValueNoSave(c.lEngineVersion);
      EXPECT_EQ(c.pMotor->SetDirection(c.ulDirection), c.lResult);
      SelectUnit(0);
    });
    if (c.ucDirectionBit == 0xFF) {
      EXPECT_EQ(Drivers().ControlWrites(c.stepper), ulWrites) << "nothing written";
    } else {
      EXPECT_EQ(Drivers().Control(c.stepper), (ucBefore & 0xFE) | c.ucDirectionBit);
    }
  }

  struct ModeCase {
    uint32_t ulMode;
    int32_t lResult;
    uint8_t ucBits;
  };
  for (const ModeCase& c : {ModeCase{0, 0, 0x10}, ModeCase{1, 0, 0x10}, ModeCase{2, 0, 0x50}, ModeCase{3, 0, 0x30},
                            ModeCase{4, 0, 0x70}, ModeCase{5, -2, 0x70}}) {
    InApp([&] { EXPECT_EQ(g_StpmtrSub.SetStepMode(c.ulMode), c.lResult) << c.ulMode; });
    EXPECT_EQ(Drivers().Control(Stepper::Sub) & 0x70, c.ucBits) << c.ulMode;
  }
}

TEST_F(Steppers, ExcitationSwitchesTheFansAfterTheDriversSettlingTime) {
  struct Case {
    const char* pszWhat;
    CStpmtr* pMotor;
    Stepper stepper;
    uint32_t ulOn;
    uint32_t ulPcbFan, ulStepperFan;  // expected states afterwards
    bool bWaits;
  };
  const Case cases[] = {
      {"exit on", &g_StpmtrExit, Stepper::Exit, 1, FAN_ON, FAN_OFF, true},
      {"exit on again", &g_StpmtrExit, Stepper::Exit, 1, FAN_ON, FAN_OFF, false},
      {"exit off", &g_StpmtrExit, Stepper::Exit, 0, FAN_ON, FAN_OFF, false},
      {"sub on", &g_StpmtrSub, Stepper::Sub, 1, FAN_ON, FAN_ON, true},
      {"sub off", &g_StpmtrSub, Stepper::Sub, 0, FAN_ON, FAN_ON, false},
      {"main on", &g_StpmtrMain, Stepper::Main, 1, FAN_ON, FAN_ON, true},
      {"main off", &g_StpmtrMain, Stepper::Main, 0, FAN_OFF, FAN_OFF, false},
  };
  InApp([] {
    g_FanPcb.Off();
    g_FanStpMtr.Off();
  });
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pszWhat);
    uint32_t ulPcb = 9, ulStepper = 9, ulElapsedUs = 0;
    InApp([&] {
      const uint32_t ulStart = g_UsTimer.NowUs();
      EXPECT_EQ(c.pMotor->SetExcitation(c.ulOn), 0);
      ulElapsedUs = g_UsTimer.NowUs() - ulStart;
      g_FanPcb.GetState(&ulPcb);
      g_FanStpMtr.GetState(&ulStepper);
    });
    EXPECT_EQ(ulPcb, c.ulPcbFan);
    EXPECT_EQ(ulStepper, c.ulStepperFan);
    EXPECT_EQ(ulElapsedUs >= 1000, c.bWaits) << ulElapsedUs << " us";
    // Energised with bit 7 cleared, or off.
    EXPECT_EQ(Drivers().Control(c.stepper) & 0x82, c.ulOn == 1 ? 0x02 : 0x00);
  }
  InApp([] { EXPECT_EQ(g_StpmtrExit.SetExcitation(2), -2); });
}

TEST_F(Steppers, TheCurrentBitIsWrittenButNotKept) {
  InApp([] {
    g_StpmtrMain.SetStepMode(2);
    g_StpmtrMain.SetCurrentBit(1);
  });
  EXPECT_EQ(Drivers().Control(Stepper::Main), 0x56);
  EXPECT_EQ(g_StpmtrMain.GetControlShadow(), 0x52);
  InApp([] { g_StpmtrMain.SetDirection(1); });
  EXPECT_EQ(Drivers().Control(Stepper::Main), 0x52) << "the next write clears it";
  InApp([] { g_StpmtrMain.SetCurrentBit(0); });
  EXPECT_EQ(Drivers().Control(Stepper::Main), 0x52);
}

// "Rate1[%]" 10 around a top period of 10000 ticks: the ring of six
// periods, rotated by the phase the paper position gives.
TEST_F(Steppers, TheTopSpeedModulationRingFollowsThePaperPosition) {
  std::vector<uint16_t> table(CRampTable::kEntries, 10000);
  struct Case {
    int32_t lPosition;
    uint32_t ulPhase;
  };
  // The first modulated run takes its position (410 -> 10) as the reference.
  const Case cases[] = {{410, 0}, {7, 3}, {10, 5}, {13, 2}, {409, 1}, {818, 3}};
  InApp([] {
    g_ParamAmplitudeRate1.SetValueNoSave(10);
    g_ulSpeedModOn = 1;
  });
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lPosition);
    uint32_t aulPeriods[6] = {};
    InApp([&] {
      g_PaperPosition.SetCurrentPointOffset(0, c.lPosition);
      g_StpmtrMain.RunRamp(table.data(), table.data(), 3, 0, 2, 0, 0);
      g_StpmtrMain.Halt();
      for (uint32_t i = 0; i < 6; ++i) aulPeriods[i] = g_StpmtrMain.GetTopPeriods()[i];
    });
    EXPECT_EQ(g_usSpeedModPhase, c.ulPhase);
    EXPECT_EQ(g_usSpeedModRefPos, 10);
    const uint32_t aulRing[6] = {9000, 11000, 9000, 11000, 10000, 10000};
    for (uint32_t i = 0; i < 6; ++i) EXPECT_EQ(aulPeriods[(c.ulPhase + i) % 6], aulRing[i]) << i;
  }
  // Not for the sub stepper, and not with the flag or the rate at 0.
  InApp([&] {
    g_StpmtrSub.RunRamp(table.data(), table.data(), 3, 0, 2, 0, 0);
    g_StpmtrSub.Halt();
    g_ulSpeedModOn = 0;
    g_StpmtrMain.RunRamp(table.data(), table.data(), 3, 0, 2, 0, 0);
    g_StpmtrMain.Halt();
  });
  for (uint32_t i = 0; i < 6; ++i) {
    EXPECT_EQ(g_StpmtrSub.GetTopPeriods()[i], 10000u);
    EXPECT_EQ(g_StpmtrMain.GetTopPeriods()[i], 10000u);
  }
}

}  // namespace
}  // namespace steppertest
