// The print-line control: the plane's preparation and start in the
// application task, and the segment table that the line interrupt steps.
#include "firmware/printengine/print_line.h"

#include "firmware/control/app_startup.h"
#include "firmware/control/error_manager.h"
#include "firmware/control/line_steps.h"
#include "firmware/devices/machine_ports.h"
#include "firmware/devices/ramps.h"
#include "firmware/devices/settings.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/hal/hw.h"
#include "firmware/mechanism/donor_mng.h"
#include "firmware/mechanism/ribbon_roll.h"
#include "firmware/mechanism/sensor_feeds.h"
#include "firmware/platform/fpga_regs.h"
#include "firmware/platform/head_drive.h"
#include "firmware/platform/us_timer.h"
#include "firmware/printengine/dsp_window.h"
#include "firmware/printengine/merged_layout.h"
#include "firmware/printengine/plane_lead_in.h"
#include "firmware/printengine/print_job_queue.h"
#include "firmware/printengine/print_mode.h"
#include "firmware/printengine/table_store.h"
#include "firmware/printengine/text_overlay.h"
#include "firmware/printengine/tone_curve.h"
#include "firmware/service/self_print.h"

constinit CPrintLine g_PrintLine;
constinit hal::IsrShared<uint32_t> g_ulLineIrqEnable;
constinit hal::IsrShared<uint16_t> g_usLineIrqFlags[3];
constinit hal::IsrShared<uint16_t> g_usLineIrqCounts[3];
constinit HeadLineLog g_usHeadLineLogA;
constinit HeadLineLog g_usHeadLineLogB;

namespace {

constexpr uint32_t kIndexGlossy = 3;
constexpr uint32_t kIndexMatte = 4;
constexpr uint32_t kIndexSp = 5;
constexpr uint32_t kSlotOfCurrentRow = 3;
constexpr uint32_t kColourPlanes = 3;

// TABLE values and tables by the plane's table index k.
constexpr uint32_t kHeadTableStride = 6;      // k, k + 6, k + 12: head-drive banks 1, 2, 3
constexpr uint32_t kValueDriveParams = 72;    // k + 72, + 80, + 88, + 96
constexpr uint32_t kDriveParamStride = 8;
// The ramp pairs the print line loads from the TABLE, by table index.
struct RampPair {
  uint32_t ulIndex;  // kIndexGlossy: the overcoat's own index
  CRampTable* pA;
  CRampTable* pB;
};
constexpr RampPair kRampPairs[] = {
    {0, &g_Ramp00, &g_Ramp05}, {1, &g_Ramp01, &g_Ramp06}, {2, &g_Ramp02, &g_Ramp07},
    {kIndexGlossy, &g_Ramp03, &g_Ramp08}, {kIndexSp, &g_Ramp04, &g_Ramp09},
};
// Ribbon type indexes printed from TABLE bank 1.
constexpr uint32_t kBank1TypeFirst = 2;
constexpr uint32_t kBank1TypeLast = 3;

constexpr PhysAddr kWordDspAnswer = 0x8001387Eu;
constexpr PhysAddr kWordPlaneCode = 0x80013880u;

bool CurrentSlotIsMatte() {
  PrintJobRecord* pJob = nullptr;
  if (g_PrintJobQueue.GetNthActiveJob(1, &pJob) != 0 || pJob == nullptr) return false;
  ImageSlot* pSlot = nullptr;
  if (g_PrintJobQueue.GetOrderedSlot(pJob, &pSlot, kSlotOfCurrentRow) != 0 || pSlot == nullptr) return false;
  return pSlot->usOvercoatKind == OVERCOAT_MATTE;
}

bool UnitL() { return g_ulCurrentUnit == 0; }

uint32_t Value(uint32_t ulIndex) {
  uint32_t ulValue = 0;
  GetTableValue(ulIndex, &ulValue);
  return ulValue;
}

uint16_t U16(uint32_t ul) { return static_cast<uint16_t>(ul > 0xFFFFu ? 0xFFFFu : ul); }

// The output line of source row r: the extra-line rows at both ends are
// printed twice.
uint32_t OutputLineOf(uint32_t r, uint32_t ulE1, uint32_t ulE2, uint32_t ulU) {
  if (r < ulE1) return 2 * r;
  if (r + ulE2 < ulU) return r + ulE1;
  return 2 * (r - (ulU - ulE2)) + 2 * ulE1 + (ulU - ulE1 - ulE2);
}

void FillBlankRow() {
  uint8_t aucOnes[256];
  for (uint8_t& uc : aucOnes) uc = 0xFF;
  for (uint32_t i = 0; i < PRINT_BLANK_ROW_WORDS * 2; i += sizeof aucOnes) {
    HwWriteBlock(PRINT_BLANK_ROW + i, aucOnes, sizeof aucOnes);
  }
}

CSelfPrint* PatternOf(uint32_t ulPlaneCode) {
  switch (ulPlaneCode) {
    case PLANE_M: return g_pSelfPrintM;
    case PLANE_C: return g_pSelfPrintC;
    case PLANE_OVERCOAT: return nullptr;
    default: return g_pSelfPrintY;
  }
}

}  // namespace

