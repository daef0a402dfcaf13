#include "firmware/devices/main_image_writer.h"

#include <cstring>

#include "firmware/devices/checksum.h"
#include "firmware/devices/flash_progress.h"
#include "firmware/hal/kernel.h"
#include "firmware/platform/ioctl.h"
#include "firmware/platform/number_text.h"

namespace {

constexpr uint32_t kModelTextLength = sizeof(FIRMWARE_MODEL_TEXT) - 1;

uint32_t U16At(const uint8_t* puc) { return static_cast<uint32_t>(puc[0] | (puc[1] << 8)); }

int32_t ReadBlock(PhysAddr ulAddress, uint32_t ulBytes, uint8_t* pucOut) {
  uint32_t i = 0;
  for (; i < ulBytes; ++i) {
    if (IoctlRead8(ulAddress + i, &pucOut[i]) != 0) return -1;
  }
  return 0;
}

// The information block's lengths: the image spans headerLength +
// programLength bytes from its start.
struct ImageLengths {
  uint32_t ulHeader;
  uint32_t ulProgram;
};

ImageLengths LengthsOf(const uint8_t* pucInfo) {
  return {U16At(pucInfo + FIRMWARE_INFO_HEADER_LENGTH),
          U16At(pucInfo + FIRMWARE_INFO_PROGRAM_LENGTH) + (U16At(pucInfo + FIRMWARE_INFO_PROGRAM_LENGTH + 2) << 16)};
}

// Whether the FPGA configuration of a MAIN image lies whole inside the
// image's own bytes.
bool CarriesFpgaConfiguration(uint32_t ulImageBytes) {
  if (ulImageBytes < FIRMWARE_FPGA_OFFSET + 4) return false;
  uint32_t ulCount = 0xFFFFFFFFu;
  if (IoctlRead32(DOWNLOAD_BUFFER + FIRMWARE_FPGA_OFFSET, &ulCount) != 0) return false;
  return ulCount != 0 && ulCount <= ulImageBytes - FIRMWARE_FPGA_OFFSET - 4;
}

}  // namespace

int32_t ReadFirmwareInfo(uint32_t ulArea, uint8_t* pucDestination) {
  return ReadBlock(ulArea != 0 ? FLASH_MAIN_AREA : FLASH_BOOT_AREA, FIRMWARE_INFO_BYTES, pucDestination);
}

uint16_t FirmwareVersionFromInfo(const uint8_t* pucInfo) {
  char acMajor[3] = {static_cast<char>(pucInfo[FIRMWARE_INFO_VERSION_MAJOR]),
                     static_cast<char>(pucInfo[FIRMWARE_INFO_VERSION_MAJOR + 1]), 0};
  char acMinor[3] = {static_cast<char>(pucInfo[FIRMWARE_INFO_VERSION_MINOR]),
                     static_cast<char>(pucInfo[FIRMWARE_INFO_VERSION_MINOR + 1]), 0};
  return static_cast<uint16_t>(((ParseHex(acMajor, 2) & 0xFFu) << 8) | (ParseHex(acMinor, 2) & 0xFFu));
}

int32_t CheckFirmwareImage(PhysAddr ulImage) {
  uint8_t aucInfo[FIRMWARE_INFO_BYTES];
  if (ReadBlock(ulImage, FIRMWARE_INFO_BYTES, aucInfo) != 0) return -1;
  if (std::memcmp(aucInfo + FIRMWARE_INFO_PROGRAM_TYPE, FIRMWARE_MODEL_TEXT, kModelTextLength) != 0) return -2;
  const ImageLengths lengths = LengthsOf(aucInfo);
  if (lengths.ulProgram > FIRMWARE_MAX_PROGRAM_LENGTH) return -1;
  // The body must also lie inside the area behind its header.
  if (lengths.ulHeader > FIRMWARE_MAX_PROGRAM_LENGTH - lengths.ulProgram) return -1;
  return CheckImageSum16(ulImage + lengths.ulHeader, lengths.ulProgram);
}

int32_t WriteFirmwareImage(uint32_t ulArea, uint32_t ulByteCount) {
  const PhysAddr ulAreaStart = ulArea != 0 ? FLASH_MAIN_AREA : FLASH_BOOT_AREA;
  const uint32_t ulSectors = ulArea != 0 ? FLASH_MAIN_AREA_SECTORS : FLASH_BOOT_AREA_SECTORS;
  const uint32_t ulAreaBytes = ulSectors * FLASH_AREA_SECTOR_BYTES;

  ShowFlashStep("Checking...     ");
  const int32_t lCheck = CheckFirmwareImage(DOWNLOAD_BUFFER);
  if (lCheck != 0) return lCheck;

  uint8_t aucInfo[FIRMWARE_INFO_BYTES];
  if (ReadBlock(DOWNLOAD_BUFFER, FIRMWARE_INFO_BYTES, aucInfo) != 0) return -1;
  const ImageLengths lengths = LengthsOf(aucInfo);
  const uint32_t ulImageBytes = lengths.ulHeader + lengths.ulProgram;
  if (ulByteCount > ulAreaBytes || ulByteCount < ulImageBytes || ulImageBytes > ulAreaBytes) {
    syslog(LOG_ERROR, "[UPDATE] image of %u bytes announced as %u bytes for an area of %u: refused\n", ulImageBytes,
           ulByteCount, ulAreaBytes);
    return -1;
  }
  if (ulArea != 0 && !CarriesFpgaConfiguration(ulImageBytes)) {
    syslog(LOG_ERROR, "[UPDATE] image carries no FPGA configuration: refused\n");
    return -1;
  }

  // The body's compensation word, which makes the sum good, is its last
  // halfword and so programmed last already.
  return WriteFlashArea({ulAreaStart, ulSectors, DOWNLOAD_BUFFER, ulImageBytes, true, FLASH_NO_CHECK_WORD});
}
