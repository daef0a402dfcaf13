// The application: its start-up in order, then the main loop. Returns only
// when the main loop is told to stop.
#pragma once

#include <cstdint>

void AppTaskMain();

// The ribbon control type: non-zero selects colour-sensor ribbon control
// and the descriptor set the start-up registers. Set to 1 by the start-up
// before the USB identity is registered.
extern uint8_t g_ucRibbonControlType;
// The last "Ribbon Status" value acted on (ready state A compares it).
extern uint32_t g_ulLastRibbonStatus;
// Each unit's head value from its head EEPROM (bytes 20 and 21); the
// both-heads pre-heat walks the supply of the head with the lower one.
extern uint16_t g_usHeadResistanceL;
extern uint16_t g_usHeadResistanceR;
// By the ribbon control type: the LCD text while the mechanism
// initialises, and the first ribbon dummy-line count.
extern const char* g_pszInitText;
extern uint32_t g_ulRibDummyLinesInit;
