// What the unit tests of the board's device models share.
#pragma once

#include "sim/board.h"

namespace sim {

// Runs the board for dt: every event due by then fires at its own time, and
// the clock ends exactly dt later.
inline void RunBoardFor(Board& board, Nanos dt) {
  SimClock& c = board.Clock();
  const Nanos end = c.Now() + dt;
  while (auto next = c.NextEventTime()) {
    if (*next > end) break;
    c.AdvanceTo(*next);
    c.RunDue();
  }
  c.AdvanceTo(end);
}

}  // namespace sim
