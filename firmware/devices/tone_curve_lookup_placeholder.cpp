// Placeholder of the tone-curve lookup: the tone-curve store is not built
// yet, so no curve can be named and the caller's address stays as it was.
#include "firmware/devices/tone_curve_lookup.h"
#include "firmware/platform/placeholder.h"

int32_t GetToneCurve(uint32_t, uint32_t, PhysAddr*) {
  static bool s_bLogged;
  LogPlaceholderOnce(s_bLogged, "GetToneCurve (tone-curve store)");
  return 0;
}
