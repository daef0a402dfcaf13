// The ribbon barcode: the donor check's samples decoded into runs of equal
// samples, rotated to start at the start bar, and matched against the
// templates of the current unit's roll models; and the maintenance screen
// that shows the decoded runs. Also the selection of a unit's roll model,
// which both identifications share.
#include "firmware/control/error_manager.h"
#include "firmware/control/keys.h"
#include "firmware/control/lcd.h"
#include "firmware/control/menu.h"
#include "firmware/devices/settings.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/mechanism/donor_mng.h"
#include "firmware/mechanism/ribbon_roll.h"
#include "firmware/service/service_menus.h"

namespace {

constexpr uint32_t kMaxSamples = 1024;
constexpr uint32_t kMaxRuns = CDonorMng::kBarcodeRunWords - 1;
constexpr uint32_t kMaxRunLength = 255;
// A run of at most this many samples at either end is a stray reading.
constexpr uint32_t kStrayRun = 2;
// The start bar is the longest bar whose two preceding runs are shorter
// than the limit, raised step by step when none is.
constexpr uint32_t kFirstStartLimit = 15;
constexpr uint32_t kStartSearches = 5;
constexpr uint32_t kBarLevel = '0';
constexpr uint32_t kEngineVersionBySelection = 1;
// Template widths are in units of this many samples.
constexpr double kSamplesPerUnit = 5.0;
constexpr double kMaxStartDelta = 8.0;

uint32_t RunLevel(uint32_t ulRun) { return (ulRun >> 8) & 0xFFu; }
uint32_t RunLength(uint32_t ulRun) { return ulRun & 0xFFu; }
uint32_t Run(uint32_t ulLevel, uint32_t ulLength) { return ulLevel << 8 | ulLength; }

// The samples as runs; false for what the run list cannot hold.
bool EncodeRuns(const uint8_t* pucSamples, uint32_t ulCount, uint32_t* pulRuns, uint32_t* pulRunCount) {
  uint32_t ulRuns = 0;
  uint32_t ulLevel = pucSamples[0];
  uint32_t ulLength = 1;
  for (uint32_t i = 1; i < ulCount; ++i) {
    if (pucSamples[i] == ulLevel) {
      if (++ulLength > kMaxRunLength) return false;
      continue;
    }
    if (ulRuns == kMaxRuns) return false;
    pulRuns[ulRuns++] = Run(ulLevel, ulLength);
    ulLevel = pucSamples[i];
    ulLength = 1;
  }
  if (ulLength > 1) {
    if (ulRuns == kMaxRuns) return false;
    pulRuns[ulRuns++] = Run(ulLevel, ulLength);
  }
  *pulRunCount = ulRuns;
  return true;
}

void RemoveRun(uint32_t* pulRuns, uint32_t* pulRunCount, uint32_t ulIndex) {
  for (uint32_t i = ulIndex; i + 1 < *pulRunCount; ++i) pulRuns[i] = pulRuns[i + 1];
  --*pulRunCount;
}

// The samples went round the barcode: the ends of one bar join; otherwise
// a stray run at either end goes. False for a joined bar too long.
bool JoinOrTrimEnds(uint32_t* pulRuns, uint32_t* pulRunCount) {
  if (*pulRunCount < 2) return true;
  const uint32_t ulLast = pulRuns[*pulRunCount - 1];
  if (RunLevel(pulRuns[0]) == RunLevel(ulLast)) {
    const uint32_t ulLength = RunLength(pulRuns[0]) + RunLength(ulLast);
    if (ulLength > kMaxRunLength) return false;
    pulRuns[0] = Run(RunLevel(ulLast), ulLength);
    --*pulRunCount;
    return true;
  }
  if (RunLength(pulRuns[0]) <= kStrayRun) RemoveRun(pulRuns, pulRunCount, 0);
  if (*pulRunCount > 0 && RunLength(pulRuns[*pulRunCount - 1]) <= kStrayRun) --*pulRunCount;
  return true;
}

// The index of the start bar, or -1.
int32_t FindStartBar(const uint32_t* pulRuns, uint32_t ulRuns) {
  for (uint32_t ulLimit = kFirstStartLimit; ulLimit < kFirstStartLimit + kStartSearches; ++ulLimit) {
    int32_t lBest = -1;
    uint32_t ulBestLength = 0;
    for (uint32_t i = 0; i < ulRuns; ++i) {
      const uint32_t ulBefore1 = pulRuns[(i + ulRuns - 1) % ulRuns];
      const uint32_t ulBefore2 = pulRuns[(i + ulRuns - 2) % ulRuns];
      if (RunLevel(pulRuns[i]) != kBarLevel || RunLength(ulBefore1) >= ulLimit || RunLength(ulBefore2) >= ulLimit)
        continue;
      if (lBest < 0 || RunLength(pulRuns[i]) > ulBestLength) {
        lBest = static_cast<int32_t>(i);
        ulBestLength = RunLength(pulRuns[i]);
      }
    }
    if (lBest >= 0) return lBest;
  }
  return -1;
}

}  // namespace

