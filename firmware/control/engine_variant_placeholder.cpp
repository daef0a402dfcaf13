// Placeholder of the engine-variant selection: the main pinch roller is
// EM3's, the variant of "Engine Version"'s default, and its initialisation
// hook settles nothing.
#include "firmware/control/engine_variant.h"
#include "firmware/mechanism/main_pinch.h"
#include "firmware/platform/placeholder.h"

namespace {

int32_t InitMainPinchStandIn(uint32_t, uint32_t) {
  static bool s_bLogged;
  LogPlaceholderOnce(s_bLogged, "main pinch initialisation");
  return 0;
}

}  // namespace

InitMainPinchHook g_pfnInitMainPinch = InitMainPinchStandIn;
CProllMain* g_pProllMain = &g_ProllMainEM3;
