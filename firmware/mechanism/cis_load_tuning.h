// The CIS tuning while paper is loaded, one step machine per engine
// variant: brings the paper front to the current unit's "Top" sensor and,
// once after power-on, tunes the CIS on the blank paper. Arguments: the
// tuning mode, the limit in lines of the feeds to the sensor, the error
// index raised when the sensor is not reached, the check mask. 0, the
// failing step's result, or -1 after an abort.
#pragma once

#include <cstdint>

int32_t TuneCisAtLoadEM2(uint32_t ulMode, uint32_t ulLimitLines, uint32_t ulErrorIndex, uint32_t ulMask);
int32_t TuneCisAtLoadEM3(uint32_t ulMode, uint32_t ulLimitLines, uint32_t ulErrorIndex, uint32_t ulMask);
