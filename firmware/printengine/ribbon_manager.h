// What the ribbon manager shares with the idle supervision.
#pragma once

#include <cstdint>

// Ribbon slack take-up attempts per unit, counted by the take-up sequence.
extern uint32_t g_ulSlackTakeUpCountL;
extern uint32_t g_ulSlackTakeUpCountR;
