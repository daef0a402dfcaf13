// Placeholder of the TABLE store: the image is judged by its header's
// format word alone (0x0200, little-endian at header offset 64), so a
// printer with a TABLE image raises nothing before the store is built;
// no table is held, so every lookup fails and the tables are not loaded.
#include "firmware/platform/placeholder.h"
#include "firmware/printengine/table_store.h"
#include "firmware/printengine/table_store_placeholder.h"

PlaceholderTableStore g_PlaceholderTableStore;

namespace {
bool s_bLogged;
void Note() { LogPlaceholderOnce(s_bLogged, "TABLE store and lookups"); }

constexpr uint32_t kFormatWordOffset = 64;
constexpr uint16_t kFormatWord = 0x0200;
}  // namespace

int32_t InitTableData() {
  Note();
  if (g_PlaceholderTableStore.ulForceInit != 0) return g_PlaceholderTableStore.lInitResult;
  const uint16_t usFormat = static_cast<uint16_t>(HwRead8(TABLE_IMAGE_FLASH + kFormatWordOffset) |
                                                  (HwRead8(TABLE_IMAGE_FLASH + kFormatWordOffset + 1) << 8));
  return usFormat == kFormatWord ? 0 : -1;
}

int32_t SelectTableBank(uint32_t) {
  Note();
  return 0;
}

int32_t GetTableAddress(uint32_t, PhysAddr*) {
  Note();
  return -1;
}
