#include "sim/dsp/print_line_rule.h"

#include <algorithm>

namespace sim::print_line {

namespace {

bool IsColour(const PrintLineWords& w) { return w.planeCode < kPlaneOvercoat; }
bool IsInternalColour(const PrintLineWords& w) { return w.internalImage == 1 && w.byteLevels == 1; }
bool IsPackedSp(const PrintLineWords& w) { return w.planeCode == kPlaneSp && w.byteLevels == 0; }

}  // namespace

uint32_t RowBytes(const PrintLineWords& w) {
  if (IsColour(w)) return IsInternalColour(w) ? w.rowLength : 3u * w.rowLength;
  if (IsPackedSp(w)) return (w.rowLength + 7u) / 8u;
  return w.rowLength;
}

uint32_t RowAddress(const PrintLineWords& w) { return w.base + static_cast<uint32_t>(w.row) * RowBytes(w); }

int32_t FirstDot(const PrintLineWords& w) {
  return (static_cast<int32_t>(w.headWidth) - static_cast<int32_t>(w.rowLength)) / 2 + w.sideOffset;
}

uint8_t PixelLevel(const PrintLineWords& w, const uint8_t* row, uint32_t pixel) {
  if (IsColour(w)) {
    if (IsInternalColour(w)) return row[pixel];
    const uint32_t byte = std::min<uint32_t>(w.colourByte, 2);
    return static_cast<uint8_t>(255 - row[3 * pixel + byte]);
  }
  if (IsPackedSp(w)) return ((row[pixel / 8] >> (7 - pixel % 8)) & 1u) != 0 ? 0 : 255;
  return row[pixel];
}

uint16_t PixelWord(const PrintLineWords& w, const uint8_t* row, uint32_t pixel, const uint8_t* gradation) {
  if (w.planeCode == kPlaneOvercoat) {
    const uint8_t byte = row[pixel];
    return static_cast<uint16_t>(64u * w.overcoatLevels[(byte >> 3) & 3u] + (byte & ~0x18u));
  }
  if (gradation == nullptr) return 0;
  const uint32_t level = PixelLevel(w, row, pixel);
  return static_cast<uint16_t>(gradation[2 * level] | gradation[2 * level + 1] << 8);
}

void ComputeLine(const PrintLineWords& w, const uint8_t* row, const uint8_t* gradation, uint16_t* out) {
  std::fill(out, out + kLineWords, 0);
  if (row == nullptr || w.planeCode > kPlaneSp) return;
  const int32_t dots = std::min<int32_t>(w.headWidth, kLineWords);
  const int32_t first = FirstDot(w);
  for (uint32_t pixel = 0; pixel < w.rowLength; ++pixel) {
    const int32_t dot = first + static_cast<int32_t>(pixel);
    if (dot < 0 || dot >= dots) continue;
    out[dot] = PixelWord(w, row, pixel, gradation);
  }
}

}  // namespace sim::print_line
