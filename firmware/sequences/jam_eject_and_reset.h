// The step machines behind the jam eject, system reset and ready-B actions
// (event_actions.h).
#pragma once

#include <cstdint>

// The main pinch up, the sheet fed out until "Position" is clear and 2530
// lines more (0x152E when it is not clear within 1717 lines), then the
// main pinch up again and both paper steppers stopped, whatever the feed
// gave.
int32_t JamEjectSequence(uint32_t ulMask);
// The mechanism off, "System reset... ", 1000 ms, the main loop ends. 0.
int32_t SystemResetSequence();
// Nothing to prepare yet. 0.
int32_t ReadyBPrepareSequence(uint32_t ulMask);
