// Generated pictures for the print tests, in the printer's byte order: three
// bytes per pixel, blue, green, red (255 each: white), rows from the top
// of the picture, no padding. The SP plane's 1-bit rows come from
// PackSpRows: most significant bit first, whole bytes per row, a set bit a
// white (unprinted) dot.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace testsupport {

// Byte of a pixel: the print planes Y, M and C read blue, green and red.
enum class Channel : uint32_t { Blue = 0, Green = 1, Red = 2 };

struct TestImage {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> bytes;  // width x height x 3

  TestImage(uint32_t w, uint32_t h, uint8_t fill = 255)
      : width(w), height(h), bytes(static_cast<size_t>(w) * h * 3, fill) {}
  size_t Offset(uint32_t x, uint32_t y) const { return (static_cast<size_t>(y) * width + x) * 3; }
  uint8_t At(uint32_t x, uint32_t y, Channel c) const { return bytes[Offset(x, y) + static_cast<uint32_t>(c)]; }
  void Set(uint32_t x, uint32_t y, uint8_t r, uint8_t g, uint8_t b) {
    const size_t o = Offset(x, y);
    bytes[o] = b;
    bytes[o + 1] = g;
    bytes[o + 2] = r;
  }
  // The dye level (0 none, 255 full) of a colour plane 0-2 (Y, M, C).
  uint8_t Level(uint32_t x, uint32_t y, uint32_t planeCode) const {
    return static_cast<uint8_t>(255 - At(x, y, static_cast<Channel>(planeCode)));
  }
};

// Eight vertical bars of equal width (the last takes the rest): white,
// yellow, cyan, green, magenta, red, blue, black.
inline TestImage ColourBars(uint32_t width, uint32_t height) {
  struct Rgb {
    uint8_t r, g, b;
  };
  constexpr Rgb kBars[8] = {{255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0},
                            {255, 0, 255},   {255, 0, 0},   {0, 0, 255},   {0, 0, 0}};
  TestImage image(width, height);
  const uint32_t barWidth = width / 8 == 0 ? 1 : width / 8;
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      const uint32_t bar = x / barWidth < 8 ? x / barWidth : 7;
      image.Set(x, y, kBars[bar].r, kBars[bar].g, kBars[bar].b);
    }
  }
  return image;
}

// Grey across the picture: column x has x x 255 / (width - 1) in every
// channel (white at the right edge), the same in every row.
inline TestImage GreyRamp(uint32_t width, uint32_t height) {
  TestImage image(width, height);
  for (uint32_t x = 0; x < width; ++x) {
    const auto grey = static_cast<uint8_t>(width < 2 ? 255 : x * 255 / (width - 1));
    for (uint32_t y = 0; y < height; ++y) image.Set(x, y, grey, grey, grey);
  }
  return image;
}

// White with one black dot at every pitch-th column of every pitch-th row,
// starting at (0, 0).
inline TestImage DotGrid(uint32_t width, uint32_t height, uint32_t pitch) {
  TestImage image(width, height);
  if (pitch == 0) return image;
  for (uint32_t y = 0; y < height; y += pitch) {
    for (uint32_t x = 0; x < width; x += pitch) image.Set(x, y, 0, 0, 0);
  }
  return image;
}

// White with a black line from the top left corner: one dot per row, at
// column y modulo the width.
inline TestImage Diagonal(uint32_t width, uint32_t height) {
  TestImage image(width, height);
  if (width == 0) return image;
  for (uint32_t y = 0; y < height; ++y) image.Set(y % width, y, 0, 0, 0);
  return image;
}

// The SP plane's rows of a picture: bytes of (width + 7) / 8 per row, most
// significant bit first; a dot whose green byte is 128 or more (light) is
// a set bit, which prints nothing; the unused bits of a row's last byte
// are set.
inline std::vector<uint8_t> PackSpRows(const TestImage& image) {
  const uint32_t rowBytes = (image.width + 7) / 8;
  std::vector<uint8_t> rows(static_cast<size_t>(rowBytes) * image.height, 0xFF);
  for (uint32_t y = 0; y < image.height; ++y) {
    for (uint32_t x = 0; x < image.width; ++x) {
      if (image.At(x, y, Channel::Green) >= 128) continue;
      rows[static_cast<size_t>(y) * rowBytes + x / 8] &= static_cast<uint8_t>(~(0x80u >> (x % 8)));
    }
  }
  return rows;
}

}  // namespace testsupport
