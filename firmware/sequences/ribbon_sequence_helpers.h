// Small helpers of the ribbon sequences on the current unit.
#pragma once

#include <cstdint>

#include "firmware/control/error_manager.h"
#include "firmware/devices/slit.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/platform/us_timer.h"

namespace ribbonseq {

// Ribbon phase directions, and the full motor duty.
constexpr uint32_t kForward = 1;
constexpr uint32_t kReverse = 2;
constexpr uint32_t kFullDuty = 100;

// An encoder's count (0 when the read fails).
inline uint32_t CountOf(CSlit* pSlit) {
  uint32_t ulCount = 0;
  pSlit->ReadCount(&ulCount);
  return ulCount;
}

// More than ulMs since ulStart on the microsecond time base.
inline bool TimedOut(uint32_t ulStart, uint32_t ulMs) {
  return g_UsTimer.Elapsed(ulStart, g_UsTimer.NowUs()) > g_UsTimer.MsToTicks(ulMs);
}

// Raises the current unit's ribbon-empty index; -1.
inline int32_t RaiseRibbonEmpty() {
  g_ErrorMng.SetError(g_ulCurErrRibbonEmpty);
  return -1;
}

inline void ClearRibbonEmpty() { g_ErrorMng.ClearError(g_ulCurErrRibbonEmpty); }

// Keeps the largest and smallest reading of the current unit's barcode
// sensor, when both are asked for.
inline void TrackBarcode(uint32_t* pulMax, uint32_t* pulMin) {
  if (pulMax == nullptr || pulMin == nullptr) return;
  uint32_t ulValue = 0;
  g_pCurAdBarcode->Read(&ulValue);
  if (ulValue > *pulMax) *pulMax = ulValue;
  if (ulValue < *pulMin) *pulMin = ulValue;
}

}  // namespace ribbonseq
