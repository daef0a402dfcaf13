#include "firmware/mechanism/ribbon_roll.h"

#include <cmath>

#include "firmware/control/app_startup.h"
#include "firmware/devices/settings.h"
#include "firmware/hal/global.h"
#include "firmware/mechanism/donor_mng_color.h"
#include "firmware/platform/saturate.h"

constinit RibbonRollModels g_RibbonRolls;
uint32_t g_ulRibbonTypeIndexL;
uint32_t g_ulRibbonTypeIndexR;

// The end marker is spelt out as a cast of the all-ones word: a constant the
// compiler lays down as static data, so the rows need no initialiser run.
CRibbonRoll* const g_apRibbonRollMarkL[RIBBON_ROLL_ROW] = {
    &g_RibbonRolls.mark8x10L, &g_RibbonRolls.mark8x12L, reinterpret_cast<CRibbonRoll*>(RIBBON_ROLL_END_WORD),
    reinterpret_cast<CRibbonRoll*>(RIBBON_ROLL_END_WORD), reinterpret_cast<CRibbonRoll*>(RIBBON_ROLL_END_WORD)};
CRibbonRoll* const g_apRibbonRollMarkR[RIBBON_ROLL_ROW] = {
    &g_RibbonRolls.mark8x10R, &g_RibbonRolls.mark8x12R, reinterpret_cast<CRibbonRoll*>(RIBBON_ROLL_END_WORD),
    reinterpret_cast<CRibbonRoll*>(RIBBON_ROLL_END_WORD), reinterpret_cast<CRibbonRoll*>(RIBBON_ROLL_END_WORD)};
CRibbonRoll* const g_apRibbonRollColorL[RIBBON_ROLL_ROW] = {
    &g_RibbonRolls.color8x10K1L, &g_RibbonRolls.color8x12K1L, &g_RibbonRolls.color8x10K2L,
    &g_RibbonRolls.color8x12K2L, reinterpret_cast<CRibbonRoll*>(RIBBON_ROLL_END_WORD)};
CRibbonRoll* const g_apRibbonRollColorR[RIBBON_ROLL_ROW] = {
    &g_RibbonRolls.color8x10K1R, &g_RibbonRolls.color8x12K1R, &g_RibbonRolls.color8x10K2R,
    &g_RibbonRolls.color8x12K2R, reinterpret_cast<CRibbonRoll*>(RIBBON_ROLL_END_WORD)};

namespace {

// Encoder counts per spool turn: the supply's 72 slots through its gear of
// 6.903, the take-up's 12 slots through 75.111; the integer rates are their
// truncated values.
constexpr double kSupplyCountsPerTurn = 72.0 * 6.903;
constexpr double kTakeUpCountsPerTurn = 12.0 * 75.111;
constexpr uint32_t kSupplyCountsPerTurnInt = 497;
constexpr uint32_t kTakeUpCountsPerTurnInt = 901;
// Paper length of one main-stepper line (mm), and the gear factors that
// turn the paper travel of one spool turn into its circumference.
constexpr double kMmPerLine = 0.08466666666666667;
constexpr double kSupplyGear = 6.903;
constexpr double kTakeUpGear = 2.1460285714285714;
// The near-end limit of the overcoat's stop length.
constexpr uint32_t kNearEndPercent = 10;

bool ColorManagerCurrent() {
  return g_pDonorMng == &g_DonorMngColorSenL || g_pDonorMng == &g_DonorMngColorSenR;
}

// a / b for unsigned words, in 64 bits so the product never wraps; 0 for
// b = 0.
uint32_t MulDiv(uint32_t ulA, uint32_t ulB, uint32_t ulDivisor) {
  if (ulDivisor == 0) return 0;
  const uint64_t ullQuotient = static_cast<uint64_t>(ulA) * ulB / ulDivisor;
  return ullQuotient > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(ullQuotient);
}

}  // namespace

CRibbonRoll::CRibbonRoll(RibbonType eType) : m_pType(&g_aRibbonTypes[eType]) {
  const RibbonTypeConstants& t = *m_pType;
  for (uint32_t i = 0; i < RIBBON_PANELS; ++i) m_aulPanelStopLines[i] = t.aulPanelStopLines[i];
  m_dFullSupplyDiameter = t.dFullSupplyDiameter;
  m_dTakeUpDiameter = t.dTakeUpDiameter;
  m_dTakeUpEmptyDiameter = RIBBON_CORE_DIAMETER + 0.5;
  m_dSupplyFullThreshold = t.dFullSupplyDiameter - 4.0;
  CalcThickness();
}

