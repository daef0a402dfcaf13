#include "firmware/service/text_render.h"

#include "firmware/platform/ioctl.h"
#include "firmware/service/draw_parts_rect.h"

uint8_t g_GlyphWorkBuffer[GLYPH_WORK_BYTES];

void WriteImageByte(PhysAddr ulAddress, uint8_t ucValue) {
  const PhysAddr ulWord = ulAddress & ~PhysAddr{1};
  uint16_t usWord = 0;
  IoctlRead16(ulWord, &usWord);
  if ((ulAddress & 1u) != 0) {
    usWord = static_cast<uint16_t>((usWord & 0x00FFu) | (static_cast<uint32_t>(ucValue) << 8));
  } else {
    usWord = static_cast<uint16_t>((usWord & 0xFF00u) | ucValue);
  }
  IoctlWrite16(ulWord, usWord);
}

void ExpandGlyphWidth(uint8_t* pucDst, const uint8_t* pucSrc, uint32_t ulGlyphWidth, uint32_t ulRows) {
  for (uint32_t i = 0; i < ulGlyphWidth * ulRows; ++i) {
    const uint16_t usDoubled = g_WidthDoublingTable[pucSrc[i]];
    pucDst[2 * i] = static_cast<uint8_t>(usDoubled >> 8);
    pucDst[2 * i + 1] = static_cast<uint8_t>(usDoubled);
  }
}

uint32_t BlitGlyph(const GlyphBlit& blit, PhysAddr ulBase, uint16_t usForeground, uint16_t usBackground) {
  const uint32_t ulWidth = DrawingPrintSize().ulPrintWidth;
  const uint8_t* pucByte = blit.pucGlyph;
  for (uint32_t r = 0; r < blit.usRows; ++r) {
    const PhysAddr ulRow = ulBase + ulWidth * (blit.usY + r) + blit.usX;
    for (uint32_t c = 0; c < blit.usBytesPerRow; ++c, ++pucByte) {
      for (uint32_t k = 0; k < 8; ++k) {
        const bool bInk = ((*pucByte >> (7 - k)) & 1u) != 0;
        WriteImageByte(ulRow + 8 * c + k, static_cast<uint8_t>(bInk ? usForeground : usBackground));
      }
    }
  }
  return static_cast<uint32_t>(blit.usBytesPerRow) * blit.usRows;
}

int32_t RenderTextCommand(const TextCommand& cmd, PhysAddr ulBase, uint16_t usForeground, uint16_t usBackground) {
  TextFont font{};
  if (SelectTextFont(font, cmd) != 0) return -1;
  const uint32_t ulCount = cmd.ucCount < TEXT_COMMAND_MAX_CHARS ? cmd.ucCount : TEXT_COMMAND_MAX_CHARS;
  for (uint32_t i = 0; i < ulCount; ++i) {
    const uint8_t* pucGlyph = font.ppGlyphs[cmd.aucChars[i]];
    if (font.ucDoubled != 0) {
      ExpandGlyphWidth(g_GlyphWorkBuffer, pucGlyph, font.usGlyphWidth, font.usGlyphHeight);
      pucGlyph = g_GlyphWorkBuffer;
    }
    const GlyphBlit blit{static_cast<uint16_t>(cmd.usX + font.usCellWidth * 8u * i), cmd.usY, font.usCellWidth,
                         font.usCellHeight, pucGlyph};
    BlitGlyph(blit, ulBase, usForeground, usBackground);
  }
  return 0;
}

void DrawTextCells(PhysAddr ulBase, uint16_t usColumn, uint16_t usRow, const char* pszText, uint16_t usBackground) {
  TextCommand cmd{};
  while (cmd.ucCount < TEXT_COMMAND_MAX_CHARS && pszText[cmd.ucCount] != '\0') {
    cmd.aucChars[cmd.ucCount] = static_cast<uint8_t>(pszText[cmd.ucCount]);
    ++cmd.ucCount;
  }
  cmd.usLength = static_cast<uint16_t>(cmd.ucCount + 7);
  cmd.usX = static_cast<uint16_t>(usColumn * TEXT_CELL_DOTS + TEXT_CELL_DOTS);
  cmd.usY = static_cast<uint16_t>(usRow * TEXT_CELL_DOTS + TEXT_CELL_DOTS);
  cmd.ucDoubled = 1;
  cmd.ucFont = TEXT_FONT_8X16;
  SetupDigitFontTables();
  RenderTextCommand(cmd, ulBase, 255, usBackground);
}
