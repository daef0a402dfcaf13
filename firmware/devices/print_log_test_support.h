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

}  // namespace printlogtest
