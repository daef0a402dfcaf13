// The heads' thermal model: the NTC curve (25 C reads 500, hotter reads
// lower, its inverse), cooling toward the ambient temperature, warming by
// strobe time, a head that stays hot, and the humidity channel.
#include "sim/mechanism/head_thermal.h"

#include <gtest/gtest.h>

#include <cmath>

namespace sim {
namespace {

TEST(HeadThermal, TheNtcCurveReadsHotterLowerAndInvertsItself) {
  EXPECT_EQ(HeadThermal::NtcReading(25.0), 500);
  uint16_t previous = 1024;
  for (double c = -10.0; c <= 90.0; c += 5.0) {
    const uint16_t raw = HeadThermal::NtcReading(c);
    EXPECT_LT(raw, previous) << c;
    previous = raw;
    EXPECT_NEAR(HeadThermal::NtcCelsius(raw), c, 0.6) << c;
  }
}

TEST(HeadThermal, HeadsCoolTowardTheRoomWarmWithStrobesAndCanStayHot) {
  SimClock clock;
  HeadThermal thermal(clock, HeadClimate{20.0, 40.0, {false, true}});
  EXPECT_DOUBLE_EQ(thermal.HeadC(0), 20.0);
  thermal.SetHeadC(0, 60.0);
  thermal.SetHeadC(1, 60.0);
  clock.AdvanceTo(60 * 1000 * kNsPerMs);
  EXPECT_NEAR(thermal.HeadC(0), 20.0 + 40.0 * std::exp(-1.0), 1e-9);
  EXPECT_DOUBLE_EQ(thermal.HeadC(1), 60.0) << "stays hot";
  // Two seconds of strobe time.
  const double before = thermal.HeadC(0);
  thermal.AddStrobeTime(0, 2000 * kNsPerMs);
  EXPECT_NEAR(thermal.HeadC(0), before + 2.0 * HeadThermal::kKelvinPerStrobeS, 1e-9);
  thermal.SetStuckHot(1, false);
  clock.AdvanceTo(120 * 1000 * kNsPerMs);
  EXPECT_NEAR(thermal.HeadC(1), 20.0 + 40.0 * std::exp(-1.0), 1e-9) << "cools from when it was released";

  struct Channel {
    uint32_t channel;
    uint16_t level;
  };
  thermal.SetAmbientC(25.0);
  const Channel channels[] = {{HeadThermal::kChannelAmbient, 500}, {HeadThermal::kChannelHumidity, 409}};
  for (const Channel& c : channels) {
    uint16_t level = 0;
    ASSERT_TRUE(thermal.Analog(c.channel, &level));
    EXPECT_EQ(level, c.level) << c.channel;
  }
  uint16_t level = 0;
  EXPECT_FALSE(thermal.Analog(19, &level));
  ASSERT_TRUE(thermal.Analog(HeadThermal::kChannelHeadR, &level));
  EXPECT_EQ(level, HeadThermal::NtcReading(thermal.HeadC(1)));
}

}  // namespace
}  // namespace sim
