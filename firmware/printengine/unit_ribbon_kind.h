// The ribbon kind of a unit's loaded ribbon as its ribbon-roll model gives
// it: the model the unit's ribbon-type index selects in the unit's row of
// colour-sensor models (bColorRow) or of mark-sensor models.
#pragma once

#include <cstdint>

constexpr uint32_t RIBBON_KIND_1 = 1;
// The four-panel colour ribbons.
constexpr uint32_t RIBBON_KIND_2 = 2;

// Unit 1 is unit R, any other unit L. 1 or 2, or 0 when the type index
// names no model of the row.
uint32_t SelectedRollRibbonKind(uint32_t ulUnit, bool bColorRow);
