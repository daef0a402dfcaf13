// What the head-voltage placeholder was asked to do, for tests.
#pragma once

#include <cstdint>

// Runs of CThvCnt::RestoreAndPowerOff.
extern uint32_t g_ulThvPowerOffRuns;

class CThvCnt;
// The last humidity correction set, on which object, and how many.
struct PlaceholderThvHumid {
  const CThvCnt* pThv;
  int32_t lCorrection;
  uint32_t ulCalls;
};
extern PlaceholderThvHumid g_PlaceholderThvHumid;
