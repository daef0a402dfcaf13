// Both units' ribbons on a board, driven as the firmware drives them:
// register writes for the motors, PWM and clutches, the head lifts, the
// main stepper's pulses; the encoders read on the FPGA's counters.
#include "sim/mechanism/ribbon_mechanism.h"

#include <gtest/gtest.h>

#include <string>

#include "sim/mechanism/dc_mechanism_test_rig.h"
#include "sim/mechanism/input_faults.h"
#include "sim/mechanism/stepper_drivers.h"

namespace sim {
namespace {

constexpr uint16_t kClutchL = 0x0001, kClutchR = 0x0002;

class RibbonMechanismTest : public DcMechanismTest {
 protected:
  RibbonMechanismTest() {
    // Unit L half used, with some slack; unit R a full Mark8x10 roll.
    std::array<RibbonLoad, 2> loads{};
    loads[0].supplyMm = 200000;
    loads[0].takeUpMm = 150000;
    loads[0].slackMm = 40;
    loads[1].type = RibbonType::Mark8x10;
    ribbons = &m_board->AddDevice<RibbonMechanism>(*m_board, *fpga, *config, *gpio, *mech, loads, 2u);
    drivers = &m_board->AddDevice<StepperDrivers>(*m_board, *fpga, *gpio);
    ribbons->FollowMainStepper(*drivers);
    faults = &m_board->AddDevice<InputFaults>(*fpga, *mech, ribbons);
    MotorEnable(true);
    Write(FpgaMainBlock::kCntEnable, 0);
    for (DcMotor m : {DcMotor::RibDstL, DcMotor::RibSrcL, DcMotor::RibDstR, DcMotor::RibSrcR}) Pwm(m, 800, 800);
  }

  const RibbonTransport& Unit(PrintUnit unit) { return ribbons->Unit(unit); }
  // The main stepper in eighth steps, energised, forward or backwards: n
  // pulses at 100 us.
  void MainSteps(uint32_t n, bool bForward) {
    m_board->GetBus().Find(StepperDrivers::kMainControl, 1)->device->Write(0, 1, bForward ? 0x73 : 0x72);
    Write(FpgaMainBlock::kPulsePeriod[0], 2500);
    Write(FpgaMainBlock::kPulsePeriod[0] + 2, 0);
    Write(FpgaMainBlock::kPulseCtrl, 0x0001);
    Run(n * 100 * kNsPerUs + 50 * kNsPerUs);
    Write(FpgaMainBlock::kPulseCtrl, 0x0002);
    Write(FpgaMainBlock::kPulseCtrl, 0);
  }
  void Head(Axis axis, DcMotor motor, Op op) {
    Pwm(motor, 800, 800);
    Drive(motor, op);
    Run(kSecond);
    ASSERT_FALSE(mech->Moving(axis));
  }

