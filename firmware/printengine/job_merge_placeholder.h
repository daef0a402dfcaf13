// Until job merging is built, tests choose what the merge decision finds
// (0: nothing to merge).
#pragma once

#include <cstdint>

extern uint32_t g_ulPlaceholderMergeSelector;