int32_t CRibbonRoll::MatchBarcode(const uint32_t* pulRuns, uint32_t ulRuns, uint32_t* pulMatch) const {
  *pulMatch = 0;
  const uint8_t* pucTemplate = m_pType->aucBarcodeTemplate;
  // Runs past the list read as its terminator.
  auto length = [&](uint32_t i) { return i < ulRuns ? static_cast<double>(RunLength(pulRuns[i])) : 255.0; };
  const double dDelta = (length(0) - kSamplesPerUnit * pucTemplate[0]) / 2.0;
  if (dDelta > kMaxStartDelta || dDelta < -kMaxStartDelta) return 0;
  uint32_t i = 0;
  while (i < RIBBON_BARCODE_BYTES) {
    const double dWidth = kSamplesPerUnit * pucTemplate[i];
    // The runs of the start bar's level may be wider or narrower as the
    // start bar is.
    const double dShift = (i % 2 == 0) ? dDelta : 0.0;
    const double dUpper = dWidth + 6.0 + dShift;
    const double dLower = dWidth - 5.0 + dShift;
    if (length(i) < dLower || length(i) > dUpper) break;
    ++i;
    if (pucTemplate[i - 1] == RIBBON_BARCODE_END) break;
  }
  if (i == ulRuns && ulRuns > 1) *pulMatch = 1;
  return 0;
}

void CRibbonRoll::TakePanelPosition(const CRibbonRoll& from) {
  m_ulMarkPanelIndex = from.m_ulMarkPanelIndex;
  m_ulSearchPanel = from.m_ulSearchPanel;
  m_ulColorStepIndex = from.m_ulColorStepIndex;
  m_ulTargetColorStep = from.m_ulTargetColorStep;
  // The same direction's table of this type.
  if (from.m_pColorTable != nullptr) {
    const bool bReverse = from.m_pColorTable == from.m_pType->pReverseColors;
    m_pColorTable = bReverse ? m_pType->pReverseColors : m_pType->pForwardColors;
  }
}

void CDonorMng::SelectRibbonRoll(uint32_t ulIndex) {
  CRibbonRoll* pRoll = g_pCurRibbonRolls[ulIndex];
  if (pRoll != g_pRibbonRoll && IsRibbonRollModel(g_pRibbonRoll)) pRoll->TakePanelPosition(*g_pRibbonRoll);
  g_pRibbonRoll = pRoll;
  *g_pCurRibbonTypeIndex = ulIndex;
}

int32_t CDonorMng::DecodeBarcode(const uint8_t* pucSamples, uint32_t ulCount) {
  uint32_t aulRuns[kMaxRuns] = {};
  uint32_t ulRuns = 0;
  const bool bDecoded = ulCount > 0 && ulCount <= kMaxSamples && EncodeRuns(pucSamples, ulCount, aulRuns, &ulRuns) &&
                        JoinOrTrimEnds(aulRuns, &ulRuns);
  const int32_t lStart = bDecoded ? FindStartBar(aulRuns, ulRuns) : -1;
  const bool bBySelection = SettingValue(g_ParamEngineVersion) == kEngineVersionBySelection;
  const bool bSelectable = g_ulDonorSelect < RIBBON_ROLL_ROW && g_pCurRibbonRolls[g_ulDonorSelect] != RibbonRollEnd();
  if (lStart < 0) {
    // Nothing the run list can hold, or no start to read it from: no runs.
    // A barcode without a start still leaves the type to the user's choice.
    m_aulBarcodeRuns[0] = kBarcodeRunEnd;
    if (bDecoded && bBySelection && bSelectable) SelectRibbonRoll(g_ulDonorSelect);
    g_ErrorMng.SetError(g_ulCurErrIncorrectRib);
    return -1;
  }
  for (uint32_t i = 0; i < ulRuns; ++i) {
    m_aulBarcodeRuns[i] = aulRuns[(static_cast<uint32_t>(lStart) + i) % ulRuns];
  }
  m_aulBarcodeRuns[ulRuns] = kBarcodeRunEnd;

  if (bBySelection) {
    if (!bSelectable) {
      g_ErrorMng.SetError(g_ulCurErrIncorrectRib);
      return -1;
    }
    SelectRibbonRoll(g_ulDonorSelect);
    return 0;
  }
  for (uint32_t i = 0; i < RIBBON_ROLL_ROW; ++i) {
    CRibbonRoll* pRoll = g_pCurRibbonRolls[i];
    if (pRoll == RibbonRollEnd()) break;
    uint32_t ulMatch = 0;
    pRoll->MatchBarcode(m_aulBarcodeRuns, ulRuns, &ulMatch);
    if (ulMatch != 0) {
      SelectRibbonRoll(i);
      return 0;
    }
  }
  g_ErrorMng.SetError(g_ulCurErrIncorrectRib);
  return -1;
}

int32_t CDonorMng::ShowBarcodeScreen() {
  if (m_aulBarcodeRuns[0] == kBarcodeRunEnd) {
    g_Lcd.WriteText("No Donor        ", 0, 16);
    return 0;
  }
  uint32_t ulSize = 0;
  GetRibbonSize(&ulSize);
  if (ulSize == 1) g_Lcd.WriteText("Barcode8x10:    ", 0, 16);
  if (ulSize == 2) g_Lcd.WriteText("Barcode8x12:    ", 0, 16);
  for (uint32_t i = 0; i < kBarcodeRunWords && m_aulBarcodeRuns[i] != kBarcodeRunEnd; ++i) {
    FormatDecimal(static_cast<int32_t>(RunLength(m_aulBarcodeRuns[i])), 1);
    g_acNumberText[6] = static_cast<char>(RunLevel(m_aulBarcodeRuns[i]));
    g_Lcd.WriteText(&g_acNumberText[6], 12, 4);
    uint32_t ulKey = 0;
    while (g_KeyMng.WaitKey(1, &ulKey) != 1) {
    }
  }
  return 0;
}
