// The text overlay: the items of a slot, clipped to its overcoat plane and
// drawn cell by cell in pixel pairs.
#include "firmware/printengine/text_overlay.h"

#include "firmware/platform/ioctl.h"
#include "firmware/printengine/print_geometry.h"
#include "firmware/printengine/print_job_record.h"

constinit CTextOverlay g_TextOverlay;

namespace {

constexpr uint8_t kCode0 = 0x00;
constexpr uint8_t kBackground = 0x08;
constexpr uint8_t kInk = 0x18;
constexpr uint16_t kOverlayBits = 0x1818;

constexpr uint32_t kDotPixels = 4;     // a glyph bit across, a glyph row along
constexpr uint32_t kExtraPixels = 4;   // after an item's last cell
// Character font: cells 32 pixels by a 65-line box, lines 3-64 written.
constexpr uint32_t kCharCellWidth = 32;
constexpr uint32_t kCharBoxLines = 65;
constexpr uint32_t kCharFirstLine = 3;
constexpr uint32_t kCharRowsLine = 4;  // glyph rows 1-15 from line 4
constexpr uint32_t kCharRows = 16;
// Second font: lines of 66 pixels (an edge pixel, a background pixel, 64
// from the glyph's 16 bits), 32 lines a cell.
constexpr uint32_t kSecondCellWidth = 66;
constexpr uint32_t kSecondCellLines = 32;
constexpr uint32_t kSecondBits = 16;
constexpr uint32_t kSecondAcrossAdvance = 64;
constexpr uint32_t kAdvance = 32;
constexpr uint32_t kLinePixelsMax = kSecondCellWidth;

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

// The pixels of one glyph row of bits, 4 pixels a bit, the most
// significant bit of each byte first.
void SpreadBits(const uint8_t* pucBytes, uint32_t ulBits, uint8_t* pucPixels) {
  for (uint32_t b = 0; b < ulBits; ++b) {
    const bool bInk = pucBytes != nullptr && (pucBytes[b / 8] & (0x80u >> (b % 8))) != 0;
    for (uint32_t i = 0; i < kDotPixels; ++i) pucPixels[b * kDotPixels + i] = bInk ? kInk : kBackground;
  }
}

}  // namespace

// How an item's characters lie: the axis they advance along (measured from
// x or y against the plane's width or length) and their cells.
struct CTextOverlay::Layout {
  bool bAlong;  // characters follow one another along the paper (y)
  uint32_t ulAdvance;
  uint32_t ulExtent;
  uint32_t ulCellWidth;
  uint32_t ulCellLines;
};

CTextOverlay::CTextOverlay(GlobalBuild) {
  TextCommand cmd{};
  cmd.ucFont = TEXT_FONT_8X16;
  SelectTextFont(m_characterFont, cmd);
  cmd.ucFont = TEXT_FONT_TURNED;
  SelectTextFont(m_secondFont, cmd);
}

CTextOverlay::Layout CTextOverlay::LayoutOf(uint8_t ucFont) const {
  if (ucFont == TEXT_ITEM_FONT_CHARACTER) return {false, kAdvance, m_ulWidth, kCharCellWidth, kCharBoxLines};
  if (ucFont == TEXT_ITEM_FONT_ALONG) return {true, kAdvance, m_ulLength, kSecondCellWidth, kSecondCellLines};
  // Laid across the paper: measured across, where the characters advance.
  return {false, kSecondAcrossAdvance, m_ulWidth, kSecondCellWidth, kSecondCellLines};
}

uint32_t CTextOverlay::ClipItem(TextOverlayItem& item) const {
  const Layout layout = LayoutOf(item.ucFont);
  uint16_t& usPos = layout.bAlong ? item.usY : item.usX;
  uint32_t ulStart = usPos;
  uint32_t ulCount = item.ucCount;
  if (item.ucAlignment == TEXT_ALIGN_END) {
    const uint32_t ulSpan = ulCount * layout.ulAdvance;
    if (ulSpan > ulStart) {
      // Only whole characters before the end position are kept.
      const uint32_t ulKept = ulStart / layout.ulAdvance;
      item.ucFirst = static_cast<uint8_t>(item.ucFirst + (ulCount - ulKept));
      ulCount = ulKept;
      ulStart -= ulKept * layout.ulAdvance;
    } else {
      ulStart -= ulSpan;
    }
  }
  if (ulStart > layout.ulExtent) ulStart = layout.ulExtent;
  const uint32_t ulFit = (layout.ulExtent - ulStart) / layout.ulAdvance;
  if (ulCount > ulFit) ulCount = ulFit;
  usPos = static_cast<uint16_t>(ulStart);
  item.ucCount = static_cast<uint8_t>(ulCount);
  return ulCount;
}

