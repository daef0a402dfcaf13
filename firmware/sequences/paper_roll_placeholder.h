// Until the carousel is built, tests count its turns.
#pragma once

#include <cstdint>

extern uint32_t g_ulPlaceholderPaperRollTurns;
