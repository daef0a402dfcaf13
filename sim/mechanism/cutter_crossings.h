// The cutter carriage's crossings of the paper as the mechanism saw them:
// each run of the carriage from where it stood to where it stopped (the
// other end stop, or short of it), with the speeds its motor drove it at on
// the way. A crossing from one end zone to the other (where the end
// switches tell the firmware to brake) has cut the paper across; what the
// paper path does with a cut is derived from these.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/clock.h"

namespace sim {

struct CutterCrossing {
  Nanos start = 0;
  Nanos end = 0;  // 0 while the carriage still moves
  int32_t from = 0;
  int32_t to = 0;
  // Percent of full speed, the first and then each change, in order.
  std::vector<uint32_t> duties;
};

class CutterCrossings {
 public:
  enum class Change : uint8_t { None, Started, Duty, Ended };

  // `travel`: the far end stop (the near one is 0); `endZone`: how far
  // from each stop its end zone reaches.
  CutterCrossings(int32_t travel, int32_t endZone) : m_travel(travel), m_endZone(endZone) {}

  // The carriage now: where it is, whether it moves, its motor's speed.
  Change Update(Nanos now, int32_t position, bool bMoving, uint32_t percent);

  const std::vector<CutterCrossing>& All() const { return m_crossings; }
  // Ended, and from one end zone to the other.
  bool Complete(const CutterCrossing& crossing) const;

 private:
  // -1 in the near end zone, 1 in the far one, else 0.
  int32_t EndOf(int32_t position) const;

  int32_t m_travel;
  int32_t m_endZone;
  std::vector<CutterCrossing> m_crossings;
  bool m_bMoving = false;
};

}  // namespace sim
