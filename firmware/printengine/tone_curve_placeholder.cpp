// Placeholder of the tone-curve store: no curve is held yet, so the
// start-up loads nothing and every lookup fails and leaves the address as
// the caller set it.
#include "firmware/platform/placeholder.h"
#include "firmware/printengine/tone_curve.h"

constinit CToneCurve g_ToneCurve;

namespace {
bool s_bLogged;
void Note() { LogPlaceholderOnce(s_bLogged, "CToneCurve (tone-curve store)"); }
}  // namespace

int32_t CToneCurve::InitToneCurve() {
  Note();
  return 0;
}

int32_t CToneCurve::GetCurveAddress(uint32_t, uint32_t, PhysAddr*) const {
  Note();
  return -1;
}
