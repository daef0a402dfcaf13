// Bytes of print image data that follow an accepted CMD_PRINT. The printer
// arms its bulk receive for exactly this count and the host sends exactly
// this count, so both take it from here.
#pragma once

#include <cstdint>

#include "protocol/codes.h"

namespace protocol {

// A count that no download buffer holds; returned instead of a count that
// does not fit in 32 bits, so a caller comparing with its buffer refuses it.
inline constexpr uint32_t PRINT_DATA_SIZE_TOO_LARGE = 0xFFFFFFFFu;

// One-bit images (IMAGE_TYPE_ONE_BIT): ceil(width / 8) bytes per row, one
// bit per pixel. Every other type: three bytes per pixel.
constexpr uint32_t PrintDataSize(uint16_t width, uint16_t height, uint8_t imageType) {
  const uint64_t bytes =
      imageType == IMAGE_TYPE_ONE_BIT
          ? ((static_cast<uint64_t>(width) + 7u) / 8u) * height
          : static_cast<uint64_t>(width) * height * 3u;
  return bytes > 0xFFFFFFFFu ? PRINT_DATA_SIZE_TOO_LARGE : static_cast<uint32_t>(bytes);
}

static_assert(PrintDataSize(1201, 100, IMAGE_TYPE_ONE_BIT) == 15100);
static_assert(PrintDataSize(2464, 3624, IMAGE_TYPE_COLOUR) == 26788608);

}  // namespace protocol
