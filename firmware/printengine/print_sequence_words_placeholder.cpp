// Placeholder of the colour print sequence's words: nothing prints yet, so
// they keep their reset value 0.
#include "firmware/printengine/print_sequence_words.h"

constinit int32_t g_lSensorOffsetLines;
constinit int32_t g_lCisEdgeResult;
