// The DSP program image: its check, at any bus address, and its update from
// the download buffer into flash.
#include "firmware/devices/checksum.h"
#include "firmware/devices/flash_area_writer.h"
#include "firmware/platform/ioctl.h"
#include "firmware/printengine/dsp_link.h"

int32_t CheckDspImage(PhysAddr ulImage) {
  uint16_t usStored = 0;
  if (IoctlRead16(ulImage + DSP_INFO_OFFSET + DSP_INFO_IMAGE_CHECKSUM, &usStored) != 0) return -4;
  return VerifyChecksum16(ulImage, DSP_INFO_OFFSET, usStored, CHECKSUM_READ_BLOCK) == 0 ? 0 : -4;
}

int32_t UpdateDspImage(uint32_t ulDownloadOffset) {
  const PhysAddr ulImage = DOWNLOAD_BUFFER + ulDownloadOffset;
  if (CheckDspImage(ulImage) != 0) return -4;
  // The checksum word goes last: until it is written the image cannot pass.
  const FlashAreaWrite write{DSP_IMAGE_FLASH, DSP_IMAGE_SECTORS, ulImage, DSP_IMAGE_BYTES, false,
                             DSP_INFO_OFFSET + DSP_INFO_IMAGE_CHECKSUM};
  return WriteFlashArea(write) == 0 ? 0 : -3;
}
