#include "firmware/devices/main_loop_stop.h"

constinit volatile uint32_t g_ulMainLoopStop = 0;

void RequestSystemReset() { g_ulMainLoopStop = 1; }

void RequestApplicationExit() { g_ulMainLoopStop = 1; }
