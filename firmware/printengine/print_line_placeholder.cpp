// Placeholder of the print-line control: no line is printed yet, so the
// head log of unit A stays all zero.
#include "firmware/printengine/head_line_log.h"

uint16_t g_usHeadLineLogA[HEAD_LINE_LOG_LINES][HEAD_LINE_LOG_VALUES_PER_LINE];
