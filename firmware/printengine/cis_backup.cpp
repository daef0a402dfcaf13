// The packed EEPROM backup of the CIS calibration image: 114 one-byte
// cells, 7 bits to an image byte offset by 0x50.
#include "firmware/devices/eeprom_cells.h"
#include "firmware/printengine/cis.h"

namespace {

constexpr uint32_t kItemsPerGroup = 7, kBytesPerGroup = 8, kGroups = 16;
constexpr uint32_t kBitsPerByte = 7;
constexpr uint8_t kByteOffset = 0x50, kSevenBits = 0x7F, kSixBits = 0x3F;
constexpr uint32_t kItem112 = kGroups * kItemsPerGroup, kItem113 = kItem112 + 1;
constexpr uint32_t kByte148 = CIS_BACKUP_FIRST_BYTE + kGroups * kBytesPerGroup, kByte149 = kByte148 + 1;

}  // namespace

void CisPackBackup(const uint16_t* pusItems, uint8_t* pucImage) {
  for (uint32_t g = 0; g < kGroups; ++g) {
    // The group's 56 bits, item 0 in the lowest.
    uint64_t ullBits = 0;
    for (uint32_t i = 0; i < kItemsPerGroup; ++i) {
      ullBits |= static_cast<uint64_t>(pusItems[g * kItemsPerGroup + i] & 0xFFu) << (8 * i);
    }
    for (uint32_t b = 0; b < kBytesPerGroup; ++b) {
      const uint8_t ucBits = static_cast<uint8_t>((ullBits >> (kBitsPerByte * b)) & kSevenBits);
      pucImage[CIS_BACKUP_FIRST_BYTE + g * kBytesPerGroup + b] = static_cast<uint8_t>(ucBits + kByteOffset);
    }
  }
  const uint32_t ul112 = pusItems[kItem112] & 0xFFu;
  pucImage[kByte148] = static_cast<uint8_t>((ul112 & kSevenBits) + kByteOffset);
  pucImage[kByte149] = static_cast<uint8_t>((ul112 >> 7) + ((pusItems[kItem113] & kSixBits) << 1) + kByteOffset);
}

void CisUnpackBackup(const uint8_t* pucImage, uint16_t* pusItems) {
  for (uint32_t g = 0; g < kGroups; ++g) {
    uint64_t ullBits = 0;
    for (uint32_t b = 0; b < kBytesPerGroup; ++b) {
      const uint8_t ucBits =
          static_cast<uint8_t>(pucImage[CIS_BACKUP_FIRST_BYTE + g * kBytesPerGroup + b] - kByteOffset) & kSevenBits;
      ullBits |= static_cast<uint64_t>(ucBits) << (kBitsPerByte * b);
    }
    for (uint32_t i = 0; i < kItemsPerGroup; ++i) {
      pusItems[g * kItemsPerGroup + i] = static_cast<uint16_t>((ullBits >> (8 * i)) & 0xFFu);
    }
  }
  const uint8_t uc148 = static_cast<uint8_t>(pucImage[kByte148] - kByteOffset);
  const uint8_t uc149 = static_cast<uint8_t>(pucImage[kByte149] - kByteOffset);
  pusItems[kItem112] = static_cast<uint16_t>((uc148 & kSevenBits) | ((uc149 & 1u) << 7));
  pusItems[kItem113] = static_cast<uint16_t>((uc149 >> 1) & kSixBits);
}

int32_t CCis::ReadBackupCells() {
  for (uint32_t i = 0; i < CIS_BACKUP_ITEMS; ++i) {
    uint8_t ucValue = 0;
    if (g_apCisBackupCells[i]->Read(&ucValue) != 0) return -1;
    m_ausBackup[i] = ucValue;
  }
  return 0;
}

int32_t CCis::WriteBackupCells() {
  for (uint32_t i = 0; i < CIS_BACKUP_ITEMS; ++i) {
    const uint8_t ucValue = static_cast<uint8_t>(m_ausBackup[i]);
    if (g_apCisBackupCells[i]->Write(&ucValue) != 0) return -1;
  }
  return 0;
}

int32_t PackEepromBackup() {
  CCis& cis = g_Cis;
  cis.ReadBackupCells();
  CisPackBackup(cis.m_ausBackup, cis.m_aucImage);
  cis.SetBlockChecksum();
  return CisData_Update8bitData();
}
