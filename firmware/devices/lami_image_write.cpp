// Writing a lamination-pattern slot: a download packed eight pixels to a
// byte (Store), or another slot copied (CopyFrom). Both erase the header's
// sector first, so that from the first change on the slot fails its check
// until the new one is complete, then the whole slot; they program in
// chunks with their progress on the LCD line and verify at the end. A store
// programs the checksum last: a write cut short anywhere leaves a slot that
// fails its check on the signature or on the checksum.
#include "firmware/devices/lami_image.h"

#include "firmware/control/lcd.h"
#include "firmware/devices/checksum.h"
#include "firmware/devices/flash_progress.h"
#include "firmware/devices/flash_write_buffer.h"
#include "firmware/hal/kernel.h"
#include "firmware/platform/flash.h"
#include "firmware/platform/ioctl.h"
#include "firmware/platform/ioctl_word.h"
#include "firmware/printengine/image_buffer.h"

namespace {

constexpr uint32_t kSectorBytes = 0x10000u;
constexpr uint32_t kFlashTries = 6;
// Source bytes per programmed chunk, and the chunks between two progress
// figures.
constexpr uint32_t kChunkBytes = 8192;
constexpr uint32_t kChunksPerProgress = 16;
// The programming takes the store's progress to 90; the checksum shows 95.
constexpr uint32_t kProgramPercent = 90;
constexpr uint32_t kChecksumPercent = 95;
constexpr uint32_t kPercentColumn = 15;

static_assert(kChunkBytes / 8 <= FLASH_WRITE_BUF_BYTES, "a packed chunk fits the write buffer");

template <class Operation>
int32_t TryFlash(Operation operation) {
  int32_t lResult = -1;
  for (uint32_t i = 0; i < kFlashTries; ++i) {
    lResult = operation();
    if (lResult == 0) break;
  }
  return lResult;
}

void ShowUpdating() {
  ShowFlashStep("Updating...     ");
  g_Lcd.WriteText("%", kPercentColumn, 1);
}

// Packs the 8 download pixels at the offset into one byte: pixel j sets
// bit (j XOR 1) when it is not zero. Pixel 2k is the low byte of word k.
int32_t PackGroup(uint32_t ulOffset, uint8_t* pucPacked) {
  uint8_t ucPacked = 0;
  for (uint32_t k = 0; k < 4; ++k) {
    uint16_t usPair = 0;
    const int32_t lResult = g_ImageBuffer.ReadHalf(ulOffset + 2 * k, &usPair);
    if (lResult != 0) return lResult;
    if ((usPair & 0x00FFu) != 0) ucPacked = static_cast<uint8_t>(ucPacked | (1u << (2 * k + 1)));
    if ((usPair & 0xFF00u) != 0) ucPacked = static_cast<uint8_t>(ucPacked | (1u << (2 * k)));
  }
  *pucPacked = ucPacked;
  return 0;
}

}  // namespace

int32_t CLamiImg::EraseHeaderSector() const {
  return FlashEraseSector((m_ulFlashAddress + PackedBytes()) & ~(kSectorBytes - 1));
}

int32_t CLamiImg::EraseSlot() const {
  ShowFlashStep("Erasing...     %");
  const int32_t lHeader = EraseHeaderSector();
  if (lHeader != 0) return lHeader;
  const uint32_t ulSlotBytes = SlotBytes();
  for (uint32_t ulSector = 0; ulSector < ulSlotBytes; ulSector += kSectorBytes) {
    ShowFlashPercent(ulSector * 100 / ulSlotBytes);
    const int32_t lResult = TryFlash([&] { return FlashEraseSector(m_ulFlashAddress + ulSector); });
    if (lResult != 0) return lResult;
  }
  return 0;
}

// The download's pixels packed and its header as it stands, in chunks of
// at most 8192 source bytes, each assembled in the write buffer and
// programmed behind the one before.
int32_t CLamiImg::ProgramPacked(uint32_t ulOffset) const {
  ShowUpdating();
  const uint32_t ulSourceBytes = m_ulPixels + LAMI_IMG_HEADER_BYTES;
  PhysAddr ulFlash = m_ulFlashAddress;
  uint32_t ulChunk = 0;
  for (uint32_t ulDone = 0; ulDone < ulSourceBytes; ++ulChunk) {
    // At most 8929568 * 90: well inside 32 bits.
    if (ulChunk % kChunksPerProgress == 0) ShowFlashPercent(ulDone * kProgramPercent / ulSourceBytes);
    const uint32_t ulEnd = ulSourceBytes - ulDone < kChunkBytes ? ulSourceBytes : ulDone + kChunkBytes;
    uint32_t ulOut = 0;
    for (uint32_t ulSource = ulDone; ulSource < ulEnd;) {
      int32_t lRead = 0;
      if (ulSource < m_ulPixels) {
        lRead = PackGroup(ulOffset + ulSource, &g_FlashWriteBuf[ulOut++]);
        ulSource += 8;
      } else {
        uint16_t usPair = 0xFFFFu;
        lRead = g_ImageBuffer.ReadHalf(ulOffset + ulSource, &usPair);
        g_FlashWriteBuf[ulOut++] = static_cast<uint8_t>(usPair);
        g_FlashWriteBuf[ulOut++] = static_cast<uint8_t>(usPair >> 8);
        ulSource += 2;
      }
      if (lRead != 0) return lRead;
    }
    const int32_t lResult = TryFlash([&] { return FlashProgram(ulFlash, IoctlPointerWord(g_FlashWriteBuf), ulOut, 1); });
    if (lResult != 0) return lResult;
    ulFlash += ulOut;
    ulDone = ulEnd;
  }
  return 0;
}

