// The per-line head log of unit A: for every print line the print-line
// control records five 16-bit values; the host reads them value by value
// through the universal command.
#pragma once

#include <cstdint>

constexpr uint32_t HEAD_LINE_LOG_LINES = 4096;
constexpr uint32_t HEAD_LINE_LOG_VALUES_PER_LINE = 5;
constexpr uint32_t HEAD_LINE_LOG_VALUES = HEAD_LINE_LOG_LINES * HEAD_LINE_LOG_VALUES_PER_LINE;

extern uint16_t g_usHeadLineLogA[HEAD_LINE_LOG_LINES][HEAD_LINE_LOG_VALUES_PER_LINE];
