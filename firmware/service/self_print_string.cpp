// The text page: drawn by the status sheet; each image row prints on two
// lines, the page ending at line L.
#include "firmware/printengine/image_buffer.h"
#include "firmware/service/self_print.h"
#include "firmware/service/status_sheet.h"

void CSelfPrintString::Draw() { DrawStatusSheet(*this); }

void CSelfPrintString::SetTextBase(uint32_t ulImageAddress) { m_ulTextBase = ulImageAddress + IMAGE_BUFFER_BASE; }

uint16_t CSelfPrintString::RowOf(uint16_t usLine) {
  return usLine < DrawingPrintSize().ulPrintLength ? static_cast<uint16_t>(usLine / 2) : 0;
}

uint16_t CSelfPrintString::NextRow() {
  if (m_usLineCounter >= DrawingPrintSize().ulPrintLength) {
    m_usLineCounter = 0;
    return 0;
  }
  const uint16_t usRow = static_cast<uint16_t>(m_usLineCounter / 2);
  m_usLineCounter = static_cast<uint16_t>(m_usLineCounter + 1);
  return usRow;
}
