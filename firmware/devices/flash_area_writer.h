// The frame every flash-image writer shares: erase an area's sectors, lowest
// first, program a received image from plain RAM into it, and compare the
// flash with the source ("Verifying...   %" on the LCD line).
//
// An image whose check word is programmed last cannot pass its check half
// written: the 16-bit ones'-complement sums cannot tell an erased halfword
// (0xFFFF) from a programmed 0x0000, so an image cut off while its trailing
// zeros were programmed would still sum right, but its check word reads
// erased until the very last write.
#pragma once

#include <cstdint>

#include "firmware/hal/hw.h"

// Where a received image lands: the start of the download buffer in SDRAM.
constexpr PhysAddr DOWNLOAD_BUFFER = 0xC0800000u;
// The image areas are made of 64 KB sectors.
constexpr uint32_t FLASH_AREA_SECTOR_BYTES = 0x10000u;
// No halfword of the image is held back to the end.
constexpr uint32_t FLASH_NO_CHECK_WORD = 0xFFFFFFFFu;

struct FlashAreaWrite {
  PhysAddr ulArea;     // the first sector's address
  uint32_t ulSectors;  // 64 KB sectors erased
  PhysAddr ulSource;   // the image in plain RAM
  uint32_t ulBytes;    // programmed and compared, taken up to whole halfwords
  // The MAIN writer shows its erase progress ("Erasing...   NN%") and
  // "Updating...     " on the LCD line and stops at the first sector that
  // will not erase. The DSP and TABLE writers erase every sector whatever
  // each erase reports and let the comparison judge; their LCD shows only
  // the comparison's progress.
  bool bMainSteps;
  // The image offset (even, inside the image) of the halfword programmed
  // after all others, or FLASH_NO_CHECK_WORD.
  uint32_t ulCheckWordOffset;
};

// 0 written and equal, -1 a sector did not erase (bMainSteps only), the
// programming failed or the flash differs from the source.
int32_t WriteFlashArea(const FlashAreaWrite& write);

// 0 when the flash equals the source over the length taken up to whole
// halfwords, -1 otherwise; progress "Verifying...   %" on the LCD.
int32_t VerifyFlashWrite(PhysAddr ulFlash, PhysAddr ulSource, uint32_t ulByteLength);
