#include "firmware/service/bitmap_fonts.h"

#include "firmware/service/bitmap_font_art.h"

namespace {

constexpr uint32_t kArtFirstCode = 33;
constexpr uint32_t kArtGlyphs = 95;  // codes 33-127
constexpr uint32_t kRows = 16;
constexpr uint32_t kBoxFirstCode = 128;

struct ArtGlyphs {
  uint8_t aucRows[kArtGlyphs][kRows];
  bool bComplete;  // exactly the glyphs expected, nothing else
};

// Every line of eight '.' or '#' is a glyph row; other lines are headers.
constexpr ArtGlyphs ParseArt(const char* pszArt) {
  ArtGlyphs art{};
  uint32_t ulRow = 0;
  bool bBad = false;
  const char* p = pszArt;
  while (*p != '\0') {
    const char* pLine = p;
    while (*p != '\0' && *p != '\n') ++p;
    const auto ulLength = static_cast<uint32_t>(p - pLine);
    bool bDots = ulLength == 8;
    for (uint32_t i = 0; bDots && i < ulLength; ++i) bDots = pLine[i] == '.' || pLine[i] == '#';
    if (bDots) {
      if (ulRow < kArtGlyphs * kRows) {
        uint8_t ucByte = 0;
        for (uint32_t i = 0; i < 8; ++i) ucByte = static_cast<uint8_t>(ucByte << 1 | (pLine[i] == '#' ? 1 : 0));
        art.aucRows[ulRow / kRows][ulRow % kRows] = ucByte;
      } else {
        bBad = true;
      }
      ++ulRow;
    } else if (ulLength != 0 && (pLine[0] == '.' || pLine[0] == '#')) {
      bBad = true;  // a glyph row of the wrong width
    }
    if (*p == '\n') ++p;
  }
  art.bComplete = !bBad && ulRow == kArtGlyphs * kRows;
  return art;
}

constexpr ArtGlyphs kArt = ParseArt(kFont8x16Art);
static_assert(kArt.bComplete, "the text art holds 95 glyphs of 16 rows of 8 dots");

// The 3 x 5 hexadecimal digits of the boxes of codes 128-255, one row of
// three dots (bits 2-0, bit 2 leftmost) per entry.
constexpr uint8_t kSmallHex[16][5] = {
    {7, 5, 5, 5, 7}, {2, 6, 2, 2, 7}, {7, 1, 7, 4, 7}, {7, 1, 3, 1, 7}, {5, 5, 7, 1, 1}, {7, 4, 7, 1, 7},
    {7, 4, 7, 5, 7}, {7, 1, 1, 2, 2}, {7, 5, 7, 5, 7}, {7, 5, 7, 1, 7}, {2, 5, 7, 5, 5}, {6, 5, 6, 5, 6},
    {3, 4, 4, 4, 3}, {6, 5, 5, 5, 6}, {7, 4, 6, 4, 7}, {7, 4, 6, 4, 4},
};

// Glyph 0: code 0; 1: the blank of codes 1-32; 2-96: codes 33-127;
// 97-224: the boxes of codes 128-255.
struct Font8x16 {
  uint8_t aucGlyphs[FONT_DISTINCT_GLYPHS][kRows];
};

constexpr uint32_t GlyphIndex(uint32_t ulCode) {
  if (ulCode == 0) return 0;
  if (ulCode < kArtFirstCode) return 1;
  return ulCode - kArtFirstCode + 2;
}

constexpr Font8x16 BuildFont8x16() {
  Font8x16 font{};
  // Code 0: a hollow frame inside the cell.
  for (uint32_t r = 3; r <= 12; ++r) font.aucGlyphs[0][r] = (r == 3 || r == 12) ? 0x7E : 0x42;
  for (uint32_t g = 0; g < kArtGlyphs; ++g) {
    for (uint32_t r = 0; r < kRows; ++r) font.aucGlyphs[2 + g][r] = kArt.aucRows[g][r];
  }
  for (uint32_t ulCode = kBoxFirstCode; ulCode < FONT_CODES; ++ulCode) {
    uint8_t* pGlyph = font.aucGlyphs[GlyphIndex(ulCode)];
    for (uint32_t r = 0; r < kRows; ++r) pGlyph[r] = (r == 0 || r == kRows - 1) ? 0xFF : 0x81;
    // The high digit in rows 2-6, the low one in rows 9-13, dots 2-4.
    for (uint32_t r = 0; r < 5; ++r) {
      pGlyph[2 + r] = static_cast<uint8_t>(pGlyph[2 + r] | kSmallHex[ulCode >> 4][r] << 3);
      pGlyph[9 + r] = static_cast<uint8_t>(pGlyph[9 + r] | kSmallHex[ulCode & 0xF][r] << 3);
    }
  }
  return font;
}

constexpr Font8x16 kFont8x16 = BuildFont8x16();

// A quarter turn clockwise: the 16 x 8 glyph's row r, column c is the
// source's row 15 - c, column r.
constexpr Font8x16 BuildTurned() {
  Font8x16 font{};
  for (uint32_t g = 0; g < FONT_DISTINCT_GLYPHS; ++g) {
    const uint8_t* pSource = kFont8x16.aucGlyphs[g];
    for (uint32_t r = 0; r < 8; ++r) {
      uint32_t ulBits = 0;
      for (uint32_t c = 0; c < 16; ++c) ulBits = ulBits << 1 | ((pSource[15 - c] >> (7 - r)) & 1u);
      font.aucGlyphs[g][2 * r] = static_cast<uint8_t>(ulBits >> 8);
      font.aucGlyphs[g][2 * r + 1] = static_cast<uint8_t>(ulBits);
    }
  }
  return font;
}

constexpr Font8x16 kFontTurned = BuildTurned();

// The codes of the hex digits: '0'-'9', then 'a'-'f'.
constexpr uint32_t HexDigitCode(uint32_t ulDigit) { return ulDigit < 10 ? '0' + ulDigit : 'a' + ulDigit - 10; }

struct HexDigits {
  uint8_t auc[HEX_DIGIT_GLYPHS * GLYPH_HEX_DIGIT_BYTES];
};
constexpr HexDigits BuildHexDigits() {
  HexDigits digits{};
  for (uint32_t d = 0; d < HEX_DIGIT_GLYPHS; ++d) {
    for (uint32_t r = 0; r < GLYPH_HEX_DIGIT_BYTES; ++r) {
      digits.auc[d * GLYPH_HEX_DIGIT_BYTES + r] = kFont8x16.aucGlyphs[GlyphIndex(HexDigitCode(d))][2 + r];
    }
  }
  return digits;
}

struct LargeDigits {
  uint8_t auc[LARGE_DIGIT_GLYPHS * GLYPH_LARGE_DIGIT_BYTES];
};
// Each dot of the 8 x 16 digit becomes 4 dots wide and 5 rows high.
constexpr LargeDigits BuildLargeDigits() {
  LargeDigits digits{};
  for (uint32_t d = 0; d < LARGE_DIGIT_GLYPHS; ++d) {
    const uint8_t* pSource = kFont8x16.aucGlyphs[GlyphIndex('0' + d)];
    for (uint32_t y = 0; y < 80; ++y) {
      for (uint32_t b = 0; b < 4; ++b) {
        uint8_t ucByte = 0;
        for (uint32_t k = 0; k < 8; ++k) {
          const uint32_t ulX = 8 * b + k;
          ucByte = static_cast<uint8_t>(ucByte << 1 | ((pSource[y / 5] >> (7 - ulX / 4)) & 1u));
        }
        digits.auc[d * GLYPH_LARGE_DIGIT_BYTES + 4 * y + b] = ucByte;
      }
    }
  }
  return digits;
}

constexpr GlyphTable BuildTable(const Font8x16& font) {
  GlyphTable table{};
  for (uint32_t ulCode = 0; ulCode < FONT_CODES; ++ulCode) table[ulCode] = font.aucGlyphs[GlyphIndex(ulCode)];
  return table;
}

constexpr HexDigits kHexDigits = BuildHexDigits();
constexpr LargeDigits kLargeDigits = BuildLargeDigits();

// The fonts' glyph sizes and tables, and the character values they take.
struct FontRow {
  uint8_t ucFont;
  const uint8_t* const* ppGlyphs;
  uint16_t usWidth;   // bytes
  uint16_t usHeight;  // rows
  uint32_t ulValues;  // every character value lies below this
};

}  // namespace

