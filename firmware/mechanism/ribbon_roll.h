// The ribbon-roll models: for each of the six ribbon types and each print
// unit, the type's constants (ribbon per print, panel layout, barcode
// template, mark patterns, colour steps, spool geometry) and the state of
// the loaded roll (ribbon left on the supply spool and wound on the take-up
// spool, both spool diameters, the encoder counts one print makes on each
// spool, the remaining percent, and where the panel search stands).
//
// Lengths are in mm unless print lines (300 per inch) are named, diameters
// in mm. Everything is computed in double precision with pi 3.14159; every
// result that becomes an integer goes through SaturateToU32, and a division
// by 0 gives 0.
#pragma once

#include <cstdint>

#include "firmware/devices/color_sensor.h"
#include "firmware/platform/global_build.h"

enum RibbonType : uint32_t {
  RIBBON_TYPE_MARK_8X10 = 0,
  RIBBON_TYPE_MARK_8X12,
  RIBBON_TYPE_COLOR_8X10_K1,
  RIBBON_TYPE_COLOR_8X12_K1,
  RIBBON_TYPE_COLOR_8X10_K2,
  RIBBON_TYPE_COLOR_8X12_K2,
  RIBBON_TYPE_COUNT,
};

// Side 0 is the supply side (spool, encoder, motor), side 1 the take-up
// side; the operations take any side other than 0 as the take-up side.
constexpr uint32_t RIBBON_SIDE_SUPPLY = 0;
constexpr uint32_t RIBBON_SIDE_TAKE_UP = 1;

constexpr uint32_t RIBBON_PANELS = 4;         // Y, M, C, L (overcoat)
constexpr uint32_t RIBBON_MARK_SENSORS = 4;
constexpr uint32_t RIBBON_BARCODE_BYTES = 17;  // run widths, 255 after the last
constexpr uint8_t RIBBON_BARCODE_END = 255;

// Both spools wind on cores of this diameter.
constexpr double RIBBON_CORE_DIAMETER = 31.75;
constexpr double RIBBON_PI = 3.14159;

// One step of the colour search: the sensor colour (COLOR_RED, _GREEN,
// _BLUE), the level it must report (1 below, 2 at or above the threshold)
// and the colour code (red << 8 | green << 4 | blue) of the panel.
struct RibbonColorStep {
  uint32_t ulSensor;
  uint32_t ulLevel;
  uint32_t ulCode;
};

// The colour steps of the colour-sensor types, winding forward and rolling
// back.
inline constexpr RibbonColorStep g_aRibbonColorForward[RIBBON_PANELS] = {
    {COLOR_BLUE, 2, 274}, {COLOR_GREEN, 2, 290}, {COLOR_RED, 2, 545}, {COLOR_RED, 1, 273}};
inline constexpr RibbonColorStep g_aRibbonColorReverse[RIBBON_PANELS] = {
    {COLOR_GREEN, 1, 274}, {COLOR_RED, 1, 290}, {COLOR_RED, 2, 545}, {COLOR_BLUE, 1, 273}};

// The constants of one ribbon type.
struct RibbonTypeConstants {
  uint32_t ulLinesPerPrint;
  uint32_t ulMmPerPrint;
  uint32_t ulPrintsPerRoll;
  uint32_t ulRatedPrints;
  uint32_t aulPanelStopLines[RIBBON_PANELS];  // behind the edge of panel Y, M, C, L
  uint32_t ulOvercoatStopNormal;
  uint32_t ulOvercoatStopNearEnd;             // below 10 % left
  uint32_t ulOvercoatStopReduction;
  double dFullSupplyDiameter;
  double dTakeUpDiameter;                     // at construction
  uint32_t ulRibbonKind;
  uint32_t ulRibbonSize;                      // 1 8x10, 2 8x12
  uint32_t aulExpectedEdgeLines[RIBBON_PANELS];
  uint32_t ulMarkPanelCount;                  // 4 for the mark types
  uint32_t aaulMarkPatterns[RIBBON_PANELS][RIBBON_MARK_SENSORS];
  uint32_t ulColorStepCount;                  // 4 for the colour types
  const RibbonColorStep* pForwardColors;      // null for the mark types
  const RibbonColorStep* pReverseColors;
  uint8_t aucBarcodeTemplate[RIBBON_BARCODE_BYTES];
};

