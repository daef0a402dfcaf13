// The debug words the "Log Datas" service item shows: a few routines leave
// a value there for the service technician (the ribbon manager's debug
// value in word 0, the sub stepper's ramp figures in words 5 and 6).
#pragma once

#include <cstdint>

constexpr uint32_t LOG_DATA_WORDS = 256;
extern uint32_t g_ulLogData[LOG_DATA_WORDS];
