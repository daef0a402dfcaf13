// The colour-sensor managers of both units: the panel search by colour
// steps, and the helpers of the search that place the found edge against
// the plane being printed (the search's wait, the position log, the
// optional per-plane correction).
#include "firmware/mechanism/donor_mng_color.h"

#include "firmware/control/app_startup.h"
#include "firmware/control/engine_variant.h"
#include "firmware/control/error_manager.h"
#include "firmware/control/line_steps.h"
#include "firmware/devices/color_sensor.h"
#include "firmware/devices/encoder_count.h"
#include "firmware/devices/print_log.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/mechanism/ribbon_roll.h"
#include "firmware/printengine/print_job_queue.h"
#include "firmware/printengine/print_line.h"
#include "firmware/printengine/print_size.h"
#include "firmware/printengine/print_support.h"
#include "firmware/sequences/ribbon_winding.h"

constinit CDonorMng_ColorSen g_DonorMngColorSenL;
constinit CDonorMng_ColorSen g_DonorMngColorSenR;

namespace {

constexpr uint32_t kPlaneY = 0;
constexpr uint32_t kPlaneL = 3;
// The print log's field of the panel position of plane Y; M, C, L follow.
constexpr uint32_t kPrintLogPanelPosition = 0x60000;
// The correction's limits; its two low bits are always clear.
constexpr int32_t kCorrectionMin = -100;
constexpr int32_t kCorrectionMax = 99;
constexpr int32_t kCorrectionTop = 100;
// What the correction measures when the panel before was not seen.
constexpr int32_t kPanelNotSeen = 1000;

// How a search of the phases 1-7 starts: the panel whose stop length it
// uses, the lines it takes back (a plane's front dummy lines or the
// initial dummy lines less an amount), the LED lit at once so that it has
// settled when sampling starts, and lines added to the stop length.
constexpr uint8_t kBackInitial = 0xFF;
struct SearchStartRow {
  uint8_t ucStopPanel;
  uint8_t ucBackPlane;  // a plane's front dummy lines, or kBackInitial
  uint8_t ucBackLess;   // lines less than the initial dummy lines
  uint8_t ucLed;        // COLOR_RED, _GREEN, _BLUE
  uint8_t ucExtraLines;
};
constexpr uint32_t kFirstStartPhase = RIBPH_PRINT_Y;
// clang-format off
constexpr SearchStartRow kSearchStarts[] = {
    {1, 1, 0, COLOR_GREEN, 0},             // 1 print Y: to M
    {2, 2, 0, COLOR_RED, 0},               // 2 print M: to C
    {3, 3, 0, COLOR_RED, 47},              // 3 print C: to L
    {3, 3, 0, COLOR_RED, 47},              // 4 initial: to L
    {0, 0, 0, COLOR_BLUE, 0},              // 5 print L: to Y
    {0, kBackInitial, 0, COLOR_BLUE, 0},   // 6 initial: to Y
    {0, kBackInitial, 20, COLOR_BLUE, 0},  // 7 initial, short: to Y
};
// clang-format on
constexpr uint32_t kSearchStartCount = sizeof(kSearchStarts) / sizeof(kSearchStarts[0]);

bool IsPrintPhase(uint32_t ulPhase) { return PrintPlaneOfPhase(ulPhase) >= 0; }

CColorSensor* SensorOf(uint32_t ulColor) {
  switch (ulColor) {
    case COLOR_RED:
      return g_pCurColorSensorRed;
    case COLOR_GREEN:
      return g_pCurColorSensorGreen;
    default:
      return g_pCurColorSensorBlue;
  }
}

// The print-size words the search reads, as signed line counts: the two
// margin words are the record's first two margins, the colour and the
// overcoat extra-feed words its two extra-line counts.
const PrintSizeRecord& Size() { return *g_pCurPrintSize; }
int32_t Lines(uint32_t ulWord) { return static_cast<int32_t>(ulWord); }
int32_t FirstMargin() { return Lines(Size().ulMargin1); }
int32_t BothMargins() { return Lines(Size().ulMargin1) + Lines(Size().ulMargin2); }
int32_t FrontDummy(uint32_t ulPlane) { return Lines(Size().aulFrontDummyLines[ulPlane]); }
int32_t ExtraFeed(uint32_t ulWord) {
  const int32_t lLines = Lines(Size().aulExtraLines[ulWord]);
  return lLines < 0 ? 0 : lLines;
}
int32_t PanelOffset(uint32_t ulPlane) { return Lines(g_aulRibbonPanelOffset[ulPlane]); }

uint32_t NonNegative(int32_t lLines) { return lLines < 0 ? 0u : static_cast<uint32_t>(lLines); }

}  // namespace

