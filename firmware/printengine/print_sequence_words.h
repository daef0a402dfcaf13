// Words of the print sequences that the gradation chain and the print line
// read: the print-log key of the plane being printed, the sensor-offset
// lines of the track adjustment and the CIS edge result. 0 after reset.
#pragma once

#include <cstdint>

extern uint32_t g_ulPrintLogColor;
extern int32_t g_lSensorOffsetLines;
extern int32_t g_lCisEdgeResult;
