#include "protocol/print_size.h"

#include <gtest/gtest.h>

#include "protocol/requests.h"

namespace protocol {
namespace {

TEST(ProtocolPrintDataSize, OneBitRowsRoundUpColourTakesThreeBytes) {
  const struct {
    uint16_t width, height;
    uint8_t type;
    uint32_t bytes;
  } cases[] = {
      {1201, 100, IMAGE_TYPE_ONE_BIT, 15100},  // 151 bytes per row
      {2464, 1208, IMAGE_TYPE_ONE_BIT, 372064},
      {8, 1, IMAGE_TYPE_ONE_BIT, 1},
      {9, 1, IMAGE_TYPE_ONE_BIT, 2},
      {0, 100, IMAGE_TYPE_ONE_BIT, 0},
      {65535, 65535, IMAGE_TYPE_ONE_BIT, 8192u * 65535u},
      {1200, 1200, IMAGE_TYPE_COLOUR, 4320000},
      {2464, 3624, IMAGE_TYPE_COLOUR, 26788608},
      {4, 4, 2, 48},  // any type but 1 is three bytes per pixel
      // The largest colour images that still have a 32-bit count, and the
      // first that do not: those get a count no buffer holds, never a
      // wrapped-around small one.
      {65535, 21845, IMAGE_TYPE_COLOUR, 4294836225u},
      {65535, 21846, IMAGE_TYPE_COLOUR, PRINT_DATA_SIZE_TOO_LARGE},
      {65535, 65535, IMAGE_TYPE_COLOUR, PRINT_DATA_SIZE_TOO_LARGE},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PrintDataSize(c.width, c.height, c.type), c.bytes)
        << c.width << " x " << c.height << " type " << int{c.type};
  }
}

TEST(ProtocolPrintDataSize, TakenFromThePrintRequest) {
  PrintRequest r{};
  r.imageWidth = 1201;
  r.imageHeight = 100;
  r.imageType = IMAGE_TYPE_ONE_BIT;
  EXPECT_EQ(PrintDataSize(r), 15100u);
  r.imageType = IMAGE_TYPE_COLOUR;
  EXPECT_EQ(PrintDataSize(r), 360300u);
}

}  // namespace
}  // namespace protocol
