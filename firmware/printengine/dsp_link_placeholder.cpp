// Placeholder of the DSP link: every image is taken as valid, so that the
// programs are loaded and started, and the link's handshake succeeds,
// unless a test asks for another answer.
#include "firmware/platform/placeholder.h"
#include "firmware/printengine/dsp_link.h"
#include "firmware/printengine/dsp_link_placeholder.h"

PlaceholderDspLink g_PlaceholderDspLink;

namespace {
bool s_bLogged;
void Note() { LogPlaceholderOnce(s_bLogged, "DSP image check and link handshake"); }
}  // namespace

int32_t CheckDspImage(PhysAddr) {
  Note();
  return g_PlaceholderDspLink.lImageCheck;
}

int32_t DspBootHandshake(uint32_t) {
  Note();
  ++g_PlaceholderDspLink.ulHandshakes;
  return g_PlaceholderDspLink.lHandshake;
}
