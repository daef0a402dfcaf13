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
};

extern CToneCurve g_ToneCurve;
