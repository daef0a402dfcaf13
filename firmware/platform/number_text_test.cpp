// Number text, the hexadecimal parser and byte access in 16-bit memory, as
// tables of cases. Each text case also checks that nothing is written past
// the terminating 0.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "firmware/platform/byte_access16.h"
#include "firmware/platform/number_text.h"

namespace {

constexpr char kFill = '#';

// Runs `format` on a filled buffer; returns its text and checks the byte
// after the terminator is untouched.
template <class F>
std::string Formatted(size_t expectedLength, F format) {
  char buffer[32];
  std::memset(buffer, kFill, sizeof buffer);
  format(buffer);
  EXPECT_EQ(buffer[expectedLength], '\0');
  EXPECT_EQ(buffer[expectedLength + 1], kFill) << "written past the terminator";
  return std::string(buffer, expectedLength);
}

struct UnsignedCase {
  uint32_t value;
  uint32_t digits;
  const char* text;
};

TEST(NumberText, HexDigitsAreFixedWidthUpperCase) {
  static const UnsignedCase kCases[] = {
      {0x1A2B, 2, "2B"},         {0x1A2B, 6, "001A2B"},     {0xFFFFFFFFu, 8, "FFFFFFFF"},
      {0xABCDEF, 0, ""},         {0x12345678, 10, "0012345678"}, {0xC, 1, "C"},
  };
  for (const UnsignedCase& c : kCases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Formatted(c.digits, [&](char* b) { EXPECT_EQ(FormatHexDigits(b, c.value, c.digits), b); }), c.text);
  }
}

TEST(NumberText, DecimalDigitsAreTheValueModuloTenToTheWidth) {
  static const UnsignedCase kCases[] = {
      {12345, 3, "345"}, {7, 4, "0007"}, {0, 1, "0"}, {4294967295u, 10, "4294967295"}, {4294967295u, 12, "004294967295"},
  };
  for (const UnsignedCase& c : kCases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Formatted(c.digits, [&](char* b) { EXPECT_EQ(FormatDec(b, c.value, c.digits), b); }), c.text);
  }
}

struct SignedCase {
  int32_t value;
  uint32_t digits;
  const char* text;
};

TEST(NumberText, SignedDecimalsCarryASignCharacterAndTheMagnitude) {
  static const SignedCase kCases[] = {
      {-7, 3, "-007"},          {0, 3, " 000"},          {42, 3, "+042"},        {-1234, 2, "-34"},
      {INT_MIN, 10, "-2147483648"}, {INT_MIN, 3, "-648"}, {INT_MAX, 10, "+2147483647"},
  };
  for (const SignedCase& c : kCases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Formatted(c.digits + 1, [&](char* b) { EXPECT_EQ(FormatSignedDec(b, c.value, c.digits), b); }), c.text);
  }
}

TEST(NumberText, UnsignedTextHasNoLeadingZerosAndReturnsItsLength) {
  static const UnsignedCase kCases[] = {
      {0, 1, "0"},         {9, 1, "9"},           {10, 2, "10"},           {999999999u, 9, "999999999"},
      {1000000000u, 10, "1000000000"}, {4294967295u, 10, "4294967295"},
  };
  for (const UnsignedCase& c : kCases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Formatted(c.digits, [&](char* b) { EXPECT_EQ(FormatUnsigned(b, c.value), c.digits); }), c.text);
  }
}

TEST(NumberText, HexBytesGiveTwoCharactersPerByteHighNibbleFirst) {
  const uint8_t bytes[] = {0x00, 0x5A, 0xFF, 0x0B};
  EXPECT_EQ(Formatted(8, [&](char* b) { EXPECT_EQ(FormatHexBytes(b, bytes, 4), b); }), "005AFF0B");
  EXPECT_EQ(Formatted(0, [&](char* b) { FormatHexBytes(b, bytes, 0); }), "");
}

struct DigitsCase {
  uint32_t value;
  std::vector<uint32_t> digits;
};

TEST(NumberText, DigitValuesMostSignificantFirst) {
  static const DigitsCase kHex[] = {
      {0x1A2B, {1, 10, 2, 11}}, {0x1A2B, {0, 0, 1, 10, 2, 11}}, {0xFF, {15}}, {0x1A2B, {}},
  };
  for (const DigitsCase& c : kHex) {
    std::vector<uint32_t> out(c.digits.size() + 1, 99);
    EXPECT_EQ(FormatHexNibbles(out.data(), c.value, static_cast<uint32_t>(c.digits.size())), out.data());
    EXPECT_EQ(out.back(), 99u);
    out.pop_back();
    EXPECT_EQ(out, c.digits) << c.value;
  }
  // Leading zeros but the last become the blank digit 11.
  static const DigitsCase kDec[] = {
      {42, {11, 11, 4, 2}}, {0, {11, 11, 0}}, {1005, {1, 0, 0, 5}}, {305, {11, 3, 0, 5}}, {12345, {3, 4, 5}}, {7, {7}},
  };
  for (const DigitsCase& c : kDec) {
    std::vector<uint32_t> out(c.digits.size() + 1, 99);
    EXPECT_EQ(FormatDecDigits(out.data(), c.value, static_cast<uint32_t>(c.digits.size())), out.data());
    EXPECT_EQ(out.back(), 99u);
    out.pop_back();
    EXPECT_EQ(out, c.digits) << c.value;
  }
}

struct ParseCase {
  const char* text;
  uint32_t digits;
  uint32_t value;
};

TEST(NumberText, ParseHexReadsNCharactersAndGivesZeroOnAnyOther) {
  static const ParseCase kCases[] = {
      {"ff", 2, 255},       {"FF", 2, 255},  {"1g", 2, 0},  {"00A", 3, 10},          {"1 ", 2, 0},
      {"123456789", 9, 0x23456789u},         {"", 0, 0},    {"12zz", 2, 0x12},       {"-1", 2, 0},
  };
  for (const ParseCase& c : kCases) EXPECT_EQ(ParseHex(c.text, c.digits), c.value) << c.text;
}

// ---- Byte access in 16-bit memory ---------------------------------------------------------

TEST(ByteAccess16, BytesAreTheHalvesOfTheirHalfword) {
  alignas(4) uint16_t words[2] = {0x1234, 0x5678};
  auto* bytes = reinterpret_cast<uint8_t*>(words);
  uint32_t value = 0;
  EXPECT_EQ(g_ByteAccess16.ReadByte(bytes + 0, &value), 0);
  EXPECT_EQ(value, 0x34u);  // even address: the low half
  EXPECT_EQ(g_ByteAccess16.ReadByte(bytes + 3, &value), 0);
  EXPECT_EQ(value, 0x56u);  // odd address: the high half
  // A write at an odd address leaves the even byte of the halfword alone.
  EXPECT_EQ(g_ByteAccess16.WriteByte(bytes + 1, 0xAB), 0);
  EXPECT_EQ(words[0], 0xAB34);
  EXPECT_EQ(g_ByteAccess16.WriteByte(bytes + 2, 0xCD), 0);
  EXPECT_EQ(words[1], 0x56CD);
  // A one-byte variable is reached without touching its neighbours: at an
  // even address, the other half of its halfword lies past the variable,
  // where an address-sanitised build reports any access.
  alignas(2) static uint8_t s_ucSingle = 0x11;
  EXPECT_EQ(g_ByteAccess16.WriteByte(&s_ucSingle, 0x22), 0);
  EXPECT_EQ(g_ByteAccess16.ReadByte(&s_ucSingle, &value), 0);
  EXPECT_EQ(value, 0x22u);
}

}  // namespace
