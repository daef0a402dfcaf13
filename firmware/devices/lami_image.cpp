// The lamination-pattern slots: their check, the header a store places
// behind the download, the expansion into the working buffer, the
// conversion of a download without flash, and the start-up and service
// routines. The flash writes are in lami_image_write.cpp.
#include "firmware/devices/lami_image.h"

#include <cstring>

#include "firmware/control/error_manager.h"
#include "firmware/control/error_table.h"
#include "firmware/control/lcd.h"
#include "firmware/devices/checksum.h"
#include "firmware/devices/main_image_writer.h"
#include "firmware/platform/ioctl.h"
#include "firmware/platform/number_text.h"
#include "firmware/printengine/image_buffer.h"

constinit CLamiImg g_LamiImgSlot0;
constinit CLamiImg g_LamiImgSlot1;

namespace {

// Slots written by firmware 00.00 and 00.01 are refused.
constexpr uint32_t kFirstMinorVersionAccepted = 2;
// A set pixel in the working buffer.
constexpr uint16_t kSetPixel = 6;
// Packed bytes expanded per block.
constexpr uint32_t kExpandPackedBytes = 32;

// 0, or -1 when a byte could not be read.
int32_t ReadBytes(PhysAddr ulAddress, uint32_t ulBytes, uint8_t* pucOut) {
  for (uint32_t i = 0; i < ulBytes; ++i) {
    if (IoctlRead8(ulAddress + i, &pucOut[i]) != 0) return -1;
  }
  return 0;
}

// Two bytes at an even receive-buffer offset, the first in the low half.
int32_t WriteBytePair(uint32_t ulOffset, uint8_t ucFirst, uint8_t ucSecond) {
  return g_ImageBuffer.WriteHalf(ulOffset, static_cast<uint16_t>(ucFirst | (ucSecond << 8)));
}

// The working-buffer word of pixels 2k and 2k + 1 of a packed byte: pixel
// 2k is bit 2k + 1 and lies in the low byte.
uint16_t ExpandedPair(uint8_t ucPacked, uint32_t k) {
  const uint32_t ulFirst = (ucPacked >> (2 * k + 1)) & 1u;
  const uint32_t ulSecond = (ucPacked >> (2 * k)) & 1u;
  return static_cast<uint16_t>(ulFirst * kSetPixel | (ulSecond * kSetPixel) << 8);
}

// Two top bits of each byte of a download word, doubled: 0, 2, 4 or 6.
constexpr uint16_t ConvertedPair(uint16_t usWord) { return static_cast<uint16_t>(((usWord & 0xF0F0u) >> 5) & 0x0606u); }
static_assert(ConvertedPair(0x403F) == 0x0200, "0x3F gives 0, 0x40 gives 2");
static_assert(ConvertedPair(0xFFC0) == 0x0606, "the two top bits set give 6");

}  // namespace

bool CLamiImg::FitsReceiveBuffer(uint32_t ulOffset, uint32_t ulBytes) const {
  // Halfword access needs an even offset; the range must end before the
  // working buffer, which the mapping would otherwise reach or wrap past.
  return (ulOffset & 1u) == 0 && ulBytes <= LAMI_RECEIVE_BUFFER_BYTES && ulOffset <= LAMI_RECEIVE_BUFFER_BYTES - ulBytes;
}

int32_t CLamiImg::Check() {
  const PhysAddr ulHeader = m_ulFlashAddress + PackedBytes();
  uint8_t aucHeader[LAMI_HEADER_CHECKSUM + 2];
  if (ReadBytes(ulHeader, sizeof(aucHeader), aucHeader) != 0) return -1;
  if (std::memcmp(aucHeader, LAMI_IMG_SIGNATURE, LAMI_IMG_SIGNATURE_BYTES) != 0) return -1;
  const uint16_t usStored =
      static_cast<uint16_t>(aucHeader[LAMI_HEADER_CHECKSUM] | (aucHeader[LAMI_HEADER_CHECKSUM + 1] << 8));
  if (VerifyChecksum16(m_ulFlashAddress, PackedBytes(), usStored, CHECKSUM_READ_BLOCK) != 0) return -2;
  const char* pszHeader = reinterpret_cast<const char*>(aucHeader);
  if (ParseHex(pszHeader + LAMI_HEADER_VERSION_MAJOR, 2) == 0 &&
      ParseHex(pszHeader + LAMI_HEADER_VERSION_MINOR, 2) < kFirstMinorVersionAccepted) {
    return -4;
  }
  m_lState = 0;
  return 0;
}

