// The "H" marks: rows 0-3 blank, row 1 the two strokes of each mark, row 2
// its bar; a 42-line period of 6 blank lines, 14 of strokes, 8 of the bar
// and 14 of strokes.
#include "firmware/service/self_print.h"

namespace {
constexpr uint32_t kPitch = 34;
constexpr uint32_t kStroke = 8;
constexpr uint32_t kSecondStroke = 20;
constexpr uint32_t kBar = 28;
constexpr uint16_t kThresholds[4] = {6, 20, 28, 6 + 36};
}  // namespace

void CSelfPrintHPatern::Draw() {
  for (uint32_t i = 0; i < 4; ++i) m_ausThresholds[i] = kThresholds[i];
  const uint32_t ulWidth = DrawingPrintSize().ulPrintWidth;
  const uint32_t ulMarks = ulWidth / kPitch;
  const uint32_t ulStart = ((ulWidth % kPitch) + 6) / 2;
  FullRow(0, 0, 4);
  for (uint32_t i = 0; i < ulMarks; ++i) {
    Rect(ulStart + kPitch * i, 1, kStroke, AllLevels(255));
    Rect(ulStart + kPitch * i + kSecondStroke, 1, kStroke, AllLevels(255));
  }
  for (uint32_t i = 0; i < ulMarks; ++i) Rect(ulStart + kPitch * i, 2, kBar, AllLevels(255));
}

uint16_t CSelfPrintHPatern::RowOf(uint16_t usLine) {
  const uint32_t r = m_ausThresholds[3] != 0 ? usLine % m_ausThresholds[3] : 0;
  if (r < m_ausThresholds[0]) return 0;
  if (r < m_ausThresholds[1]) return 1;
  if (r < m_ausThresholds[2]) return 2;
  return 1;
}

// After the first period the blank run is one line longer: the counter
// restarts without counting the line that found it at the period's end.
uint16_t CSelfPrintHPatern::NextRow() {
  const uint16_t c = m_usLineCounter;
  if (c >= m_ausThresholds[3]) {
    m_usLineCounter = 0;
    return 0;
  }
  m_usLineCounter = static_cast<uint16_t>(c + 1);
  if (c < m_ausThresholds[0]) return 0;
  if (c < m_ausThresholds[1]) return 1;
  if (c < m_ausThresholds[2]) return 2;
  return 1;
}