int32_t CRibbonRoll::CalcThickness() {
  const double dFull = m_dFullSupplyDiameter;
  const double dCore = RIBBON_CORE_DIAMETER;
  const uint32_t ulRibbon = m_pType->ulMmPerPrint * m_pType->ulPrintsPerRoll;
  m_dThickness = DivideOrZero(dFull * dFull - dCore * dCore,
                              4.0 * (static_cast<double>(ulRibbon) / RIBBON_PI - (dFull - dCore) / 2.0));
  return 0;
}

int32_t CRibbonRoll::SetFullDiameter(double dDiameter) {
  m_dFullSupplyDiameter = dDiameter;
  return 0;
}

int32_t CRibbonRoll::EstimateDiameters(uint32_t ulTakeUpCounts, uint32_t ulSupplyCounts) {
  m_dFullSupplyDiameter = m_pType->dFullSupplyDiameter;
  CalcThickness();
  DiameterFromCount(ulTakeUpCounts, RIBBON_SIDE_TAKE_UP);
  DiameterFromCount(ulSupplyCounts, RIBBON_SIDE_SUPPLY);
  uint32_t ulNew = 0;
  IsNewRoll(&ulNew);
  if (ulNew == 1) {
    m_dFullSupplyDiameter = m_dSupplyDiameter;
    CalcThickness();
    DiameterFromCount(ulTakeUpCounts, RIBBON_SIDE_TAKE_UP);
    DiameterFromCount(ulSupplyCounts, RIBBON_SIDE_SUPPLY);
  }
  return 0;
}

int32_t CRibbonRoll::DiameterFromCount(uint32_t ulCounts, uint32_t ulSide) {
  const double dPerTurn = ulSide == RIBBON_SIDE_SUPPLY ? kSupplyCountsPerTurn : kTakeUpCountsPerTurn;
  const double dDiameter = ulCounts == 0 ? 4294967295.0
                                         : dPerTurn * static_cast<double>(m_pType->ulMmPerPrint) /
                                               static_cast<double>(ulCounts) / RIBBON_PI;
  SetSideDiameter(ulSide, dDiameter);
  const double dTurns = DivideOrZero((dDiameter - RIBBON_CORE_DIAMETER) / 2.0, m_dThickness);
  const double dLength = ((dTurns + 1.0) * m_dThickness + RIBBON_CORE_DIAMETER) * dTurns * RIBBON_PI;
  SetSideLength(ulSide, SaturateToU32(dLength));
  return 0;
}

int32_t CRibbonRoll::IsNewRoll(uint32_t* pulResult) const {
  *pulResult = m_dTakeUpDiameter <= m_dTakeUpEmptyDiameter && m_dSupplyDiameter >= m_dSupplyFullThreshold ? 1 : 0;
  return 0;
}

int32_t CRibbonRoll::ConsumePrint() {
  const uint32_t ulPrint = m_pType->ulMmPerPrint;
  m_ulSupplyLength = m_ulSupplyLength > ulPrint ? m_ulSupplyLength - ulPrint : 0;
  m_ulTakeUpLength = m_ulTakeUpLength > 0xFFFFFFFFu - ulPrint ? 0xFFFFFFFFu : m_ulTakeUpLength + ulPrint;
  return RecalcDiameters();
}

int32_t CRibbonRoll::RecalcDiameters() {
  struct Side {
    uint32_t ulSide;
    uint32_t ulLength;
    uint32_t ulCountsPerTurn;
  };
  const Side aSides[] = {{RIBBON_SIDE_TAKE_UP, m_ulTakeUpLength, kTakeUpCountsPerTurnInt},
                         {RIBBON_SIDE_SUPPLY, m_ulSupplyLength, kSupplyCountsPerTurnInt}};
  for (const Side& s : aSides) {
    const double dLayer = m_dThickness + RIBBON_CORE_DIAMETER;
    const double dRoot = std::sqrt(dLayer * dLayer + 4.0 * m_dThickness * static_cast<double>(s.ulLength) / RIBBON_PI);
    const double dTurns = DivideOrZero((dRoot - dLayer) / 2.0, m_dThickness);
    const double dDiameter = RIBBON_CORE_DIAMETER + 2.0 * dTurns * m_dThickness;
    SetSideDiameter(s.ulSide, dDiameter);
    const uint32_t ulCircumference = SaturateToU32(dDiameter * 314.159);
    const uint32_t ulCounts = MulDiv(s.ulCountsPerTurn * m_pType->ulMmPerPrint, 100, ulCircumference);
    if (s.ulSide == RIBBON_SIDE_SUPPLY) {
      m_ulSupplyCountsPerPrint = ulCounts;
    } else {
      m_ulTakeUpCountsPerPrint = ulCounts;
    }
  }
  return 0;
}

