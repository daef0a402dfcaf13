// The per-line head logs: for every print line the print-line control
// stores the head word at the log offset. Each unit has one log of five
// planes (Y, M, C, overcoat, SP) of 4096 entries, plane k's entries 8192
// bytes x k from the base; the host reads unit L's value by value through
// the universal command.
#pragma once

#include <cstdint>

#include "firmware/hal/isr_shared.h"

constexpr uint32_t HEAD_LINE_LOG_PLANES = 5;
constexpr uint32_t HEAD_LINE_LOG_ENTRIES = 4096;
constexpr uint32_t HEAD_LINE_LOG_VALUES = HEAD_LINE_LOG_PLANES * HEAD_LINE_LOG_ENTRIES;

using HeadLineLog = hal::IsrShared<uint16_t>[HEAD_LINE_LOG_PLANES][HEAD_LINE_LOG_ENTRIES];
extern HeadLineLog g_usHeadLineLogA;  // unit L
extern HeadLineLog g_usHeadLineLogB;  // unit R

// Value i of a log, planes one after another.
inline uint16_t HeadLineLogValue(const HeadLineLog& log, uint32_t ulIndex) {
  return log[ulIndex / HEAD_LINE_LOG_ENTRIES][ulIndex % HEAD_LINE_LOG_ENTRIES];
}
