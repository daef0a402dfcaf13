// Placeholder of the CIS tuning at paper load: no paper moves and nothing
// is tuned.
#include "firmware/mechanism/cis_load_tuning.h"
#include "firmware/platform/placeholder.h"

namespace {
bool s_bLogged;
int32_t Tune() {
  LogPlaceholderOnce(s_bLogged, "TuneCisAtLoad (CIS tuning at paper load)");
  return 0;
}
}  // namespace

int32_t TuneCisAtLoadEM2(uint32_t, uint32_t, uint32_t, uint32_t) { return Tune(); }
int32_t TuneCisAtLoadEM3(uint32_t, uint32_t, uint32_t, uint32_t) { return Tune(); }
