// The per-unit steps of the ribbon initialisation that the ribbon set-up
// after an exchange shares with the initial ribbon handling. Each works on
// one unit (0 L, 1 R) with the abort mask of its caller. Results: 0
// success, non-zero failure.
#pragma once

#include <cstdint>

// Full initialisation of one unit with the colour-sensor ribbon managers:
// ribbon loaded, first and second donor checks, size and kind of the
// identified ribbon. *pulSize and *pulKind are always written (0 when the
// run stopped before they were read). ulKeepPrinted 0 clears the record of
// the units that printed.
int32_t InitRibbonUnit(uint32_t ulUnit, uint32_t* pulSize, uint32_t* pulKind,
                       uint32_t ulKeepPrinted, uint32_t ulMask);

// The short check of a unit that is not flagged for initialisation: only
// when the unit keeps a wound-back ribbon, the ribbon check before
// printing; else 0.
int32_t CheckKeptRibbonUnit(uint32_t ulUnit, uint32_t ulMask);

// Winds a newly loaded ribbon of the current unit to its first panel mark
// with the mark-sensor ribbon managers and lets them identify it. ulMode 0
// normal, 2 during the auto-diagnosis. 0 wound and identified, -1 failure.
int32_t InitialRibbonWinding(uint32_t ulMode);