int32_t CLamiImg::WriteHeader(uint32_t ulOffset) const {
  uint8_t aucInfo[FIRMWARE_INFO_BYTES];
  if (ReadFirmwareInfo(1, aucInfo) != 0) return -1;
  uint8_t aucHeader[LAMI_HEADER_CHECKSUM + 2];
  std::memcpy(aucHeader, LAMI_IMG_SIGNATURE, LAMI_IMG_SIGNATURE_BYTES);
  std::memcpy(aucHeader + LAMI_HEADER_VERSION_MAJOR, aucInfo + FIRMWARE_INFO_VERSION_MAJOR, 2);
  std::memcpy(aucHeader + LAMI_HEADER_VERSION_MINOR, aucInfo + FIRMWARE_INFO_VERSION_MINOR, 2);
  // The checksum is programmed over these ones once the pixels are in.
  aucHeader[LAMI_HEADER_CHECKSUM] = 0xFF;
  aucHeader[LAMI_HEADER_CHECKSUM + 1] = 0xFF;
  const uint32_t ulHeader = ulOffset + m_ulPixels;
  for (uint32_t i = 0; i < sizeof(aucHeader); i += 2) {
    const int32_t lResult = WriteBytePair(ulHeader + i, aucHeader[i], aucHeader[i + 1]);
    if (lResult != 0) return lResult;
  }
  return 0;
}

// Block by block: 32 packed bytes read from flash become 256 pixel bytes,
// written as 128 words of pixel pairs.
int32_t CLamiImg::Expand(PhysAddr ulDestination) const {
  uint8_t aucPacked[kExpandPackedBytes];
  uint8_t aucPixels[8 * kExpandPackedBytes];
  for (uint32_t ulDone = 0; ulDone < PackedBytes(); ulDone += kExpandPackedBytes) {
    const uint32_t ulBytes = PackedBytes() - ulDone < kExpandPackedBytes ? PackedBytes() - ulDone : kExpandPackedBytes;
    const IoctlBlockArea packedArea{m_ulFlashAddress + ulDone, ulBytes};
    IoctlSetBlock(&packedArea);
    std::memset(aucPacked, 0, sizeof(aucPacked));
    IoctlReadBlock(aucPacked);
    for (uint32_t i = 0; i < ulBytes; ++i) {
      for (uint32_t k = 0; k < 4; ++k) {
        const uint16_t usPair = ExpandedPair(aucPacked[i], k);
        aucPixels[8 * i + 2 * k] = static_cast<uint8_t>(usPair);
        aucPixels[8 * i + 2 * k + 1] = static_cast<uint8_t>(usPair >> 8);
      }
    }
    const IoctlBlockArea pixelArea{ulDestination + 8 * ulDone, 8 * ulBytes};
    IoctlSetBlock(&pixelArea);
    IoctlWriteBlock(aucPixels);
  }
  return 0;
}

int32_t CLamiImg::LoadFromRam(uint32_t ulOffset, PhysAddr ulDestination) const {
  if (!FitsReceiveBuffer(ulOffset, m_ulPixels)) return -1;
  for (uint32_t i = 0; i < m_ulPixels; i += 2) {
    uint16_t usWord = 0;
    g_ImageBuffer.ReadHalf(ulOffset + i, &usWord);
    IoctlWrite16(ulDestination + i, ConvertedPair(usWord));
  }
  return 0;
}

int32_t LoadLamiImage() {
  g_Lcd.WriteText("Loading L 8x12  ", 0, CLcd::kVisibleColumns);
  const int32_t lResult = g_LamiImgSlot0.Expand(LAMI_PATTERN_BUFFER);
  g_Lcd.WriteText("Initializing        ", 0, 20);
  return lResult;
}

int32_t CheckLamiImages() {
  g_Lcd.WriteText("Checking LamiImg", 0, CLcd::kVisibleColumns);
  int32_t lResult = g_LamiImgSlot1.Check();
  if (lResult == 0) lResult = g_LamiImgSlot0.Check();
  if (lResult != 0) g_ErrorMng.SetError(erridx::kLamiImageCheck);
  return lResult;
}

int32_t CopyLamiImage() {
  if (g_LamiImgSlot0.CopyFrom(g_LamiImgSlot1.GetFlashAddress()) == 0) return 0;
  g_ErrorMng.SetError(erridx::kLamiImageWrite);
  return -1;
}