// The six types in RibbonType order.
// clang-format off
inline constexpr RibbonTypeConstants g_aRibbonTypes[RIBBON_TYPE_COUNT] = {
    {17532, 1485, 301, 300, {118, 118, 118, 118}, 237, 237, 0, 65.0, 42.0, 1, 1, {4085, 4085, 4085, 4085},
     4, {{1, 1, 0, 0}, {0, 0, 1, 1}, {0, 0, 1, 1}, {0, 0, 1, 1}}, 0, nullptr, nullptr,
     {14, 2, 2, 2, 2, 6, 2, 2, 2, 6, 2, 2, 2, 6, 2, 2, 255}},
    {17532, 1485, 251, 250, {118, 118, 118, 118}, 237, 237, 0, 65.0, 42.0, 1, 2, {4085, 4085, 4085, 4085},
     4, {{1, 0, 1, 0}, {0, 0, 1, 1}, {0, 0, 1, 1}, {0, 0, 1, 1}}, 0, nullptr, nullptr,
     {14, 2, 2, 2, 2, 6, 2, 2, 6, 2, 2, 2, 2, 6, 2, 2, 255}},
    {14386, 1218, 301, 300, {296, 296, 296, 237}, 237, 137, 59, 65.0, 0.0, 1, 1, {3596, 3596, 3596, 3596},
     0, {}, 4, g_aRibbonColorForward, g_aRibbonColorReverse,
     {14, 2, 2, 2, 2, 6, 2, 4, 12, 6, 2, 2, 255}},
    {16798, 1422, 251, 250, {296, 296, 296, 237}, 237, 137, 59, 64.0, 0.0, 1, 2, {4196, 4196, 4202, 4202},
     0, {}, 4, g_aRibbonColorForward, g_aRibbonColorReverse,
     {14, 2, 2, 2, 2, 6, 2, 8, 8, 6, 2, 2, 255}},
    {14386, 1218, 301, 300, {296, 296, 296, 237}, 237, 137, 59, 65.0, 0.0, 2, 1, {3596, 3596, 3596, 3596},
     0, {}, 4, g_aRibbonColorForward, g_aRibbonColorReverse,
     {14, 2, 2, 2, 2, 6, 10, 4, 4, 6, 2, 2, 255}},
    {16798, 1422, 251, 250, {296, 296, 296, 237}, 237, 137, 59, 64.0, 0.0, 2, 2, {4196, 4196, 4202, 4202},
     0, {}, 4, g_aRibbonColorForward, g_aRibbonColorReverse,
     {14, 2, 2, 2, 2, 6, 6, 8, 4, 6, 2, 2, 255}},
};
// clang-format on

class CRibbonRoll {
 public:
  constexpr CRibbonRoll() = default;

  // thickness := (D^2 - d^2) / (4 (n / pi - (D - d) / 2)) with D the full
  // supply diameter, d the core and n the mm per print times the prints
  // per roll.
  int32_t CalcThickness();
  int32_t SetFullDiameter(double dDiameter);
  // Both diameters and lengths from the counts one print's length made on
  // each spool; on a fresh roll (IsNewRoll) the thickness is computed again
  // from the measured full supply diameter and the estimate repeated.
  int32_t EstimateDiameters(uint32_t ulTakeUpCounts, uint32_t ulSupplyCounts);
  // One side's diameter from its counts per print (counts 0: 4294967295)
  // and the length the layers up to it hold.
  int32_t DiameterFromCount(uint32_t ulCounts, uint32_t ulSide);
  // 1: take-up at most its empty diameter and supply at least its full
  // threshold.
  int32_t IsNewRoll(uint32_t* pulResult) const;
  // One print's ribbon from the supply to the take-up, then
  // RecalcDiameters.
  int32_t ConsumePrint();
  // Both diameters and counts per print from the two lengths.
  int32_t RecalcDiameters();
  // The percent left on the supply (0..100) and, from it, the overcoat's
  // stop length: near end below 10 %.
  int32_t UpdateRemainPercent();
  // The overcoat's stop length less the type's overcoat stop reduction, 0
  // at least (a sheet of the overcoat alone).
  int32_t ReduceOvercoatStop();
  int32_t GetRemainPercent(uint32_t* pulPercent) const;
  // One side's diameter from the main-stepper steps counted while its
  // spool made one turn (72 supply or 420 take-up encoder counts).
  int32_t MeasureDiameter(uint32_t ulSide, uint32_t ulSteps);
  // Whole mm.
  int32_t GetDiameter(uint32_t ulSide, uint32_t* pulDiameter) const;

