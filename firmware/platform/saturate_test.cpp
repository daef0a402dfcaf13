// The double-to-unsigned conversion at its edges: what a plain cast would
// leave undefined (NaN, infinities, values out of range) comes out clamped.
#include "firmware/platform/saturate.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

TEST(Saturate, OutOfRangeValuesClampAndNaNGivesZero) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  struct Case {
    double dValue;
    uint32_t ulResult;
  };
  const Case cases[] = {
      {42.99, 42},
      {0.0, 0},
      {-0.5, 0},
      {-1e9, 0},
      {4294967294.9, 4294967294u},
      {4294967295.0, 4294967295u},
      {4294967296.0, 4294967295u},
      {1e300, 4294967295u},
      {kInf, 4294967295u},
      {-kInf, 0},
      {std::numeric_limits<double>::quiet_NaN(), 0},
  };
  for (const Case& c : cases) EXPECT_EQ(SaturateToU32(c.dValue), c.ulResult) << c.dValue;
  EXPECT_EQ(DivideOrZero(1.0, 0.0), 0.0);
  EXPECT_EQ(DivideOrZero(-1.0, 4.0), -0.25);
}

}  // namespace
