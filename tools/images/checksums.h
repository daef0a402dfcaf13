// The two 16-bit ones'-complement summing rules of the printer's images,
// computed on the host exactly as the firmware checks them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tools/images/bytes.h"

namespace images {

// Per-step folding rule (tables, DSP program, tone curves, lamination
// images, CIS gain blocks): the complemented ones'-complement sum of the
// size / 2 little-endian halfwords (an odd last byte is ignored).
uint16_t OnesComplementSum16(const uint8_t* p, size_t size);
inline uint16_t OnesComplementSum16(const Bytes& b, size_t at, size_t size) {
  return OnesComplementSum16(b.data() + at, size);
}

// Image rule (MAIN image, CIS calibration file): halfwords added into a
// wrapping 32-bit accumulator, an odd last byte added as 0..255, folded
// twice and complemented. The range is good when this is 0.
uint16_t ImageSumResidue(const uint8_t* p, size_t size);

// The halfword that, stored as the last halfword of a range of `size` bytes
// (even, at least 2) whose other bytes are already in place, makes the
// range good under the image rule.
uint16_t ImageSumCompensation(const uint8_t* p, size_t size);

}  // namespace images
