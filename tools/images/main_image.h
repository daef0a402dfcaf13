// The MAIN firmware image (the package's MAIN file, written to flash at
// 0x60100000), and the boot image of the same format (flash 0x600A0000).
//
// FirmwareInfoBlock, the first 64 bytes, little-endian, texts without
// terminator:
//   0   u16       headerLength: where the checksummed body begins (64)
//   2   8 chars   programName
//   10  16 chars  programType, beginning with the model text "KT-3318"
//   26  2 chars   versionMajorText (two hexadecimal digits)
//   28  2 chars   versionMinorText
//   30  2 bytes   0
//   32  10 chars  createDate
//   42  u16       imageChecksum: the compensation word (see below)
//   44  4 bytes   0
//   48  u16       programLength, low half
//   50  u16       programLength, high half
//   52  12 bytes  0
// The body is programLength bytes from headerLength and must fold to 0xFFFF
// under the image rule (wrapping 32-bit sum, see checksums.h). The image's
// last halfword is the compensation word that makes it so; the same word is
// reported as imageChecksum.
//
// A MAIN image spans the flash's MAIN area, so it also carries, at fixed
// offsets from its start, what the firmware reads from inside that area:
//   0x1E0000  the FPGA configuration (flash 0x602E0000)
//   0x230000  the AMS pattern's byte count, the pattern from 0x230004
//             (flash 0x60330004)
// The sample program code is deterministic filler; gaps read as erased
// flash (0xFF).
#pragma once

#include <cstdint>
#include <string>

#include "tools/images/bytes.h"

namespace images {

constexpr uint32_t kInfoBlockBytes = 64;
constexpr uint32_t kMainMaxBytes = 0x240000;
constexpr uint32_t kMainFpgaOffset = 0x1E0000;
constexpr uint32_t kMainAmsOffset = 0x230000;
constexpr uint32_t kBootMaxBytes = 0x60000;
constexpr char kModelText[] = "KT-3318";

struct FirmwareInfo {
  uint16_t headerLength = kInfoBlockBytes;
  std::string programName;  // 8 characters
  std::string programType;  // 16 characters
  Version version;
  std::string createDate;   // 10 characters
  uint16_t imageChecksum = 0;
  uint32_t programLength = 0;
};

struct MainImageParams {
  std::string programName = "KT3318MN";
  std::string programType = "KT-3318 MAIN";
  Version version;
  std::string createDate = "2024/01/15";
  uint32_t codeBytes = 0x40000;  // sample program code after the info block
  // MAIN images carry the FPGA configuration and the AMS pattern; boot
  // images do not.
  bool bWithFlashData = true;
  Bytes fpgaBitstream;  // empty: the sample bitstream
  Bytes amsPattern;     // empty: the sample pattern
};

Bytes BuildMainImage(const MainImageParams& params = {});
MainImageParams BootImageParams();

// The information block of an image (or of a flash area).
FirmwareInfo ReadFirmwareInfo(const Bytes& image, size_t at = 0);
// The firmware's own check: 0 good, -2 wrong model text, -1 length too large
// or checksum failed.
int CheckMainImage(const Bytes& image);

}  // namespace images
