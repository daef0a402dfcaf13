// The DSP's tables: each is copied into the staging buffer and sent with
// tries.
#include "firmware/control/error_manager.h"
#include "firmware/hal/hw.h"
#include "firmware/printengine/dsp_link.h"
#include "firmware/printengine/print_geometry.h"
#include "firmware/printengine/print_line.h"

int32_t CPrintLine::SendDspTable(uint16_t usTableId, uint32_t ulLength) {
  int32_t lResult = 0;
  for (uint32_t i = 0; i < DSP_TABLE_TRIES; ++i) {
    lResult = DspSendTable(usTableId, ulLength);
    if (lResult == 0) break;
    if (lResult == -1) {
      g_ErrorMng.SetError(erridx::kDspTableTimeout);
      break;
    }
    g_ErrorMng.SetError(erridx::kDspTableChecksum);
    if (i + 1 < DSP_TABLE_TRIES) g_ErrorMng.ClearError(erridx::kDspTableChecksum);
  }
  return lResult;
}

int32_t CPrintLine::SendTable10() {
  for (uint32_t i = 0; i < DSP_TABLE10_BYTES; ++i) HwWrite8(DSP_TABLE_STAGING + i, g_DspTable10[i]);
  return SendDspTable(DSP_TABLE_10, DSP_TABLE10_BYTES);
}
