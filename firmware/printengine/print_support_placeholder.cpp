// Placeholder of the print-sequence support: the line-speed ramps are not
// built yet (they stay empty).
#include "firmware/platform/placeholder.h"
#include "firmware/printengine/print_support.h"

uint32_t BuildLineSpeedRamp(const CRampTable&, CRampTable&) {
  static bool s_bLogged;
  LogPlaceholderOnce(s_bLogged, "BuildLineSpeedRamp (print support)");
  return 0;
}
