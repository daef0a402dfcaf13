// The two summing rules on the host, against the figures the firmware's
// checks are defined by.
#include "tools/images/checksums.h"

#include <gtest/gtest.h>

#include <string>

namespace images {
namespace {

Bytes Of(std::initializer_list<uint8_t> bytes) { return Bytes(bytes); }

TEST(Checksums, OnesComplementSumFoldsEveryStep) {
  struct Case {
    const char* name;
    Bytes bytes;
    uint16_t sum;
  };
  const Case cases[] = {
      {"empty", {}, 0xFFFF},
      {"one byte", Of({0x12}), 0xFFFF},
      {"abc: the odd byte is ignored", Of({0x61, 0x62, 0x63}), 0x9D9E},
      {"little-endian halfword", Of({0x34, 0x12}), static_cast<uint16_t>(~0x1234)},
      {"end-around carry", Of({0xFF, 0xFF, 0x01, 0x00}), 0xFFFE},
      {"negative zero", Of({0xFF, 0xFF}), 0x0000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(OnesComplementSum16(c.bytes.data(), c.bytes.size()), c.sum);
  }
}

TEST(Checksums, ImageRuleFoldsOnlyAtTheEnd) {
  struct Case {
    const char* name;
    Bytes bytes;
    bool bGood;
  };
  const Case cases[] = {
      {"sums to 0xFFFF", Of({0xFF, 0x7F, 0x00, 0x80}), true},
      {"sums to 0x1FFFE", Of({0xFF, 0xFF, 0xFF, 0xFF}), true},
      {"all zero", Of({0, 0, 0, 0}), false},
      {"odd byte counts as 0..255", Of({0x00, 0xFF, 0xFF}), true},
      {"odd byte missing", Of({0x00, 0xFF}), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ImageSumResidue(c.bytes.data(), c.bytes.size()) == 0, c.bGood);
  }
}

// The compensation word makes any range good, also one whose 32-bit
// accumulator wraps (where the image rule and a true ones'-complement sum
// part ways).
TEST(Checksums, CompensationWordMakesTheRangeGood) {
  struct Case {
    const char* name;
    Bytes bytes;
  };
  Bytes wrapping(0x240000, 0xFF);  // 0x120000 halfwords of 0xFFFF: the sum passes 2^32
  const Case cases[] = {
      {"two bytes", Bytes(2, 0)},
      {"filler", PseudoRandomBytes(7, 4096)},
      {"wrapping accumulator", wrapping},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes b = c.bytes;
    PutU16LE(b, b.size() - 2, ImageSumCompensation(b.data(), b.size()));
    EXPECT_EQ(ImageSumResidue(b.data(), b.size()), 0);
    b[0] ^= 0x01;
    EXPECT_NE(ImageSumResidue(b.data(), b.size()), 0);
  }
  EXPECT_THROW(ImageSumCompensation(wrapping.data(), 3), std::invalid_argument);
}

}  // namespace
}  // namespace images
