// What the ribbon manager shares with the idle supervision.
#pragma once

#include <cstdint>

// Ribbon slack take-up attempts per unit, counted by the take-up sequence.
extern uint32_t g_ulSlackTakeUpCountL;
extern uint32_t g_ulSlackTakeUpCountR;

// The remaining ribbon of a unit (0 unit L, 1 unit R) in percent, from the
// ribbon-roll model its type index selects.
uint32_t GetRibbonRemainPercent(uint32_t ulUnit);
