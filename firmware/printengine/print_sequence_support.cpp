// Print-sequence support: the pass's sensor window, the statistics, the
// print-log writers, the two ramp builders and the ribbon panel offsets.
#include "firmware/printengine/print_sequence_support.h"

#include <cstddef>

#include "firmware/control/host_status_table.h"
#include "firmware/control/line_steps.h"
#include "firmware/devices/life_counters.h"
#include "firmware/devices/print_log.h"
#include "firmware/devices/ramp_table.h"
#include "firmware/devices/ramps.h"
#include "firmware/devices/settings.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/mechanism/donor_mng.h"
#include "firmware/mechanism/ribbon_roll.h"
#include "firmware/mechanism/sensor_feeds.h"
#include "firmware/platform/time_base.h"
#include "firmware/printengine/print_job_queue.h"
#include "firmware/printengine/print_line.h"
#include "firmware/printengine/print_size_words.h"
#include "firmware/printengine/print_support.h"
#include "firmware/printengine/roll_diameter.h"
#include "firmware/sequences/sequence_words.h"
#include "firmware/service/log_data.h"

constinit uint32_t g_aulRibbonPanelOffset[4];
constinit int32_t g_alRibbonRawCorrection[4];

namespace {

constexpr int32_t kPassWindowBase = 1378;
constexpr double kLinesPerInch = 300.0;

// ---- print log keys ----
constexpr uint32_t kLogOrderRow = 0x20000;
constexpr uint32_t kLogRibbonPercent = 0x30000, kLogRibbonDiameter1 = 0x40000, kLogRibbonDiameter0 = 0x50000;
constexpr uint32_t kLogOvercoatWidth = 0x100, kLogOvercoatLength = 0x200, kLogPathPrepMs = 0x300,
                   kLogPaperPercent = 0x400, kLogPaperDiameter = 0x500;

// ---- ramps ----
constexpr uint32_t kRampStartRate = 500;
constexpr uint32_t kFeedRampMs = 200;
constexpr uint32_t kLogDataFeedRate = 6;
constexpr double kLineSpeedK[2] = {449.0, 659.0};  // by "FeedRollDiam" 0, else

uint32_t TopRate(const CRampTable& ramp) {
  uint32_t ulRate = 0;
  ramp.GetTopRate(&ulRate);
  return ulRate;
}

// The lines of ribbon a pass runs before the sensor window opens.
int32_t PassRibbonLines(uint32_t ulPlaneCode, const PrintSizeRecord& size) {
  const auto lines = [](uint32_t ulWord) { return static_cast<int32_t>(ulWord); };
  if (ulPlaneCode == PLANE_L) {
    return lines(size.aulFrontDummyLines[PLANE_L]) + lines(size.ulOvercoatLength) +
           lines(OvercoatExtraFeedLines(size));
  }
  const uint32_t ulLead =
      ulPlaneCode == PLANE_M || ulPlaneCode == PLANE_C ? size.aulFrontDummyLines[ulPlaneCode] : g_ulRibDummyLines;
  return lines(ulLead) + lines(size.ulFrontExtraLines) + lines(size.ulPrintLength) +
         lines(ColourExtraFeedLines(size));
}

// Adds in order until one fails: that result, else 0.
struct CounterAdd {
  CLifeCounter* pCounter;
  uint32_t ulCount;
};
template <std::size_t N>
int32_t AddAll(const CounterAdd (&adds)[N]) {
  for (const CounterAdd& a : adds) {
    const int32_t lResult = a.pCounter->Add(a.ulCount);
    if (lResult != 0) return lResult;
  }
  return 0;
}

// The panel-offset kinds of SetCorrectionByPass: enabled passes as bits.
constexpr uint32_t kCorrectionPasses[3] = {0b1011, 0b0111, 0b1000};

}  // namespace

int32_t GetPassSensorWindow(uint32_t ulPlaneCode, uint32_t* pulSteps, int32_t lMarginLines) {
  if (ulPlaneCode > PLANE_SP) return -1;
  const PrintSizeRecord& size = *g_pCurPrintSize;
  const uint32_t ulOffsetPlane = ulPlaneCode == PLANE_SP ? PLANE_Y : ulPlaneCode;
  const int32_t lBase = PassRibbonLines(ulPlaneCode, size) + static_cast<int32_t>(BothMarginLines(size)) -
                        static_cast<int32_t>(g_aulRibbonPanelOffset[ulOffsetPlane]);
  const int32_t lBeyond = lBase - kPassWindowBase;
  const int32_t lWithMargin = lBeyond + lMarginLines;
  *pulSteps = LinesToSteps(lWithMargin > 0 ? static_cast<uint32_t>(lWithMargin) : 0u);
  return 0;
}

