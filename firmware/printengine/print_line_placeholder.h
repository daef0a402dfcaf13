// Until the print line and the plane sequencer are built, tests count the
// ticks the interrupt gave them and the print stops asked of the line.
#pragma once

#include <cstdint>

extern uint32_t g_ulPlaceholderLineSegmentTicks;
extern uint32_t g_ulPlaceholderPlaneTicks;
extern uint32_t g_ulPlaceholderStopPrintCalls;
