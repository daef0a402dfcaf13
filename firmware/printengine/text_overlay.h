// The text items of a picture, drawn into its overcoat plane just before
// the overcoat pass starts.
//
// The overcoat plane holds one byte per pixel, lines of the plane width one
// after another. The overlay changes only bits 3 and 4 of a pixel: 0x08 a
// pixel of a character cell without ink, 0x18 ink, both clear at the edges
// of second-font lines. Pixels are read and written in pairs (16 bits, the
// first pixel the low byte) at even x. A glyph bit covers 4 pixels across
// and (but for the character font's first row) 4 lines along.
//
// Item font values: 1 the character font (8 x 16 glyphs, characters side by
// side across the paper, cells 32 pixels by 65 lines of which lines 3-64
// are written); 2 the second font (16 x 8 glyphs turned, characters one
// after another along the paper, cells 66 pixels by 32 lines); any other
// value the second font with characters side by side across, 64 pixels
// apart. The last character of an item has 4 more background pixels (the
// character font) or lines (the second font) after its cell.
//
// Every character whose cell would leave the plane on either axis is not
// drawn; the last character's extra background is cut at the plane's edge.
#pragma once

#include <cstdint>

#include "firmware/control/imprint_text.h"
#include "firmware/hal/hw.h"
#include "firmware/platform/global_build.h"
#include "firmware/service/bitmap_fonts.h"

struct ImageSlot;

// The working copy of one text item.
struct TextOverlayItem {
  uint16_t usX;  // bit 0 cleared
  uint16_t usY;
  uint8_t ucFont;
  uint8_t ucAlignment;  // TEXT_ALIGN_END: x or y is where the text ends
  uint8_t ucCount;      // characters left to draw
  uint8_t ucFirst;      // index of the first of them
  uint8_t aucChars[IMPRINT_TEXT_MAX_CHARS];
};

constexpr uint8_t TEXT_ITEM_FONT_CHARACTER = 1;
constexpr uint8_t TEXT_ITEM_FONT_ALONG = 2;
constexpr uint8_t TEXT_ALIGN_END = 2;

class CTextOverlay {
 public:
  constexpr CTextOverlay() = default;
  // Sets up the two font states (fonts 0 and 16).
  explicit CTextOverlay(GlobalBuild);

  // Draws every used text item of the slot into the overcoat plane that
  // starts at ulDestination, the plane's size from the slot's print
  // parameters. 0, or -1 for a slot without them.
  int32_t DrawItems(const ImageSlot* pSlot, PhysAddr ulDestination);
  // Fits one item into the plane along the axis its characters advance:
  // leading characters of an end-aligned item that would begin before 0 are
  // dropped, the start is kept within the plane and the count cut to the
  // whole characters that fit. The count left.
  uint32_t ClipItem(TextOverlayItem& item) const;

 private:
  struct Layout;
  Layout LayoutOf(uint8_t ucFont) const;
  void DrawItem(const TextOverlayItem& item) const;
  void DrawCharacterCell(uint32_t ulX, uint32_t ulY, const uint8_t* pGlyph, bool bLast) const;
  void DrawSecondCell(uint32_t ulX, uint32_t ulY, const uint8_t* pGlyph, bool bLast) const;
  void WriteLine(uint32_t ulX, uint32_t ulY, const uint8_t* pucPixels, uint32_t ulPixels) const;

  TextFont m_characterFont{};
  TextFont m_secondFont{};
  TextOverlayItem m_aItems[IMPRINT_TEXT_ITEMS]{};
  PhysAddr m_ulDestination = 0;
  uint32_t m_ulWidth = 0;   // pixels
  uint32_t m_ulLength = 0;  // lines
};

extern CTextOverlay g_TextOverlay;
