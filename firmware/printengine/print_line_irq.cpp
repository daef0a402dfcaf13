// The print line's interrupt half: the segment table's tick, the line
// handlers, the row each line hands the DSP and the run-bit exchange.
#include "firmware/hal/hw.h"
#include "firmware/mechanism/donor_mng.h"
#include "firmware/platform/fpga_regs.h"
#include "firmware/platform/head_drive.h"
#include "firmware/platform/us_timer.h"
#include "firmware/printengine/dsp_window.h"
#include "firmware/printengine/plane_lead_in.h"
#include "firmware/printengine/print_line.h"
#include "firmware/printengine/print_mode.h"
#include "firmware/service/self_print.h"

namespace {

// The overcoat plane's line at which the take-up duty is applied again.
constexpr uint16_t kOvercoatTakeUpLine = 130;
// The exchange's waits read the microsecond counter after this many looks
// at the DSP's status.
constexpr uint32_t kPollsPerClockRead = 8;
// The prefetch of the first row comes this many steps before the lead-in ends.
constexpr uint32_t kPrefetchStepsLeft = 2;

bool InZone(uint16_t usLine, uint16_t usStart, uint16_t usEnd) { return usLine >= usStart && usLine < usEnd; }

}  // namespace

// ---- the segment table ----

int32_t CPrintLine::StepLineSegment() {
  uint32_t ulSteps = m_ulStepsLeft;
  if (ulSteps == 0) return 0;
  --ulSteps;
  m_ulStepsLeft = ulSteps;
  if (ulSteps != 0) {
    if (ulSteps == kPrefetchStepsLeft && m_ulSegmentIndex == LINE_SEG_LEAD_IN) PrefetchFirstRow();
    return 0;
  }
  uint32_t ulIndex = m_ulSegmentIndex;
  uint32_t ulRepetitions = m_ulRepetitionsLeft;
  if (ulRepetitions > 1) {
    --ulRepetitions;
  } else {
    ++ulIndex;
    if (ulIndex >= LINE_SEGMENTS) return 0;
    m_ulSegmentIndex = ulIndex;
    ulRepetitions = m_aSegments[ulIndex].ulRepetitions;
  }
  m_ulRepetitionsLeft = ulRepetitions;
  const LineSegment& segment = m_aSegments[ulIndex];
  m_ulStepsLeft = segment.ulSteps;
  return segment.pfnHandler != nullptr ? (this->*segment.pfnHandler)() : 0;
}

uint32_t CPrintLine::GetSegmentPosition() const {
  return m_ulSegmentIndex + (m_ulRepetitionsLeft == 1 ? 1u : 0u);
}

// ---- rows ----

void CPrintLine::WriteRowWords(const RowWords& words) {
  if (words.bBase) {
    HwWrite16(DSP_ADDRESS_HIGH, static_cast<uint16_t>(words.ulBase >> 16));
    HwWrite16(DSP_ADDRESS_LOW, static_cast<uint16_t>(words.ulBase & 0xFFFFu));
  }
  HwWrite16(DSP_LINE_ROW, words.usRow);
}

CPrintLine::RowWords CPrintLine::SplitRow(uint32_t ulRow) const {
  const uint32_t ulCount = m_ulSubImageCount;
  if (g_ulPrintMode != PRINT_MODE_MULTI_UP || m_ulPlaneCode == PLANE_OVERCOAT || ulCount == 0) {
    return {m_plane.ulImageBase, static_cast<uint16_t>(ulRow), true};
  }
  uint32_t ulBase = m_aulSubImageBase[ulCount - 1];
  for (uint32_t i = 0; i < ulCount; ++i) {
    if (ulRow < m_aulSubImageRows[i] || i + 1 == ulCount) {
      ulBase = m_aulSubImageBase[i];
      break;
    }
    ulRow -= m_aulSubImageRows[i];
  }
  return {ulBase, static_cast<uint16_t>(ulBase == m_ulBlankRow ? 0 : ulRow), true};
}

uint16_t CPrintLine::TakeRow(uint16_t usLine) {
  const uint16_t usRow = m_usSourceRow;
  bool bAdvance = true;
  if (InZone(usLine, m_usZoneAStart, m_usZoneAEnd)) {
    const uint16_t usCount = static_cast<uint16_t>(m_usZoneACount + 1);
    m_usZoneACount = usCount;
    bAdvance = (usCount & 1u) == 0;
  } else if (InZone(usLine, m_usZoneBStart, m_usZoneBEnd)) {
    const uint16_t usCount = static_cast<uint16_t>(m_usZoneBCount + 1);
    m_usZoneBCount = usCount;
    bAdvance = (usCount & 1u) == 0;
  }
  if (bAdvance) m_usSourceRow = static_cast<uint16_t>(usRow + 1);
  return usRow;
}

CPrintLine::RowWords CPrintLine::RowSource(bool bPrintEntry) {
  const uint16_t usLine = m_usLineCounter;
  if (m_pPattern != nullptr) {
    const uint16_t usRow = TakeRow(usLine);
    if (usRow != m_usPrevPatternRow) m_usPatternRow = m_pPattern->NextRow();
    m_usPrevPatternRow = usRow;
    return {0, m_usPatternRow, false};
  }
  const uint32_t ulNext = static_cast<uint32_t>(usLine) + 1;
  const bool bInImage = ulNext > m_usFirstImageLine && (!bPrintEntry || ulNext <= m_usLastImageLine);
  if (!bInImage) return {m_ulBlankRow, 0, true};
  return SplitRow(TakeRow(usLine));
}

