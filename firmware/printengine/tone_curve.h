// The tone-curve store: eight curves of 1536 bytes in the current flash
// bank or in RAM.
#pragma once

#include <cstdint>

#include "firmware/hal/hw.h"

class CToneCurve {
 public:
  constexpr CToneCurve() = default;
  // Start-up: checks the current flash bank and loads, publishes or
  // rebuilds the eight curves.
  int32_t InitToneCurve();
  // Source 1 = the current flash bank, 2 = RAM; curve 1..8. 0 with the
  // curve's address stored, or -1 (the address left as it was).
  int32_t GetCurveAddress(uint32_t ulSource, uint32_t ulCurve, PhysAddr* pulAddress) const;
  // Copies curve n (1..8) from the source into RAM: 0, or -1.
  int32_t LoadCurve(uint32_t ulCurve, PhysAddr ulSource);
  // A host's curve at the download-buffer offset, into RAM only: 0, or -1.
  int32_t LoadHostCurve(uint32_t ulCurve, uint32_t ulOffset);
  // A host's curve at the download-buffer offset, into flash and RAM: 0,
  // -1 (the flash write failed) or -2 (the load failed).
  int32_t StoreHostCurve(uint32_t ulCurve, uint32_t ulOffset);
  // Writes the default curve n into the other flash bank: 0, or negative.
  int32_t RebuildToneCurve(uint32_t ulCurve);
  // Copies the 768 words of curve n (1..8) of the source (1 flash, 2 RAM)
  // to the destination: the address lookup's result; nothing is copied
  // when it fails.
  int32_t CopyCurve(uint32_t ulSource, uint32_t ulCurve, uint16_t* pusDestination) const;
};

extern CToneCurve g_ToneCurve;
