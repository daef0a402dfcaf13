// The unit switch between print unit A (left, L) and unit B (right, R): the
// mechanism and print code works on the current unit through global
// pointers and error-index words that SelectUnit re-points all at once.
#pragma once

#include <cstdint>

// The current unit as last passed to SelectUnit: 0 unit A, 1 unit B.
extern uint32_t g_ulCurrentUnit;

// 0 selects unit A, any other value unit B; returns the result of the
// dummy-line reload.
// The current unit's paper-end jam index ("Upper L Jam" / "Upper R Jam",
// suffix 31).
extern uint32_t g_ulCurErrUpperJam31;

int32_t SelectUnit(uint32_t arg_ulUnit);
uint32_t GetCurrentUnit();
