// The print mode: normal (one picture a sheet, the three large image
// buffers of each pool) or multi-up (merged sheets of short pictures, the
// eighteen small buffers).
#pragma once

#include <cstdint>

constexpr uint32_t PRINT_MODE_NORMAL = 0;
constexpr uint32_t PRINT_MODE_MULTI_UP = 1;

extern uint32_t g_ulPrintMode;

// Mode 0 or 1: changed only while no job is queued (-1 then, and the mode
// kept), its pools selected; the mode in force is published as status item
// 55 in both cases. -2 for another mode, nothing changed.
int32_t SetPrintMode(uint32_t ulMode);
// Points g_pCurBufSlots at the colour and one-bit pools of the mode.
int32_t SelectImagePools();
