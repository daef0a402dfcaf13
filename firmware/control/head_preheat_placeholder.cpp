// Placeholder of the head pre-heat: the heads are never heated.
#include "firmware/control/head_preheat.h"
#include "firmware/platform/placeholder.h"

constinit CHeadPreheatBoth g_PreheatBoth;

namespace {
bool s_bLogged;
int32_t Note() {
  LogPlaceholderOnce(s_bLogged, "CHeadPreheatBoth (head pre-heat)");
  return 0;
}
}  // namespace

int32_t CHeadPreheatBoth::Reset() { return Note(); }
int32_t CHeadPreheatBoth::Start() { return Note(); }
int32_t CHeadPreheatBoth::Step() { return Note(); }

int32_t CHeadPreheatBoth::GetHeatFlags(uint32_t* pulHeatL, uint32_t* pulHeatR) const {
  *pulHeatL = 0;
  *pulHeatR = 0;
  return Note();
}