int32_t CountPlaneStatistics(uint32_t ulKind, const PrintSizeRecord& size) {
  const uint32_t ulLines = ulKind == 0 ? size.ulPrintLength + BothMarginLines(size) : size.ulPrintLength;
  const uint32_t ulInches = static_cast<uint32_t>(static_cast<double>(ulLines) / kLinesPerInch + 0.5);
  const CounterAdd adds[] = {
      {g_pCurCounterTotalLength, ulInches}, {g_pCurCounterMntLength, ulInches}, {g_pCurCounterTotal, 1},
      {g_pCurCounterMnt, 1},                {g_pCurCounterMediaPrn, 1},         {g_pCurCounterHeadPrints, 1},
      {g_pCurCounterHeadLength, ulInches},
  };
  const int32_t lResult = AddAll(adds);
  return lResult != 0 ? lResult : RefreshCounterItems();
}

int32_t CountSheetStatistics(const PrintSizeRecord& size) {
  PrintJobRecord* pJob = nullptr;
  if (g_PrintJobQueue.GetJob(PRINT_JOB_LIST_ACTIVE, &pJob) != 0) return -1;
  const CounterAdd adds[] = {{&g_CounterTotal, 1}, {&g_CounterMainte, 1}, {&g_CounterMediaPrn, 1}};
  int32_t lResult = AddAll(adds);
  if (lResult != 0) return lResult;
  uint32_t ulCuts = 0, ulLastCut = 0;
  g_PrintJobQueue.GetCutCount(pJob, &ulCuts);
  if (ulCuts == 0 || g_PrintJobQueue.GetCutPosition(pJob, ulCuts - 1, &ulLastCut) != 0) return -1;
  g_RollDiameter.ConsumeLength(ColourExtraFeedLines(size) + ulLastCut);
  lResult = RefreshCounterItems();
  g_PrintLog.Append();
  return lResult;
}

int32_t RecordPrintUnit() {
  PrintJobRecord* pJob = nullptr;
  const int32_t lResult = g_PrintJobQueue.GetJob(PRINT_JOB_LIST_ACTIVE, &pJob);
  if (lResult != 0) return lResult;
  uint32_t ulIndex = 0, ulKind = 0, ulSide = 0, ulUnit = 0;
  g_PrintJobQueue.GetPrintOrderIndex(&ulIndex);
  g_PrintJobQueue.GetPrintOrderEntry(ulIndex, &ulKind, &ulSide, &ulUnit);
  // B/L, A/L, B/R, A/R.
  g_PrintLog.SelectBlock((ulUnit == UNIT_L ? 0u : 2u) + (ulSide == SIDE_A ? 1u : 0u));
  g_PrintLog.SetField(kLogOrderRow, ulIndex + 1);
  return lResult;
}

int32_t LogRibbonState() {
  uint32_t ulPercent = 0, ulDiameter1 = 0, ulDiameter0 = 0;
  g_pRibbonRoll->GetRemainPercent(&ulPercent);
  g_pRibbonRoll->GetDiameter(1, &ulDiameter1);
  g_pRibbonRoll->GetDiameter(0, &ulDiameter0);
  g_PrintLog.SetField(kLogRibbonPercent, ulPercent);
  g_PrintLog.SetField(kLogRibbonDiameter1, ulDiameter1);
  g_PrintLog.SetField(kLogRibbonDiameter0, ulDiameter0);
  return 0;
}

int32_t LogSheetHeader() {
  const PrintSizeRecord& size = *g_pCurPrintSize;
  g_PrintLog.SetField(kLogOvercoatWidth, size.ulOvercoatWidth);
  g_PrintLog.SetField(kLogOvercoatLength, size.ulOvercoatLength);
  const uint32_t ulNow = g_MsTimer.NowMs();
  g_PrintLog.SetField(kLogPathPrepMs, ulNow - g_ulPathPrepTime);
  g_ulPathPrepTime = ulNow;
  uint32_t ulPercent = 0;
  g_RollDiameter.GetRemainPercent(&ulPercent);
  double dDiameter = 0.0;
  g_RollDiameter.GetDiameter(&dDiameter);
  g_PrintLog.SetField(kLogPaperPercent, ulPercent);
  g_PrintLog.SetField(kLogPaperDiameter, static_cast<uint32_t>(dDiameter));
  return 0;
}

