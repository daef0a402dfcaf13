// The path preparation for the next job, one step machine per engine
// variant, installed in g_pfnPreparePath: the print order of the current
// job's next copy is built, the paper changes to the path of its first row
// when needed, the head is pre-heated and the paper is fed to the start
// position 67133 of that unit's path, where it stays (g_ulPathPrepared 1)
// with the pinch rollers closed. Argument: the check mask. 0, or non-zero
// on a failure (no current job: -1, nothing moved).
#pragma once

#include <cstdint>

int32_t PreparePathSequence_EM2(uint32_t ulMask);
int32_t PreparePathSequence_EM3(uint32_t ulMask);