void CPrintLine::PrefetchFirstRow() {
  g_ulLineIrqEnable = 0;
  g_FpgaMain.SetLineTrigger(0);
  RowWords words = m_plane.usMargin2 != 0 ? RowWords{m_ulBlankRow, 0, true} : SplitRow(0);
  words.usRow = 0;
  WriteRowWords(words);
  m_usLineCounter = static_cast<uint16_t>(m_usLineCounter + 1);
  if (m_pPattern != nullptr) m_pPattern->NextRow();
}

void CPrintLine::LogHeadWord(uint32_t ulInvert) {
  const uint32_t ulIndex = m_ulLogIndex;
  if (m_pLog == nullptr || ulIndex >= HEAD_LINE_LOG_ENTRIES) return;
  uint16_t usWord = 0;
  g_HeadDrive.ReadLineWord(&usWord, m_ulLogOffset, ulInvert);
  m_pLog[ulIndex] = usWord;
  m_ulLogIndex = ulIndex + 1;
}

void CPrintLine::HandOverLine(bool bPrintEntry, bool bLogHeadWord) {
  const RowWords words = RowSource(bPrintEntry);
  m_usLineCounter = static_cast<uint16_t>(m_usLineCounter + 1);
  if (bLogHeadWord) LogHeadWord(0);
  LineHandshake();
  WriteRowWords(words);
}

// ---- handlers ----

void CPrintLine::Count(LineCallCounter eCounter) {
  m_ausCalls[eCounter] = static_cast<uint16_t>(m_ausCalls[eCounter] + 1);
}

int32_t CPrintLine::OnLeadLine() {
  Count(LINE_CALLS_LEAD);
  HandOverLine(false, false);
  return 0;
}

int32_t CPrintLine::OnFirstLine() {
  Count(LINE_CALLS_FIRST);
  g_FpgaMain.Write(FPGA_LINE_MODE, m_plane.usLineCount);
  HandOverLine(false, false);
  if (m_usFirstTriggerDone == 0) {
    g_FpgaMain.SetLineTrigger(0);
    g_FpgaMain.SetLineTrigger(1);
    m_usFirstTriggerDone = 1;
  }
  if (m_ulPlaneCode != PLANE_OVERCOAT) g_pDonorMng->ApplyTakeUpDuty();
  return 0;
}

int32_t CPrintLine::OnPrintLine() {
  Count(LINE_CALLS_PRINT);
  HandOverLine(true, true);
  if (m_ulPlaneCode == PLANE_OVERCOAT && m_usLineCounter == kOvercoatTakeUpLine) g_pDonorMng->ApplyTakeUpDuty();
  return 0;
}

int32_t CPrintLine::OnPlaneEnd() {
  Count(LINE_CALLS_PLANE_END);
  if (m_ulRepetitionsLeft != 1) return 0;
  g_HeadDrive.ToggleLineBank();
  LogHeadWord(1);
  HwWrite16(DSP_CONTROL_WORD, static_cast<uint16_t>(HwRead16(DSP_CONTROL_WORD) & ~(DSP_MODE_MASK | DSP_RUN_BIT)));
  return StopPrint();
}

int32_t CPrintLine::OnSegmentEnd() {
  Count(LINE_CALLS_SEGMENT_END);
  return 0;
}

// ---- the exchange ----

bool CPrintLine::WaitDspStatus(uint16_t usMask, uint16_t usWant, uint32_t ulStartUs) {
  for (;;) {
    for (uint32_t i = 0; i < kPollsPerClockRead; ++i) {
      if ((HwRead16(DSP_STATUS_WORD) & usMask) == usWant) return true;
    }
    if (g_UsTimer.NowUs() - ulStartUs >= LINE_HANDSHAKE_BOUND_US) return false;
  }
}

int32_t CPrintLine::LineHandshake() {
  Count(LINE_CALLS_HANDSHAKE);
  const uint32_t ulSaved = SaveIrqAndDisable();
  const bool bWait = m_ulDspGivenUp == 0;
  const uint32_t ulStart = g_UsTimer.NowUs();
  constexpr uint16_t kMask = DSP_MODE_MASK | DSP_RUN_BIT;
  // The DSP in print mode with its echo of the last run dropped: it has
  // taken the last row, so this one cannot be handed over twice.
  bool bOk = !bWait || WaitDspStatus(kMask, DSP_MODE_PRINT, ulStart);
  const uint16_t usControl = HwRead16(DSP_CONTROL_WORD);
  if (bOk) {
    HwWrite16(DSP_CONTROL_WORD, static_cast<uint16_t>(usControl | DSP_RUN_BIT));
    bOk = !bWait || WaitDspStatus(kMask, DSP_MODE_PRINT | DSP_RUN_BIT, ulStart);
  }
  HwWrite16(DSP_CONTROL_WORD, static_cast<uint16_t>(usControl & ~DSP_RUN_BIT));
  HwRead16(DSP_STATUS_WORD);
  int32_t lResult = bWait ? 0 : -1;
  if (bWait && (!bOk || g_UsTimer.NowUs() - ulStart > LINE_HANDSHAKE_BOUND_US)) {
    // Raised by the task side (no interrupt handler raises errors); after a
    // wait ran out the rest of the plane does not wait again.
    m_ulLateExchanges = m_ulLateExchanges + 1;
    if (!bOk) m_ulDspGivenUp = 1;
    lResult = -1;
  }
  RestoreIrq(ulSaved);
  return lResult;
}
