// The bitmap fonts: the font selection's refusals and cell sizes, a glyph
// of the right size for every code of every font, 225 distinct glyphs in
// fonts 0 and 16, and the derived fonts against the 8 x 16 source (font 16
// turned, the hex digits its rows 2-13, the large digits scaled 4 x 5).
#include "firmware/service/bitmap_fonts.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

namespace {

bool Dot(const uint8_t* pGlyph, uint32_t ulBytesPerRow, uint32_t ulRow, uint32_t ulColumn) {
  return ((pGlyph[ulRow * ulBytesPerRow + ulColumn / 8] >> (7 - ulColumn % 8)) & 1u) != 0;
}

TextCommand Command(uint8_t ucFont, std::initializer_list<uint8_t> chars, uint8_t ucDoubled = 0) {
  TextCommand cmd{};
  cmd.ucFont = ucFont;
  cmd.ucDoubled = ucDoubled;
  for (uint8_t c : chars) cmd.aucChars[cmd.ucCount++] = c;
  cmd.usLength = static_cast<uint16_t>(cmd.ucCount + 7);
  return cmd;
}

TEST(BitmapFonts, SelectTextFontRefusesUnknownFontsAndDigitsOutOfRange) {
  SetupDigitFontTables();
  struct Case {
    const char* pszWhat;
    TextCommand cmd;
    int32_t lResult;
    uint16_t usCellWidth, usCellHeight;
    const uint8_t* const* ppGlyphs;
  };
  const Case kCases[] = {
      {"font 0", Command(0, {0, 255}), 0, 1, 16, g_Font8x16Table.data()},
      {"font 0 doubled", Command(0, {'A'}, 1), 0, 2, 16, g_Font8x16Table.data()},
      {"font 1 value 15", Command(1, {0, 15}), 0, 1, 12, g_HexDigitFontTable},
      {"font 1 value 16", Command(1, {3, 16}), -1, 0, 0, nullptr},
      {"font 2 value 9", Command(2, {9}, 1), 0, 8, 80, g_LargeDigitFontTable},
      {"font 2 value 10", Command(2, {10}), -1, 0, 0, nullptr},
      {"font 3", Command(3, {1}), -1, 0, 0, nullptr},
      {"font 16", Command(16, {'x'}), 0, 2, 8, g_FontTurnedTable.data()},
  };
  for (const Case& c : kCases) {
    TextFont font{};
    EXPECT_EQ(SelectTextFont(font, c.cmd), c.lResult) << c.pszWhat;
    if (c.lResult != 0) continue;
    EXPECT_EQ(font.usCellWidth, c.usCellWidth) << c.pszWhat;
    EXPECT_EQ(font.usCellHeight, c.usCellHeight) << c.pszWhat;
    EXPECT_EQ(font.ppGlyphs, c.ppGlyphs) << c.pszWhat;
    EXPECT_EQ(font.ucDoubled, c.cmd.ucDoubled) << c.pszWhat;
  }
}

TEST(BitmapFonts, FontsZeroAndSixteenHave225DistinctGlyphsWithOneSharedBlank) {
  struct Font {
    const GlyphTable* pTable;
    uint32_t ulBytes;
  };
  for (const Font& f : {Font{&g_Font8x16Table, 16}, Font{&g_FontTurnedTable, 16}}) {
    std::set<const uint8_t*> pointers;
    std::set<std::string> images;
    for (uint32_t code = 0; code < FONT_CODES; ++code) {
      const uint8_t* pGlyph = (*f.pTable)[code];
      ASSERT_NE(pGlyph, nullptr) << code;
      pointers.insert(pGlyph);
      images.insert(std::string(reinterpret_cast<const char*>(pGlyph), f.ulBytes));
    }
    EXPECT_EQ(pointers.size(), FONT_DISTINCT_GLYPHS);
    EXPECT_EQ(images.size(), FONT_DISTINCT_GLYPHS) << "every glyph looks different";
    for (uint32_t code = 2; code <= 32; ++code) EXPECT_EQ((*f.pTable)[code], (*f.pTable)[1]) << code;
    for (uint32_t r = 0; r < f.ulBytes; ++r) EXPECT_EQ((*f.pTable)[' '][r], 0) << "the blank";
  }
  // Ink in every glyph but the blank; a box round codes 128-255.
  for (uint32_t code : {0u, 33u, 'A' + 0u, 127u, 128u, 255u}) {
    uint32_t ulInk = 0;
    for (uint32_t r = 0; r < 16; ++r) ulInk += g_Font8x16Table[code][r];
    EXPECT_NE(ulInk, 0u) << code;
  }
  for (uint32_t code = 128; code < FONT_CODES; ++code) {
    EXPECT_EQ(g_Font8x16Table[code][0], 0xFF) << code;
    EXPECT_EQ(g_Font8x16Table[code][15], 0xFF) << code;
  }
}

TEST(BitmapFonts, TheDerivedFontsAreTheSourceTurnedCutAndScaled) {
  SetupDigitFontTables();
  for (uint32_t code = 0; code < FONT_CODES; ++code) {
    // Turned clockwise: row r, column c of the turned glyph is row 15 - c,
    // column r of the source.
    for (uint32_t r = 0; r < 8; ++r) {
      for (uint32_t c = 0; c < 16; ++c) {
        ASSERT_EQ(Dot(g_FontTurnedTable[code], 2, r, c), Dot(g_Font8x16Table[code], 1, 15 - c, r))
            << code << " " << r << " " << c;
      }
    }
  }
  static const char kHexCodes[] = "0123456789abcdef";
  for (uint32_t d = 0; d < HEX_DIGIT_GLYPHS; ++d) {
    EXPECT_EQ(g_HexDigitFontTable[d], HexDigitGlyph(d));
    EXPECT_EQ(std::memcmp(g_HexDigitFontTable[d], g_Font8x16Table[static_cast<uint8_t>(kHexCodes[d])] + 2, 12), 0)
        << d;
    if (d > 0) {
      EXPECT_EQ(HexDigitGlyph(d), HexDigitGlyph(d - 1) + GLYPH_HEX_DIGIT_BYTES) << "one after another";
    }
  }
  for (uint32_t d = 0; d < LARGE_DIGIT_GLYPHS; ++d) {
    EXPECT_EQ(g_LargeDigitFontTable[d], LargeDigitGlyph(d));
    for (uint32_t y = 0; y < 80; ++y) {
      for (uint32_t x = 0; x < 32; ++x) {
        ASSERT_EQ(Dot(g_LargeDigitFontTable[d], 4, y, x), Dot(g_Font8x16Table['0' + d], 1, y / 5, x / 4))
            << d << " " << y << " " << x;
      }
    }
  }
}

}  // namespace
