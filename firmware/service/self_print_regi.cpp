// The registration boxes: three boxes of 130 x 130 across the page, three
// times down it, on a background level. A box's column x = h + k (130 +
// 2h) follows the same construction as its period down the page (2m + 130).
#include "firmware/service/self_print.h"

namespace {

constexpr uint32_t kBox = 130;

// One box row: runs of (dots, level) from the box's column.
struct Run {
  uint8_t ucDots;
  uint8_t ucLevel;
};
struct BoxRow {
  uint8_t ucRuns;
  Run aRuns[5];
};
// Rows 1-4: the top edge, the sides, the centre bar with the sides, the
// horizontal bar with the sides.
constexpr BoxRow kBoxRows[4] = {
    {1, {{130, 255}}},
    {3, {{2, 255}, {126, 0}, {2, 255}}},
    {5, {{2, 255}, {61, 0}, {4, 255}, {61, 0}, {2, 255}}},
    {5, {{2, 255}, {3, 0}, {120, 255}, {3, 0}, {2, 255}}},
};
static_assert(kBoxRows[2].aRuns[0].ucDots + kBoxRows[2].aRuns[1].ucDots + kBoxRows[2].aRuns[2].ucDots +
                  kBoxRows[2].aRuns[3].ucDots + kBoxRows[2].aRuns[4].ucDots == kBox);

// Thresholds t0-t8 from m: the rows down one period.
constexpr uint16_t kOffsets[8] = {0, 2, 5, 63, 67, 125, 128, 130};
// Row of each interval [t(i), t(i+1)), and [0, t0).
constexpr uint16_t kIntervalRows[9] = {0, 1, 2, 3, 4, 3, 2, 1, 0};

}  // namespace

void CSelfPrintRegi::Draw() {
  const PrintSizeRecord& size = DrawingPrintSize();
  const int32_t m = (static_cast<int32_t>(size.ulPrintLength / 3) - static_cast<int32_t>(kBox)) / 2;
  for (uint32_t i = 0; i < 8; ++i) m_ausThresholds[i] = static_cast<uint16_t>(m + kOffsets[i]);
  m_ausThresholds[8] = static_cast<uint16_t>(2 * m + static_cast<int32_t>(kBox));
  const int32_t h = (static_cast<int32_t>(size.ulPrintWidth / 3) - static_cast<int32_t>(kBox)) / 2;
  FullRow(0, m_usBackground, 10);
  for (uint32_t k = 0; k < 3; ++k) {
    const uint32_t ulX = static_cast<uint32_t>(h + static_cast<int32_t>(k) * (static_cast<int32_t>(kBox) + 2 * h));
    for (uint32_t r = 0; r < 4; ++r) {
      uint32_t ulColumn = ulX;
      for (uint32_t i = 0; i < kBoxRows[r].ucRuns; ++i) {
        const Run& run = kBoxRows[r].aRuns[i];
        Rect(ulColumn, r + 1, run.ucDots, AllLevels(run.ucLevel));
        ulColumn += run.ucDots;
      }
    }
  }
}

uint16_t CSelfPrintRegi::RowAt(uint32_t ulLine) const {
  uint32_t i = 0;
  while (i < 8 && ulLine >= m_ausThresholds[i]) ++i;
  return kIntervalRows[i];
}

uint16_t CSelfPrintRegi::RowOf(uint16_t usLine) {
  return RowAt(m_ausThresholds[8] != 0 ? usLine % m_ausThresholds[8] : usLine);
}

uint16_t CSelfPrintRegi::NextRow() {
  if (m_usLineCounter >= m_ausThresholds[8]) {
    m_usLineCounter = 0;
  }
  const uint16_t usRow = RowAt(m_usLineCounter);
  m_usLineCounter = static_cast<uint16_t>(m_usLineCounter + 1);
  return usRow;
}
