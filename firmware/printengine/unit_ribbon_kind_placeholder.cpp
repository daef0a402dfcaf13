// Placeholder of the ribbon-roll models' ribbon kind: the models hold no
// kind of their own yet, so the kind follows from which model the type
// index selects (the two four-panel colour models are kind 2, every other
// model kind 1).
#include "firmware/devices/unit_switch.h"
#include "firmware/platform/placeholder.h"
#include "firmware/printengine/ribbon_manager.h"
#include "firmware/printengine/unit_ribbon_kind.h"

namespace {

bool IsFourPanelModel(const CRibbonRoll* pModel) {
  const CRibbonRoll* const apFourPanel[] = {&g_RibbonRolls.color8x10K2L, &g_RibbonRolls.color8x10K2R,
                                            &g_RibbonRolls.color8x12K2L, &g_RibbonRolls.color8x12K2R};
  for (const CRibbonRoll* p : apFourPanel) {
    if (p == pModel) return true;
  }
  return false;
}

}  // namespace

uint32_t SelectedRollRibbonKind(uint32_t ulUnit, bool bColorRow) {
  static bool s_bLogged;
  LogPlaceholderOnce(s_bLogged, "SelectedRollRibbonKind (ribbon-roll models)");
  const bool bUnitR = ulUnit == 1;
  const uint32_t ulIndex = bUnitR ? g_ulRibbonTypeIndexR : g_ulRibbonTypeIndexL;
  if (ulIndex >= RIBBON_ROLL_ROW) return 0;
  CRibbonRoll* const* apRow = bColorRow ? (bUnitR ? g_apRibbonRollColorR : g_apRibbonRollColorL)
                                        : (bUnitR ? g_apRibbonRollMarkR : g_apRibbonRollMarkL);
  const CRibbonRoll* pModel = apRow[ulIndex];
  if (pModel == nullptr) return 0;
  return IsFourPanelModel(pModel) ? RIBBON_KIND_2 : RIBBON_KIND_1;
}
