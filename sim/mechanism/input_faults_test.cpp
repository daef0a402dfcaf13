// The mechanism's fault switches over what the models drive: switch inputs
// stuck on or off as the firmware reads them, a chattering input, and the
// axis faults; and the engine variant's geometry taken from the main
// EEPROM.
#include "sim/mechanism/input_faults.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "sim/costs.h"
#include "sim/fpga/fpga_main_block.h"
#include "sim/mechanism/dc_mechanism_test_rig.h"
#include "sim/mechanism/positioner_geometry.h"
#include "tools/eeprom/eeprom_image.h"

namespace sim {
namespace {

// "HeadL Up" (IN1 bit 0, at rest on) and "Cutter R" (IN1 bit 14, inverted,
// at rest off so it reads 1).
constexpr SensorBit kHeadLUp = positioner::kHeadLUp;
constexpr SensorBit kCutterR{1, 14, true};

class InputFaultsTest : public DcMechanismTest {
 protected:
  explicit InputFaultsTest(EngineVariant variant = EngineVariant::EM3) : DcMechanismTest(2, variant) {
    faults = &m_board->AddDevice<InputFaults>(*fpga, *mech);
  }

  bool Raw(const SensorBit& s) { return InputBit(s.word, s.bit); }
  // As the firmware reads it after its invert.
  bool Seen(const SensorBit& s) { return Raw(s) != s.bActiveLow; }
  // The motors' supply on and one motor driven Forward at full speed.
  void DriveForward(DcMotor motor) {
    MotorEnable(true);
    if (kDcMotorWiring[Index(motor)].pwmChannel != kNoPwm) Pwm(motor, 100, 100);
    Drive(motor, Op::Forward);
  }

