// Placeholder of the text overlay: the overcoat plane keeps what the DSP
// derived, no text item is drawn into it yet.
#include "firmware/platform/placeholder.h"
#include "firmware/printengine/text_overlay.h"

constinit CTextOverlay g_TextOverlay;

namespace {
bool s_bLogged;
}  // namespace

int32_t CTextOverlay::DrawItems(const ImageSlot*, PhysAddr) {
  LogPlaceholderOnce(s_bLogged, "CTextOverlay::DrawItems (text overlay)");
  return 0;
}
