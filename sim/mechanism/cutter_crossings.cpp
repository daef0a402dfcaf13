#include "sim/mechanism/cutter_crossings.h"

namespace sim {

CutterCrossings::Change CutterCrossings::Update(Nanos now, int32_t position, bool bMoving, uint32_t percent) {
  if (bMoving && !m_bMoving) {
    m_bMoving = true;
    m_crossings.push_back(CutterCrossing{now, 0, position, position, {percent}});
    return Change::Started;
  }
  if (!bMoving && m_bMoving) {
    m_bMoving = false;
    m_crossings.back().end = now;
    m_crossings.back().to = position;
    return Change::Ended;
  }
  if (bMoving && m_crossings.back().duties.back() != percent) {
    m_crossings.back().duties.push_back(percent);
    return Change::Duty;
  }
  return Change::None;
}

int32_t CutterCrossings::EndOf(int32_t position) const {
  if (position <= m_endZone) return -1;
  return position >= m_travel - m_endZone ? 1 : 0;
}

bool CutterCrossings::Complete(const CutterCrossing& crossing) const {
  return crossing.end != 0 && EndOf(crossing.from) != 0 && EndOf(crossing.from) == -EndOf(crossing.to);
}

}  // namespace sim
