// The machine's 21 life counters, built by the machine definition right
// after their cells:
//   C(object, label, main cell address, head unit, head cell address,
//     host parameter id or 0)
#pragma once

#include <cstdint>

#include "firmware/devices/life_counter.h"

constexpr uint8_t LIFE_COUNTER_HEAD_NONE = 0xFF;

// After the donor managers.
#define LIFE_COUNTERS_MAIN(C)                                                                  \
  C(g_CounterTotal, "Total           ", 302, LIFE_COUNTER_HEAD_NONE, 0, 225)                   \
  C(g_CounterMainte, "Mainte          ", 306, LIFE_COUNTER_HEAD_NONE, 0, 226)                  \
  C(g_CounterTotalLengthL, "Total           ", 272, LIFE_COUNTER_HEAD_NONE, 0, 227)            \
  C(g_CounterTotalLengthR, "Total           ", 284, LIFE_COUNTER_HEAD_NONE, 0, 228)            \
  C(g_CounterMntLengthL, "Mainte          ", 276, LIFE_COUNTER_HEAD_NONE, 0, 229)              \
  C(g_CounterMntLengthR, "Mainte          ", 288, LIFE_COUNTER_HEAD_NONE, 0, 230)              \
  C(g_CounterTotalL, "Total           ", 256, LIFE_COUNTER_HEAD_NONE, 0, 231)                  \
  C(g_CounterTotalR, "Total           ", 310, LIFE_COUNTER_HEAD_NONE, 0, 232)                  \
  C(g_CounterMntL, "Mainte          ", 260, LIFE_COUNTER_HEAD_NONE, 0, 233)                    \
  C(g_CounterMntR, "Mainte          ", 314, LIFE_COUNTER_HEAD_NONE, 0, 234)                    \
  C(g_CounterMediaPrn, "MediaPrn        ", 300, LIFE_COUNTER_HEAD_NONE, 0, 235)                \
  C(g_CounterMediaPrnL, "MediaPrn        ", 296, LIFE_COUNTER_HEAD_NONE, 0, 236)               \
  C(g_CounterMediaPrnR, "MediaPrn        ", 298, LIFE_COUNTER_HEAD_NONE, 0, 237)               \
  C(g_CounterCut, "Cut             ", 264, LIFE_COUNTER_HEAD_NONE, 0, 240)                     \
  C(g_CounterCarousel, "Carousel        ", 268, LIFE_COUNTER_HEAD_NONE, 0, 241)                \
  C(g_CounterHeadLengthL, "Head            ", 280, 0, 100, 242)                                \
  C(g_CounterHeadLengthR, "Head            ", 292, 1, 100, 243)                                \
  C(g_CounterHeadPrintsL, "Head            ", 318, 0, 96, 244)                                 \
  C(g_CounterHeadPrintsR, "Head            ", 322, 1, 96, 245)
// After the two target settings.
#define LIFE_COUNTERS_AFTER_TARGETS(C)                                                         \
  C(g_CounterTested, "Tested          ", 200, LIFE_COUNTER_HEAD_NONE, 0, 0)                    \
  C(g_CounterMainPin, "MainPin         ", 348, LIFE_COUNTER_HEAD_NONE, 0, 255)
#define LIFE_COUNTERS_ALL(C) LIFE_COUNTERS_MAIN(C) LIFE_COUNTERS_AFTER_TARGETS(C)

#define LIFE_COUNTER_DECLARE(name, ...) extern CLifeCounter name;
LIFE_COUNTERS_ALL(LIFE_COUNTER_DECLARE)
#undef LIFE_COUNTER_DECLARE

struct LifeCounterSpec {
  CLifeCounter* pCounter;
  const char* pszLabel;
  uint16_t usMainCell;
  uint8_t ucHeadUnit;  // 0 unit L, 1 unit R, LIFE_COUNTER_HEAD_NONE
  uint16_t usHeadCell;
  uint8_t ucHostId;  // 0: the host does not address it
};

#define LIFE_COUNTER_COUNT_ONE(...) +1
constexpr uint32_t LIFE_COUNTER_COUNT = 0 LIFE_COUNTERS_ALL(LIFE_COUNTER_COUNT_ONE);
constexpr uint32_t LIFE_COUNTER_MAIN_COUNT = 0 LIFE_COUNTERS_MAIN(LIFE_COUNTER_COUNT_ONE);
static_assert(LIFE_COUNTER_COUNT == 21);

#define LIFE_COUNTER_ROW(name, label, cell, unit, headCell, id) {&name, label, cell, unit, headCell, id},
inline constexpr LifeCounterSpec g_aLifeCounterSpecs[LIFE_COUNTER_COUNT] = {LIFE_COUNTERS_ALL(LIFE_COUNTER_ROW)};
#undef LIFE_COUNTER_ROW

// Builds the rows [first, first + count), each right after its cells.
void ConstructLifeCounters(uint32_t ulFirst, uint32_t ulCount);
