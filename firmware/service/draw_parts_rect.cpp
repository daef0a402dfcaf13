#include "firmware/service/draw_parts_rect.h"

#include "firmware/printengine/image_buffer.h"

constinit CDrawPartsRectY g_DrawPartsRectY;
constinit CDrawPartsRectM g_DrawPartsRectM;
constinit CDrawPartsRectC g_DrawPartsRectC;

const PrintSizeRecord& DrawingPrintSize() { return g_pPrintSizeTable != nullptr ? *g_pPrintSizeTable : g_PrintSize8x10; }

uint32_t DrawingPlaneBytes() {
  const PrintSizeRecord& size = DrawingPrintSize();
  return size.ulPrintWidth * (size.ulPrintLength + size.aulExtraLines[0] + size.aulExtraLines[1]);
}

void CDrawPartsRect::SetBase(uint32_t) {}

void CDrawPartsRect::Fill() {}

void CDrawPartsRect::SetPlaneBase(uint32_t ulBuffer, uint32_t ulPlane) {
  m_ulBase = ulBuffer + ulPlane * DrawingPlaneBytes();
}

void CDrawPartsRect::FillLevel(uint16_t usLevel) {
  const uint32_t ulWidth = DrawingPrintSize().ulPrintWidth;
  g_ImageBuffer.Rewind();
  g_ImageBuffer.Skip(ulWidth * m_usRow + m_usColumn + m_ulBase);
  g_ImageBuffer.Fill(usLevel, m_usWidth);
  for (uint32_t i = 1; i < m_usHeight; ++i) {
    g_ImageBuffer.Skip(ulWidth - m_usWidth);
    g_ImageBuffer.Fill(usLevel, m_usWidth);
  }
}

void CDrawPartsRectY::SetBase(uint32_t ulBuffer) { SetPlaneBase(ulBuffer, 0); }
void CDrawPartsRectY::Fill() { FillLevel(m_levels.usY); }
void CDrawPartsRectM::SetBase(uint32_t ulBuffer) { SetPlaneBase(ulBuffer, 1); }
void CDrawPartsRectM::Fill() { FillLevel(m_levels.usM); }
void CDrawPartsRectC::SetBase(uint32_t ulBuffer) { SetPlaneBase(ulBuffer, 2); }
void CDrawPartsRectC::Fill() { FillLevel(m_levels.usC); }
