// Ribbon winding steps shared by the paper and ribbon sequences.
#pragma once

#include <cstdint>

// The ribbon's dummy step machine, run after a ribbon has been found or
// wound: its start step is its end step, so it returns 0 at once and moves
// nothing. The mask is the caller's.
int32_t RibbonDummyRun(uint32_t ulMask);