// ---- the search -----------------------------------------------------------------------------

int32_t CDonorMng_ColorSen::StartPanelSearch(uint32_t ulPhase) {
  uint32_t ulNext = 0;
  if (GetNextPanel(ulPhase, &ulNext) != 0) return -1;
  g_pRibbonRoll->SetTargetColorStep(ulNext);
  if (ulPhase < kFirstStartPhase || ulPhase - kFirstStartPhase >= kSearchStartCount) return -1;
  const SearchStartRow& row = kSearchStarts[ulPhase - kFirstStartPhase];

  const int32_t lBack = row.ucBackPlane == kBackInitial
                            ? Lines(g_ulRibDummyLinesInit) - row.ucBackLess
                            : FrontDummy(row.ucBackPlane);
  // One reading lights the LED; its result is not used.
  uint32_t ulLevel = 0;
  uint32_t ulRaw = 0;
  uint32_t ulValid = 0;
  SensorOf(row.ucLed)->Measure(&ulLevel, &ulRaw, &ulValid);

  int32_t lLength = Lines(g_pRibbonRoll->GetPanelStopLines(row.ucStopPanel)) - FirstMargin();
  SetStepCounting(IsPrintPhase(ulPhase) ? 1 : 0);
  SetPanelStartData(ulPhase);
  CalcSearchDelay(ulPhase);
  g_pRibbonRoll->UseForwardColorTable();
  lLength += Lines(g_ulEngLineOffset) - 48 - lBack + row.ucExtraLines;
  LengthToCounts(NonNegative(lLength), &m_ulStopDistance);

  g_pCurSlitRibEncSrc->Clear();
  g_pCurSlitRibEncDst->Clear();
  ReadSupplyCount(&m_ulEdgeCount);
  m_ulMatchCount = 0;
  m_ulSearchState = kSearchStarted;
  return SetRibbonPhase(ulPhase, 1);
}

int32_t CDonorMng_ColorSen::StartPhase(uint32_t ulPhase, uint32_t) {
  uint32_t ulNext = 0;
  uint32_t ulDirection = 0;
  if (GetNextPanel(ulPhase, &ulNext) != 0 || GetSearchDirection(ulPhase, &ulDirection) != 0) return -1;
  g_pRibbonRoll->SetTargetColorStep(ulNext);
  if (ulDirection == 1) {
    g_pRibbonRoll->UseForwardColorTable();
  } else {
    g_pRibbonRoll->UseReverseColorTable();
  }
  g_pCurColorSensorSet->Reset();
  ReadSupplyCount(&m_ulEdgeCount);
  m_ulMatchCount = 0;
  m_ulSearchState = kSearchSampling;
  return SetRibbonPhase(ulPhase, ulDirection);
}

int32_t CDonorMng_ColorSen::Step(uint32_t* pulDone) {
  *pulDone = 0;
  int32_t lResult = 0;
  if (m_ulSearchState != kSearchIdle) {
    uint32_t ulChanged = 0;
    lResult = g_pCurSlitRibEncSrc->HasChanged(&ulChanged);
    uint32_t ulStalled = 0;
    if (lResult == 0) lResult = CheckStall(&ulStalled);
    if (lResult == 0 && ulStalled != 0) lResult = -1;
  }
  if (lResult == 0) {
    switch (m_ulSearchState) {
      case kSearchIdle:
        *pulDone = 1;
        break;
      case kSearchStarted:
        lResult = SearchWait();
        break;
      case kSearchSampling:
        lResult = SearchSample();
        break;
      case kSearchStopping:
        lResult = SearchStop();
        break;
      default:
        break;
    }
  }
  if (lResult != 0) StopOnFault();
  return lResult;
}

int32_t CDonorMng_ColorSen::SearchWait() {
  if (m_ulStepPulseCount < m_ulSearchWaitSteps) return 0;
  m_ulSearchState = kSearchSampling;
  ReadSupplyCount(&m_ulEdgeCount);
  m_ulMatchCount = 0;
  m_ulMismatchCount = 0;
  g_pRibbonRoll->AdvanceColorStep();
  m_ulEdgeStepPulses = 0;
  return 0;
}

