// The default pattern: twelve bands down the page, each printing one row:
// grey strips with two crosses (rows 0-4), the three primaries (5-7), a
// blank (8), eight half-level patches (9), a blank (10) and eight
// full-level patches (11).
#include "firmware/service/self_print.h"

namespace {

constexpr uint16_t kGrey = 190;
constexpr uint32_t kLastBand = CSelfPrintStandard::kBands - 1;

// A cross row: grey with two black marks, as (from the left edge, dots)
// mirrored at the right edge.
struct CrossRow {
  uint8_t ucRow;
  uint8_t ucFrom;
  uint8_t ucDots;
};
constexpr CrossRow kCrossRows[3] = {{1, 68, 4}, {2, 50, 40}, {3, 68, 4}};

// The patches of rows 9 and 11: which planes take the row's level.
constexpr PlaneLevels kPatchPlanes[8] = {
    {1, 1, 1}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 0}, {1, 0, 1}, {0, 1, 1}, {1, 1, 1},
};

PlaneLevels Scaled(PlaneLevels planes, uint16_t usLevel) {
  return {static_cast<uint16_t>(planes.usY * usLevel), static_cast<uint16_t>(planes.usM * usLevel),
          static_cast<uint16_t>(planes.usC * usLevel)};
}

}  // namespace

void CSelfPrintStandard::Draw() {
  const PrintSizeRecord& size = DrawingPrintSize();
  const int32_t lEighth = static_cast<int32_t>(size.ulPrintLength / 8);
  int32_t alHeights[kBands] = {};
  alHeights[0] = (lEighth - 40) >> 1;
  alHeights[1] = 18;
  alHeights[2] = 4;
  alHeights[3] = 18;
  alHeights[4] = lEighth - (alHeights[0] + alHeights[1] + alHeights[2] + alHeights[3]);
  alHeights[5] = alHeights[6] = alHeights[7] = lEighth;
  alHeights[8] = 4;
  alHeights[9] = static_cast<int32_t>(size.ulPrintLength / 4);
  alHeights[10] = 4;
  int32_t lSum = 0;
  for (uint32_t b = 0; b < kLastBand; ++b) lSum += alHeights[b];
  alHeights[kLastBand] = static_cast<int32_t>(size.ulPrintLength) - lSum;
  for (uint32_t b = 0; b < kBands; ++b) m_ausBandHeights[b] = static_cast<uint16_t>(alHeights[b]);

  const uint32_t ulWidth = size.ulPrintWidth;
  FullRow(0, kGrey);
  FullRow(4, kGrey);
  for (const CrossRow& row : kCrossRows) {
    FullRow(row.ucRow, kGrey);
    Rect(row.ucFrom, row.ucRow, row.ucDots, AllLevels(0));
    Rect(ulWidth - row.ucFrom - row.ucDots, row.ucRow, row.ucDots, AllLevels(0));
  }
  Rect(0, 5, ulWidth, {255, 0, 0});
  Rect(0, 6, ulWidth, {0, 255, 0});
  Rect(0, 7, ulWidth, {0, 0, 255});
  FullRow(8, 0);
  DrawPatches(9, 127);
  FullRow(10, 0);
  DrawPatches(11, 255);
}

void CSelfPrintStandard::DrawPatches(uint32_t ulRow, uint16_t usLevel) {
  const uint32_t ulWidth = DrawingPrintSize().ulPrintWidth;
  const uint32_t p = ulWidth / 8;
  for (uint32_t k = 0; k < 8; ++k) Rect(k * p, ulRow, k < 7 ? p : ulWidth - 7 * p, Scaled(kPatchPlanes[k], usLevel));
  for (uint32_t k = 0; k < 7; ++k) Rect((k + 1) * p - 1, ulRow, 1, AllLevels(255));
}

uint16_t CSelfPrintStandard::RowOf(uint16_t usLine) {
  uint32_t ulSum = 0;
  for (uint32_t b = 0; b < kBands; ++b) {
    ulSum += m_ausBandHeights[b];
    if (usLine < ulSum) return static_cast<uint16_t>(b);
  }
  return kLastBand;
}

void CSelfPrintStandard::Reset() {
  m_usBandLineCount = 0;
  m_usCurrentBand = 0;
}

uint16_t CSelfPrintStandard::NextRow() {
  m_usBandLineCount = static_cast<uint16_t>(m_usBandLineCount + 1);
  if (m_usBandLineCount == m_ausBandHeights[m_usCurrentBand]) {
    if (m_usCurrentBand < kLastBand) ++m_usCurrentBand;
    m_usBandLineCount = 0;
  }
  return m_usCurrentBand;
}
