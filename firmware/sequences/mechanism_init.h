// The engine variants' mechanism initialisation and main pinch-roller
// initialisation, installed in g_pfnInitMecha and g_pfnInitMainPinch by
// the engine-variant selection. InitMecha: the paper-roll rotation's
// start-up result. InitMainPinch (move flag: 0 only settle the position
// bookkeeping, 1 also drive the roller up where needed; check mask): 0 or -1.
#pragma once

#include <cstdint>

int32_t InitMechaEM2();
int32_t InitMechaEM3();
int32_t InitMainPinchEM2(uint32_t ulMoveFlag, uint32_t ulMask);
int32_t InitMainPinchEM3(uint32_t ulMoveFlag, uint32_t ulMask);
