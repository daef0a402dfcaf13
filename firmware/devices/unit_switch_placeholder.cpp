// Placeholder of the unit switch: records the unit and points the paper-end
// jam index at it; no other pointer is re-pointed yet, since none of the
// objects they name is built.
#include "firmware/devices/unit_switch.h"
#include "firmware/platform/placeholder.h"

uint32_t g_ulCurrentUnit;
uint32_t g_ulCurErrUpperJam31;

namespace {
constexpr uint32_t kUpperJam31[2] = {0x151Fu, 0x1583u};
}  // namespace

int32_t SelectUnit(uint32_t arg_ulUnit) {
  static bool s_bLogged;
  LogPlaceholderOnce(s_bLogged, "SelectUnit (unit switch)");
  g_ulCurrentUnit = arg_ulUnit != 0 ? 1 : 0;
  g_ulCurErrUpperJam31 = kUpperJam31[g_ulCurrentUnit];
  return 0;
}

uint32_t GetCurrentUnit() { return g_ulCurrentUnit; }
