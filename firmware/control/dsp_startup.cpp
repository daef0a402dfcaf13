#include "firmware/control/dsp_startup.h"

#include "firmware/control/error_manager.h"
#include "firmware/control/error_table.h"
#include "firmware/hal/kernel.h"
#include "firmware/platform/dsp_boot.h"
#include "firmware/platform/ioctl.h"
#include "firmware/printengine/dsp_link.h"

namespace {
constexpr uint32_t kLinkHandshakeMode = 1;
}  // namespace

// A bad image skips the loads and the handshake; a failed load is raised
// and the handshake still runs.
void StartUpDsp() {
  syslog(LOG_EMERG, "[MAIN] DSP Initialize ...");
  int32_t lResult = CheckDspImage(DSP_IMAGE_FLASH);
  if (lResult == 0) {
    DspLoadHook();
    if (LoadDspSdramImage(DSP_SDRAM_IMAGE_FLASH) != 0) {
      g_ErrorMng.SetError(erridx::kDspStart);
    } else if (LoadDspInternalImage(DSP_IMAGE_FLASH) != 0) {
      g_ErrorMng.SetError(erridx::kDspStart);
    }
    lResult = DspBootHandshake(kLinkHandshakeMode);
  }
  if (lResult != 0) g_ErrorMng.SetError(erridx::kDspStart);
}