int32_t CRibbonRoll::UpdateRemainPercent() {
  uint32_t ulPercent = 0;
  if (m_ulSupplyLength != 0) {
    const double dPrints = DivideOrZero(static_cast<double>(m_ulSupplyLength), m_pType->ulMmPerPrint);
    ulPercent = SaturateToU32(DivideOrZero(dPrints, m_pType->ulPrintsPerRoll) * 100.0);
    if (ulPercent > 100) ulPercent = 100;
  }
  m_ulRemainPercent = ulPercent;
  m_aulPanelStopLines[RIBBON_PANELS - 1] =
      ulPercent < kNearEndPercent ? m_pType->ulOvercoatStopNearEnd : m_pType->ulOvercoatStopNormal;
  return 0;
}

int32_t CRibbonRoll::ReduceOvercoatStop() {
  uint32_t& ulStop = m_aulPanelStopLines[RIBBON_PANELS - 1];
  const uint32_t ulReduction = m_pType->ulOvercoatStopReduction;
  ulStop = ulStop > ulReduction ? ulStop - ulReduction : 0;
  return 0;
}

int32_t CRibbonRoll::GetRemainPercent(uint32_t* pulPercent) const {
  *pulPercent = m_ulRemainPercent;
  return 0;
}

int32_t CRibbonRoll::MeasureDiameter(uint32_t ulSide, uint32_t ulSteps) {
  const double dStepsPerLine = static_cast<double>(SettingValue(g_ParamStpLx1000)) / 1000.0;
  const double dMm = DivideOrZero(static_cast<double>(ulSteps), dStepsPerLine) * kMmPerLine;
  SetSideDiameter(ulSide, dMm * (ulSide == RIBBON_SIDE_SUPPLY ? kSupplyGear : kTakeUpGear) / RIBBON_PI);
  return 0;
}

int32_t CRibbonRoll::GetDiameter(uint32_t ulSide, uint32_t* pulDiameter) const {
  *pulDiameter = SaturateToU32(ulSide == RIBBON_SIDE_SUPPLY ? m_dSupplyDiameter : m_dTakeUpDiameter);
  return 0;
}

int32_t CRibbonRoll::SetCountScale0(uint32_t ulCounts) {
  m_ulSupplyCountsPerPrint = ulCounts;
  return 0;
}

int32_t CRibbonRoll::SetCountScale1(uint32_t ulCounts) {
  m_ulTakeUpCountsPerPrint = ulCounts;
  return 0;
}

int32_t CRibbonRoll::GetCountScale0(uint32_t* pulCounts) const {
  *pulCounts = m_ulSupplyCountsPerPrint;
  return 0;
}

int32_t CRibbonRoll::GetCountScale1(uint32_t* pulCounts) const {
  *pulCounts = m_ulTakeUpCountsPerPrint;
  return 0;
}

int32_t CRibbonRoll::LengthToCount(uint32_t ulSide, uint32_t ulLines, uint32_t* pulCounts) const {
  *pulCounts = MulDiv(SideCounts(ulSide), ulLines, m_pType->ulLinesPerPrint);
  return 0;
}

int32_t CRibbonRoll::CountToLength(uint32_t ulSide, uint32_t ulCounts, uint32_t* pulLines) const {
  *pulLines = MulDiv(m_pType->ulLinesPerPrint, ulCounts, SideCounts(ulSide));
  return 0;
}

int32_t CRibbonRoll::SetPanelIndex(uint32_t ulIndex) {
  if (ColorManagerCurrent()) {
    m_ulColorStepIndex = ulIndex;
  } else {
    m_ulMarkPanelIndex = ulIndex;
  }
  return 0;
}

int32_t CRibbonRoll::GetPanelIndex(uint32_t* pulIndex) const {
  *pulIndex = ColorManagerCurrent() ? m_ulColorStepIndex : m_ulMarkPanelIndex;
  return 0;
}

int32_t CRibbonRoll::UseForwardColorTable() {
  m_pColorTable = m_pType->pForwardColors;
  return 0;
}

int32_t CRibbonRoll::UseReverseColorTable() {
  m_pColorTable = m_pType->pReverseColors;
  return 0;
}

int32_t CRibbonRoll::AdvanceColorStep() {
  const bool bReverse = m_pColorTable != nullptr && m_pColorTable == m_pType->pReverseColors;
  m_ulColorStepIndex = (m_ulColorStepIndex + (bReverse ? RIBBON_PANELS - 1 : 1)) % RIBBON_PANELS;
  return 0;
}