const LineSegment CPrintLine::kDefaultSegments[LINE_SEGMENTS] = {
    {nullptr, 0, 1},
    {nullptr, 0, 1},
    {&CPrintLine::OnLeadLine, 0, 1},
    {&CPrintLine::OnLeadLine, 0, 1},
    {&CPrintLine::OnLeadLine, 0, 1},
    {&CPrintLine::OnLeadLine, 0, 1},
    {&CPrintLine::OnFirstLine, 2, 1},
    {&CPrintLine::OnPrintLine, 1, 0},
    {&CPrintLine::OnPlaneEnd, 1, 0},
    {&CPrintLine::OnSegmentEnd, 0, 0},
};

CPrintLine::CPrintLine(GlobalBuild) {
  for (uint32_t i = 0; i < LINE_SEGMENTS; ++i) m_aSegments[i] = kDefaultSegments[i];
  m_pusTable5Source = g_ausDspConstTableA;
  m_pusTable6Source = g_ausDspConstTableB;
  m_ulLastTableBank = 0xFFFFFFFFu;
  StopPrint();
}

uint32_t CPrintLine::GetTableIndex(uint32_t ulPlaneCode) const {
  if (ulPlaneCode == PLANE_OVERCOAT) return CurrentSlotIsMatte() ? kIndexMatte : kIndexGlossy;
  if (ulPlaneCode == PLANE_SP) return kIndexSp;
  return ulPlaneCode;
}

// ---- preparation ----

int32_t CPrintLine::PreparePlane(uint32_t /*ulCurveParam*/, uint32_t ulReserved) {
  PrintJobRecord* pJob = nullptr;
  if (g_PrintJobQueue.GetCurrentJob(&pJob) != 0 || pJob == nullptr) return -1;
  ImageSlot* pSlot = nullptr;
  if (g_PrintJobQueue.GetOrderedSlot(pJob, &pSlot, kSlotOfCurrentRow) != 0 || pSlot == nullptr) return -1;
  m_plane.pSlot = pSlot;
  m_ulReserved = ulReserved;

  const uint32_t ulType = UnitL() ? g_ulRibbonTypeIndexL : g_ulRibbonTypeIndexR;
  const uint32_t ulBank = ulType >= kBank1TypeFirst && ulType <= kBank1TypeLast ? 1u : 0u;
  SelectTableBank(ulBank);
  if (ulBank != m_ulLastTableBank) {
    for (const RampPair& pair : kRampPairs) {
      const uint32_t ulIndex = pair.ulIndex == kIndexGlossy ? GetTableIndex(PLANE_OVERCOAT) : pair.ulIndex;
      const int32_t lResult = LoadRampTablesFromTable(ulIndex, pair.pA, pair.pB, 0);
      if (lResult != 0) return lResult;
    }
    // Remembered once every pair is loaded: a failed load is tried again.
    m_ulLastTableBank = ulBank;
  }

  g_ToneCurve.BuildGradationBase(pSlot);
  WriteDspParams(PLANE_Y);
  g_ToneCurve.ComposeToneCurve(pSlot->ausToneCurve);
  m_usDspAnswer = HwRead16(kWordDspAnswer);
  FillBlankRow();
  m_ulBlankRow = PRINT_BLANK_ROW;
  return 0;
}

// ---- start ----

