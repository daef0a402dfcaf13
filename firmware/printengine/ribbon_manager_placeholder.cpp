// Placeholder of the ribbon models and manager: the slack take-up counts
// the idle supervision reads, the twelve roll models the unit switch
// names (none reports what remains) and the two ribbon-type indexes.
#include "firmware/printengine/ribbon_manager.h"

#include "firmware/platform/placeholder.h"

uint32_t g_ulSlackTakeUpCountL;
uint32_t g_ulSlackTakeUpCountR;
constinit RibbonRollModels g_RibbonRolls;
uint32_t g_ulRibbonTypeIndexL;
uint32_t g_ulRibbonTypeIndexR;

int32_t CRibbonRoll::GetRemainPercent(uint32_t* pulPercent) {
  *pulPercent = 0;
  return 0;
}

uint32_t GetRibbonRemainPercent(uint32_t) {
  static bool s_bLogged;
  LogPlaceholderOnce(s_bLogged, "GetRibbonRemainPercent (ribbon-roll models)");
  return 0;
}