int32_t CRibbonRoll::ColorCodeToPanel(uint32_t ulCode, uint32_t* pulPanel) const {
  const RibbonColorStep* pSteps = m_pType->pForwardColors;
  if (pSteps == nullptr) return -1;
  for (uint32_t i = 0; i < RIBBON_PANELS; ++i) {
    if (pSteps[i].ulCode == ulCode) {
      *pulPanel = i;
      return 0;
    }
  }
  return -1;
}

const RibbonColorStep* CRibbonRoll::CurrentColorStep() const {
  const RibbonColorStep* pTable = m_pColorTable != nullptr ? m_pColorTable : m_pType->pForwardColors;
  return pTable == nullptr ? nullptr : &pTable[m_ulColorStepIndex % RIBBON_PANELS];
}

int32_t CRibbonRoll::SetLengths(uint32_t ulSupply, uint32_t ulTakeUp) {
  m_ulSupplyLength = ulSupply;
  m_ulTakeUpLength = ulTakeUp;
  return 0;
}

void CRibbonRoll::SetSideDiameter(uint32_t ulSide, double dDiameter) {
  if (ulSide == RIBBON_SIDE_SUPPLY) {
    m_dSupplyDiameter = dDiameter;
  } else {
    m_dTakeUpDiameter = dDiameter;
  }
}

void CRibbonRoll::SetSideLength(uint32_t ulSide, uint32_t ulLength) {
  if (ulSide == RIBBON_SIDE_SUPPLY) {
    m_ulSupplyLength = ulLength;
  } else {
    m_ulTakeUpLength = ulLength;
  }
}

// ---- the twelve models -----------------------------------------------------------------------

namespace {

constexpr CRibbonRoll* const kapModels[RIBBON_ROLL_MODELS] = {
    &g_RibbonRolls.mark8x10L,    &g_RibbonRolls.mark8x10R,    &g_RibbonRolls.mark8x12L,
    &g_RibbonRolls.mark8x12R,    &g_RibbonRolls.color8x10K1L, &g_RibbonRolls.color8x10K1R,
    &g_RibbonRolls.color8x12K1L, &g_RibbonRolls.color8x12K1R, &g_RibbonRolls.color8x10K2L,
    &g_RibbonRolls.color8x10K2R, &g_RibbonRolls.color8x12K2L, &g_RibbonRolls.color8x12K2R};

}  // namespace

void ConstructRibbonRolls() {
  RibbonRollModels& m = g_RibbonRolls;
  hal::ConstructGlobal(m.mark8x10L, kGlobalBuild);
  hal::ConstructGlobal(m.mark8x10R, kGlobalBuild);
  hal::ConstructGlobal(m.mark8x12L, kGlobalBuild);
  hal::ConstructGlobal(m.mark8x12R, kGlobalBuild);
  hal::ConstructGlobal(m.color8x10K1L, kGlobalBuild);
  hal::ConstructGlobal(m.color8x10K1R, kGlobalBuild);
  hal::ConstructGlobal(m.color8x12K1L, kGlobalBuild);
  hal::ConstructGlobal(m.color8x12K1R, kGlobalBuild);
  hal::ConstructGlobal(m.color8x10K2L, kGlobalBuild);
  hal::ConstructGlobal(m.color8x10K2R, kGlobalBuild);
  hal::ConstructGlobal(m.color8x12K2L, kGlobalBuild);
  hal::ConstructGlobal(m.color8x12K2R, kGlobalBuild);
}

bool IsRibbonRollModel(const CRibbonRoll* pRoll) {
  for (const CRibbonRoll* pModel : kapModels) {
    if (pModel == pRoll) return true;
  }
  return false;
}

uint32_t GetRibbonRemainPercent(uint32_t ulUnit) {
  const bool bColor = g_ucRibbonControlType != 0;
  CRibbonRoll* const* apRow = ulUnit == 0 ? (bColor ? g_apRibbonRollColorL : g_apRibbonRollMarkL)
                                          : (bColor ? g_apRibbonRollColorR : g_apRibbonRollMarkR);
  const uint32_t ulType = ulUnit == 0 ? g_ulRibbonTypeIndexL : g_ulRibbonTypeIndexR;
  uint32_t ulPercent = 0;
  if (ulType < RIBBON_ROLL_ROW && IsRibbonRollModel(apRow[ulType])) apRow[ulType]->GetRemainPercent(&ulPercent);
  return ulPercent;
}
