// Placeholder of the unit switch: records the unit; no pointer is re-pointed
// yet, since none of the objects they name is built.
#include "firmware/devices/unit_switch.h"
#include "firmware/platform/placeholder.h"

uint32_t g_ulCurrentUnit;

int32_t SelectUnit(uint32_t arg_ulUnit) {
  static bool s_bLogged;
  LogPlaceholderOnce(s_bLogged, "SelectUnit (unit switch)");
  g_ulCurrentUnit = arg_ulUnit != 0 ? 1 : 0;
  return 0;
}

uint32_t GetCurrentUnit() { return g_ulCurrentUnit; }