bool CPrintLine::TakePlane(uint32_t ulPlaneCode, uint32_t* pulTableIndex, uint32_t* pulLeadInLines) {
  const PrintSizeRecord& params = *m_pParams;
  ImageSlot* pSlot = m_plane.pSlot;
  const bool bOvercoat = ulPlaneCode == PLANE_OVERCOAT;
  m_ulPlaneCode = ulPlaneCode;
  m_usDspPlane = static_cast<uint16_t>(ulPlaneCode == PLANE_SP ? PLANE_Y : ulPlaneCode);
  if (ulPlaneCode < kColourPlanes) {
    if (ulPlaneCode == PLANE_Y) {
      for (hal::IsrShared<uint16_t>& count : g_usLineIrqCounts) count = 0;
    }
    g_usLineIrqFlags[ulPlaneCode] = 1;
  }
  if (bOvercoat) {
    m_plane.usRowLength = U16(params.ulOvercoatWidth);
    m_plane.usLineCount = U16(params.ulOvercoatLength);
    m_plane.ulImageBase = PRINT_OVERCOAT_PLANE;
    m_plane.usSourceWidth = U16(params.ulPrintWidth);
    m_plane.usSourceHeight = U16(params.ulPrintLength);
    m_plane.usMargin1 = 0;
    m_plane.usMargin2 = 0;
  } else {
    m_plane.usRowLength = U16(params.ulSourceWidth);
    m_plane.usLineCount = U16(params.ulPrintLength);
    m_plane.ulImageBase = pSlot->ulImageAddress;
    m_plane.usSourceWidth = U16(params.ulSourceWidth);
    m_plane.usSourceHeight = U16(params.ulSourceHeight);
    m_plane.usMargin1 = U16(params.ulMargin1);
    m_plane.usMargin2 = U16(params.ulMargin2);
  }
  *pulLeadInLines = PlaneLeadInLines(ulPlaneCode, *g_pCurPrintSize, pSlot->usFillIn == 1);
  m_pPattern = pSlot->usInternal == 1 ? PatternOf(ulPlaneCode) : nullptr;
  if (m_pPattern != nullptr) m_pPattern->Reset();
  if (bOvercoat && g_ucRibbonControlType != 0 && g_ulPrintMode != PRINT_MODE_MULTI_UP) {
    g_TextOverlay.DrawItems(pSlot, PRINT_OVERCOAT_PLANE);
  }

  const uint32_t k = GetTableIndex(ulPlaneCode);
  *pulTableIndex = k;
  for (uint32_t i = 0; i < 3; ++i) GetTableAddress(k + i * kHeadTableStride, &m_aulHeadTables[i]);
  g_HeadDrive.LoadBank1Table(m_aulHeadTables[0]);
  g_HeadDrive.LoadBank2Table(m_aulHeadTables[1]);
  g_HeadDrive.LoadBank3Table(m_aulHeadTables[2]);
  m_usLinePeriod = static_cast<uint16_t>(Value(k));
  HwWrite16(kWordPlaneCode, static_cast<uint16_t>(ulPlaneCode));
  return true;
}

void CPrintLine::SetLineMapping(const PrintSizeRecord& size, uint32_t ulPlaneCode) {
  const uint32_t ulE1 = size.aulExtraLines[0];
  const uint32_t ulE2 = size.aulExtraLines[1];
  const uint32_t ulU = ulPlaneCode == PLANE_OVERCOAT ? size.ulOvercoatLength : size.ulPrintLength;
  m_plane.usLineCount = U16(m_plane.usLineCount + ulE1 + ulE2);
  const uint32_t ulFirst = m_plane.usMargin2;
  m_usFirstImageLine = U16(OutputLineOf(ulFirst, ulE1, ulE2, ulU));
  m_usLastImageLine = U16(OutputLineOf(ulFirst + m_plane.usSourceHeight, ulE1, ulE2, ulU));
  m_usZoneAStart = 0;
  m_usZoneAEnd = U16(2 * ulE1);
  m_usZoneBStart = U16(m_plane.usLineCount > 2 * ulE2 ? m_plane.usLineCount - 2 * ulE2 : 0);
  m_usZoneBEnd = m_plane.usLineCount;
  m_usZoneACount = 0;
  m_usZoneBCount = 0;
}

void CPrintLine::SetupSubImages(uint32_t ulPlaneCode) {
  m_ulSubImageCount = 0;
  if (g_ulPrintMode != PRINT_MODE_MULTI_UP) return;
  const MergedLayout* pLayout = MergedLayoutOf(g_MergedJobRecord.usMergeSelector);
  if (pLayout == nullptr) return;
  // The sheet's slot of the plane, and the same slot of each job.
  const auto merged = SlotsOf(&g_MergedJobRecord);
  uint32_t ulSlotIndex = 0;
  for (uint32_t i = 0; i < merged.size(); ++i) {
    if (merged[i] == m_plane.pSlot) ulSlotIndex = i;
  }
  PhysAddr ulOverlay = PRINT_OVERCOAT_PLANE;
  for (uint32_t i = 0; i < pLayout->ulImages; ++i) {
    PrintJobRecord* pJob = nullptr;
    if (g_PrintJobQueue.GetNthActiveJob(pLayout->aulJob[i], &pJob) != 0 || pJob == nullptr) continue;
    ImageSlot* pSlot = SlotsOf(pJob)[ulSlotIndex];
    const PrintSizeRecord* pSize = pJob->pPrintSize;
    if (ulPlaneCode == PLANE_OVERCOAT) {
      g_TextOverlay.DrawItems(pSlot, ulOverlay);
      if (pSize != nullptr) ulOverlay += pSize->ulPrintWidth * pSize->ulPrintLength;
      continue;
    }
    m_aulSubImageBase[m_ulSubImageCount] = pSlot->ucOwnsBuffer != 0 ? pSlot->ulImageAddress : m_ulBlankRow;
    m_aulSubImageRows[m_ulSubImageCount] = pSize != nullptr ? pSize->ulPrintLength : 0;
    ++m_ulSubImageCount;
  }
}

