// What the paper-roll placeholder was asked to set, for tests.
#pragma once

#include <cstdint>

struct PlaceholderRollDiameterCalls {
  uint32_t ulFromStepsCalls;
  uint32_t ulLastSteps;
  uint32_t ulSetDiameterCalls;
  double dLastDiameter;
};

extern PlaceholderRollDiameterCalls g_RollDiameterCalls;
