#include "firmware/devices/flash_area_writer.h"

#include <cstring>

#include "firmware/devices/flash_progress.h"
#include "firmware/platform/flash.h"
#include "firmware/platform/ioctl.h"

namespace {

constexpr uint32_t kVerifyBlockHalfwords = 64;

int32_t EraseArea(const FlashAreaWrite& w) {
  if (w.bMainSteps) ShowFlashStep("Erasing...     %");
  for (uint32_t i = 0; i < w.ulSectors; ++i) {
    if (w.bMainSteps) ShowFlashPercent(i * 100 / w.ulSectors);
    const int32_t lResult = FlashEraseSector(w.ulArea + i * FLASH_AREA_SECTOR_BYTES);
    if (lResult != 0 && w.bMainSteps) return lResult;
  }
  return 0;
}

// Programs [ulFrom, ulTo) of the image; an empty range is nothing to do.
int32_t ProgramRange(const FlashAreaWrite& w, const uint8_t* pucSource, uint32_t ulFrom, uint32_t ulTo) {
  if (ulFrom >= ulTo) return 0;
  return FlashProgram(w.ulArea + ulFrom, IoctlPointerWord(pucSource + ulFrom), ulTo - ulFrom, 1);
}

}  // namespace

int32_t WriteFlashArea(const FlashAreaWrite& w) {
  if (EraseArea(w) != 0) return -1;
  if (w.bMainSteps) ShowFlashStep("Updating...     ");
  const uint32_t ulProgramBytes = w.ulBytes + (w.ulBytes & 1u);
  const auto* pucSource = static_cast<const uint8_t*>(PhysToHost(w.ulSource, ulProgramBytes));
  const uint32_t ulHeld = w.ulCheckWordOffset < ulProgramBytes ? w.ulCheckWordOffset & ~1u : ulProgramBytes;
  const uint32_t ulAfterHeld = ulHeld + 2 < ulProgramBytes ? ulHeld + 2 : ulProgramBytes;
  if (ProgramRange(w, pucSource, 0, ulHeld) != 0 || ProgramRange(w, pucSource, ulAfterHeld, ulProgramBytes) != 0 ||
      ProgramRange(w, pucSource, ulHeld, ulAfterHeld) != 0) {
    return -1;
  }
  return VerifyFlashWrite(w.ulArea, w.ulSource, ulProgramBytes);
}

int32_t VerifyFlashWrite(PhysAddr ulFlash, PhysAddr ulSource, uint32_t ulByteLength) {
  ShowFlashStep("Verifying...   %");
  const uint32_t ulHalfwords = ulByteLength / 2 + (ulByteLength & 1u);
  int32_t lResult = 0;
  uint8_t aucFlash[2 * kVerifyBlockHalfwords];
  uint8_t aucSource[2 * kVerifyBlockHalfwords];
  for (uint32_t ulDone = 0; ulDone < ulHalfwords;) {
    const uint32_t ulCount = ulHalfwords - ulDone < kVerifyBlockHalfwords ? ulHalfwords - ulDone : kVerifyBlockHalfwords;
    const IoctlBlockArea flashArea{ulFlash + 2 * ulDone, 2 * ulCount};
    IoctlSetBlock(&flashArea);
    std::memset(aucFlash, 0, sizeof(aucFlash));
    IoctlReadBlock(aucFlash);
    const IoctlBlockArea sourceArea{ulSource + 2 * ulDone, 2 * ulCount};
    IoctlSetBlock(&sourceArea);
    std::memset(aucSource, 0xFF, sizeof(aucSource));
    IoctlReadBlock(aucSource);
    if (std::memcmp(aucFlash, aucSource, 2 * ulCount) != 0) lResult = -1;
    ulDone += ulCount;
    ShowFlashHundredths(ulDone, ulHalfwords);
  }
  return lResult;
}
