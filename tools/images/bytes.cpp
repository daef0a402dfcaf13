#include "tools/images/bytes.h"

#include <cstdio>

namespace images {

Bytes PseudoRandomBytes(uint32_t seed, size_t count) {
  Bytes out(count);
  uint32_t x = seed * 2654435761u + 0x9E3779B9u;
  for (size_t i = 0; i < count; ++i) {
    // xorshift32
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    out[i] = static_cast<uint8_t>(x >> 24);
  }
  return out;
}

std::string HexByte(uint8_t value) {
  char text[3];
  std::snprintf(text, sizeof text, "%02X", value);
  return text;
}

namespace {
int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}
}  // namespace

bool ParseVersion(std::string_view text, Version* pVersion) {
  if (text.size() != 5 || text[2] != '.') return false;
  const int d[4] = {HexDigit(text[0]), HexDigit(text[1]), HexDigit(text[3]), HexDigit(text[4])};
  for (int v : d) {
    if (v < 0) return false;
  }
  pVersion->major = static_cast<uint8_t>(d[0] * 16 + d[1]);
  pVersion->minor = static_cast<uint8_t>(d[2] * 16 + d[3]);
  return true;
}

}  // namespace images
