#include "firmware/printengine/roll_diameter.h"

#include "firmware/control/app_startup.h"
#include "firmware/devices/settings.h"
#include "firmware/mechanism/ribbon_roll.h"
#include "firmware/platform/saturate.h"
#include "firmware/printengine/media_config.h"
#include "firmware/printengine/print_size.h"

constinit CRollDiameter g_RollDiameter;
constinit uint32_t g_ulRollEndArmed;

namespace {

double LinesToMm(double dLines) { return dLines * CRollDiameter::kMmPerInch / CRollDiameter::kLinesPerInch; }

// The paper one print takes, in lines: the tail allowance and the first
// cut, then the stretch between the two cuts.
double LinesPerPrint(const PrintSizeRecord& r) {
  const double dFirstCut = static_cast<double>(r.aulCutPositions[0]);
  const double dSecondCut = static_cast<double>(r.aulCutPositions[1]);
  return static_cast<double>(r.ulColourTailLines) + dFirstCut + (dSecondCut - dFirstCut);
}

}  // namespace

int32_t CRollDiameter::SetFromSteps(uint32_t ulSteps) {
  const double dStepsPerLine = static_cast<double>(SettingValue(g_ParamStpLx1000)) / 1000.0;
  const double dFedMm = static_cast<double>(ulSteps) * kMmPerInch / kLinesPerInch / dStepsPerLine;
  double d = dFedMm * 360.0 / kMeasureAngleDeg / kPiMeasure;
  if (d > kFullDiameterMm) {
    d = kFullDiameterMm;
  } else if (!(d >= kCoreDiameterMm)) {
    d = kCoreDiameterMm;
  }
  m_dDiameter = d;
  return 0;
}

int32_t CRollDiameter::SetDiameter(double dDiameter) {
  m_dDiameter = dDiameter;
  return 0;
}

int32_t CRollDiameter::GetDiameter(double* pdDiameter) const {
  *pdDiameter = m_dDiameter;
  return 0;
}

int32_t CRollDiameter::Recalc() {
  const double n = (m_dDiameter - kCoreDiameterMm) / 2.0 / kPaperThicknessMm;
  double r = ((n + 1.0) * kPaperThicknessMm + kCoreDiameterMm) * n * kPiLength;
  if (!(r >= 0.0)) r = 0.0;
  if (r > kMaxRemainLengthMm) r = kMaxRemainLengthMm;
  m_dRemainLength = r;
  return RecalcRemainPercent();
}

int32_t CRollDiameter::ConsumeLength(uint32_t ulLines) {
  const double u = LinesToMm(static_cast<double>(ulLines));
  m_dRemainLength = m_dRemainLength >= u ? m_dRemainLength - u : 0.0;
  return RecalcRemainPercent();
}

int32_t CRollDiameter::RecalcRemainPercent() {
  uint32_t ulSize = 0;
  g_MediaConfig.GetMediaSize(&ulSize);
  const bool b8x10 = ulSize == 1;
  const PrintSizeRecord& record = b8x10 ? g_PrintSize8x10 : g_PrintSize8x12;
  const CRibbonRoll& roll = b8x10 ? static_cast<const CRibbonRoll&>(g_RibbonRolls.mark8x10L)
                                  : static_cast<const CRibbonRoll&>(g_RibbonRolls.mark8x12L);
  const double dPrintsPerRoll = static_cast<double>(roll.Type().ulPrintsPerRoll);
  const double dPrints = DivideOrZero(m_dRemainLength, LinesToMm(LinesPerPrint(record)));
  if (g_ucRibbonControlType != 0) {
    double dPercent = DivideOrZero(dPrints * 100.0, dPrintsPerRoll);
    if (dPercent > 100.0) dPercent = 100.0;
    m_lRemainPercent = static_cast<int32_t>(SaturateToU32(dPercent));
    g_ulRollEndArmed = m_lRemainPercent <= SettingValue(g_ParamPaperPercent) ? 1u : 0u;
  } else {
    const double dLeft = dPrints > dPrintsPerRoll ? dPrintsPerRoll : dPrints;
    m_lRemainPercent = static_cast<int32_t>(SaturateToU32(dLeft));
  }
  return 0;
}

int32_t CRollDiameter::ResetRemainPercent() {
  m_lRemainPercent = 0;
  return 0;
}

int32_t CRollDiameter::GetRemainPercent(uint32_t* pulPercent) const {
  *pulPercent = static_cast<uint32_t>(m_lRemainPercent);
  return 0;
}

int32_t CRollDiameter::LengthToSteps(uint32_t* pulSteps, uint32_t ulCounts, uint32_t ulStepMode) const {
  double dSteps = static_cast<double>(SaturateToU32(kStepsPerTurn / kCountsPerTurn * ulCounts));
  if (ulStepMode == 2) dSteps *= 2.0;
  if (ulStepMode == 3) dSteps *= 4.0;
  *pulSteps = SaturateToU32(dSteps);
  return 0;
}
