// Placeholder of the DSP link: every image is taken as valid, so that the
// programs are loaded and started, and the link's handshake succeeds.
#include "firmware/platform/placeholder.h"
#include "firmware/printengine/dsp_link.h"

namespace {
bool s_bLogged;
void Note() { LogPlaceholderOnce(s_bLogged, "DSP image check and link handshake"); }
}  // namespace

int32_t CheckDspImage(PhysAddr) {
  Note();
  return 0;
}

int32_t DspBootHandshake(uint32_t) {
  Note();
  return 0;
}
