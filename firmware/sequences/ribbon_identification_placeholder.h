// Until ribbon identification reads each unit's ribbon from its barcode,
// the placeholder of its action takes the ribbon the board says is loaded.
// A board that models its ribbons (the virtual board) sets the query before
// the boot; it answers a unit's RibbonType (firmware/mechanism/
// ribbon_roll.h), or RIBBON_TYPE_COUNT when the unit holds no ribbon.
// Unset, both units hold a colour 8x10 ribbon of kind 1.
#pragma once

#include <cstdint>

// Unit 0 is unit L, 1 unit R.
using LoadedRibbonQuery = uint32_t (*)(uint32_t ulUnit);
extern LoadedRibbonQuery g_pfnLoadedRibbonStandIn;
