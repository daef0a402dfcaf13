// The engine variant: "Engine Version" 1 is the EM2 mechanism, any other
// value the EM3 mechanism. The variant chooses the sequence hooks, the
// pinch-roller objects and the engine words that the sequences read.
#pragma once

#include <cstdint>

class CProllFeed;
class CProllMain;

// The hooks of the engine variant.
using InitMechaHook = int32_t (*)();
using InitMainPinchHook = int32_t (*)(uint32_t ulMoveFlag, uint32_t ulMask);
using PreparePathHook = int32_t (*)(uint32_t ulMask);
using EndOfJobHook = int32_t (*)(uint32_t ulMask);
using TuneCisAtLoadHook = int32_t (*)(uint32_t ulMode, uint32_t ulLimitLines, uint32_t ulErrorIndex,
                                      uint32_t ulMask);

extern InitMechaHook g_pfnInitMecha;
extern InitMainPinchHook g_pfnInitMainPinch;
extern PreparePathHook g_pfnPreparePath;
extern EndOfJobHook g_pfnEndOfJob;
extern TuneCisAtLoadHook g_pfnTuneCisAtLoad;
extern CProllMain* g_pProllMain;

// The engine words. g_ulEngCisErrIndex is the error index the CIS start-up
// raises (0xFFFF: none). The colour-ribbon flag, with a non-zero ribbon
// control type, enables ready state C and the long-idle ribbon check.
extern uint32_t g_ulEngCisErrIndex;
extern uint32_t g_ulEngMainPinchPos;
extern uint32_t g_ulEngPosRefA;
extern uint32_t g_ulEngPosRefB;
extern uint32_t g_ulEngColorRibbon;
extern uint32_t g_ulEngLineOffset;
// The ribbon drive modes: 2 from "Engine Version" 5 on, else left as they are.
extern uint32_t g_ulEngModeA;
extern uint32_t g_ulEngModeB;
extern uint32_t g_ulEngModeC;

// Applies "Engine Version": writes the variant's hooks, roller pointers and
// engine words, sets the carousel's turn counts and the print geometry's
// engine constants. Run by the start-up and again whenever the setting
// changes.
void SelectEngineVariant();
