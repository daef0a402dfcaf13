// Placeholder of the print-sequence support: the line-speed ramps are not
// built yet (they stay empty).
#include "firmware/platform/placeholder.h"
#include "firmware/printengine/print_support.h"

// No print sequence keeps panel offsets yet: all stay 0.
uint32_t g_aulRibbonPanelOffset[4];

uint32_t BuildLineSpeedRamp(const CRampTable&, CRampTable&) {
  static bool s_bLogged;
  LogPlaceholderOnce(s_bLogged, "BuildLineSpeedRamp (print support)");
  return 0;
}
