// Until the eject motor is built, tests see the starts it was asked for.
#pragma once

#include <cstdint>

extern uint32_t g_ulPlaceholderEjectStarts;
extern uint32_t g_ulPlaceholderEjectDirection;
