// The path preparation for the next job, one step machine per engine
// variant, installed in g_pfnPreparePath. Argument: the check mask. 0 or
// non-zero on a failure.
#pragma once

#include <cstdint>

int32_t PreparePathSequence_EM2(uint32_t ulMask);
int32_t PreparePathSequence_EM3(uint32_t ulMask);