int32_t CPrintLine::SendPlaneTables(uint32_t ulPlaneCode) {
  SetOvercoatLevels(ulPlaneCode);
  SetPulseDivision(ulPlaneCode);
  int32_t (CPrintLine::*const apfnTables[])(uint32_t) = {
      &CPrintLine::SendTable1, &CPrintLine::SendTable3, &CPrintLine::SendTable7, &CPrintLine::WriteDspParams,
      &CPrintLine::SendTable4,
  };
  for (auto pfn : apfnTables) {
    const int32_t lResult = (this->*pfn)(ulPlaneCode);
    if (lResult != 0) return lResult;
  }
  int32_t lResult = SendTables5And6();
  if (lResult != 0) return lResult;
  lResult = SendTable8(ulPlaneCode);
  if (lResult != 0) return lResult;
  return SendTable9(ulPlaneCode);
}

void CPrintLine::LoadHeadDrive(uint32_t ulTableIndex) {
  uint16_t ausParams[HD_PARAM_COUNT] = {};
  for (uint32_t i = 0; i < HD_PARAM_COUNT; ++i) {
    ausParams[i] = static_cast<uint16_t>(Value(ulTableIndex + kValueDriveParams + i * kDriveParamStride));
  }
  g_HeadDrive.SetDriveParams(ausParams);
}

void CPrintLine::BuildSegments(uint32_t ulLeadInLines) {
  const uint32_t ulLineSteps = LinesToSteps(1);
  const uint32_t ulGapSteps = ulLineSteps + 1;
  for (uint32_t i = LINE_SEG_GAP; i < LINE_SEG_FIRST; ++i) m_aSegments[i].ulSteps = ulGapSteps;
  const uint32_t ulGaps = (LINE_SEG_FIRST - LINE_SEG_GAP) * ulGapSteps;
  const uint32_t ulLeadIn = LinesToSteps(ulLeadInLines);
  // A lead-in shorter than the gaps would leave the first segment wrapped
  // round: it keeps the three steps the first-row prefetch needs.
  constexpr uint32_t kLeadInMin = 3;
  m_aSegments[LINE_SEG_LEAD_IN].ulSteps = ulLeadIn > ulGaps + kLeadInMin ? ulLeadIn - ulGaps : kLeadInMin;
  m_aSegments[LINE_SEG_LEAD_IN].ulRepetitions = 1;
  m_aSegments[LINE_SEG_PRINT].ulRepetitions = m_plane.usLineCount > 0 ? m_plane.usLineCount - 1u : 0u;
  m_aSegments[LINE_SEG_PLANE_END] = {&CPrintLine::OnPlaneEnd, 1, ulLineSteps + 4};
  m_aSegments[LINE_SEG_END] = {&CPrintLine::OnSegmentEnd, 0, 0};
  m_ulSegmentIndex = LINE_SEG_LEAD_IN;
  m_ulRepetitionsLeft = 1;
  m_ulStepsLeft = m_aSegments[LINE_SEG_LEAD_IN].ulSteps;
}

void CPrintLine::StartLineTimer() {
  g_FpgaMain.Write(FPGA_LINE_MODE, 1);
  g_FpgaMain.SetLinePeriodUs(m_usLinePeriod);
  g_HeadDrive.SetBufferToDrive(0);
  g_HeadDrive.FillLineBuffer(0);
  g_HeadDrive.ToggleLineBank();
  g_HeadDrive.FillLineBuffer(0);
  g_HeadDrive.ToggleLineBank();
  g_HeadDrive.SetBufferToDrive(1);
  g_pCurPortHeadPower->Clear();
  g_FpgaMain.SetLineTrigger(0);
  m_usFirstTriggerDone = 0;
  for (hal::IsrShared<uint16_t>& count : m_ausCalls) count = 0;
}

