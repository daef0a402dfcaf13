// Placeholder of the DSP start: no DSP program runs, so no handshake is
// ever answered.
#include "firmware/platform/dsp_boot.h"
#include "firmware/platform/placeholder.h"

namespace {
bool s_bLogged;
void Note() { LogPlaceholderOnce(s_bLogged, "DSP start and handshake"); }
}  // namespace

int32_t StartDsp(PhysAddr, uint32_t) {
  Note();
  return -1;
}

int32_t DspHoldInReset() {
  Note();
  return 0;
}
