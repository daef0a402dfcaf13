// The AMS test pattern as the firmware reads it from flash 0x60330004
// (inside the MAIN image): packed little-endian records,
//   header   4 bytes  u16 (not read, 0), u16 band count
//   band     6 bytes  u16 height in lines, u16 (not read, 0), u16 segment count,
//                     followed directly by its segments
//   segment  5 bytes  u16 width in dots, u8 red, u8 green, u8 blue
// At 0x60330000 the MAIN image carries the pattern's byte count (u32 LE), as
// it does for the FPGA bitstream.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/images/bytes.h"

namespace images {

struct AmsSegment {
  uint16_t width;
  uint8_t red;
  uint8_t green;
  uint8_t blue;
};

struct AmsBand {
  uint16_t height;
  std::vector<AmsSegment> segments;
};

Bytes BuildAmsPattern(const std::vector<AmsBand>& bands);
// The sample: eight bands of 378 lines (3024 in all) across 2464 dots, each
// a row of colour segments.
std::vector<AmsBand> SampleAmsBands();

}  // namespace images