uint32_t BuildFeedMatchedRamp(const CRampTable& reference, CRampTable& output, uint32_t ulModeA, uint32_t ulModeB,
                              uint32_t ulMask) {
  LoadRampTablesFromTable(0, &g_Ramp00, &g_Ramp05, ulMask);
  const uint32_t ulPlaneRate = TopRate(g_Ramp00);
  // A plane ramp never loaded has no rate to match: the output stays.
  if (ulPlaneRate == 0) return 0;
  uint32_t ulRate = TopRate(reference);
  if (ulModeA == 1) ulRate *= 2;
  if (ulModeA == 3) ulRate /= 2;
  if (ulModeA == 4) ulRate /= 4;
  const uint32_t ulFeed = BuildSubStepperRamp(PLANE_Y) / 2;
  ulRate = ulRate * ulFeed / ulPlaneRate;
  if (ulModeB == 1) ulRate /= 2;
  if (ulModeB == 3) ulRate *= 2;
  output.SetupByRate(kRampStartRate, ulRate, kFeedRampMs);
  g_ulLogData[kLogDataFeedRate] = ulRate;
  return ulRate;
}

uint32_t BuildLineSpeedRamp(const CRampTable& source, CRampTable& output) {
  const double dStepsPerLine = static_cast<double>(static_cast<uint32_t>(SettingValue(g_ParamStpLx1000)));
  const double dK = kLineSpeedK[SettingValue(g_ParamFeedRollDiam) == 0 ? 0 : 1];
  const double dTop = static_cast<double>(TopRate(source));
  const uint32_t ulRate =
      static_cast<uint32_t>(1.0 / (((dStepsPerLine / dTop) / 1000.0 * 1000000.0) / (dStepsPerLine * dK)));
  uint32_t ulRampMs = 0;
  source.GetParam(3, &ulRampMs);
  output.SetupByRate(kRampStartRate, ulRate, ulRampMs);
  return ulRate;
}

int32_t ClearPanelOffsets() {
  for (uint32_t& ulOffset : g_aulRibbonPanelOffset) ulOffset = 0;
  return 0;
}

int32_t ApplyRawCorrections() {
  for (uint32_t i = 0; i < PLANE_L; ++i) {
    const int32_t lOffset = -g_alRibbonRawCorrection[i];
    g_aulRibbonPanelOffset[i] = lOffset > 0 ? static_cast<uint32_t>(lOffset) : 0u;
  }
  g_aulRibbonPanelOffset[PLANE_L] = 0;
  return 0;
}

int32_t SetCorrectionByPass(uint32_t ulKind, uint32_t ulPass) {
  const bool bAllowed = g_pRibbonRoll->GetCorrectionAllowed() != 0 && ulKind < 3;
  const bool bEnable = bAllowed && ulPass < 4 && ((kCorrectionPasses[ulKind < 3 ? ulKind : 0] >> ulPass) & 1u) != 0;
  return g_pDonorMng->SetCorrectionEnable(bEnable ? 1 : 0);
}

int32_t StoreCorrection(uint32_t ulKind, uint32_t ulPass) {
  g_pDonorMng->CalcCorrection(ulPass);
  int32_t lCorrection = 0;
  g_pDonorMng->GetCorrection(&lCorrection);
  const uint32_t ulPlane = ulPass & 3u;
  const uint32_t ulNext = (ulPlane + 1) % 4;
  const uint32_t ulValue = static_cast<uint32_t>(lCorrection);
  switch (ulKind) {
    case 0:
      g_aulRibbonPanelOffset[ulNext] = ulValue;
      break;
    case 1:
      g_alRibbonRawCorrection[ulPlane] = lCorrection;
      if (ulPlane == PLANE_L) {
        g_alRibbonRawCorrection[PLANE_L] = 0;
      } else {
        g_aulRibbonPanelOffset[ulNext] = 0;
      }
      break;
    case 2:
      g_aulRibbonPanelOffset[ulPlane] = 0;
      if (ulPlane == PLANE_L) g_aulRibbonPanelOffset[PLANE_Y] = ulValue;
      break;
    default:
      return -1;
  }
  return 0;
}
