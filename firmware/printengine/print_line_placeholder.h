// Until the print line and the plane sequencer are built, tests count the
// ticks the interrupt gave them.
#pragma once

#include <cstdint>

extern uint32_t g_ulPlaceholderLineSegmentTicks;
extern uint32_t g_ulPlaceholderPlaneTicks;