  // The counts one print's length makes on the supply (0) and take-up (1)
  // spool.
  int32_t SetCountScale0(uint32_t ulCounts);
  int32_t SetCountScale1(uint32_t ulCounts);
  int32_t GetCountScale0(uint32_t* pulCounts) const;
  int32_t GetCountScale1(uint32_t* pulCounts) const;
  // Print lines to a side's encoder counts and back, truncated.
  int32_t LengthToCount(uint32_t ulSide, uint32_t ulLines, uint32_t* pulCounts) const;
  int32_t CountToLength(uint32_t ulSide, uint32_t ulCounts, uint32_t* pulLines) const;

  // The colour step index while a colour-sensor manager is current, else
  // the mark panel index.
  int32_t SetPanelIndex(uint32_t ulIndex);
  int32_t GetPanelIndex(uint32_t* pulIndex) const;
  int32_t UseForwardColorTable();
  int32_t UseReverseColorTable();
  // Forward table: the next step (3 wraps to 0); reverse table: the one
  // before (0 wraps to 3).
  int32_t AdvanceColorStep();
  // The step whose forward colour code is ulCode: 0, or -1 (nothing
  // written) when no step has it.
  int32_t ColorCodeToPanel(uint32_t ulCode, uint32_t* pulPanel) const;

  // Compares a barcode run list (words: level << 8 | length, the terminator
  // 0xFFFF read as length 255) with the type's template: match 1 when all
  // ulRuns runs (more than 1) lie in the template's windows. 0.
  int32_t MatchBarcode(const uint32_t* pulRuns, uint32_t ulRuns, uint32_t* pulMatch) const;
  // Takes over another model's panel position: the panel indexes, the
  // colour step and the target step.
  void TakePanelPosition(const CRibbonRoll& from);
  // The type's mark pattern of a panel (sensors 1-4).
  const uint32_t* MarkPattern(uint32_t ulPanel) const { return m_pType->aaulMarkPatterns[ulPanel % RIBBON_PANELS]; }
  uint32_t GetExpectedEdgeLines(uint32_t ulPanel) const {
    return m_pType->aulExpectedEdgeLines[ulPanel % RIBBON_PANELS];
  }

  // The panel searches' data.
  uint32_t GetColorStepIndex() const { return m_ulColorStepIndex; }
  uint32_t GetTargetColorStep() const { return m_ulTargetColorStep; }
  void SetTargetColorStep(uint32_t ulStep) { m_ulTargetColorStep = ulStep; }
  // The step of the table in use at the current index, or null for a type
  // without colour steps.
  const RibbonColorStep* CurrentColorStep() const;
  uint32_t GetSearchPanel() const { return m_ulSearchPanel; }
  void SetSearchPanel(uint32_t ulPanel) { m_ulSearchPanel = ulPanel; }
  uint32_t GetPanelStopLines(uint32_t ulPanel) const { return m_aulPanelStopLines[ulPanel % RIBBON_PANELS]; }

  // Ribbon on each spool, as the set-up or a test knows it.
  int32_t SetLengths(uint32_t ulSupply, uint32_t ulTakeUp);
  uint32_t GetSupplyLength() const { return m_ulSupplyLength; }
  uint32_t GetTakeUpLength() const { return m_ulTakeUpLength; }
  double GetThickness() const { return m_dThickness; }
  double GetSupplyDiameter() const { return m_dSupplyDiameter; }
  double GetTakeUpDiameter() const { return m_dTakeUpDiameter; }
  // The type's constants.
  const RibbonTypeConstants& Type() const { return *m_pType; }
  uint32_t GetLinesPerPrint() const { return m_pType->ulLinesPerPrint; }
  uint32_t GetRibbonKind() const { return m_pType->ulRibbonKind; }
  // 1 for the 8x10 types, 2 for the 8x12 types.
  uint32_t GetRibbonSize() const { return m_pType->ulRibbonSize; }
  // Whether the print sequences may correct the panel positions: 0 for
  // every type (the correction stays off and the passes use step mode 1);
  // a test may allow it.
  uint32_t GetCorrectionAllowed() const { return m_ulCorrectionAllowed; }
  void SetCorrectionAllowed(uint32_t ulAllowed) { m_ulCorrectionAllowed = ulAllowed; }

 protected:
  explicit CRibbonRoll(RibbonType eType);

 private:
  void SetSideDiameter(uint32_t ulSide, double dDiameter);
  void SetSideLength(uint32_t ulSide, uint32_t ulLength);
  uint32_t SideCounts(uint32_t ulSide) const {
    return ulSide == RIBBON_SIDE_SUPPLY ? m_ulSupplyCountsPerPrint : m_ulTakeUpCountsPerPrint;
  }

