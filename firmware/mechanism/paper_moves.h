// What the paper moves share with the idle supervision.
#pragma once

#include <cstdint>

// 1 after the end of the paper roll was seen.
extern uint32_t g_ulPaperEndFlag;