// The checksum of the packed pixels as they lie in flash, programmed over
// the ones the header left for it.
int32_t CLamiImg::ProgramChecksum() const {
  ShowFlashPercent(kChecksumPercent);
  uint16_t usSum = 0;
  OnesComplementSum16(m_ulFlashAddress, PackedBytes(), &usSum, CHECKSUM_READ_BLOCK);
  const uint8_t aucSum[2] = {static_cast<uint8_t>(usSum), static_cast<uint8_t>(usSum >> 8)};
  const PhysAddr ulTarget = m_ulFlashAddress + PackedBytes() + LAMI_HEADER_CHECKSUM;
  return TryFlash([&] { return FlashProgram(ulTarget, IoctlPointerWord(aucSum), sizeof(aucSum), 1); });
}

int32_t CLamiImg::VerifyPacked(uint32_t ulOffset) const {
  ShowFlashStep("Verifying...   %");
  for (uint32_t i = 0; i < PackedBytes(); i += 2) {
    uint16_t usFlash = 0;
    if (IoctlRead16(m_ulFlashAddress + i, &usFlash) != 0) return -1;
    for (uint32_t b = 0; b < 2; ++b) {
      uint8_t ucPacked = 0;
      if (PackGroup(ulOffset + 8 * (i + b), &ucPacked) != 0) return -1;
      if (ucPacked != static_cast<uint8_t>(usFlash >> (8 * b))) return -1;
      ShowFlashHundredths(8 * (i + b + 1), m_ulPixels);
    }
  }
  return 0;
}

int32_t CLamiImg::Store(uint32_t ulOffset) {
  if (!FitsReceiveBuffer(ulOffset, m_ulPixels + LAMI_IMG_HEADER_BYTES)) {
    syslog(LOG_ERROR, "[LAMI] download at offset 0x%08x does not fit the receive buffer: refused\n", ulOffset);
    return -1;
  }
  int32_t lResult = WriteHeader(ulOffset);
  if (lResult == 0) lResult = EraseSlot();
  if (lResult == 0) lResult = ProgramPacked(ulOffset);
  if (lResult == 0) lResult = ProgramChecksum();
  if (lResult == 0) lResult = VerifyPacked(ulOffset);
  return lResult;
}

int32_t CLamiImg::CopyFrom(PhysAddr ulSource) {
  const uint32_t ulLength = SlotBytes();
  // Erasing this slot would destroy a source that overlaps it.
  const uint32_t ulApart = ulSource >= m_ulFlashAddress ? ulSource - m_ulFlashAddress : m_ulFlashAddress - ulSource;
  if (ulApart < ulLength) {
    syslog(LOG_ERROR, "[LAMI] copy from 0x%08x onto the slot at 0x%08x: refused\n", ulSource, m_ulFlashAddress);
    return -1;
  }
  int32_t lResult = EraseSlot();
  if (lResult != 0) return lResult;

  ShowUpdating();
  uint32_t ulChunk = 0;
  for (uint32_t ulDone = 0; ulDone < ulLength; ++ulChunk) {
    if (ulChunk % kChunksPerProgress == 0) ShowFlashPercent(ulDone * 100 / ulLength);
    const uint32_t ulBytes = ulLength - ulDone < kChunkBytes ? ulLength - ulDone : kChunkBytes;
    lResult = TryFlash([&] { return FlashProgram(m_ulFlashAddress + ulDone, ulSource + ulDone, ulBytes, 0); });
    if (lResult != 0) return lResult;
    ulDone += ulBytes;
  }

  ShowFlashStep("Verifying...   %");
  for (uint32_t i = 0; i < ulLength; i += 2) {
    uint16_t usCopy = 0;
    uint16_t usSource = 0;
    if (IoctlRead16(m_ulFlashAddress + i, &usCopy) != 0 || IoctlRead16(ulSource + i, &usSource) != 0) return -1;
    if (usCopy != usSource) return -1;
    ShowFlashHundredths(i + 2, ulLength);
  }
  return 0;
}
