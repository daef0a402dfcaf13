// The bitmap fonts of the internal prints and of the host's text overlay,
// and the text command that names a font. Glyphs are rows of whole bytes,
// the most significant bit of a byte the leftmost dot, a 1 bit ink.
//   font 0   8 x 16 dots, 256 codes (225 distinct glyphs)   g_Font8x16Table
//   font 1   8 x 12 dots, the hex digits 0-9, a-f           g_HexDigitFontTable
//   font 2   32 x 80 dots, the digits 0-9                   g_LargeDigitFontTable
//   font 16  16 x 8 dots, font 0 turned a quarter turn      g_FontTurnedTable
// All glyphs are made at compile time from one text-art source of the
// 8 x 16 printable characters (bitmap_font_art.h): code 0 has a glyph of
// its own, codes 1-32 share one blank, codes 128-255 are a box holding the
// code's two hexadecimal digits; the hex digits are rows 2-13 of the 8 x 16
// digits, the large digits those digits scaled 4 x 5, and font 16 reads
// along the paper (clockwise: the glyph's top points to the right).
#pragma once

#include <array>
#include <cstdint>

constexpr uint32_t TEXT_COMMAND_MAX_CHARS = 96;

// One text to draw (built on the stack).
struct TextCommand {
  uint16_t usLength;  // character count + 7
  uint16_t usX;       // first dot, relative to the base
  uint16_t usY;       // first row, relative to the base
  uint8_t ucDoubled;  // 1: every dot twice as wide
  uint8_t ucFont;     // 0, 1, 2 or 16
  uint8_t ucCount;
  uint8_t aucChars[TEXT_COMMAND_MAX_CHARS];  // codes (fonts 0, 16) or digit values (1, 2)
};

// The font state SelectTextFont sets up.
struct TextFont {
  const uint8_t* const* ppGlyphs;
  uint16_t usCellWidth;  // bytes
  uint16_t usCellHeight;  // rows
  uint16_t usGlyphWidth;  // bytes
  uint16_t usGlyphHeight;  // rows
  uint8_t ucDoubled;
};

enum TextFontId : uint8_t {
  TEXT_FONT_8X16 = 0,
  TEXT_FONT_HEX_DIGITS = 1,
  TEXT_FONT_LARGE_DIGITS = 2,
  TEXT_FONT_TURNED = 16,
};

constexpr uint32_t FONT_CODES = 256;
constexpr uint32_t FONT_DISTINCT_GLYPHS = 225;
constexpr uint32_t HEX_DIGIT_GLYPHS = 16;
constexpr uint32_t LARGE_DIGIT_GLYPHS = 10;
constexpr uint32_t GLYPH_8X16_BYTES = 16;
constexpr uint32_t GLYPH_TURNED_BYTES = 16;  // 2 bytes x 8 rows
constexpr uint32_t GLYPH_HEX_DIGIT_BYTES = 12;
constexpr uint32_t GLYPH_LARGE_DIGIT_BYTES = 320;  // 4 bytes x 80 rows

using GlyphTable = std::array<const uint8_t*, FONT_CODES>;
extern GlyphTable g_Font8x16Table;
extern GlyphTable g_FontTurnedTable;
extern const uint8_t* g_HexDigitFontTable[HEX_DIGIT_GLYPHS];
extern const uint8_t* g_LargeDigitFontTable[LARGE_DIGIT_GLYPHS];

// Glyph k of fonts 1 and 2 (their glyphs lie one after another).
const uint8_t* HexDigitGlyph(uint32_t ulDigit);
const uint8_t* LargeDigitGlyph(uint32_t ulDigit);

// Points entry k of the two digit tables at glyph k.
void SetupDigitFontTables();

// The command's font: 0, or -1 for an unknown font or a digit value out of
// its font's range. Doubling doubles the cell's width only.
int32_t SelectTextFont(TextFont& font, const TextCommand& cmd);
