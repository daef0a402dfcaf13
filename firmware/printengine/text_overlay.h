// The text items of a picture, drawn into its overcoat plane just before
// the overcoat pass starts.
#pragma once

#include <cstdint>

#include "firmware/hal/hw.h"

struct ImageSlot;

class CTextOverlay {
 public:
  constexpr CTextOverlay() = default;
  // Draws every used text item of the slot into the overcoat plane that
  // starts at ulDestination.
  int32_t DrawItems(const ImageSlot* pSlot, PhysAddr ulDestination);
};

extern CTextOverlay g_TextOverlay;