  InputFaults* faults = nullptr;
};

TEST_F(InputFaultsTest, AStuckSwitchReadsAsTheFirmwareSeesItAfterItsInvertOverTheModel) {
  struct Case {
    const char* what;
    SensorBit sensor;
    BitFault fault;
    bool bSeen;
  };
  const Case cases[] = {
      {"up switch, on at rest, stuck off", kHeadLUp, BitFault::StuckOff, false},
      {"up switch stuck on", kHeadLUp, BitFault::StuckOn, true},
      {"inverted switch, off at rest, stuck on", kCutterR, BitFault::StuckOn, true},
      {"inverted switch stuck off", kCutterR, BitFault::StuckOff, false},
  };
  ASSERT_TRUE(Seen(kHeadLUp));
  ASSERT_FALSE(Seen(kCutterR));
  const auto others = static_cast<uint16_t>(Read(FpgaMainBlock::kIn1) & ~0x4001u);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    faults->SetBitFault(c.sensor, c.fault);
    EXPECT_EQ(faults->FaultOf(c.sensor), c.fault);
    EXPECT_EQ(Seen(c.sensor), c.bSeen);
    EXPECT_EQ(Read(FpgaMainBlock::kIn1) & ~0x4001u, others) << "the word's other bits as the models drive them";
    faults->SetBitFault(c.sensor, BitFault::None);
  }
  EXPECT_TRUE(Seen(kHeadLUp)) << "cleared: the model's level again";
  EXPECT_FALSE(Seen(kCutterR));
  // A stuck switch stays as it is while its axis moves through its window.
  faults->SetBitFault(positioner::kHeadLDn, BitFault::StuckOff);
  DriveForward(DcMotor::HeadL);
  Run(kSecond);
  EXPECT_EQ(mech->Position(Axis::HeadL), mech->Geometry(Axis::HeadL).length);
  EXPECT_FALSE(Seen(positioner::kHeadLDn));
  faults->ClearBitFaults();
  EXPECT_TRUE(Seen(positioner::kHeadLDn));
}

TEST_F(InputFaultsTest, AChatteringSwitchReadsTheOtherLevelAtEveryReadWhateverTheTimeBetween) {
  faults->SetBitFault(kHeadLUp, BitFault::Chatter);
  // Reads back to back, a few hundred nanoseconds apart (a debounced
  // read's spacing), and far apart (a polling loop skipping ahead).
  for (Nanos spacing : {Nanos{0}, cost::kFpgaAccess + cost::kClockRead, Nanos{800}, Nanos{1000000}}) {
    bool bLast = Raw(kHeadLUp);
    for (int i = 0; i < 6; ++i) {
      Run(spacing);
      const bool bLevel = Raw(kHeadLUp);
      EXPECT_NE(bLevel, bLast) << "spacing " << spacing << " read " << i;
      bLast = bLevel;
    }
  }
}

TEST_F(InputFaultsTest, AxisFaultsSlowAndBlockTheDrivenAxis) {
  const AxisGeometry& g = mech->Geometry(Axis::LoadBar);
  faults->SetAxisSpeedFactor(Axis::LoadBar, 0.5);
  DriveForward(DcMotor::LoadBar);
  const Nanos fullTravel = static_cast<Nanos>(g.length) * kSecond / g.fullSpeed;
  Run(fullTravel);
  EXPECT_NEAR(mech->Position(Axis::LoadBar), g.length / 2, 1) << "half the speed";
  Run(fullTravel + kNsPerMs);
  EXPECT_EQ(mech->Position(Axis::LoadBar), g.length);

  faults->SetAxisBlockedAt(Axis::HeadR, 3000);
  DriveForward(DcMotor::HeadR);
  Run(kSecond);
  EXPECT_EQ(mech->Position(Axis::HeadR), 3000);
  EXPECT_FALSE(Seen(positioner::kHeadRDn)) << "never reaches the down switch";
  faults->ClearAxisBlock(Axis::HeadR);
  Run(kSecond);
  EXPECT_TRUE(Seen(positioner::kHeadRDn));

  faults->SetAxisStuck(Axis::HeadL, true);
  DriveForward(DcMotor::HeadL);
  Run(kSecond);
  EXPECT_EQ(mech->Position(Axis::HeadL), 0);
}

// ---- the engine variant ----

TEST(EngineVariant, TheMainEepromsEngineVersionSelectsItAsTheFirmwareWill) {
  struct Case {
    const char* what;
    bool bFormatted;
    uint8_t version;
    EngineVariant variant;
  };
  const Case cases[] = {
      {"version 1", true, 1, EngineVariant::EM2},
      {"version 3", true, 3, EngineVariant::EM3},
      {"version 5", true, 5, EngineVariant::EM3},
      {"a blank cell", true, 0xFF, EngineVariant::EM3},
      {"an unformatted EEPROM holding 1 (formatted to 5 at the start)", false, 1, EngineVariant::EM3},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> image =
        c.bFormatted ? eepromimage::BuildMainEepromImage("R0000001") : std::vector<uint8_t>(512, 0xFF);
    image[kEngineVersionByte] = c.version;
    EXPECT_EQ(EngineVariantOf(image), c.variant) << c.what;
  }
  EXPECT_EQ(eepromimage::BuildMainEepromImage("R0000001")[kEngineVersionByte], 5) << "the factory default";
}

class Em2Mechanism : public InputFaultsTest {
 protected:
  Em2Mechanism() : InputFaultsTest(EngineVariant::EM2) {}
};

TEST_F(Em2Mechanism, HasTheShorterHeadStrokeAndTheSameOtherAxes) {
  EXPECT_EQ(mech->Variant(), EngineVariant::EM2);
  const PositionerGeometry& em2 = GeometryOf(EngineVariant::EM2);
  const PositionerGeometry& em3 = GeometryOf(EngineVariant::EM3);
  EXPECT_LT(em2.headL.length, em3.headL.length);
  EXPECT_EQ(em2.headR.length, em2.headL.length);
  EXPECT_EQ(em2.loadBar.length, em3.loadBar.length);
  EXPECT_EQ(em2.pathSel.length, em3.pathSel.length);
  // Both variants' head travels take 300-600 ms at full duty.
  for (const PositionerGeometry* g : {&em2, &em3}) {
    const Nanos travel = static_cast<Nanos>(g->headL.length) * kSecond / g->headL.fullSpeed;
    EXPECT_GE(travel, 300 * kNsPerMs);
    EXPECT_LE(travel, 600 * kNsPerMs);
  }
  DriveForward(DcMotor::HeadL);
  Run(kSecond);
  EXPECT_EQ(mech->Position(Axis::HeadL), em2.headL.length);
  EXPECT_TRUE(Seen(positioner::kHeadLDn));
}

}  // namespace
}  // namespace sim
