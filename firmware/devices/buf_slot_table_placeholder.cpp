// Placeholder of the image-buffer slot tables: one table whose slots are
// all free, as after construction.
#include "firmware/devices/buf_slot_table.h"
#include "firmware/platform/placeholder.h"

namespace {
bool s_bLogged;
constinit CBufSlotTable s_FreeTable;
}  // namespace

CBufSlotTable* g_pCurBufSlots = &s_FreeTable;

int32_t CBufSlotTable::TestAll(uint32_t* pulOut, uint32_t) const {
  LogPlaceholderOnce(s_bLogged, "CBufSlotTable (image-buffer slot tables)");
  *pulOut = 0;
  return 0;
}
