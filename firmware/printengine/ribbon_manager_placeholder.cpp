// Placeholder of the ribbon models and manager: only the slack take-up
// counts the idle supervision reads exist, and no roll model reports what
// remains.
#include "firmware/printengine/ribbon_manager.h"

#include "firmware/platform/placeholder.h"

uint32_t g_ulSlackTakeUpCountL;
uint32_t g_ulSlackTakeUpCountR;

uint32_t GetRibbonRemainPercent(uint32_t) {
  static bool s_bLogged;
  LogPlaceholderOnce(s_bLogged, "GetRibbonRemainPercent (ribbon-roll models)");
  return 0;
}
