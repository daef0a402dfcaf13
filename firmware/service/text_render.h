// The text renderer of the internal prints: a text command's characters
// drawn dot by dot into the image memory from the bitmap fonts, every dot
// of each character's cell written (foreground for ink, background else),
// and the text cells of the test prints: 16 x 16 dots (the 8 x 16 font
// doubled in width) with a 16-dot margin on the left and on top.
#pragma once

#include <array>
#include <cstdint>

#include "firmware/hal/hw.h"
#include "firmware/service/bitmap_fonts.h"

// One glyph placement.
struct GlyphBlit {
  uint16_t usX;
  uint16_t usY;
  uint16_t usBytesPerRow;
  uint16_t usRows;
  const uint8_t* pucGlyph;
};

// Entry i is i with every bit doubled (bit k sets bits 2k and 2k + 1).
constexpr std::array<uint16_t, 256> MakeWidthDoublingTable() {
  std::array<uint16_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t ulDoubled = 0;
    for (uint32_t k = 0; k < 8; ++k) {
      if ((i >> k & 1u) != 0) ulDoubled |= 3u << (2 * k);
    }
    table[i] = static_cast<uint16_t>(ulDoubled);
  }
  return table;
}
inline constexpr std::array<uint16_t, 256> g_WidthDoublingTable = MakeWidthDoublingTable();

// Room for one width-doubled glyph of the largest font (8 bytes x 80 rows).
constexpr uint32_t GLYPH_WORK_BYTES = 8 * 80;
extern uint8_t g_GlyphWorkBuffer[GLYPH_WORK_BYTES];

// The command's characters at the base (a processor address of the image
// window): 0, or -1 with nothing drawn when the font refuses it.
int32_t RenderTextCommand(const TextCommand& cmd, PhysAddr ulBase, uint16_t usForeground, uint16_t usBackground);
// Each byte b of each row becomes two bytes, high byte of the doubled b
// first (the left dots first).
void ExpandGlyphWidth(uint8_t* pucDst, const uint8_t* pucSrc, uint32_t ulGlyphWidth, uint32_t ulRows);
// Every dot of the glyph, row r at base + W x (y + r) + x: the glyph's
// byte count.
uint32_t BlitGlyph(const GlyphBlit& blit, PhysAddr ulBase, uint16_t usForeground, uint16_t usBackground);
// One byte of the image window, written as a 16-bit read-modify-write of
// its aligned word.
void WriteImageByte(PhysAddr ulAddress, uint8_t ucValue);

// Text cells: the characters of the text up to its terminator (at most 96)
// from cell (column, row) at the base, foreground 255.
constexpr uint32_t TEXT_CELL_DOTS = 16;
void DrawTextCells(PhysAddr ulBase, uint16_t usColumn, uint16_t usRow, const char* pszText, uint16_t usBackground);

