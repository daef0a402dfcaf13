// The DC mechanism driven as the firmware drives it: register writes to the
// FPGA model and the motor-enable pad of the GPIO model, in virtual time.
#include "sim/mechanism/dc_mechanism.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "sim/mechanism/dc_mechanism_test_rig.h"

namespace sim {
namespace {

// ---- the H-bridges ----

TEST_F(DcMechanismTest, EachMotorReadsItsOwnLinePairThroughItsPolarity) {
  // Both polarities, and pairs whose line A is the higher bit.
  const DcMotor motors[] = {DcMotor::HeadL, DcMotor::RotLock, DcMotor::RibDstL, DcMotor::RibSrcR, DcMotor::Cutter};
  const struct {
    Op op;
    DriveState state;
  } ops[] = {{Op::Forward, DriveState::Forward},
             {Op::Reverse, DriveState::Reverse},
             {Op::Stop, DriveState::Stop},
             {Op::Brake, DriveState::Brake}};
  for (DcMotor motor : motors) {
    for (const auto& o : ops) {
      SCOPED_TRACE(std::string(kDcMotorWiring[Index(motor)].pszName) + " " + ToString(o.state));
      for (uint32_t m = 0; m < Index(DcMotor::Count); ++m) Drive(static_cast<DcMotor>(m), Op::Stop);
      const size_t before = mech->Trace().Events().size();
      Drive(motor, o.op);
      EXPECT_EQ(mech->Drive(motor), o.state);
      for (uint32_t m = 0; m < Index(DcMotor::Count); ++m) {
        if (static_cast<DcMotor>(m) != motor) {
          EXPECT_EQ(mech->Drive(static_cast<DcMotor>(m)), DriveState::Stop) << m;
        }
      }
      const auto& events = mech->Trace().Events();
      if (o.state != DriveState::Stop) {
        ASSERT_EQ(events.size(), before + 1);
        EXPECT_EQ(events.back().kind, MechanismEventKind::Motor);
        EXPECT_EQ(events.back().name, kDcMotorWiring[Index(motor)].pszName);
        EXPECT_EQ(events.back().drive, o.state);
      }
    }
  }
}

TEST_F(DcMechanismTest, UnwiredOutputBitsAreKeptAndTracedButMoveNothing) {
  MotorEnable(true);
  for (uint32_t m = 0; m < Index(DcMotor::Count); ++m) Drive(static_cast<DcMotor>(m), Op::Stop);
  mech->Trace().Clear();
  const uint16_t dcMotor2 = fpga->Register(FpgaMainBlock::kDcMotor0 + 4);
  Write(FpgaMainBlock::kDcMotor0 + 4, static_cast<uint16_t>(dcMotor2 | 0x0040));
  Write(FpgaMainBlock::kFanCtrl, 0x1000);
  EXPECT_EQ(Read(FpgaMainBlock::kDcMotor0 + 4), dcMotor2 | 0x0040);
  EXPECT_EQ(Read(FpgaMainBlock::kFanCtrl), 0x1000);
  const auto& events = mech->Trace().Events();
  ASSERT_EQ(events.size(), 2u) << mech->Trace().Text();
  EXPECT_EQ(events[0].Text(), "0.000 ms DCMOTOR2 unwired bits 0x0040");
  EXPECT_EQ(events[1].Text(), "0.000 ms FAN_CTRL unwired bits 0x1000");
  EXPECT_EQ(mech->LoadsOn(), 0u);
}

TEST_F(DcMechanismTest, FansClutchesAndColourLedsAreTracedByName) {
  Write(FpgaMainBlock::kFanCtrl, 0x0009);  // ribbon reverse clutch L, head fan L
  Run(kNsPerMs);
  Write(FpgaMainBlock::kFanCtrl, 0x0008);
  Write(FpgaMainBlock::kColorCtrl, 0x0104);  // blue L, with the left sensor selected
  EXPECT_EQ(mech->Trace().Text(),
            "0.000 ms ClutchRibRvsL on\n"
            "0.000 ms FanHeadL on\n"
            "1.000 ms ClutchRibRvsL off\n"
            "1.000 ms ColorLedBlueL on\n");
  EXPECT_EQ(mech->LoadsOn(), 0x0008);
  EXPECT_EQ(mech->LedsOn(), 0x0004);
}

// ---- the supply ----

TEST_F(DcMechanismTest, TheSupplyMonitorReadsAboveTheFirmwaresLevelOnlyWhileTheMotorsAreEnabled) {
  constexpr uint16_t kFirmwareLevel = 414;
  EXPECT_LE(Adc(DcMechanism::kSupplyChannel), kFirmwareLevel) << "an input pin pulled high is no enable";
  MotorEnable(true);
  EXPECT_GT(Adc(DcMechanism::kSupplyChannel), kFirmwareLevel);
  MotorEnable(false);
  EXPECT_LE(Adc(DcMechanism::kSupplyChannel), kFirmwareLevel);
  const auto supply = mech->Trace().Of("MotorSupply");
  ASSERT_EQ(supply.size(), 2u);
  EXPECT_EQ(supply[0].value, 1);
  EXPECT_EQ(supply[1].value, 0);
}

// ---- the axes ----

TEST_F(DcMechanismTest, AnAxisMovesOnlyWithTheMotorsEnabledAndStopsAtItsEndStop) {
  // The left head lift, up at rest, driven down at full duty.
  const SensorWindow& up = mech->Geometry(Axis::HeadL).windows[0];
  const SensorWindow& down = mech->Geometry(Axis::HeadL).windows[1];
  const int32_t travel = mech->Geometry(Axis::HeadL).length;
  const uint32_t speed = mech->Geometry(Axis::HeadL).fullSpeed;
  EXPECT_TRUE(InputBit(up.sensor.word, up.sensor.bit));
  EXPECT_FALSE(InputBit(down.sensor.word, down.sensor.bit));

  Pwm(DcMotor::HeadL, 800, 800);
  Drive(DcMotor::HeadL, Op::Forward);
  Run(kSecond);
  EXPECT_EQ(mech->Position(Axis::HeadL), 0) << "no supply";
  EXPECT_TRUE(mech->Trace().Of("HeadL").empty());

  MotorEnable(true);
  const Nanos start = Now();
  Run(kSecond / 8);
  EXPECT_EQ(mech->Position(Axis::HeadL), static_cast<int32_t>(speed / 8));
  EXPECT_FALSE(InputBit(up.sensor.word, up.sensor.bit)) << "left the up switch";
  Run(2 * kSecond);
  EXPECT_EQ(mech->Position(Axis::HeadL), travel) << "held at the down stop, no wrap";
  EXPECT_TRUE(InputBit(down.sensor.word, down.sensor.bit));
  EXPECT_FALSE(mech->Moving(Axis::HeadL));
  EXPECT_EQ(mech->Drive(DcMotor::HeadL), DriveState::Forward) << "the motor stalls, still driven";

  const auto trace = mech->Trace().Of("HeadL");
  ASSERT_GE(trace.size(), 2u);
  EXPECT_EQ(trace.front().at, start);
  EXPECT_EQ(trace.front().value, 0);
  EXPECT_EQ(trace.back().value, travel);
  EXPECT_EQ(trace.back().at - start, static_cast<Nanos>(travel) * kSecond / speed);

  // Driven on into the stop: nothing more happens.
  Drive(DcMotor::HeadL, Op::Stop);
  Drive(DcMotor::HeadL, Op::Forward);
  Run(kSecond);
  EXPECT_EQ(mech->Position(Axis::HeadL), travel);
  EXPECT_EQ(mech->Trace().Of("HeadL").size(), trace.size());
}

TEST_F(DcMechanismTest, AStuckAxisKeepsItsSwitchesWhileItsMotorRuns) {
  MotorEnable(true);
  mech->SetAxisStuck(Axis::LoadBar, true);
  Pwm(DcMotor::LoadBar, 800, 800);
  Drive(DcMotor::LoadBar, Op::Forward);
  Run(kSecond);
  const int32_t travel = mech->Geometry(Axis::LoadBar).length;
  EXPECT_EQ(mech->Position(Axis::LoadBar), 0);
  EXPECT_EQ(mech->Drive(DcMotor::LoadBar), DriveState::Forward);
  EXPECT_TRUE(InputBit(1, 10)) << "LoadBar Up";
  EXPECT_FALSE(InputBit(1, 11)) << "LoadBar Dn";
  mech->SetAxisStuck(Axis::LoadBar, false);
  Run(kSecond);
  EXPECT_EQ(mech->Position(Axis::LoadBar), travel);
  EXPECT_TRUE(InputBit(1, 11));
}

TEST_F(DcMechanismTest, AnActiveLowSwitchReadsZeroInItsWindow) {
  // The cutter's switches: left at rest, centre and right passed on the way.
  MotorEnable(true);
  EXPECT_FALSE(InputBit(1, 12)) << "Cutter L active";
  EXPECT_TRUE(InputBit(1, 13));
  EXPECT_TRUE(InputBit(1, 14));
  Pwm(DcMotor::Cutter, 800, 800);
  Drive(DcMotor::Cutter, Op::Forward);
  Run(kSecond);
  EXPECT_TRUE(InputBit(1, 12));
  EXPECT_TRUE(InputBit(1, 13));
  EXPECT_FALSE(InputBit(1, 14)) << "Cutter R active at the right stop";
  EXPECT_EQ(mech->Position(Axis::Cutter), mech->Geometry(Axis::Cutter).length);
}

TEST_F(DcMechanismTest, AnFpgaThatLosesItsConfigurationLetsGoOfEveryMotor) {
  MotorEnable(true);
  Pwm(DcMotor::HeadL, 800, 800);
  Drive(DcMotor::HeadL, Op::Forward);
  Run(kSecond / 8);
  const int32_t reached = mech->Position(Axis::HeadL);
  config->PowerOnUnconfigured();
  Run(kSecond);
  EXPECT_EQ(mech->Position(Axis::HeadL), reached);
  EXPECT_FALSE(Turns(mech->Drive(DcMotor::HeadL))) << ToString(mech->Drive(DcMotor::HeadL));
  const auto head = mech->Trace().Of("HeadL");
  ASSERT_FALSE(head.empty());
  EXPECT_EQ(head.back().value, reached) << "the stop is traced";
}

// ---- the choppers ----

TEST_F(DcMechanismTest, AChopperRunsAtDutyOverPeriod) {
  struct Case {
    const char* what;
    uint16_t period;
    uint16_t duty;
    uint32_t countsPerSecondPerMille;  // of full speed
  };
  const Case cases[] = {
      {"full", 800, 800, 1000}, {"half", 800, 400, 500},       {"a quarter", 1000, 250, 250},
      {"none", 800, 0, 0},      {"above the period", 800, 900, 1000}, {"no period", 0, 10, 1000},
  };
  MotorEnable(true);
  // The eject motor's chopper turns the exit rollers.
  const DcMotor motor = DcMotor::Eject;
  const EjectRollers& rollers = mech->GetEjectRollers();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Drive(motor, Op::Stop);
    Pwm(motor, c.period, c.duty);
    const int64_t before = rollers.Travel();
    Drive(motor, Op::Forward);
    Run(kSecond);
    const int64_t travelled = rollers.Travel() - before;
    const int64_t expected = int64_t{EjectRollers::kFullSpeed} * c.countsPerSecondPerMille / 1000;
    EXPECT_NEAR(static_cast<double>(travelled < 0 ? -travelled : travelled), static_cast<double>(expected), 1.0);
    EXPECT_EQ(mech->SpeedPercent(motor), c.countsPerSecondPerMille / 10);
  }
}

TEST_F(DcMechanismTest, AMotorWithoutAPwmPairRunsAtFullSpeed) {
  // The eject pinch's chopper channel 13 has no register pair.
  MotorEnable(true);
  const AxisGeometry& g = mech->Geometry(Axis::EjectPinch);
  Drive(DcMotor::EjectPinch, Op::Forward);
  Run(kSecond / 4);
  // The cam's detent edges on the way settle the position to whole units.
  EXPECT_NEAR(mech->Position(Axis::EjectPinch), g.start + static_cast<int32_t>(g.fullSpeed / 4), 1);
  EXPECT_EQ(mech->SpeedPercent(DcMotor::EjectPinch), 100u);
}

// ---- the colour sensors ----

// The firmware's panel classes: yellow 0, magenta 1, cyan 2, overcoat 3.
uint32_t PanelClass(int32_t red, int32_t green, int32_t blue) {
  if (blue - green > 93) return 0;
  if (green - red > 93) return 1;
  if (red - blue > 93) return 2;
  return 3;
}

class ColorSensorTest : public DcMechanismTest, public ::testing::WithParamInterface<uint32_t> {
 protected:
  ColorSensorTest() : DcMechanismTest(GetParam()) {}
  // The receiver of a unit as the firmware reads it on this board, with
  // the given LEDs (COLOR_CTRL bits) lit.
  uint16_t Receiver(PrintUnit unit, uint16_t leds) {
    const bool bLeft = unit == PrintUnit::L;
    if (GetParam() == 0) {
      Write(FpgaMainBlock::kColorCtrl, leds);
      return Adc(bLeft ? 128 : 129);
    }
    Write(FpgaMainBlock::kColorCtrl, static_cast<uint16_t>(leds | (bLeft ? 0x0100 : 0)));
    return Adc(128);
  }
  static uint16_t Led(PrintUnit unit, LedColor c) {
    return static_cast<uint16_t>(1u << ((unit == PrintUnit::R ? 3 : 0) + static_cast<uint32_t>(c)));
  }
};

TEST_P(ColorSensorTest, EachPanelUnderEachUnitClassifiesAsItsPanel) {
  const PrintUnit units[] = {PrintUnit::L, PrintUnit::R};
  const Panel panels[] = {Panel::Yellow, Panel::Magenta, Panel::Cyan, Panel::Overcoat};
  for (PrintUnit unit : units) {
    const PrintUnit other = unit == PrintUnit::L ? PrintUnit::R : PrintUnit::L;
    for (Panel panel : panels) {
      SCOPED_TRACE(testing::Message() << "unit " << static_cast<int>(unit) << " panel " << static_cast<int>(panel));
      mech->SetRibbonPanel(unit, panel);
      // The other unit shows another panel: it must not leak in.
      mech->SetRibbonPanel(other, panel == Panel::Yellow ? Panel::Cyan : Panel::Yellow);
      const int32_t red = Receiver(unit, Led(unit, LedColor::Red));
      const int32_t green = Receiver(unit, Led(unit, LedColor::Green));
      const int32_t blue = Receiver(unit, Led(unit, LedColor::Blue));
      EXPECT_EQ(PanelClass(red, green, blue), static_cast<uint32_t>(panel)) << red << " " << green << " " << blue;
    }
  }
}

TEST_P(ColorSensorTest, AReceiverIsDarkWithoutItsOwnLitLed) {
  mech->SetRibbonPanel(PrintUnit::L, Panel::Yellow);
  mech->SetRibbonPanel(PrintUnit::R, Panel::Yellow);
  const uint16_t lit = Receiver(PrintUnit::L, Led(PrintUnit::L, LedColor::Blue));
  EXPECT_GT(lit, RibbonColors::kDark + 93);
  EXPECT_EQ(Receiver(PrintUnit::L, 0), RibbonColors::kDark) << "no LED";
  EXPECT_EQ(Receiver(PrintUnit::L, Led(PrintUnit::R, LedColor::Blue)), RibbonColors::kDark) << "the other unit's";
  EXPECT_EQ(Receiver(PrintUnit::R, Led(PrintUnit::R, LedColor::Blue)), lit);
  mech->SetColorLedFailed(3, true);  // blue L
  EXPECT_EQ(Receiver(PrintUnit::L, Led(PrintUnit::L, LedColor::Blue)), RibbonColors::kDark) << "failed";
  EXPECT_EQ(Receiver(PrintUnit::R, Led(PrintUnit::R, LedColor::Blue)), lit) << "only that one";
}

INSTANTIATE_TEST_SUITE_P(PcbRevisions, ColorSensorTest, ::testing::Values(0u, 1u, 3u));

}  // namespace
}  // namespace sim
