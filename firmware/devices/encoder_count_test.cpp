// Encoder count arithmetic modulo 2^16: distances either way across the
// wrap, the longest distances that keep their sign, and targets beyond
// the wrap.
#include "firmware/devices/encoder_count.h"

#include <gtest/gtest.h>

namespace {

TEST(EncoderCount, DistancesAndTargetsWrapAt16Bits) {
  struct Distance {
    uint32_t ulFrom, ulTo;
    int32_t lDistance;
  };
  const Distance distances[] = {
      {10, 30, 20},       {30, 10, -20},       {65530, 14, 20},      {14, 65530, -20},
      {0, 32767, 32767},  {0, 32768, -32768},  {65535, 0, 1},        {0x12345, 0x10005, -9024},
  };
  for (const Distance& d : distances) EXPECT_EQ(EncoderDistance(d.ulFrom, d.ulTo), d.lDistance) << d.ulFrom;

  struct Target {
    uint32_t ulCount, ulCounts, ulTarget;
  };
  const Target targets[] = {{65530, 20, 14}, {100, 0, 100}, {65535, 1, 0}, {0, 40000, 32767}, {1000, 0xFFFFFFFFu, 33767}};
  for (const Target& t : targets) EXPECT_EQ(EncoderTarget(t.ulCount, t.ulCounts), t.ulTarget) << t.ulCount;
}

}  // namespace
