#include "firmware/service/ams_pattern_data.h"

#include "firmware/platform/ioctl.h"
#include "firmware/service/draw_parts_rect.h"

constinit CAmsPatternData g_AmsPatternData;
PhysAddr g_pAmsPatternAddr;

namespace {

uint8_t Byte(PhysAddr ulAddress) {
  uint8_t uc = 0;
  IoctlRead8(ulAddress, &uc);
  return uc;
}

uint16_t Le16(PhysAddr ulAddress) {
  return static_cast<uint16_t>(Byte(ulAddress) | static_cast<uint32_t>(Byte(ulAddress + 1)) << 8);
}

constexpr uint16_t kNoMoreBands = 0xFFFF;

}  // namespace

void CAmsPatternData::ReadHeader(PhysAddr ulAddress, AmsHeader* pOut) {
  pOut->usUnused = Le16(ulAddress);
  pOut->usBandCount = Le16(ulAddress + 2);
}

void CAmsPatternData::ReadBand(PhysAddr ulAddress, AmsBand* pOut) {
  pOut->usHeight = Le16(ulAddress);
  pOut->usUnused = Le16(ulAddress + 2);
  pOut->usSegmentCount = Le16(ulAddress + 4);
}

void CAmsPatternData::ReadSegment(PhysAddr ulAddress, AmsSegment* pOut) {
  pOut->usWidth = Le16(ulAddress);
  pOut->ucRed = Byte(ulAddress + 2);
  pOut->ucGreen = Byte(ulAddress + 3);
  pOut->ucBlue = Byte(ulAddress + 4);
}

void CAmsPatternData::Load(PhysAddr ulAddress, CDrawPartsRect* pDrawer) {
  const uint32_t ulWidth = DrawingPrintSize().ulPrintWidth;
  pDrawer->SetHeight(1);
  AmsHeader header{};
  ReadHeader(ulAddress, &header);
  m_usBandCount = static_cast<uint16_t>(header.usBandCount < AMS_MAX_BANDS ? header.usBandCount : AMS_MAX_BANDS);
  PhysAddr ulAt = ulAddress + AMS_HEADER_BYTES;
  for (uint32_t b = 0; b < m_usBandCount; ++b) {
    AmsBand band{};
    ReadBand(ulAt, &band);
    m_ausBandHeights[b] = band.usHeight;
    ulAt += AMS_BAND_BYTES;
    pDrawer->SetRow(static_cast<uint16_t>(b));
    uint32_t ulX = 0;
    for (uint32_t s = 0; s < band.usSegmentCount; ++s, ulAt += AMS_SEGMENT_BYTES) {
      AmsSegment segment{};
      ReadSegment(ulAt, &segment);
      const uint32_t ulX0 = ulX;
      ulX += segment.usWidth;
      if (ulX0 >= ulWidth) {
        // The rest of the band lies past the width: skip it unread.
        ulAt += (band.usSegmentCount - s) * AMS_SEGMENT_BYTES;
        break;
      }
      if (segment.usWidth == 0) continue;
      const uint32_t ulDraw = ulX <= ulWidth ? segment.usWidth : ulWidth - ulX0;
      pDrawer->SetLevels({static_cast<uint16_t>(255 - segment.ucBlue), static_cast<uint16_t>(255 - segment.ucGreen),
                          static_cast<uint16_t>(255 - segment.ucRed)});
      pDrawer->SetColumn(static_cast<uint16_t>(ulX0));
      pDrawer->SetWidth(static_cast<uint16_t>(ulDraw));
      pDrawer->Fill();
    }
  }
}

void CAmsPatternData::Reset() {
  m_usCurrentBand = 0;
  EnterBand();
}

uint16_t CAmsPatternData::NextRow() {
  const uint16_t usRow = m_usCurrentBand;
  m_usLinesLeft = static_cast<uint16_t>(m_usLinesLeft - 1);
  if (m_usLinesLeft != 0) return usRow;
  ++m_usCurrentBand;
  EnterBand();
  return usRow;
}

// The lines of the current band, bands without lines passed over as RowOf
// passes them; past the last band the row stays at the band count.
void CAmsPatternData::EnterBand() {
  while (m_usCurrentBand < m_usBandCount && m_ausBandHeights[m_usCurrentBand] == 0) ++m_usCurrentBand;
  if (m_usCurrentBand > m_usBandCount) m_usCurrentBand = m_usBandCount;
  m_usLinesLeft = m_usCurrentBand < m_usBandCount ? m_ausBandHeights[m_usCurrentBand] : kNoMoreBands;
}

uint16_t CAmsPatternData::RowOf(uint16_t usLine) const {
  uint16_t usSum = 0;
  for (uint32_t b = 0; b < m_usBandCount; ++b) {
    usSum = static_cast<uint16_t>(usSum + m_ausBandHeights[b]);
    if (usLine < usSum) return static_cast<uint16_t>(b);
  }
  return m_usBandCount;
}
