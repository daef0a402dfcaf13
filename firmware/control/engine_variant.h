// The engine variant: "Engine Version" 1 is the EM2 mechanism, any other
// value the EM3 mechanism. The variant chooses the pinch-roller objects and
// the main pinch roller's initialisation hook.
#pragma once

#include <cstdint>

class CProllMain;

using InitMainPinchHook = int32_t (*)(uint32_t ulMoveFlag, uint32_t ulMask);

extern InitMainPinchHook g_pfnInitMainPinch;
extern CProllMain* g_pProllMain;
