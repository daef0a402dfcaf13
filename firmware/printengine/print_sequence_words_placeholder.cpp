// Placeholder of the print sequences' words: nothing prints yet, so they
// keep their reset value 0.
#include "firmware/printengine/print_sequence_words.h"

constinit uint32_t g_ulPrintLogColor;
constinit int32_t g_lSensorOffsetLines;
constinit int32_t g_lCisEdgeResult;
