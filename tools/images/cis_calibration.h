// The CIS calibration image (flash 0x607F0000, its own 8 KB sector), 4928
// bytes, little-endian:
//   1230 n        block n (n = 0-3): the 1228 gain bytes of sensor setting n
//   1230 n + 1228 u16 OnesComplementSum16 of the block's 1228 bytes
//   4920          8 chars: serial number of the printer it was made for
// Bytes 20-149 of block 0 carry a packed backup of 114 one-byte main-EEPROM
// cells: one bit stream, item 0 first, each item's 8 bits least significant
// first; items 0-111 in 16 groups of 7 (56 bits) over bytes 20 + 8g .. 27 +
// 8g, 7 bits to a byte (bits 0-6) plus 0x50; byte 148 = (item 112 & 0x7F) +
// 0x50; byte 149 = (item 112 >> 7) + ((item 113 & 0x3F) << 1) + 0x50.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "tools/images/bytes.h"

namespace images {

constexpr uint32_t kCisPixels = 1228;
constexpr uint32_t kCisBlockBytes = 1230;
constexpr uint32_t kCisSerialOffset = 4920;
constexpr uint32_t kCisImageBytes = 4928;
constexpr uint32_t kCisBackupItems = 114;

using CisGains = std::array<uint8_t, kCisPixels>;

// Packs the 114 backup items into bytes 20-149 of the image.
void PackCisBackup(Bytes& image, const std::array<uint8_t, kCisBackupItems>& items);
std::array<uint8_t, kCisBackupItems> UnpackCisBackup(const Bytes& image);
// Gains, backup and serial number; the block checksums are computed after
// the backup is packed into block 0.
Bytes BuildCisCalibration(const std::array<CisGains, 4>& gains, const std::array<uint8_t, kCisBackupItems>& backup,
                          const std::string& serial);
// Unity gains (128) in every block, a backup of zeros, and the serial number
// that a freshly formatted main EEPROM holds for the calibration (8 blanks).
Bytes BuildSampleCisCalibration(const std::string& serial = "        ");

}  // namespace images