int32_t CTextOverlay::DrawItems(const ImageSlot* pSlot, PhysAddr ulDestination) {
  if (pSlot == nullptr || pSlot->pParams == nullptr) return -1;
  for (uint32_t i = 0; i < IMPRINT_TEXT_ITEMS; ++i) {
    const uint8_t* pucItem = pSlot->aucTextItems[i];
    TextOverlayItem& item = m_aItems[i];
    item.usX = static_cast<uint16_t>(Le16(pucItem + IMPRINT_TEXT_OFFSET_X) & ~1u);
    item.usY = Le16(pucItem + IMPRINT_TEXT_OFFSET_Y);
    item.ucFont = pucItem[IMPRINT_TEXT_OFFSET_ORIENTATION];
    item.ucAlignment = pucItem[IMPRINT_TEXT_OFFSET_ALIGNMENT];
    const uint8_t ucCount = pucItem[IMPRINT_TEXT_OFFSET_LENGTH];
    item.ucCount = ucCount < IMPRINT_TEXT_MAX_CHARS ? ucCount : static_cast<uint8_t>(IMPRINT_TEXT_MAX_CHARS);
    item.ucFirst = 0;
    for (uint32_t c = 0; c < IMPRINT_TEXT_MAX_CHARS; ++c) item.aucChars[c] = pucItem[IMPRINT_TEXT_OFFSET_TEXT + c];
  }
  m_ulDestination = ulDestination;
  m_ulWidth = pSlot->pParams->ulPrintWidth;
  m_ulLength = pSlot->pParams->ulPrintLength;
  // The plane never reaches the track-correction buffers behind it.
  if (ulDestination < TRACK_LINE_BUFFER_BASE && m_ulWidth != 0) {
    const uint32_t ulRoom = (TRACK_LINE_BUFFER_BASE - ulDestination) / m_ulWidth;
    if (m_ulLength > ulRoom) m_ulLength = ulRoom;
  }
  for (TextOverlayItem& item : m_aItems) {
    if (item.ucCount == 0) continue;
    ClipItem(item);
    DrawItem(item);
  }
  return 0;
}

void CTextOverlay::DrawItem(const TextOverlayItem& item) const {
  const Layout layout = LayoutOf(item.ucFont);
  const bool bCharacterFont = item.ucFont == TEXT_ITEM_FONT_CHARACTER;
  const TextFont& font = bCharacterFont ? m_characterFont : m_secondFont;
  for (uint32_t k = 0; k < item.ucCount; ++k) {
    const uint32_t ulStep = k * layout.ulAdvance;
    const uint32_t ulX = item.usX + (layout.bAlong ? 0 : ulStep);
    const uint32_t ulY = item.usY + (layout.bAlong ? ulStep : 0);
    // A cell that would leave the plane on either axis is not drawn.
    if (ulX + layout.ulCellWidth > m_ulWidth || ulY + layout.ulCellLines > m_ulLength) continue;
    const uint8_t* pGlyph = font.ppGlyphs != nullptr ? font.ppGlyphs[item.aucChars[item.ucFirst + k]] : nullptr;
    const bool bLast = k + 1 == item.ucCount;
    if (bCharacterFont) {
      DrawCharacterCell(ulX, ulY, pGlyph, bLast);
    } else {
      DrawSecondCell(ulX, ulY, pGlyph, bLast);
    }
  }
}

void CTextOverlay::DrawCharacterCell(uint32_t ulX, uint32_t ulY, const uint8_t* pGlyph, bool bLast) const {
  uint8_t aucPixels[kLinePixelsMax];
  const uint32_t ulPixels = kCharCellWidth + (bLast ? kExtraPixels : 0);
  for (uint32_t ulLine = kCharFirstLine; ulLine < kCharBoxLines; ++ulLine) {
    // Row 0 on line 3 alone, rows 1-15 on four lines each, the last line
    // background.
    const uint32_t ulRow = ulLine < kCharRowsLine ? 0 : ulLine / kDotPixels;
    const uint8_t* pRow = pGlyph != nullptr && ulRow < kCharRows ? pGlyph + ulRow : nullptr;
    SpreadBits(pRow, 8, aucPixels);
    for (uint32_t i = kCharCellWidth; i < ulPixels; ++i) aucPixels[i] = kBackground;
    WriteLine(ulX, ulY + ulLine, aucPixels, ulPixels);
  }
}

void CTextOverlay::DrawSecondCell(uint32_t ulX, uint32_t ulY, const uint8_t* pGlyph, bool bLast) const {
  uint8_t aucPixels[kLinePixelsMax];
  const uint32_t ulLines = kSecondCellLines + (bLast ? kExtraPixels : 0);
  const uint32_t ulRowBytes = kSecondBits / 8;
  for (uint32_t ulLine = 0; ulLine < ulLines; ++ulLine) {
    const uint32_t ulRow = ulLine / kDotPixels;
    const uint8_t* pRow = pGlyph != nullptr && ulLine < kSecondCellLines ? pGlyph + ulRow * ulRowBytes : nullptr;
    aucPixels[0] = kCode0;
    aucPixels[1] = kBackground;
    SpreadBits(pRow, kSecondBits, aucPixels + 2);
    aucPixels[kSecondCellWidth - 1] = kCode0;
    WriteLine(ulX, ulY + ulLine, aucPixels, kSecondCellWidth);
  }
}

// Pixel pairs from an even x, each read and written whole with only bits 3
// and 4 changed; pairs beyond the plane's width or lines beyond its length
// are left out.
void CTextOverlay::WriteLine(uint32_t ulX, uint32_t ulY, const uint8_t* pucPixels, uint32_t ulPixels) const {
  if (ulY >= m_ulLength) return;
  const PhysAddr ulLine = m_ulDestination + ulY * m_ulWidth;
  for (uint32_t i = 0; i + 1 < ulPixels; i += 2) {
    if (ulX + i + 2 > m_ulWidth) return;
    uint16_t usPair = 0;
    IoctlRead16(ulLine + ulX + i, &usPair);
    usPair = static_cast<uint16_t>((usPair & ~kOverlayBits) | pucPixels[i] | pucPixels[i + 1] << 8);
    IoctlWrite16(ulLine + ulX + i, usPair);
  }
}
