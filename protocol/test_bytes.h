// Helpers for the protocol tests: byte vectors written as hex text, and
// encoders wrapped to return vectors.
#pragma once

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace protocol::test {

using Bytes = std::vector<uint8_t>;

// "07 40 05 00" -> {0x07, 0x40, 0x05, 0x00}
inline Bytes Hex(const std::string& text) {
  Bytes out;
  std::istringstream in(text);
  std::string token;
  while (in >> token) out.push_back(static_cast<uint8_t>(std::stoul(token, nullptr, 16)));
  return out;
}

inline Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

inline Bytes Concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Runs an encoder into a roomy buffer; an error fails the test and yields
// an empty vector.
template <typename Encode>
Bytes Encoded(Encode encode) {
  uint8_t buffer[1024];
  const int32_t n = encode(buffer, sizeof buffer);
  EXPECT_GE(n, 0) << "encoder failed with " << n;
  return n < 0 ? Bytes{} : Bytes(buffer, buffer + n);
}

}  // namespace protocol::test
