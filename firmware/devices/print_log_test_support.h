// Test support of the print log (test code only): fields read back through
// a record appended for them.
#pragma once

#include <cstdint>

#include "firmware/devices/print_log.h"
#include "firmware/hal/hw.h"

namespace printlogtest {

// Plane Y's field of the panel position (0x60000: 0.1 mm, 16 bits) in a
// record appended for it; the log area is cleared again after.
inline uint32_t PanelPositionField() {
  g_PrintLog.SelectBlock(0);
  g_PrintLog.Append();
  PhysAddr ulRecord = 0;
  g_PrintLog.GetRecordAddress(0, &ulRecord);
  const PhysAddr ulField = ulRecord + PRINT_LOG_SUB_RECORD_FIRST + 8;
  const uint32_t ulValue = HwRead8(ulField) | static_cast<uint32_t>(HwRead8(ulField + 1)) << 8;
  g_PrintLog.ClearLogArea();
  return ulValue;
}

// The record appended now (the log area cleared first), and a field of it:
// a record field, or one of sub-record ulBlock (entry of the key's low byte
// for an indexed field); 0xFFFFFFFF for a key of no field.
inline PhysAddr AppendFreshRecord() {
  g_PrintLog.ClearLogArea();
  g_PrintLog.Append();
  PhysAddr ulRecord = 0;
  g_PrintLog.GetRecordAddress(0, &ulRecord);
  return ulRecord;
}
inline uint32_t FieldOf(PhysAddr ulRecord, uint32_t ulKey, uint32_t ulBlock = 0) {
  for (uint32_t i = 0; i < g_ulPrintLogFieldCount; ++i) {
    const PrintLogField& f = g_aPrintLogFields[i];
    if (f.ulKey != (ulKey & ~0xFFu)) continue;
    PhysAddr ulField = ulRecord + f.ucOffset + (f.bIndexed ? (ulKey & 0xFFu) * f.ucSize : 0u);
    if (f.bSubRecord) ulField += PRINT_LOG_SUB_RECORD_FIRST + ulBlock * PRINT_LOG_SUB_RECORD_BYTES;
    uint32_t ulValue = 0;
    for (uint32_t b = 0; b < f.ucSize; ++b) ulValue |= static_cast<uint32_t>(HwRead8(ulField + b)) << (8 * b);
    return ulValue;
  }
  return 0xFFFFFFFFu;
}

}  // namespace printlogtest
