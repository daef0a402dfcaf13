#include "sim/mechanism/sheet_png.h"

#include <png.h>

#include <cstdio>
#include <cstring>

namespace sim::sheet_png {

namespace {

bool Describe(const SheetImage& image, png_image* pPng) {
  if (image.width == 0 || image.height == 0) return false;
  if (image.channels != 1 && image.channels != 3) return false;
  if (image.pixels.size() != static_cast<size_t>(image.width) * image.height * image.channels) return false;
  std::memset(pPng, 0, sizeof *pPng);
  pPng->version = PNG_IMAGE_VERSION;
  pPng->width = image.width;
  pPng->height = image.height;
  pPng->format = image.channels == 1 ? PNG_FORMAT_GRAY : PNG_FORMAT_RGB;
  return true;
}

}  // namespace

std::vector<uint8_t> Encode(const SheetImage& image) {
  png_image png;
  if (!Describe(image, &png)) return {};
  png_alloc_size_t size = 0;
  if (!png_image_write_to_memory(&png, nullptr, &size, 0, image.pixels.data(), 0, nullptr)) return {};
  std::vector<uint8_t> bytes(size);
  if (!png_image_write_to_memory(&png, bytes.data(), &size, 0, image.pixels.data(), 0, nullptr)) return {};
  bytes.resize(size);
  return bytes;
}

bool Decode(const uint8_t* bytes, size_t size, SheetImage* pImage) {
  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  if (bytes == nullptr || !png_image_begin_read_from_memory(&png, bytes, size)) return false;
  const bool bGrey = (png.format & PNG_FORMAT_FLAG_COLOR) == 0;
  png.format = bGrey ? PNG_FORMAT_GRAY : PNG_FORMAT_RGB;
  const uint32_t channels = bGrey ? 1u : 3u;
  const uint64_t pictureBytes = static_cast<uint64_t>(png.width) * png.height * channels;
  if (png.width == 0 || png.height == 0 || pictureBytes > kMaxReadBytes) {
    png_image_free(&png);
    return false;
  }
  SheetImage image(png.width, png.height, channels, 0);
  // Alpha, if any, over white paper.
  png_color white{255, 255, 255};
  if (!png_image_finish_read(&png, &white, image.pixels.data(), 0, nullptr)) {
    png_image_free(&png);
    return false;
  }
  *pImage = std::move(image);
  return true;
}

bool WriteFile(const std::string& path, const SheetImage& image) {
  const std::vector<uint8_t> bytes = Encode(image);
  if (bytes.empty()) return false;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool bWritten = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && bWritten;
}

bool ReadFile(const std::string& path, SheetImage* pImage) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  std::vector<uint8_t> bytes;
  uint8_t chunk[65536];
  size_t n = 0;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
    bytes.insert(bytes.end(), chunk, chunk + n);
    if (bytes.size() > kMaxReadBytes) break;
  }
  std::fclose(f);
  return bytes.size() <= kMaxReadBytes && Decode(bytes.data(), bytes.size(), pImage);
}

}  // namespace sim::sheet_png
