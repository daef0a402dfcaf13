// The application: its start-up in order, then the main loop. Returns only
// when the main loop is told to stop.
#pragma once

#include <cstdint>

void AppTaskMain();

// The ribbon control type: non-zero selects colour-sensor ribbon control
// and the descriptor set the start-up registers. Set to 1 by the start-up
// before the USB identity is registered.
extern uint8_t g_ucRibbonControlType;

// The colour-ribbon engine flag of the engine variant: with a non-zero
// ribbon control type it enables ready state C and the long-idle ribbon
// check.
extern uint32_t g_ulEngColorRibbon;
// Applies the "Engine Version" setting: 1 selects the EM2 variant of the
// mechanism, any other value the EM3 variant. Run by the start-up and again
// whenever the setting changes.
void SelectEngineVariant();
// The resistances of the heads of unit L and unit R as the start-up read
// them from the head EEPROMs (0 until it has).
extern uint16_t g_usHeadResistanceL;
extern uint16_t g_usHeadResistanceR;
// The last "Ribbon Status" value acted on (ready state A compares it).
extern uint32_t g_ulLastRibbonStatus;

// Debug records of the sequences: kind 0 stores two current values, kind 1
// a table entry, kinds 2-4 a trace array of `count` words. 0, or -1 for a
// kind above 4.
int32_t StoreDebugRecord(uint32_t ulKind, const uint32_t* pulValues, uint32_t ulCount);