  const RibbonTypeConstants* m_pType = nullptr;
  uint32_t m_ulRemainPercent = 0;
  double m_dThickness = 0.0;
  uint32_t m_ulSupplyLength = 0;
  uint32_t m_ulTakeUpLength = 0;
  uint32_t m_ulCorrectionAllowed = 0;
  uint32_t m_ulMarkPanelIndex = 0;
  uint32_t m_ulSearchPanel = 0;
  uint32_t m_ulColorStepIndex = 0;
  uint32_t m_ulTargetColorStep = 0;
  const RibbonColorStep* m_pColorTable = nullptr;  // the table in use
  uint32_t m_aulPanelStopLines[RIBBON_PANELS] = {};
  uint32_t m_ulSupplyCountsPerPrint = 0;
  uint32_t m_ulTakeUpCountsPerPrint = 0;
  double m_dTakeUpDiameter = 0.0;
  double m_dTakeUpEmptyDiameter = 0.0;
  double m_dFullSupplyDiameter = 0.0;
  double m_dSupplyDiameter = 0.0;
  double m_dSupplyFullThreshold = 0.0;
};

// The six types: each adds only its constructor.
#define RIBBON_ROLL_TYPE_CLASS(name, type)                              \
  class name final : public CRibbonRoll {                               \
   public:                                                              \
    constexpr name() = default;                                         \
    explicit name(GlobalBuild) : CRibbonRoll(type) {}                   \
  };
RIBBON_ROLL_TYPE_CLASS(CRibbonRollMark8x10, RIBBON_TYPE_MARK_8X10)
RIBBON_ROLL_TYPE_CLASS(CRibbonRollMark8x12, RIBBON_TYPE_MARK_8X12)
RIBBON_ROLL_TYPE_CLASS(CRibbonRollColor8x10K1, RIBBON_TYPE_COLOR_8X10_K1)
RIBBON_ROLL_TYPE_CLASS(CRibbonRollColor8x12K1, RIBBON_TYPE_COLOR_8X12_K1)
RIBBON_ROLL_TYPE_CLASS(CRibbonRollColor8x10K2, RIBBON_TYPE_COLOR_8X10_K2)
RIBBON_ROLL_TYPE_CLASS(CRibbonRollColor8x12K2, RIBBON_TYPE_COLOR_8X12_K2)
#undef RIBBON_ROLL_TYPE_CLASS

// The twelve models, unit L then unit R of each type, in construction
// order.
struct RibbonRollModels {
  CRibbonRollMark8x10 mark8x10L, mark8x10R;
  CRibbonRollMark8x12 mark8x12L, mark8x12R;
  CRibbonRollColor8x10K1 color8x10K1L, color8x10K1R;
  CRibbonRollColor8x12K1 color8x12K1L, color8x12K1R;
  CRibbonRollColor8x10K2 color8x10K2L, color8x10K2R;
  CRibbonRollColor8x12K2 color8x12K2L, color8x12K2R;
};
extern RibbonRollModels g_RibbonRolls;
constexpr uint32_t RIBBON_ROLL_MODELS = 12;
// The machine definition's construction of the twelve, in order.
void ConstructRibbonRolls();
// 1 when the pointer names one of the twelve models.
bool IsRibbonRollModel(const CRibbonRoll* pRoll);

// The rows of models by unit and ribbon control type: the mark-sensor types
// or the colour-sensor types, each row ended by the all-ones end marker.
constexpr uint32_t RIBBON_ROLL_ROW = 5;
extern CRibbonRoll* const g_apRibbonRollMarkL[RIBBON_ROLL_ROW];
extern CRibbonRoll* const g_apRibbonRollMarkR[RIBBON_ROLL_ROW];
extern CRibbonRoll* const g_apRibbonRollColorL[RIBBON_ROLL_ROW];
extern CRibbonRoll* const g_apRibbonRollColorR[RIBBON_ROLL_ROW];
// The end marker's word; the rows spell it out so they stay static data.
constexpr uintptr_t RIBBON_ROLL_END_WORD = ~uintptr_t{0};
inline CRibbonRoll* RibbonRollEnd() { return reinterpret_cast<CRibbonRoll*>(RIBBON_ROLL_END_WORD); }

// Each unit's ribbon type: the index into its row (0-4, on an entry that
// names a model).
extern uint32_t g_ulRibbonTypeIndexL;
extern uint32_t g_ulRibbonTypeIndexR;

// The remaining ribbon of a unit (0 unit L, 1 unit R) in percent, from the
// model its type index selects in its row of the current ribbon control
// type; 0 when the index names no model.
uint32_t GetRibbonRemainPercent(uint32_t ulUnit);
