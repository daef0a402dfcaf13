// The line and step conversions through "Stp/Lx1000".
#include "firmware/control/line_steps.h"

#include <gtest/gtest.h>

#include "firmware/devices/settings.h"
#include "firmware/hal/global.h"

namespace {

TEST(LineSteps, ConversionsRoundAsTheirCallersNeed) {
  struct Case {
    int32_t lStepsPerKiloLine;
    uint32_t (*pfn)(uint32_t);
    const char* pszName;
    uint32_t ulIn;
    uint32_t ulOut;
  };
  const Case cases[] = {
      {4000, LinesToSteps, "LinesToSteps", 1, 4},       {2722, LinesToSteps, "LinesToSteps", 1, 2},
      {2722, LinesToSteps, "LinesToSteps", 1000, 2722}, {2723, LinesToSteps, "LinesToSteps", 1000, 2722},
      {2722, LinesToStepsX2, "X2", 1, 4},               {2722, LinesToStepsX4, "X4", 1, 8},
      {2700, LinesToStepsX4, "X4", 1, 8},               {3000, LinesToStepsX4, "X4", 1, 12},
      {4000, LinesToStepsHalf, "Half", 3, 6},           {2722, LinesToStepsHalf, "Half", 1, 1},
      {4000, StepsToLines, "StepsToLines", 10, 2},      {2722, StepsToLines, "StepsToLines", 2722, 1000},
      {4000, HalfStepsToLines, "Half", 10, 5},          {1000, HalfStepsToLines, "Half", 3, 6},
      // A setting not built yet (0) counts as its lowest value, not as a
      // division by zero.
      {0, StepsToLines, "StepsToLines", 10, 10},        {0, HalfStepsToLines, "Half", 10, 20},
  };
  for (const Case& c : cases) {
    hal::ConstructGlobal(g_ParamStpLx1000, "Stp/Lx1000       ", 1000, 8000, nullptr, nullptr, nullptr,
                         c.lStepsPerKiloLine);
    EXPECT_EQ(c.pfn(c.ulIn), c.ulOut) << c.pszName << "(" << c.ulIn << ") at " << c.lStepsPerKiloLine;
  }
}

}  // namespace
