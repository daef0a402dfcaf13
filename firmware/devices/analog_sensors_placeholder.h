// Until the A/D sensors are built, tests set the state every sensor reports.
#pragma once

#include <cstdint>

extern uint32_t g_ulPlaceholderAdState;
