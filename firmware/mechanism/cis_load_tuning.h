// The CIS tuning while paper is loaded, one step machine per engine
// variant: brings the paper front to the current unit's "Top" sensor and,
// once after power-on, tunes the CIS on the blank paper. Arguments: the
// tuning mode, the limit in lines of the feeds to the sensor, the error
// index raised when the sensor is not reached, the check mask. 0, the
// failing step's result, or -1 after an abort.
#pragma once

#include <cstdint>

// 0 after power-on; 1 once a load has tuned the CIS (the self-diagnosis
// clears it). The tuning runs while it is 0 and "Cis SW" is 1.
extern uint32_t g_ulCisTunedAtLoad;

// Both end with the paper at line g_ulEngPosRefB and the clutches off. EM2
// tunes 125 lines before line 65536, then lowers the feed pinch, takes up
// the ribbon slack, moves to the end position, stops the ribbon and lifts
// the main pinch; EM3 moves to the end position first, tunes there and
// ends with the main pinch half down. A roll end found before the tuning
// ends the sequence at once (0, the clutches left on). After a roll end
// already detected the paper is brought by the load pinch instead.
int32_t TuneCisAtLoadEM2(uint32_t ulMode, uint32_t ulLimitLines, uint32_t ulErrorIndex, uint32_t ulMask);
int32_t TuneCisAtLoadEM3(uint32_t ulMode, uint32_t ulLimitLines, uint32_t ulErrorIndex, uint32_t ulMask);