constinit GlyphTable g_Font8x16Table = BuildTable(kFont8x16);
constinit GlyphTable g_FontTurnedTable = BuildTable(kFontTurned);
const uint8_t* g_HexDigitFontTable[HEX_DIGIT_GLYPHS];
const uint8_t* g_LargeDigitFontTable[LARGE_DIGIT_GLYPHS];

namespace {

const FontRow kFontRows[] = {
    {TEXT_FONT_8X16, g_Font8x16Table.data(), 1, 16, FONT_CODES},
    {TEXT_FONT_HEX_DIGITS, g_HexDigitFontTable, 1, 12, HEX_DIGIT_GLYPHS},
    {TEXT_FONT_LARGE_DIGITS, g_LargeDigitFontTable, 4, 80, LARGE_DIGIT_GLYPHS},
    {TEXT_FONT_TURNED, g_FontTurnedTable.data(), 2, 8, FONT_CODES},
};

}  // namespace

const uint8_t* HexDigitGlyph(uint32_t ulDigit) { return &kHexDigits.auc[ulDigit * GLYPH_HEX_DIGIT_BYTES]; }
const uint8_t* LargeDigitGlyph(uint32_t ulDigit) { return &kLargeDigits.auc[ulDigit * GLYPH_LARGE_DIGIT_BYTES]; }

void SetupDigitFontTables() {
  for (uint32_t k = 0; k < HEX_DIGIT_GLYPHS; ++k) g_HexDigitFontTable[k] = HexDigitGlyph(k);
  for (uint32_t k = 0; k < LARGE_DIGIT_GLYPHS; ++k) g_LargeDigitFontTable[k] = LargeDigitGlyph(k);
}

int32_t SelectTextFont(TextFont& font, const TextCommand& cmd) {
  const FontRow* pRow = nullptr;
  for (const FontRow& row : kFontRows) {
    if (row.ucFont == cmd.ucFont) pRow = &row;
  }
  if (pRow == nullptr) return -1;
  const uint32_t ulCount = cmd.ucCount < TEXT_COMMAND_MAX_CHARS ? cmd.ucCount : TEXT_COMMAND_MAX_CHARS;
  for (uint32_t i = 0; i < ulCount; ++i) {
    if (cmd.aucChars[i] >= pRow->ulValues) return -1;
  }
  font.ppGlyphs = pRow->ppGlyphs;
  font.usGlyphWidth = pRow->usWidth;
  font.usGlyphHeight = pRow->usHeight;
  font.ucDoubled = cmd.ucDoubled;
  font.usCellWidth = static_cast<uint16_t>(cmd.ucDoubled != 0 ? 2 * pRow->usWidth : pRow->usWidth);
  font.usCellHeight = pRow->usHeight;
  return 0;
}
