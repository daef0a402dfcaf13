#include "firmware/control/line_steps.h"

#include "firmware/devices/settings.h"

namespace {

// S, never 0: an unbuilt setting (0) would divide by zero, so it counts as
// its lowest value.
uint32_t StepsPerKiloLine() {
  int32_t lValue = 0;
  g_ParamStpLx1000.GetValue(&lValue);
  return lValue > 0 ? static_cast<uint32_t>(lValue) : 1000u;
}

}  // namespace

uint32_t LinesToSteps(uint32_t ulLines) { return (ulLines * StepsPerKiloLine() / 1000) & ~1u; }
uint32_t LinesToStepsX2(uint32_t ulLines) { return (ulLines * StepsPerKiloLine() / 500) & ~1u; }
uint32_t LinesToStepsX4(uint32_t ulLines) { return (ulLines * StepsPerKiloLine() / 250) & ~3u; }
uint32_t LinesToStepsHalf(uint32_t ulLines) { return ulLines * StepsPerKiloLine() / 2000; }
uint32_t StepsToLines(uint32_t ulSteps) { return ulSteps * 1000 / StepsPerKiloLine(); }
uint32_t HalfStepsToLines(uint32_t ulHalfSteps) { return ulHalfSteps * 2000 / StepsPerKiloLine(); }
