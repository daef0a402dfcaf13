// Placeholder of the end-of-job paper parking: no paper moves.
#include "firmware/platform/placeholder.h"
#include "firmware/printengine/cut_sequence.h"

namespace {
bool s_bLogged;
int32_t Park() {
  LogPlaceholderOnce(s_bLogged, "EndOfJobSequence (end-of-job paper parking)");
  return 0;
}
}  // namespace

int32_t EndOfJobSequence_EM2(uint32_t) { return Park(); }
int32_t EndOfJobSequence_EM3(uint32_t) { return Park(); }
