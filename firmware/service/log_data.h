// Debug words a few routines leave for the service technician (the ribbon
// manager's debug value in word 0, the roll diameter in word 5 and the feed
// rate in word 6). Plain data: no menu item shows them.
#pragma once

#include <cstdint>

constexpr uint32_t LOG_DATA_WORDS = 256;
extern uint32_t g_ulLogData[LOG_DATA_WORDS];
