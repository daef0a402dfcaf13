#include "sim/dsp/image_job_rule.h"

#include <algorithm>

namespace sim::image_job {

bool Interleaved(const ImageJobWords& w) { return w.sources[0] == w.sources[1] && w.sources[1] == w.sources[2]; }

uint32_t SourceRow(const ImageJobWords& w, uint32_t plane, uint32_t line, const RamReader& ram) {
  if (w.rowTableFlags[plane] != 1) return line;
  const uint8_t* p = ram(kRowTables[plane] + 2 * line, 2);
  return p == nullptr ? 0 : static_cast<uint32_t>(p[0] | p[1] << 8);
}

void ComputeRow(const ImageJobWords& w, uint32_t line, const RamReader& ram, uint8_t* out) {
  std::fill(out, out + w.printWidth, 0);
  if (w.mode != kModeProcess || line >= w.sourceHeight) return;
  const uint32_t pixels = std::min<uint32_t>(w.sourceWidth, w.printWidth);
  if (Interleaved(w)) {
    const uint32_t rowBytes = 3u * w.sourceWidth;
    const uint8_t* row = ram(w.sources[0] + SourceRow(w, 0, line, ram) * rowBytes, rowBytes);
    if (row == nullptr) return;
    for (uint32_t x = 0; x < pixels; ++x) {
      const uint32_t sum = row[3 * x] + row[3 * x + 1] + row[3 * x + 2];
      out[x] = static_cast<uint8_t>((255 - sum / 3) & ~kOverlayBits);
    }
    return;
  }
  const uint8_t* rows[3];
  for (uint32_t plane = 0; plane < 3; ++plane) {
    rows[plane] = ram(w.sources[plane] + SourceRow(w, plane, line, ram) * w.sourceWidth, w.sourceWidth);
  }
  for (uint32_t x = 0; x < pixels; ++x) {
    uint32_t sum = 0;
    for (const uint8_t* row : rows) sum += row != nullptr ? row[x] : 0u;
    out[x] = static_cast<uint8_t>((sum / 3) & ~kOverlayBits);
  }
}

}  // namespace sim::image_job