int32_t CDonorMng_ColorSen::SearchSample() {
  uint32_t ulFound = 0;
  const int32_t lResult = MeasurePanelColor(0, &ulFound);
  if (ulFound != 0) {
    SetTarget(m_ulStopDistance);
    m_ulSearchState = kSearchStopping;
    LogPanelPosition();
  }
  return lResult;
}

int32_t CDonorMng_ColorSen::SearchStop() {
  uint32_t ulDone = 0;
  const int32_t lResult = IsAtTarget(0, &ulDone);
  if (lResult == 0 && ulDone != 0 && !IsPrintPhase(m_ulRibbonPhase)) {
    m_ulSearchState = kSearchIdle;
    StopRibbon(1, 0);
  }
  return lResult;
}

int32_t CDonorMng_ColorSen::MeasurePanelColor(uint32_t ulRequireMotion, uint32_t* pulFound) {
  *pulFound = 0;
  int32_t lResult = 0;
  if (ulRequireMotion != 0) {
    uint32_t ulChanged = 0;
    lResult = g_pCurSlitRibEncSrc->HasChanged(&ulChanged);
    if (lResult != 0) return lResult;
    uint32_t ulStalled = 0;
    lResult = CheckStall(&ulStalled);
    if (lResult != 0) return lResult;
    if (ulStalled != 0) return -1;
  }
  const uint32_t ulStep = g_pRibbonRoll->GetColorStepIndex();
  const RibbonColorStep* pEntry = g_pRibbonRoll->CurrentColorStep();
  uint32_t ulCount = 0;
  lResult = ReadSupplyCount(&ulCount);
  // A roll without colour steps gives the colour search nothing to find.
  if (lResult != 0 || pEntry == nullptr) return lResult;
  uint32_t ulLevel = 0;
  uint32_t ulRaw = 0;
  uint32_t ulValid = 0;
  lResult = SensorOf(pEntry->ulSensor)->Measure(&ulLevel, &ulRaw, &ulValid);
  if (lResult != 0 || ulValid == 0) return lResult;

  if (ulLevel == pEntry->ulLevel) {
    if (m_ulStepAdvanced != 0) return 0;
    // A short disturbance is forgotten.
    if (m_ulMismatchCount < kMatchesPerStep) m_ulMismatchCount = 0;
    if (m_ulMatchCount == 0) {
      m_ulFirstMatchCount = ulCount;
      m_ulEdgeStepPulses = m_ulStepPulseCount;
    }
    if (++m_ulMatchCount < kMatchesPerStep) return 0;
    if (ulStep == g_pRibbonRoll->GetTargetColorStep()) {
      g_pCurColorSensorSet->Reset();
      *pulFound = 1;
    } else {
      g_pRibbonRoll->AdvanceColorStep();
      m_ulStepAdvanced = 1;
    }
    m_ulEdgeCount = m_ulFirstMatchCount;
    m_ulMatchCount = 0;
    return 0;
  }
  ++m_ulMismatchCount;
  m_ulMatchCount = 0;
  m_ulStepAdvanced = 0;
  // Modulo the counter's 16 bits: a count that wrapped after the edge is
  // still a short way past it.
  if (EncoderDistance(m_ulEdgeCount, ulCount) > kEmptyCounts) {
    g_ErrorMng.SetError(g_ulCurErrRibbonEmpty);
    return -1;
  }
  return 0;
}

int32_t CDonorMng_ColorSen::GetEdgeCount(uint32_t* pulCount) {
  *pulCount = m_ulEdgeCount;
  return 0;
}

int32_t CDonorMng_ColorSen::SetEdgeCount(uint32_t ulCount) {
  m_ulEdgeCount = ulCount;
  return 0;
}

int32_t CDonorMng_ColorSen::ResetDetection() {
  g_pCurColorSensorRed->SetScale(CColorSensor::kNoScale);
  return 0;
}

// ---- where the edge lies --------------------------------------------------------------------

