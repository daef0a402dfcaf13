// Placeholder of the tone-curve store: no curve is held yet, so every
// lookup fails and leaves the address as the caller set it.
#include "firmware/platform/placeholder.h"
#include "firmware/printengine/tone_curve.h"

constinit CToneCurve g_ToneCurve;

int32_t CToneCurve::GetCurveAddress(uint32_t, uint32_t, PhysAddr*) const {
  static bool s_bLogged;
  LogPlaceholderOnce(s_bLogged, "CToneCurve (tone-curve store)");
  return -1;
}
