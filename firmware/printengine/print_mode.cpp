#include "firmware/printengine/print_mode.h"

#include "firmware/control/host_status_table.h"
#include "firmware/devices/buf_slot_table.h"
#include "firmware/printengine/print_job_queue.h"

uint32_t g_ulPrintMode;

int32_t SelectImagePools() {
  const bool bMultiUp = g_ulPrintMode == PRINT_MODE_MULTI_UP;
  g_pCurBufSlots[BUF_POOL_COLOUR] = bMultiUp ? &g_BufSlots18A : &g_BufSlots3A;
  g_pCurBufSlots[BUF_POOL_ONE_BIT] = bMultiUp ? &g_BufSlots18B : &g_BufSlots3B;
  return 0;
}

int32_t SetPrintMode(uint32_t ulMode) {
  if (ulMode > PRINT_MODE_MULTI_UP) return -2;
  int32_t lResult = 0;
  if (ulMode != g_ulPrintMode) {
    uint32_t ulActive = 0;
    g_PrintJobQueue.GetActiveJobCount(&ulActive);
    if (ulActive != 0) {
      lResult = -1;
    } else {
      g_ulPrintMode = ulMode;
      SelectImagePools();
    }
  }
  SetStatusItem(SI_PRINT_MODE, g_ulPrintMode, 1);
  return lResult;
}
