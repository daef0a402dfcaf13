// The heads' supply model: the voltage of a step while on, the settling
// of a new step, the measurement channel, the count of jumps and the two
// fault switches.
#include "sim/mechanism/head_supply.h"

#include <gtest/gtest.h>

namespace sim {
namespace {

constexpr uint16_t Control(uint32_t step, bool bOn, bool bMeasure) {
  return static_cast<uint16_t>(step << HeadSupply::kStepShift | (bOn ? HeadSupply::kSupplyBit : 0) |
                               (bMeasure ? HeadSupply::kMeasureBit : 0));
}

uint16_t Reading(const HeadSupply& supply) {
  uint16_t level = 0xFFFF;
  EXPECT_TRUE(supply.Analog(HeadSupply::kChannel, &level));
  return level;
}

TEST(HeadSupply, TheVoltageFollowsTheStepWithinAMillisecondWhileOn) {
  SimClock clock;
  HeadSupply supply(clock);
  supply.OnControl(Control(776, false, true));
  clock.AdvanceTo(5 * kNsPerMs);
  EXPECT_EQ(supply.MilliVolt(), 0u) << "off";
  EXPECT_EQ(Reading(supply), 0u);
  supply.OnControl(Control(776, true, true));
  EXPECT_EQ(supply.MilliVolt(), 40000u - 20u * 776u);
  EXPECT_EQ(Reading(supply), (40000u - 20u * 776u) * 1024u / 49500u);
  supply.OnControl(Control(777, true, true));
  EXPECT_EQ(supply.MilliVolt(), 40000u - 20u * 776u) << "not yet settled";
  clock.AdvanceTo(clock.Now() + HeadSupply::kSettle);
  EXPECT_EQ(supply.MilliVolt(), 40000u - 20u * 777u);
  supply.OnControl(Control(777, true, false));
  EXPECT_EQ(Reading(supply), 0u) << "the measurement is off";
  uint16_t level = 0;
  EXPECT_FALSE(supply.Analog(11, &level));
  EXPECT_EQ(supply.Step(), 777u);
  EXPECT_EQ(HeadSupply::RawOf(60000), 1023u);
}

TEST(HeadSupply, JumpsAreCountedOnlyWhileTheSupplyIsOn) {
  struct Case {
    uint32_t from, to;
    bool bOn;
    uint32_t jumps;
  };
  static constexpr Case kCases[] = {
      {776, 777, true, 0}, {777, 775, true, 1}, {775, 900, false, 0}, {900, 899, true, 0}, {0, 1023, true, 1},
  };
  for (const Case& c : kCases) {
    SimClock clock;
    HeadSupply supply(clock);
    supply.OnControl(Control(c.from, c.bOn, false));
    supply.OnControl(Control(c.to, c.bOn, false));
    EXPECT_EQ(supply.Jumps(), c.jumps) << c.from << " -> " << c.to;
  }
}

TEST(HeadSupply, TheSwitchesStickTheSupplyOrTheMeasurement) {
  SimClock clock;
  HeadSupply supply(clock);
  supply.OnControl(Control(800, true, true));
  clock.AdvanceTo(2 * kNsPerMs);
  supply.SetIgnoresStep(true);
  supply.OnControl(Control(801, true, true));
  clock.AdvanceTo(4 * kNsPerMs);
  EXPECT_EQ(supply.MilliVolt(), 40000u - 20u * 800u) << "the step is ignored";
  EXPECT_EQ(supply.Step(), 801u);
  supply.SetDeadMeasurement(true);
  EXPECT_EQ(Reading(supply), 0u);
  supply.SetStuckReading(1023);
  EXPECT_EQ(Reading(supply), 1023u);
  supply.SetStuckReading(-1);
  EXPECT_EQ(Reading(supply), HeadSupply::RawOf(40000u - 20u * 800u));
}

}  // namespace
}  // namespace sim
