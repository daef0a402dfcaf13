// Words of the print sequences that the gradation chain and the print line
// read: the print-log key of the plane being printed, the sensor-offset
// lines of the track adjustment and the CIS edge result (0 when the sheet's
// paper edge was found, -1 when not; kept while the CIS is off), and the
// feed to the print start of the sheet. 0 after reset.
#pragma once

#include <cstdint>

extern uint32_t g_ulPrintLogColor;
extern int32_t g_lSensorOffsetLines;
extern int32_t g_lCisEdgeResult;
extern int32_t g_lPrintStartFeed;
