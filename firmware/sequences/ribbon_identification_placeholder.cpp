// Placeholder of the ribbon identification: every ribbon passes, and the
// ribbon initialisation leaves what it leaves on the loaded ribbons (the
// query of ribbon_identification_placeholder.h names them): each
// unit's colour ribbon-roll model of the loaded type selected, both units'
// ribbon sizes and kinds in the media configuration, the print sizes
// selected again and the media information sent.
#include "firmware/sequences/ribbon_identification_placeholder.h"

#include "firmware/control/event_set.h"
#include "firmware/mechanism/ribbon_roll.h"
#include "firmware/platform/placeholder.h"
#include "firmware/printengine/media_config.h"
#include "firmware/sequences/action_results_placeholder.h"
#include "firmware/sequences/event_actions.h"

LoadedRibbonQuery g_pfnLoadedRibbonStandIn;

namespace {
bool s_bLogged;
void Note() { LogPlaceholderOnce(s_bLogged, "ribbon identification"); }

uint32_t LoadedRibbon(uint32_t ulUnit) {
  return g_pfnLoadedRibbonStandIn != nullptr ? g_pfnLoadedRibbonStandIn(ulUnit) : RIBBON_TYPE_COLOR_8X10_K1;
}

// Selects the unit's colour-sensor model of the loaded type, as the ribbon
// checks select the identified ribbon, and stores its size and kind. A unit
// without ribbon, or with one no colour-sensor model has, keeps its type
// index and gets size 0 and kind 0.
void StoreLoadedRibbon(uint32_t ulUnit) {
  const bool bUnitR = ulUnit == 1;
  CRibbonRoll* const* apRow = bUnitR ? g_apRibbonRollColorR : g_apRibbonRollColorL;
  const uint32_t ulType = LoadedRibbon(ulUnit);
  uint16_t usSize = RIBBON_SIZE_NONE;
  uint16_t usKind = 0;
  for (uint32_t ulIndex = 0; ulType < RIBBON_TYPE_COUNT && IsRibbonRollModel(apRow[ulIndex]); ++ulIndex) {
    if (&apRow[ulIndex]->Type() != &g_aRibbonTypes[ulType]) continue;
    (bUnitR ? g_ulRibbonTypeIndexR : g_ulRibbonTypeIndexL) = ulIndex;
    usSize = static_cast<uint16_t>(apRow[ulIndex]->GetRibbonSize());
    usKind = static_cast<uint16_t>(apRow[ulIndex]->GetRibbonKind());
    break;
  }
  g_MediaConfig.SetRibbonSize(ulUnit, usSize);
  g_MediaConfig.SetRibbonKind(ulUnit, usKind);
}
}  // namespace

int32_t InitRibbonAction(uint32_t) {
  Note();
  // A failed initialisation stores nothing.
  if (g_PlaceholderActionResults.lInitRibbon == 0) {
    StoreLoadedRibbon(0);
    StoreLoadedRibbon(1);
    g_MediaConfig.SelectPrintSizeTable();
    g_MediaConfig.SendMediaInfo();
  }
  ClearActionEvents({EV_INIT_RIBBON});
  return g_PlaceholderActionResults.lInitRibbon;
}

int32_t RibbonCheckingAction() {
  Note();
  ClearActionEvents({EV_CHECK_RIBBON});
  return 0;
}

int32_t CheckRibbonsIdle() {
  Note();
  return 0;
}