int32_t CDonorMng::CalcSearchDelay(uint32_t ulPhase) {
  int32_t lCutOffset = 0;
  if (IsPrintPhase(ulPhase)) {
    PrintJobRecord* pJob = nullptr;
    const int32_t lResult = g_PrintJobQueue.GetJob(1, &pJob);
    if (lResult != 0) return lResult;
    uint16_t usOffset = 0;
    g_PrintJobQueue.GetCutOffset(pJob, &usOffset);
    lCutOffset = usOffset;
  }
  int32_t lLines = 0;
  switch (ulPhase) {
    case RIBPH_PRINT_Y:
    case RIBPH_PRINT_M:
    case RIBPH_PRINT_C: {
      const uint32_t ulPlane = static_cast<uint32_t>(PrintPlaneOfPhase(ulPhase));
      const int32_t lLead = ulPlane == kPlaneY ? Lines(g_ulRibDummyLines) : FrontDummy(ulPlane);
      lLines = lLead + Lines(Size().ulFrontExtraLines) + Lines(Size().ulPrintLength) + lCutOffset -
               PanelOffset(ulPlane) + ExtraFeed(0);
      break;
    }
    case RIBPH_PRINT_L:
    case RIBPH_INIT_TO_Y:
    case RIBPH_INIT_TO_Y_SHORT:
      lLines = FrontDummy(kPlaneL) + Lines(Size().ulOvercoatLength) + lCutOffset - PanelOffset(kPlaneL) +
               ExtraFeed(1);
      break;
    case RIBPH_INIT_TO_L:
      break;
    default:
      return -1;
  }
  lLines += BothMargins() - Lines(g_ulEngLineOffset) + 60;
  const bool bAtOnce =
      ulPhase == RIBPH_INIT_TO_L || ulPhase == RIBPH_INIT_TO_Y || ulPhase == RIBPH_INIT_TO_Y_SHORT;
  m_ulSearchWaitSteps = bAtOnce ? 0 : LinesToSteps(NonNegative(lLines));
  return 0;
}

int32_t CDonorMng::SetPanelStartData(uint32_t ulPhase) {
  m_lCorrection = 0;
  int32_t lOffset = 0;
  const int32_t lPlane = PrintPlaneOfPhase(ulPhase);
  if (lPlane >= 0) {
    const uint32_t ulPlane = static_cast<uint32_t>(lPlane);
    m_lPanelStartLines = ulPlane == kPlaneY ? Lines(g_ulRibDummyLines) : FrontDummy(ulPlane);
    m_ulExpectedEdgeLines = g_pRibbonRoll->GetExpectedEdgeLines(ulPlane);
    lOffset = PanelOffset(ulPlane);
  }
  m_lPanelStartLines -= lOffset;
  return 0;
}

int32_t CDonorMng::LogPanelPosition() {
  if (m_ulCountingEnabled == 0) return 0;
  m_ulCountingEnabled = 0;
  const int32_t lLines = Lines(StepsToLines(m_ulStepPulseCount));
  const int32_t lDeviation = Lines(g_pRibbonRoll->GetExpectedEdgeLines(kPlaneY)) -
                             ((lLines - 24) - m_lPanelStartLines + Lines(g_ulEngLineOffset));
  // Lines to 0.1 mm, signed: the field keeps the low 16 bits.
  const int32_t lTenthsMm = 2540 * lDeviation / 3000;
  const int32_t lPlane = PrintPlaneOfPhase(m_ulRibbonPhase);
  if (lPlane >= 0) {
    g_PrintLog.SetField(kPrintLogPanelPosition + static_cast<uint32_t>(lPlane),
                        static_cast<uint32_t>(lTenthsMm) & 0xFFFFu);
  }
  return 0;
}

int32_t CDonorMng::SetCorrectionEnable(uint32_t ulFlag) {
  m_ulCorrectionEnabled = ulFlag;
  return 0;
}

int32_t CDonorMng::CalcCorrection(uint32_t ulPlane) {
  const int32_t lLines =
      Lines(StepsToLines(m_ulEdgeStepPulses)) - m_lPanelStartLines + Lines(g_ulEngLineOffset);
  int32_t lMeasured = Lines(m_ulExpectedEdgeLines) - lLines;
  if (m_ulMismatchCount < CDonorMng_ColorSen::kMatchesPerStep) lMeasured = kPanelNotSeen;
  const int32_t lReference = Lines(g_pRibbonRoll->GetPanelStopLines(ulPlane)) - FirstMargin();
  m_lCorrection = m_ulCorrectionEnabled != 0 ? lMeasured - lReference : 0;
  return 0;
}

int32_t CDonorMng::GetCorrection(int32_t* plCorrection) const {
  if (m_ulCorrectionEnabled == 0) {
    *plCorrection = 0;
    return 0;
  }
  int32_t lCorrection = m_lCorrection;
  if (lCorrection < kCorrectionMin) lCorrection = kCorrectionMin;
  if (lCorrection > kCorrectionMax) lCorrection = kCorrectionTop;
  *plCorrection = static_cast<int32_t>(static_cast<uint32_t>(lCorrection) & ~3u);
  return 0;
}
