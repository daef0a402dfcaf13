// Words the paper and ribbon sequences share with the control core and the
// print engine.
#pragma once

#include <cstdint>

// Bit 0 unit L, bit 1 unit R: the units the last job printed on (both at
// power-up).
extern uint32_t g_ulUnitsPrinted;
// Bit 0 unit L, bit 1 unit R: the unit's ribbon is to be tested again (both
// at power-up).
extern uint32_t g_ulRibbonCheckPending;
// Print lines of ribbon before the Y panel's image: the ribbon's lead-in
// at the head while a sheet's Y plane is printed.
extern uint32_t g_ulRibDummyLines;
// The paper path was changed, prepared, and when it was prepared (ms).
extern uint32_t g_ulPathChanged;
extern uint32_t g_ulPathPrepared;
extern uint32_t g_ulPathPrepTime;
