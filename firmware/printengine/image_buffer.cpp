#include "firmware/printengine/image_buffer.h"

#include "firmware/platform/ioctl.h"

constinit CImageBuffer g_ImageBuffer;

int32_t CImageBuffer::ReadHalf(uint32_t ulOffset, uint16_t* pusValue) const {
  return IoctlRead16(AddressOf(ulOffset), pusValue);
}

int32_t CImageBuffer::WriteHalf(uint32_t ulOffset, uint16_t usValue) const {
  return IoctlWrite16(AddressOf(ulOffset), usValue);
}

int32_t CImageBuffer::Fill(uint16_t usValue, uint32_t ulCount) {
  const uint8_t ucByte = static_cast<uint8_t>(usValue);
  for (uint32_t i = 0; i < ulCount; ++i) {
    const int32_t lResult = IoctlWrite8(AddressOf(m_ulCursor), ucByte);
    if (lResult != 0) return lResult;
    m_ulCursor = (m_ulCursor + 1) % IMAGE_BUFFER_WINDOW_BYTES;
  }
  return 0;
}

int32_t CImageBuffer::Rewind() {
  m_ulCursor = 0;
  return 0;
}

int32_t CImageBuffer::Skip(uint32_t ulBytes) {
  m_ulCursor = (m_ulCursor % IMAGE_BUFFER_WINDOW_BYTES + ulBytes % IMAGE_BUFFER_WINDOW_BYTES) % IMAGE_BUFFER_WINDOW_BYTES;
  return 0;
}
