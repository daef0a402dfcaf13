#include "firmware/printengine/image_buffer.h"

#include "firmware/platform/ioctl.h"

constinit CImageBuffer g_ImageBuffer;

int32_t CImageBuffer::ReadHalf(uint32_t ulOffset, uint16_t* pusValue) const {
  return IoctlRead16(AddressOf(ulOffset), pusValue);
}

int32_t CImageBuffer::WriteHalf(uint32_t ulOffset, uint16_t usValue) const {
  return IoctlWrite16(AddressOf(ulOffset), usValue);
}
