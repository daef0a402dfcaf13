#include "tools/images/cis_calibration.h"

#include "tools/images/checksums.h"

namespace images {

namespace {
constexpr size_t kBackupFirst = 20;
}

void PackCisBackup(Bytes& image, const std::array<uint8_t, kCisBackupItems>& items) {
  for (size_t g = 0; g < 16; ++g) {
    uint64_t bits = 0;
    for (size_t k = 0; k < 7; ++k) bits |= static_cast<uint64_t>(items[7 * g + k]) << (8 * k);
    for (size_t byte = 0; byte < 8; ++byte) {
      image.at(kBackupFirst + 8 * g + byte) = static_cast<uint8_t>(((bits >> (7 * byte)) & 0x7F) + 0x50);
    }
  }
  image.at(148) = static_cast<uint8_t>((items[112] & 0x7F) + 0x50);
  image.at(149) = static_cast<uint8_t>((items[112] >> 7) + ((items[113] & 0x3F) << 1) + 0x50);
}

std::array<uint8_t, kCisBackupItems> UnpackCisBackup(const Bytes& image) {
  std::array<uint8_t, kCisBackupItems> items{};
  for (size_t g = 0; g < 16; ++g) {
    uint64_t bits = 0;
    for (size_t byte = 0; byte < 8; ++byte) {
      bits |= static_cast<uint64_t>((image.at(kBackupFirst + 8 * g + byte) - 0x50) & 0x7F) << (7 * byte);
    }
    for (size_t k = 0; k < 7; ++k) items[7 * g + k] = static_cast<uint8_t>(bits >> (8 * k));
  }
  const uint8_t b148 = static_cast<uint8_t>(image.at(148) - 0x50);
  const uint8_t b149 = static_cast<uint8_t>(image.at(149) - 0x50);
  items[112] = static_cast<uint8_t>((b148 & 0x7F) | ((b149 & 1) << 7));
  items[113] = static_cast<uint8_t>((b149 >> 1) & 0x3F);
  return items;
}

Bytes BuildCisCalibration(const std::array<CisGains, 4>& gains, const std::array<uint8_t, kCisBackupItems>& backup,
                          const std::string& serial) {
  Bytes image(kCisImageBytes, 0);
  for (size_t n = 0; n < 4; ++n) {
    for (size_t p = 0; p < kCisPixels; ++p) image[kCisBlockBytes * n + p] = gains[n][p];
  }
  PackCisBackup(image, backup);
  for (size_t n = 0; n < 4; ++n) {
    PutU16LE(image, kCisBlockBytes * n + kCisPixels, OnesComplementSum16(image.data() + kCisBlockBytes * n, kCisPixels));
  }
  PutText(image, kCisSerialOffset, serial, 8);
  return image;
}

Bytes BuildSampleCisCalibration(const std::string& serial) {
  std::array<CisGains, 4> gains;
  for (CisGains& g : gains) g.fill(128);
  return BuildCisCalibration(gains, {}, serial);
}

}  // namespace images
