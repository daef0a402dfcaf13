// Placeholder of the paper-roll carousel: it turns at once.
#include "firmware/mechanism/carousel.h"
#include "firmware/platform/placeholder.h"

int32_t TurnPaperRoll(uint32_t, uint32_t) {
  static bool s_bLogged;
  LogPlaceholderOnce(s_bLogged, "TurnPaperRoll (paper-roll carousel)");
  return 0;
}
