// Ribbon winding steps shared by the paper and ribbon sequences.
#pragma once

#include <cstdint>

// The ribbon's dummy step machine, run after a ribbon has been found or
// wound: its start step is its end step, so it returns 0 at once and moves
// nothing. The mask is the caller's.
int32_t RibbonDummyRun(uint32_t ulMask);

// Print lines of ribbon before the Y panel's image: the ribbon's lead-in
// at the head while a sheet's Y plane is printed.
extern uint32_t g_ulRibDummyLines;
