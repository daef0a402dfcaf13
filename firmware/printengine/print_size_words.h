// The print-size words the print sequences add up, read from a print-size
// record: the margins on both sides of every plane's image and the extra
// feed behind the colour image and behind the overcoat (never negative).
#pragma once

#include <cstdint>

#include "firmware/printengine/print_size.h"

inline uint32_t BothMarginLines(const PrintSizeRecord& size) { return size.ulMargin1 + size.ulMargin2; }
inline uint32_t ExtraFeedLines(const PrintSizeRecord& size, uint32_t ulWord) {
  const int32_t lLines = static_cast<int32_t>(size.aulExtraLines[ulWord & 1u]);
  return lLines < 0 ? 0u : static_cast<uint32_t>(lLines);
}
inline uint32_t ColourExtraFeedLines(const PrintSizeRecord& size) { return ExtraFeedLines(size, 0); }
inline uint32_t OvercoatExtraFeedLines(const PrintSizeRecord& size) { return ExtraFeedLines(size, 1); }
