// Placeholder of the paper-roll diameter: the remaining percentage is 100
// at start and 0 after a reset, the diameter stays that of a full roll,
// nothing is measured yet: a measured feed and a set diameter are noted
// for tests (a set diameter is kept). The step conversion is the model's
// own.
#include "firmware/platform/placeholder.h"
#include "firmware/printengine/roll_diameter.h"
#include "firmware/printengine/roll_diameter_placeholder.h"

constinit CRollDiameter g_RollDiameter;
constinit PlaceholderRollDiameterCalls g_RollDiameterCalls;
uint32_t g_ulRollEndArmed;

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

int32_t CRollDiameter::SetFromSteps(uint32_t ulSteps) {
  LogPlaceholderOnce(s_bLogged, "CRollDiameter (paper-roll diameter)");
  ++g_RollDiameterCalls.ulFromStepsCalls;
  g_RollDiameterCalls.ulLastSteps = ulSteps;
  return 0;
}

int32_t CRollDiameter::SetDiameter(double dDiameter) {
  LogPlaceholderOnce(s_bLogged, "CRollDiameter (paper-roll diameter)");
  ++g_RollDiameterCalls.ulSetDiameterCalls;
  g_RollDiameterCalls.dLastDiameter = dDiameter;
  m_dDiameter = dDiameter;
  return 0;
}

int32_t CRollDiameter::LengthToSteps(uint32_t* pulSteps, uint32_t ulCounts, uint32_t ulStepMode) const {
  double dSteps = static_cast<double>(SaturateToU32(kStepsPerTurn / kCountsPerTurn * ulCounts));
  if (ulStepMode == 2) dSteps *= 2.0;
  if (ulStepMode == 3) dSteps *= 4.0;
  *pulSteps = SaturateToU32(dSteps);
  return 0;
}
