// Where each image lives in the printer's 8 MB NOR flash (offsets from the
// flash base 0x60000000), and the sector layout of the part: 64 KB sectors,
// with eight 8 KB sectors in the top 64 KB.
#pragma once

#include <cstdint>

namespace images {

constexpr uint32_t kFlashBase = 0x60000000u;
constexpr uint32_t kFlashBytes = 0x800000u;
constexpr uint32_t kSectorBytes = 0x10000u;
constexpr uint32_t kBootSectorBytes = 0x2000u;
constexpr uint32_t kBootSectorsOffset = 0x7F0000u;

struct FlashArea {
  const char* name;
  uint32_t offset;
  uint32_t bytes;
};

// Below the boot image area: not used by the firmware's images.
constexpr FlashArea kAreaBootImage{"boot image", 0x0A0000u, 6 * kSectorBytes};
constexpr FlashArea kAreaMain{"MAIN image", 0x100000u, 36 * kSectorBytes};
// Inside the MAIN area, so every MAIN image carries them at these offsets.
constexpr uint32_t kFpgaOffset = 0x2E0000u;       // 32-bit count, bitstream from +4
constexpr uint32_t kAmsPatternOffset = 0x330000u; // 32-bit count, pattern data from +4
constexpr FlashArea kAreaToneBank0{"tone-curve bank 0", 0x360000u, kSectorBytes};
constexpr FlashArea kAreaToneBank1{"tone-curve bank 1", 0x370000u, kSectorBytes};
constexpr FlashArea kAreaLamiStored{"lamination slot 1 (stored)", 0x380000u, 18 * kSectorBytes};
constexpr FlashArea kAreaLamiActive{"lamination slot 0 (active)", 0x4A0000u, 18 * kSectorBytes};
constexpr FlashArea kAreaDsp{"DSP image", 0x5C0000u, 4 * kSectorBytes};
constexpr FlashArea kAreaTable{"TABLE image", 0x600000u, 22 * kSectorBytes};
constexpr FlashArea kAreaCis{"CIS calibration", 0x7F0000u, kBootSectorBytes};
constexpr FlashArea kAreaErrorHist0{"error history, first sector", 0x7F4000u, kBootSectorBytes};
constexpr FlashArea kAreaErrorHist1{"error history, second sector", 0x7F6000u, kBootSectorBytes};

constexpr FlashArea kFlashAreas[] = {
    kAreaBootImage, kAreaMain,       kAreaToneBank0, kAreaToneBank1,  kAreaLamiStored, kAreaLamiActive,
    kAreaDsp,       kAreaTable,      kAreaCis,       kAreaErrorHist0, kAreaErrorHist1,
};

constexpr uint32_t SectorStart(uint32_t offset) {
  return offset >= kBootSectorsOffset ? offset & ~(kBootSectorBytes - 1) : offset & ~(kSectorBytes - 1);
}

}  // namespace images
