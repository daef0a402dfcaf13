// The image-buffer slot tables over the download area.
#pragma once

#include <cstdint>

class CBufSlotTable {
 public:
  constexpr CBufSlotTable() = default;
  // Mode 0: *pulOut = 1 when no slot is free; any other mode: 1 when every
  // slot is released. Else 0.
  int32_t TestAll(uint32_t* pulOut, uint32_t ulMode) const;
};

// The table of the current print mode.
extern CBufSlotTable* g_pCurBufSlots;
