// Ribbon winding steps shared by the paper and ribbon sequences.
#pragma once

#include <cstdint>

#include "firmware/sequences/sequence_words.h"

// The ribbon's dummy step machine, run after a ribbon has been found or
// wound: its start step is its end step, so it returns 0 at once and moves
// nothing. The mask is the caller's.
int32_t RibbonDummyRun(uint32_t ulMask);

// Takes up the current unit's ribbon slack; a count flag not 0 counts the
// take-up, skip not 0 only stops the ribbon. 0 or the failing step's result.
int32_t TakeUpRibbonSlack(uint32_t ulCount, uint32_t ulSkip, uint32_t ulMask);

// Tightens the current unit's ribbon: the manager raises the take-up duty
// for every interval in which the supply does not move, up to its start
// duty + 20, and fails beyond; done once the supply has moved ulCounts.
// The motors are left to the caller. 0 or -1.
int32_t TightenRibbon(uint32_t ulIntervalMs, uint32_t ulCounts, uint32_t ulMask);
