// Placeholder of the paper-roll diameter: the remaining percentage is 100
// at start and 0 after a reset, nothing is measured yet.
#include "firmware/platform/placeholder.h"
#include "firmware/printengine/roll_diameter.h"

constinit CRollDiameter g_RollDiameter;

namespace {
bool s_bLogged;
}  // namespace

int32_t CRollDiameter::ResetRemainPercent() {
  LogPlaceholderOnce(s_bLogged, "CRollDiameter (paper-roll diameter)");
  m_ulRemainPercent = 0;
  return 0;
}

int32_t CRollDiameter::GetRemainPercent(uint32_t* pulPercent) const {
  *pulPercent = m_ulRemainPercent;
  return 0;
}
