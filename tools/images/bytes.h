// Byte-level building blocks of the image builders: every layout is written
// field by field in its stated byte order, never by laying a struct over the
// bytes.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace images {

using Bytes = std::vector<uint8_t>;

inline void PutU8(Bytes& b, size_t at, uint8_t v) { b.at(at) = v; }

inline void PutU16LE(Bytes& b, size_t at, uint16_t v) {
  b.at(at) = static_cast<uint8_t>(v);
  b.at(at + 1) = static_cast<uint8_t>(v >> 8);
}

inline void PutU32LE(Bytes& b, size_t at, uint32_t v) {
  for (size_t i = 0; i < 4; ++i) b.at(at + i) = static_cast<uint8_t>(v >> (8 * i));
}

inline uint16_t GetU16LE(const Bytes& b, size_t at) {
  return static_cast<uint16_t>(b.at(at) | (b.at(at + 1) << 8));
}

inline uint32_t GetU32LE(const Bytes& b, size_t at) {
  uint32_t v = 0;
  for (size_t i = 0; i < 4; ++i) v |= static_cast<uint32_t>(b.at(at + i)) << (8 * i);
  return v;
}

// A fixed-width text field without terminator: the text cut to the width,
// the rest filled with `pad`.
inline void PutText(Bytes& b, size_t at, std::string_view text, size_t width, char pad = ' ') {
  for (size_t i = 0; i < width; ++i) {
    b.at(at + i) = static_cast<uint8_t>(i < text.size() ? text[i] : pad);
  }
}

inline std::string GetText(const Bytes& b, size_t at, size_t width) {
  std::string text;
  for (size_t i = 0; i < width; ++i) text.push_back(static_cast<char>(b.at(at + i)));
  return text;
}

inline void PutBytes(Bytes& b, size_t at, const Bytes& src) {
  if (at > b.size() || src.size() > b.size() - at) throw std::out_of_range("field beyond the end of the image");
  std::copy(src.begin(), src.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
}

// A deterministic filler for the sample programs: the same seed always gives
// the same bytes, and the bytes exercise every bit of the checksums.
Bytes PseudoRandomBytes(uint32_t seed, size_t count);

// A version as the images carry it: two numbers, shown as two hexadecimal
// digits each ("02", "10").
struct Version {
  uint8_t major = 0x02;
  uint8_t minor = 0x10;
};
std::string HexByte(uint8_t value);
// "MM.mm" in hexadecimal digits; false when the text is not of that form.
bool ParseVersion(std::string_view text, Version* pVersion);

}  // namespace images
