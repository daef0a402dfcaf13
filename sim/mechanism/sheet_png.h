// PNG files of the printed sheets: an 8-bit picture of one (grey) or three
// (red, green, blue) channels, rows from the top, written and read back
// with libpng. The bytes written are the same for the same picture: no
// time chunk, the library's fixed compression and filters.
//
// The reader takes any bytes (a file a person may have changed): anything
// that is no PNG, or whose picture would be larger than kMaxReadBytes,
// is refused; a PNG of another colour type is converted to grey (when it
// has no colour) or to RGB, without alpha.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

struct SheetImage {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t channels = 0;  // 1 grey, 3 RGB
  std::vector<uint8_t> pixels;

  SheetImage() = default;
  SheetImage(uint32_t w, uint32_t h, uint32_t c, uint8_t fill)
      : width(w), height(h), channels(c), pixels(static_cast<size_t>(w) * h * c, fill) {}
  size_t Offset(uint32_t x, uint32_t y) const { return (static_cast<size_t>(y) * width + x) * channels; }
  uint8_t At(uint32_t x, uint32_t y, uint32_t c = 0) const { return pixels[Offset(x, y) + c]; }
  uint8_t& At(uint32_t x, uint32_t y, uint32_t c = 0) { return pixels[Offset(x, y) + c]; }
  bool operator==(const SheetImage&) const = default;
};

namespace sheet_png {

constexpr size_t kMaxReadBytes = 256u << 20;

// The PNG bytes of a picture; empty when it cannot be encoded (no pixels,
// a channel count other than 1 and 3).
std::vector<uint8_t> Encode(const SheetImage& image);
// The picture of PNG bytes; false when they are refused.
bool Decode(const uint8_t* bytes, size_t size, SheetImage* pImage);

bool WriteFile(const std::string& path, const SheetImage& image);
bool ReadFile(const std::string& path, SheetImage* pImage);

}  // namespace sheet_png
}  // namespace sim
