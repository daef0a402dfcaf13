#include "tools/images/checksums.h"

#include <stdexcept>

namespace images {

namespace {

uint32_t Half(const uint8_t* p, size_t i) { return static_cast<uint32_t>(p[2 * i] | (p[2 * i + 1] << 8)); }

uint16_t FoldImage(uint32_t acc) {
  acc = (acc & 0xFFFFu) + (acc >> 16);
  return static_cast<uint16_t>(~((acc >> 16) + (acc & 0xFFFFu)));
}

uint32_t WrappingSum(const uint8_t* p, size_t halfwords) {
  uint32_t acc = 0;
  for (size_t i = 0; i < halfwords; ++i) acc += Half(p, i);
  return acc;
}

}  // namespace

uint16_t OnesComplementSum16(const uint8_t* p, size_t size) {
  uint32_t acc = 0;
  for (size_t i = 0; i < size / 2; ++i) {
    acc += Half(p, i);
    acc = (acc & 0xFFFFu) + (acc >> 16);
  }
  return static_cast<uint16_t>(~acc);
}

uint16_t ImageSumResidue(const uint8_t* p, size_t size) {
  uint32_t acc = WrappingSum(p, size / 2);
  if ((size & 1) != 0) acc += p[size - 1];
  return FoldImage(acc);
}

uint16_t ImageSumCompensation(const uint8_t* p, size_t size) {
  if (size < 2 || (size & 1) != 0) throw std::invalid_argument("compensated range must be even and hold a halfword");
  const uint32_t acc = WrappingSum(p, size / 2 - 1);
  // The accumulator wraps modulo 2^32, so the word is searched rather than
  // derived: among 65536 candidates one always lands on a folded 0xFFFF.
  for (uint32_t c = 0; c <= 0xFFFFu; ++c) {
    if (FoldImage(acc + c) == 0) return static_cast<uint16_t>(c);
  }
  throw std::logic_error("no compensation word found");
}

}  // namespace images