void CPrintLine::StartHeadLog(uint32_t ulPlaneCode) {
  HeadLineLog& log = UnitL() ? g_usHeadLineLogA : g_usHeadLineLogB;
  m_pLog = log[ulPlaneCode % HEAD_LINE_LOG_PLANES];
  for (uint32_t i = 0; i < HEAD_LINE_LOG_ENTRIES; ++i) m_pLog[i] = 0;
  m_ulLogIndex = 0;
  uint32_t ulDots = 0;
  g_FpgaMain.GetHeadDots(&ulDots);
  const int32_t lOffset = static_cast<int32_t>(ulDots) - static_cast<int32_t>(m_plane.usOvercoatWidth) +
                          2 * SettingValue(g_ParamHeadLogOffset) + 2 * SettingValue(g_ParamSideAL);
  // A word of the line buffer, whatever the settings say.
  constexpr int32_t kLastWord = 2 * (static_cast<int32_t>(HD_LINE_WORDS) - 1);
  m_ulLogOffset = static_cast<uint32_t>(lOffset < 0 ? 0 : lOffset > kLastWord ? kLastWord : lOffset) & ~1u;
}

int32_t CPrintLine::StartPlane(uint32_t ulPlaneCode) {
  if (m_plane.pSlot == nullptr || ulPlaneCode > PLANE_SP) return -1;
  m_ausCalls[LINE_CALLS_PRINT] = 0;
  m_usLineCounter = 0;
  m_usSourceRow = 0;
  HwWrite16(DSP_CONTROL_WORD, 0);
  m_pParams = g_ulPrintMode == PRINT_MODE_MULTI_UP ? g_MergedJobRecord.pPrintSize : m_plane.pSlot->pParams;
  if (m_pParams == nullptr) return -1;
  m_plane.usOvercoatWidth = U16(m_pParams->ulOvercoatWidth);
  for (hal::IsrShared<uint16_t>& flag : g_usLineIrqFlags) flag = 0;

  uint32_t ulTableIndex = 0;
  uint32_t ulLeadInLines = 0;
  TakePlane(ulPlaneCode, &ulTableIndex, &ulLeadInLines);
  SetLineMapping(*g_pCurPrintSize, ulPlaneCode);
  SetupSubImages(ulPlaneCode);
  const int32_t lResult = SendPlaneTables(ulPlaneCode);
  if (lResult != 0) return lResult;

  LoadHeadDrive(ulTableIndex);
  HwWrite16(DSP_CONTROL_WORD, static_cast<uint16_t>((HwRead16(DSP_CONTROL_WORD) & ~DSP_MODE_MASK) | DSP_MODE_PRINT));
  m_ulLateExchanges = 0;
  m_ulDspGivenUp = 0;
  BuildSegments(ulLeadInLines);
  StartLineTimer();
  StartHeadLog(ulPlaneCode);
  return 0;
}

// ---- stop ----

int32_t CPrintLine::StopPrint() {
  const uint32_t ulSaved = SaveIrqAndDisable();
  g_ulLineIrqEnable = 0;
  m_ulStepsLeft = 0;
  HwWrite16(DSP_CONTROL_WORD,
            static_cast<uint16_t>(HwRead16(DSP_CONTROL_WORD) & ~(DSP_RUN_BIT | DSP_MODE_MASK)));
  g_FpgaMain.SetLineTrigger(0);
  RestoreIrq(ulSaved);
  g_PortHeadPowerL.Set();
  g_PortHeadPowerR.Set();
  for (hal::IsrShared<uint16_t>& flag : g_usLineIrqFlags) flag = 0;
  return 0;
}

void CPrintLine::ReportLateExchange() {
  const uint32_t ulSaved = SaveIrqAndDisable();
  const uint32_t ulLate = m_ulLateExchanges;
  m_ulLateExchanges = 0;
  RestoreIrq(ulSaved);
  if (ulLate != 0) g_ErrorMng.SetError(erridx::kDspTableTimeout);
}

int32_t CPrintLine::EndPlane() {
  ReportLateExchange();
  return StopPrint();
}

void CPrintLine::SetSegmentPosition(uint32_t ulIndex, uint32_t ulStepsLeft, uint32_t ulRepetitionsLeft) {
  const uint32_t ulSaved = SaveIrqAndDisable();
  m_ulSegmentIndex = ulIndex % LINE_SEGMENTS;
  m_ulRepetitionsLeft = ulRepetitionsLeft;
  m_ulStepsLeft = ulStepsLeft;
  RestoreIrq(ulSaved);
}
