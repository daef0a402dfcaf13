// The ribbon kind of a unit's loaded ribbon, from the ribbon-roll model its
// type index selects.
#include "firmware/printengine/unit_ribbon_kind.h"

#include "firmware/mechanism/ribbon_roll.h"

uint32_t SelectedRollRibbonKind(uint32_t ulUnit, bool bColorRow) {
  const bool bUnitR = ulUnit == 1;
  const uint32_t ulIndex = bUnitR ? g_ulRibbonTypeIndexR : g_ulRibbonTypeIndexL;
  if (ulIndex >= RIBBON_ROLL_ROW) return 0;
  CRibbonRoll* const* apRow = bColorRow ? (bUnitR ? g_apRibbonRollColorR : g_apRibbonRollColorL)
                                        : (bUnitR ? g_apRibbonRollMarkR : g_apRibbonRollMarkL);
  const CRibbonRoll* pModel = apRow[ulIndex];
  if (!IsRibbonRollModel(pModel)) return 0;
  return pModel->GetRibbonKind();
}