  RibbonMechanism* ribbons = nullptr;
  StepperDrivers* drivers = nullptr;
  InputFaults* faults = nullptr;
};

TEST_F(RibbonMechanismTest, EachMotorIsReadFromItsLinesWithItsPolarityDutyAndSupply) {
  const struct {
    DcMotor motor;
    Op op;
    SpoolCommand command;
  } cases[] = {
      // Take-up motors, polarity 0: Stop holds, Brake coasts.
      {DcMotor::RibDstL, Op::Forward, SpoolCommand::Forward},
      {DcMotor::RibDstL, Op::Reverse, SpoolCommand::Reverse},
      {DcMotor::RibDstL, Op::Stop, SpoolCommand::Hold},
      {DcMotor::RibDstL, Op::Brake, SpoolCommand::Coast},
      {DcMotor::RibDstR, Op::Stop, SpoolCommand::Hold},
      // Supply motors, polarity 1: Stop coasts, Brake holds.
      {DcMotor::RibSrcL, Op::Forward, SpoolCommand::Forward},
      {DcMotor::RibSrcL, Op::Reverse, SpoolCommand::Reverse},
      {DcMotor::RibSrcL, Op::Stop, SpoolCommand::Coast},
      {DcMotor::RibSrcL, Op::Brake, SpoolCommand::Hold},
      {DcMotor::RibSrcR, Op::Brake, SpoolCommand::Hold},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(kDcMotorWiring[Index(c.motor)].pszName) + " " + std::to_string(static_cast<int>(c.op)));
    Drive(c.motor, c.op);
    const bool bUnitL = c.motor == DcMotor::RibDstL || c.motor == DcMotor::RibSrcL;
    const bool bTakeUp = c.motor == DcMotor::RibDstL || c.motor == DcMotor::RibDstR;
    const RibbonInputs& in = Unit(bUnitL ? PrintUnit::L : PrintUnit::R).Inputs();
    const MotorCommand& m = bTakeUp ? in.takeUp : in.supply;
    EXPECT_EQ(m.command, c.command);
    const bool bRuns = c.command == SpoolCommand::Forward || c.command == SpoolCommand::Reverse;
    EXPECT_EQ(m.turnsPerSecond, bRuns ? 2.0 : 0.0);
    Drive(c.motor, Op::Brake);
  }
  // Duty: 10 % turns at a fifth of a turn a second, below it nothing turns.
  Drive(DcMotor::RibDstL, Op::Forward);
  Pwm(DcMotor::RibDstL, 800, 80);
  EXPECT_DOUBLE_EQ(Unit(PrintUnit::L).Inputs().takeUp.turnsPerSecond, 0.2);
  Pwm(DcMotor::RibDstL, 800, 79);
  EXPECT_EQ(Unit(PrintUnit::L).Inputs().takeUp.command, SpoolCommand::Coast);
  // Without the motor supply, or the FPGA's configuration, it coasts.
  Pwm(DcMotor::RibDstL, 800, 800);
  MotorEnable(false);
  EXPECT_EQ(Unit(PrintUnit::L).Inputs().takeUp.command, SpoolCommand::Coast);
  MotorEnable(true);
  EXPECT_EQ(Unit(PrintUnit::L).Inputs().takeUp.command, SpoolCommand::Forward);
  Drive(DcMotor::RibSrcL, Op::Brake);
  config->PowerOnUnconfigured();
  EXPECT_EQ(Unit(PrintUnit::L).Inputs().takeUp.command, SpoolCommand::Coast);
  EXPECT_EQ(Unit(PrintUnit::L).Inputs().supply.command, SpoolCommand::Coast);
}

TEST_F(RibbonMechanismTest, AWindCountsOnTheUnitsOwnChannelsAndTogglesTheirSlots) {
  const struct {
    PrintUnit unit;
    DcMotor takeUp;
    DcMotor supply;
    uint32_t supplyChannel;
    uint32_t takeUpChannel;
  } units[] = {{PrintUnit::L, DcMotor::RibDstL, DcMotor::RibSrcL, 0, 2},
               {PrintUnit::R, DcMotor::RibDstR, DcMotor::RibSrcR, 1, 3}};
  for (const auto& u : units) {
    SCOPED_TRACE(u.supplyChannel);
    Write(FpgaMainBlock::kCntClear, 0x0F);
    Write(FpgaMainBlock::kCntClear, 0);
    const uint64_t supplyBefore = Unit(u.unit).SupplyCount();
    // Half duty for a second: one turn of the take-up spool, 901 counts.
    Pwm(u.takeUp, 800, 400);
    Drive(u.supply, Op::Stop);
    Drive(u.takeUp, Op::Forward);
    uint32_t toggles = 0;
    bool bLast = InputBit(2, u.takeUpChannel);
    for (uint32_t i = 0; i < 1000; ++i) {
      Run(kNsPerMs);
      toggles += InputBit(2, u.takeUpChannel) != bLast ? 1u : 0u;
      bLast = InputBit(2, u.takeUpChannel);
    }
    Drive(u.takeUp, Op::Stop);
    EXPECT_EQ(Counter(u.takeUpChannel), 901u);
    EXPECT_EQ(toggles, 901u) << "the slot bit changes with each count";
    const uint64_t supplyCounted = Unit(u.unit).SupplyCount() - supplyBefore;
    EXPECT_GT(supplyCounted, 200u);
    EXPECT_EQ(Counter(u.supplyChannel), supplyCounted);
    for (uint32_t channel = 0; channel < 4; ++channel) {
      if (channel != u.supplyChannel && channel != u.takeUpChannel) {
        EXPECT_EQ(Counter(channel), 0u) << channel;
      }
    }
    Run(kSecond);
    EXPECT_EQ(Counter(u.takeUpChannel), 901u) << "held";
  }
}

TEST_F(RibbonMechanismTest, TheSupplyRewindsTheSlackOnlyWithItsClutch) {
  Drive(DcMotor::RibDstL, Op::Stop);
  Drive(DcMotor::RibSrcL, Op::Reverse);
  Run(kSecond);
  EXPECT_EQ(Counter(0), 0u);
  EXPECT_EQ(Unit(PrintUnit::L).Slack(), 40);
  Write(FpgaMainBlock::kFanCtrl, kClutchL);
  Run(kSecond);
  EXPECT_EQ(Unit(PrintUnit::L).Slack(), 0);
  EXPECT_NEAR(Unit(PrintUnit::L).SupplyLength(), 200040, 1e-6);
  // 40 mm on a spool of about 52 mm: a quarter turn, some 120 counts.
  EXPECT_NEAR(Counter(0), 40 / (kRibbonPi * Unit(PrintUnit::L).SupplyDiameter()) * 497.016, 1.0);
  Write(FpgaMainBlock::kFanCtrl, kClutchR);
  EXPECT_FALSE(Unit(PrintUnit::L).Inputs().bClutch) << "unit R's clutch";
  EXPECT_TRUE(Unit(PrintUnit::R).Inputs().bClutch);
}

TEST_F(RibbonMechanismTest, AHeadStandingInItsDownZoneIsLowered) {
  // The lift travels 8000 in 400 ms at full duty; its down sensor's zone
  // is the last 400. Where the head stops after a run of the lift motor:
  const struct {
    uint32_t ulRunMs;
    bool bLowered;
  } cases[] = {{100, false}, {370, false}, {385, true}, {600, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.ulRunMs << " ms");
    Head(Axis::HeadL, DcMotor::HeadL, Op::Reverse);
    Pwm(DcMotor::HeadL, 800, 800);
    Drive(DcMotor::HeadL, Op::Forward);
    Run(c.ulRunMs * kNsPerMs);
    if (mech->Moving(Axis::HeadL)) {
      EXPECT_FALSE(Unit(PrintUnit::L).Inputs().bHeadDown) << "moving";
    }
    Drive(DcMotor::HeadL, Op::Brake);
    Run(kSecond / 10);
    ASSERT_FALSE(mech->Moving(Axis::HeadL));
    EXPECT_EQ(Unit(PrintUnit::L).Inputs().bHeadDown, c.bLowered) << mech->Position(Axis::HeadL);
  }
}

TEST_F(RibbonMechanismTest, ALoweredHeadsTapeFollowsTheMainStepper) {
  constexpr double kMmPerLine = 25.4 / 300;
  MainSteps(1600, true);
  EXPECT_EQ(Unit(PrintUnit::L).SupplyLength(), 200000) << "the heads are up";
  Head(Axis::HeadL, DcMotor::HeadL, Op::Forward);
  EXPECT_TRUE(Unit(PrintUnit::L).Inputs().bHeadDown);
  EXPECT_FALSE(Unit(PrintUnit::R).Inputs().bHeadDown);
  // 1600 eighth steps: 100 lines, forward, with both ribbon motors braked.
  Drive(DcMotor::RibSrcL, Op::Brake);
  MainSteps(1600, true);
  EXPECT_NEAR(Unit(PrintUnit::L).SupplyLength(), 200000 - 100 * kMmPerLine, 1e-6);
  EXPECT_NEAR(Unit(PrintUnit::L).Slack(), 40 + 100 * kMmPerLine, 1e-6);
  EXPECT_NEAR(Unit(PrintUnit::L).TapePosition(), 100 * kMmPerLine, 1e-6);
  EXPECT_GT(Counter(0), 0u);
  EXPECT_EQ(Unit(PrintUnit::R).TapePosition(), 0);
  MainSteps(800, false);
  EXPECT_NEAR(Unit(PrintUnit::L).TapePosition(), 50 * kMmPerLine, 1e-6);
  // Raised, the head lets go of the tape.
  Head(Axis::HeadL, DcMotor::HeadL, Op::Reverse);
  MainSteps(1600, true);
  EXPECT_NEAR(Unit(PrintUnit::L).TapePosition(), 50 * kMmPerLine, 1e-6);
}

TEST_F(RibbonMechanismTest, TheTraceShowsTheRibbonWhenItsDriveOrMotionChanges) {
  // Take-up forward against the braked supply: it winds the slack, stalls.
  Drive(DcMotor::RibSrcL, Op::Brake);
  mech->Trace().Clear();
  Drive(DcMotor::RibDstL, Op::Forward);
  Run(kSecond);
  const auto slack = mech->Trace().Of("RibbonSlackL");
  ASSERT_EQ(slack.size(), 2u) << mech->Trace().Text();
  EXPECT_EQ(slack[0].value, 40000) << "as the drive started";
  EXPECT_EQ(slack[1].value, 0) << "as it stalled";
  EXPECT_GT(slack[1].at, slack[0].at);
  const auto takeUp = mech->Trace().Of("RibbonTakeUpL");
  ASSERT_EQ(takeUp.size(), 2u);
  EXPECT_NE(takeUp[1].Text().find("RibbonTakeUpL 150040.000 mm"), std::string::npos) << takeUp[1].Text();
  for (const char* name : {"RibbonTapeL", "RibbonSupplyL", "RibbonSupplyDiaL", "RibbonTakeUpDiaL"}) {
    EXPECT_EQ(mech->Trace().Of(name).size(), 2u) << name;
  }
  EXPECT_TRUE(mech->Trace().Of("RibbonSlackR").empty()) << "unit R did nothing";
}

TEST_F(RibbonMechanismTest, TheFaultSwitchesReachEachUnitsRibbonThroughTheMechanismsFaults) {
  faults->SetRibbonFault(PrintUnit::L, RibbonFault::SupplyEncoderJammed, true);
  Drive(DcMotor::RibSrcL, Op::Stop);
  Drive(DcMotor::RibDstL, Op::Forward);
  Run(kSecond);
  EXPECT_EQ(Counter(0), 0u);
  EXPECT_GT(Counter(2), 1000u);
  EXPECT_LT(Unit(PrintUnit::L).SupplyLength(), 200000 - 200);
  const auto jammed = mech->Trace().Of("RibEncSrcJammedL");
  ASSERT_EQ(jammed.size(), 1u);
  EXPECT_EQ(jammed[0].value, 1);

  // Ribbon end on unit R: its leader, then the core stops the wind.
  faults->SetRibbonFault(PrintUnit::R, RibbonFault::End, true);
  EXPECT_TRUE(Unit(PrintUnit::R).AtLeader());
  Drive(DcMotor::RibSrcR, Op::Stop);
  Drive(DcMotor::RibDstR, Op::Forward);
  Run(2 * kSecond);
  EXPECT_TRUE(Unit(PrintUnit::R).AtCore());
  const uint16_t stalled = Counter(3);
  Run(kSecond);
  EXPECT_EQ(Counter(3), stalled);
  const auto core = mech->Trace().Of("RibbonCoreR");
  ASSERT_EQ(core.size(), 1u);
  EXPECT_EQ(core[0].value, 1);
  EXPECT_EQ(mech->Trace().Of("RibbonLeaderR").size(), 1u);
  EXPECT_FALSE(Unit(PrintUnit::L).AtLeader());
}

}  // namespace
}  // namespace sim
