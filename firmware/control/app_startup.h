// The application: its start-up in order, then the main loop. Returns only
// when the main loop is told to stop.
#pragma once

#include <cstdint>

void AppTaskMain();

// The ribbon control type: non-zero selects colour-sensor ribbon control
// and the descriptor set the start-up registers. Set to 1 by the start-up
// before the USB identity is registered.
extern uint8_t g_ucRibbonControlType;
