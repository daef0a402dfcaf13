// What the head-voltage placeholder was asked to do, for tests.
#pragma once

#include <cstdint>

// Runs of CThvCnt::RestoreAndPowerOff.
extern uint32_t g_ulThvPowerOffRuns;
