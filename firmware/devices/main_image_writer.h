// The MAIN firmware image: its 64-byte information block, the check of a
// received image and the writer that erases a flash area, programs the
// image from the download buffer and verifies it, with its progress on the
// LCD line (the frame of flash_area_writer.h).
//
// FirmwareInfoBlock (little-endian, texts without terminator):
//   0 u16 headerLength (where the checksummed body begins), 2 programName[8],
//   10 programType[16] (first 7 characters the model text), 26/28 major and
//   minor version as 2 hexadecimal digits each, 32 createDate[10],
//   42 u16 imageChecksum, 48/50 programLength low and high halves.
#pragma once

#include <cstdint>

#include "firmware/devices/flash_area_writer.h"
#include "firmware/hal/hw.h"

constexpr uint32_t FIRMWARE_INFO_BYTES = 64;
constexpr uint32_t FIRMWARE_INFO_HEADER_LENGTH = 0;
constexpr uint32_t FIRMWARE_INFO_PROGRAM_TYPE = 10;
constexpr uint32_t FIRMWARE_INFO_VERSION_MAJOR = 26;
constexpr uint32_t FIRMWARE_INFO_VERSION_MINOR = 28;
constexpr uint32_t FIRMWARE_INFO_IMAGE_CHECKSUM = 42;
constexpr uint32_t FIRMWARE_INFO_PROGRAM_LENGTH = 48;
constexpr char FIRMWARE_MODEL_TEXT[] = "KT-3318";

constexpr PhysAddr FLASH_MAIN_AREA = 0x60100000u;
constexpr uint32_t FLASH_MAIN_AREA_SECTORS = 36;
constexpr PhysAddr FLASH_BOOT_AREA = 0x600A0000u;
constexpr uint32_t FLASH_BOOT_AREA_SECTORS = 6;
constexpr uint32_t FIRMWARE_MAX_PROGRAM_LENGTH = FLASH_MAIN_AREA_SECTORS * FLASH_AREA_SECTOR_BYTES;
// The FPGA configuration inside the MAIN area (flash 0x602E0000): a 32-bit
// byte count, the bitstream from +4.
constexpr uint32_t FIRMWARE_FPGA_OFFSET = 0x1E0000u;

// Copies the information block of the main area (ulArea != 0) or the boot
// area (0) to the destination, byte by byte; 0, or -1 when a read failed.
int32_t ReadFirmwareInfo(uint32_t ulArea, uint8_t* pucDestination);
// (major << 8) | minor from the block's two hexadecimal version texts.
uint16_t FirmwareVersionFromInfo(const uint8_t* pucInfo);

// 0 acceptable, -2 wrong model text, -1 too long for the area or the body
// does not fold to 0xFFFF.
int32_t CheckFirmwareImage(PhysAddr ulImage);

// Checks and writes the image in the download buffer into the main area
// (ulArea != 0) or the boot area (0). ulByteCount is what the host
// announced; it must cover the image (header and body) and fit the area,
// and only the image itself is programmed, so neither a short transfer nor a
// long one can leave the area half written or reach past it. A MAIN image
// for the main area must also carry the FPGA configuration inside it.
// 0, or the failing step's code; nothing is erased unless every check
// passed.
int32_t WriteFirmwareImage(uint32_t ulArea, uint32_t ulByteCount);
