// Placeholder of the paper-roll diameter: the remaining percentage is 100
// at start and 0 after a reset, the diameter stays that of a full roll,
// nothing is measured yet. The step conversion is the model's own.
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

int32_t CRollDiameter::GetDiameter(double* pdDiameter) const {
  LogPlaceholderOnce(s_bLogged, "CRollDiameter (paper-roll diameter)");
  *pdDiameter = m_dDiameter;
  return 0;
}

int32_t CRollDiameter::LengthToSteps(uint32_t* pulSteps, uint32_t ulCounts, uint32_t ulStepMode) const {
  double dSteps = static_cast<double>(SaturateToU32(kStepsPerTurn / kCountsPerTurn * ulCounts));
  if (ulStepMode == 2) dSteps *= 2.0;
  if (ulStepMode == 3) dSteps *= 4.0;
  *pulSteps = SaturateToU32(dSteps);
  return 0;
}
