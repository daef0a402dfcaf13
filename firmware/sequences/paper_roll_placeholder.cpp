// Placeholder of the paper-roll carousel: nothing turns; the turns are
// counted for tests, and the turn counts are not kept.
#include "firmware/platform/placeholder.h"
#include "firmware/sequences/paper_roll.h"
#include "firmware/sequences/paper_roll_placeholder.h"

uint32_t g_ulPlaceholderPaperRollTurns;

int32_t TurnPaperRoll(uint32_t, uint32_t) {
  static bool s_bLogged;
  LogPlaceholderOnce(s_bLogged, "TurnPaperRoll (paper-roll carousel)");
  ++g_ulPlaceholderPaperRollTurns;
  return 0;
}

void SetRollTurnCounts(int32_t) {
  static bool s_bLogged;
  LogPlaceholderOnce(s_bLogged, "SetRollTurnCounts (paper-roll carousel)");
}
