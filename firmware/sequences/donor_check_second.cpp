#include "firmware/sequences/donor_check_second.h"

#include "firmware/control/app_startup.h"
#include "firmware/control/debug_records.h"
#include "firmware/control/engine_variant.h"
#include "firmware/control/host_status_table.h"
#include "firmware/devices/encoder_count.h"
#include "firmware/devices/settings.h"
#include "firmware/mechanism/donor_mng.h"
#include "firmware/mechanism/ribbon_roll.h"
#include "firmware/mechanism/step_machine.h"
#include "firmware/platform/time_base.h"
#include "firmware/printengine/print_line.h"
#include "firmware/printengine/print_size.h"
#include "firmware/sequences/donor_check_first.h"
#include "firmware/sequences/donor_checks.h"
#include "firmware/sequences/ribbon_calibration.h"
#include "firmware/sequences/ribbon_retry_duty.h"
#include "firmware/sequences/ribbon_sequence_helpers.h"
#include "firmware/sequences/ribbon_step_moves.h"
#include "firmware/sequences/ribbon_winding.h"

uint8_t g_aucBarcodeSamples[kBarcodeSampleBytes];
uint8_t g_aucBarcodeBits[kBarcodeBitBytes];

namespace {

using ribbonseq::CountOf;
using ribbonseq::kForward;
using ribbonseq::kReverse;

constexpr uint32_t kAttempts = 3;
constexpr uint32_t kWindRetries = 3;
constexpr int32_t kSegmentCounts = 7;
constexpr uint32_t kBitsPerSegment = 4;
constexpr int32_t kWindowOpensAfter = 124;
constexpr int32_t kWindowClosesAfter = 627;
constexpr uint32_t kLeastSupplyCounts = 496;
constexpr uint32_t kLeastTakeUpCounts = 901;
constexpr uint32_t kErrSupplyEncoderL = 0x321;
constexpr uint32_t kErrTakeUpEncoderL = 0x31F;
constexpr uint32_t kRunsOfNoise = 3;  // runs shorter than this are noise
constexpr uint32_t kPositionLines = 120;
// Ribbon phases of the positioning.
constexpr uint32_t kPhaseTakeUpForward = 9;
constexpr uint32_t kPhaseBackToY = 16;
constexpr uint32_t kPhaseBackWide = 20;
constexpr uint32_t kPhaseBackToC = 22;
constexpr uint32_t kPhaseBackToL = 23;
constexpr uint32_t kPhaseTakeUpOnly = 25;
constexpr uint32_t kSearchBackToPrint = 6;

constexpr uint8_t kBar = '0';
constexpr uint8_t kGap = '1';

enum class Window : uint32_t { Waiting, Sampling, Complete };

// What one call keeps between its steps.
struct Check2nd {
  uint32_t ulAttemptsLeft = kAttempts;
  int32_t lSavedInitialDuty = 0;
  int32_t lInitialDuty = 0;
  uint32_t ulPanel = 0;       // p: the panel at the attempt's start
  uint32_t ulRunPanel = 0;    // q
  uint32_t ulSamplePeriod = 0;
  uint32_t ulC0 = 0;
  uint32_t ulD0 = 0;
  uint32_t ulStartUs = 0;
  Window eWindow = Window::Waiting;
  uint32_t ulSegmentStart = 0;
  uint32_t ulSampleTime = 0;
  uint32_t ulSamples = 0;
  uint32_t ulBits = 0;
  uint32_t ulSrcMoved = 0;
  uint32_t ulDstMoved = 0;
  uint32_t ulRunMs = 0;
  uint32_t ulHighest = 0;
  uint32_t ulLowest = 65535;
  uint32_t ulCarry = 0;
  uint32_t ulMask = 0;        // the caller's, without the host poll while sampling
};

bool IncorrectRibSet() { return IsErrorRaised(g_ulCurErrIncorrectRib); }

uint32_t CurrentPanel() {
  uint32_t ulPanel = 0;
  g_pRibbonRoll->GetPanelIndex(&ulPanel);
  return ulPanel;
}

uint32_t Stepped(uint32_t ulPanel, int32_t lDelta) {
  uint32_t ulOut = 0;
  StepPanelIndex(ulPanel, lDelta, &ulOut);
  return ulOut;
}

uint32_t ForwardPhase(uint32_t ulPanel) {
  uint32_t ulPhase = 0;
  PanelForwardPhase(ulPanel, &ulPhase);
  return ulPhase;
}

uint32_t LengthToCount(uint32_t ulSide, uint32_t ulLines) {
  uint32_t ulCounts = 0;
  g_pRibbonRoll->LengthToCount(ulSide, ulLines, &ulCounts);
  return ulCounts;
}

// One pass of the barcode window while the run goes on.
void SampleBarcode(Check2nd& c, uint32_t ulMask) {
  const uint32_t ulSupply = CountOf(g_pCurSlitRibEncSrc);
  const uint32_t ulNowMs = g_MsTimer.NowMs();
  if (c.eWindow == Window::Waiting) {
    if (EncoderDistance(c.ulC0, ulSupply) > kWindowOpensAfter) {
      c.ulSegmentStart = ulSupply;
      c.ulSampleTime = ulNowMs;
      c.ulSamples = 0;
      c.ulBits = 0;
      c.eWindow = Window::Sampling;
      c.ulMask = WithoutHostCheck(ulMask);
    }
    return;
  }
  if (c.eWindow != Window::Sampling) return;
  if (ulNowMs - c.ulSampleTime >= c.ulSamplePeriod) {
    uint32_t ulState = 0;
    g_pCurAdBarcode->GetState(&ulState);
    if (c.ulSamples < kBarcodeSampleBytes) g_aucBarcodeSamples[c.ulSamples++] = ulState != 0 ? kBar : kGap;
    c.ulSampleTime += c.ulSamplePeriod;
  }
  if (EncoderDistance(c.ulSegmentStart, ulSupply) >= kSegmentCounts) {
    AppendBarcodeSegment(g_aucBarcodeSamples, c.ulSamples, g_aucBarcodeBits, &c.ulBits);
    c.ulSamples = 0;
    c.ulSegmentStart += static_cast<uint32_t>(kSegmentCounts);
  }
  if (EncoderDistance(c.ulC0, ulSupply) > kWindowClosesAfter) {
    c.eWindow = Window::Complete;
    c.ulMask = ulMask;
  }
}

uint32_t UnitOffset() { return GetCurrentUnit() != 0 ? 1u : 0u; }

enum : uint32_t {
  ATTEMPT = 10, NEXT_PANEL = 20, START_RUN = 30, RUN_SETUP = 40, RUN = 50, RUN_END = 60, RUN_STOP = 70,
  RUN_COUNTS = 80, LEVELS = 90, DECODE = 100, ROLL_MODEL = 120,
  MODE2_FORWARD = 130, MODE2_PAST_Y = 131, MODE2_TO_Y = 132, MODE2_SHIFT = 133, MODE2_REST = 134,
  MODE1_BACK = 140, MODE1_TO_PANEL = 141, MODE1_BACK_AGAIN = 142,
  NOT_READ = 160, END_ATTEMPT = 170, SEARCH_BACK = 180, SEARCH_STEP = 181,
};

uint32_t Step2nd(SeqStepState& s, Check2nd& c, uint32_t ulMask) {
  int32_t& r = s.lResult;
  switch (s.ulStep) {
    case ATTEMPT:
      r = SeqWaitMs(300, ulMask);
      g_ErrorMng.ClearError(g_ulCurErrIncorrectRib);
      g_ParamInitialD.GetValue(&c.lInitialDuty);
      return NEXT_PANEL;
    case NEXT_PANEL:
      c.ulPanel = CurrentPanel();
      r = WindToPanelColor(ForwardPhase(Stepped(c.ulPanel, 1)), ulMask, nullptr, nullptr, 0, 0, 0);
      return START_RUN;
    case START_RUN:
      g_pCurSlitRibEncSrc->Clear();
      g_pCurSlitRibEncDst->Clear();
      c.ulRunPanel = Stepped(c.ulPanel, -1);
      r = g_pDonorMng->StartPhase(ForwardPhase(c.ulRunPanel), 0);
      return RUN_SETUP;
    case RUN_SETUP:
      c.ulSamplePeriod = g_MsTimer.MsToTicks(5) / 2u;
      c.ulC0 = CountOf(g_pCurSlitRibEncSrc);
      c.ulD0 = CountOf(g_pCurSlitRibEncDst);
      c.ulStartUs = g_UsTimer.NowUs();
      c.eWindow = Window::Waiting;
      return RUN;
    case RUN: {
      uint32_t ulChanged = 0;
      g_pCurSlitRibEncDst->HasChanged(&ulChanged);
      uint32_t ulFound = 0;
      r = g_pDonorMng->MeasurePanelColor(1, &ulFound);
      if (r != 0 || ulFound != 0) return RUN_END;
      SampleBarcode(c, ulMask);
      return RUN;
    }
    case RUN_END:
      c.ulMask = ulMask;
      // The next panel came before the window closed: too little ribbon.
      if (c.eWindow != Window::Complete) r = ribbonseq::RaiseRibbonEmpty();
      return RUN_STOP;
    case RUN_STOP:
      r = g_pDonorMng->StopRibbon(1, 1);
      // The encoders count upwards in either direction, 16 bits.
      c.ulSrcMoved = (CountOf(g_pCurSlitRibEncSrc) - c.ulC0) & 0xFFFFu;
      c.ulDstMoved = (CountOf(g_pCurSlitRibEncDst) - c.ulD0) & 0xFFFFu;
      c.ulRunMs = g_UsTimer.Elapsed(c.ulStartUs, g_UsTimer.NowUs()) / 1000u;
      return RUN_COUNTS;
    case RUN_COUNTS:
      if (c.ulSrcMoved <= kLeastSupplyCounts) {
        g_ErrorMng.SetError(kErrSupplyEncoderL + UnitOffset());
        r = -1;
      } else if (c.ulDstMoved <= kLeastTakeUpCounts) {
        g_ErrorMng.SetError(kErrTakeUpEncoderL + UnitOffset());
        r = -1;
      }
      return LEVELS;
    case LEVELS:
      c.ulHighest = 0;
      c.ulLowest = 65535;
      r = SeqWaitMs(300, ulMask);
      return DECODE;
    case DECODE:
      FilterBarcodeBits(g_aucBarcodeBits, c.ulBits);
      if (!IncorrectRibSet()) {
        g_pDonorMng->DecodeBarcode(g_aucBarcodeBits, c.ulBits);
        g_pRibbonRoll->SetPanelIndex(c.ulRunPanel);
      }
      return IncorrectRibSet() ? NOT_READ : ROLL_MODEL;
    case ROLL_MODEL:
      g_pRibbonRoll->SetCountScale0(2 * c.ulSrcMoved);
      g_pRibbonRoll->SetCountScale1(2 * c.ulDstMoved);
      g_pRibbonRoll->EstimateDiameters(2 * c.ulDstMoved, 2 * c.ulSrcMoved);
      g_pRibbonRoll->UpdateRemainPercent();
      g_pDonorMng->SetLastPrintCounts(0, 0);
      RefreshCounterItems();
      return g_ulEngModeA == 2 ? MODE2_FORWARD : MODE1_BACK;

    // Drive mode 2: forward a quarter run, back to Y, and the take-up wound
    // to the print start in passes.
    case MODE2_FORWARD:
      r = WindRibbonToCount(kPhaseTakeUpForward, kForward, c.ulSrcMoved / 4, ulMask, 1, nullptr, nullptr,
                            kWindRetries, 1);
      if (r == 0) r = SeqWaitMs(300, ulMask);
      return MODE2_PAST_Y;
    case MODE2_PAST_Y:
      if (CurrentPanel() == 0) {
        r = WindRibbonToCount(kPhaseBackWide, kReverse, c.ulSrcMoved / 2, ulMask, 1, nullptr, nullptr, kWindRetries,
                              1);
        g_pRibbonRoll->SetPanelIndex(3);
      }
      return MODE2_TO_Y;
    case MODE2_TO_Y:
      r = WindToPanelColor(kPhaseBackWide, ulMask, &c.ulHighest, &c.ulLowest, 1, 1, kWindRetries);
      if (r == 0) r = SeqWaitMs(1000, ulMask);
      return MODE2_SHIFT;
    case MODE2_SHIFT: {
      int32_t lStart = 0;
      PanelStartLength(0, &lStart);
      const uint32_t ulLines = static_cast<uint32_t>(lStart + static_cast<int32_t>(kPositionLines));
      int32_t lPasses = 0;
      g_ParamSlackNum2.GetValue(&lPasses);
      r = ShiftRibbonInPasses(LengthToCount(RIBBON_SIDE_TAKE_UP, ulLines), LengthToCount(RIBBON_SIDE_SUPPLY, ulLines),
                              static_cast<uint32_t>(lPasses), &c.ulCarry, ulMask);
      if (r == 0) r = SeqWaitMs(300, ulMask);
      return MODE2_REST;
    }
    case MODE2_REST: {
      uint32_t ulCarryLines = 0;
      g_pRibbonRoll->CountToLength(RIBBON_SIDE_TAKE_UP, c.ulCarry, &ulCarryLines);
      const uint32_t ulCarried = LengthToCount(RIBBON_SIDE_SUPPLY, ulCarryLines);
      const uint32_t ulWanted = LengthToCount(RIBBON_SIDE_SUPPLY, kPositionLines);
      r = WindRibbonToCount(kPhaseTakeUpOnly, kForward, ulWanted > ulCarried ? ulWanted - ulCarried : 0, ulMask, 1,
                            nullptr, nullptr, 0, 1);
      g_pRibbonRoll->SetPanelIndex(0);
      return END_ATTEMPT;
    }

    // Other drive modes: back a quarter run, to the panel before, and back
    // a quarter run again.
    case MODE1_BACK:
      r = WindRibbonToCount(kPhaseBackWide, kReverse, c.ulSrcMoved / 4, ulMask, 0, nullptr, nullptr, kWindRetries, 1);
      return MODE1_TO_PANEL;
    case MODE1_TO_PANEL: {
      const uint32_t ulPanel = Stepped(CurrentPanel(), -1);
      g_pRibbonRoll->SetPanelIndex(ulPanel);
      if (ulPanel == 3) r = WindToPanelColor(kPhaseBackToC, ulMask, &c.ulHighest, &c.ulLowest, 0, 1, kWindRetries);
      if (r == 0) r = WindToPanelColor(kPhaseBackToL, ulMask, &c.ulHighest, &c.ulLowest, 0, 1, kWindRetries);
      return MODE1_BACK_AGAIN;
    }
    case MODE1_BACK_AGAIN:
      r = WindRibbonToCount(kPhaseBackWide, kReverse, c.ulSrcMoved / 4, ulMask, 1, nullptr, nullptr, kWindRetries, 1);
      g_pRibbonRoll->SetPanelIndex(3);
      return END_ATTEMPT;

    case NOT_READ: {
      TraceTimeStamp("Check Donor (2nd Roll back) =");
      int32_t lDuty = c.lInitialDuty;
      Iniribon::RetryDuty(c.ulRunMs, c.ulSrcMoved, c.ulDstMoved, c.lInitialDuty, &lDuty);
      g_ParamInitialD.SetValue(lDuty);
      r = WindRibbonToCount(kPhaseBackToY, kReverse, c.ulSrcMoved + c.ulSrcMoved / 4, ulMask, 1, &c.ulHighest,
                            &c.ulLowest, kWindRetries, 1);
      g_pRibbonRoll->SetPanelIndex(c.ulPanel);
      return END_ATTEMPT;
    }
    case END_ATTEMPT:
      r = SeqWaitMs(300, ulMask);
      --c.ulAttemptsLeft;
      if (IncorrectRibSet() && c.ulAttemptsLeft > 0) {
        ApplyBarcodeSlice(c.ulLowest, c.ulHighest);
        return ATTEMPT;
      }
      return g_ulEngModeA == 2 ? SEQ_STEP_END : SEARCH_BACK;
    case SEARCH_BACK:
      r = g_pDonorMng->StartPanelSearch(kSearchBackToPrint);
      return SEARCH_STEP;
    case SEARCH_STEP: {
      uint32_t ulDone = 0;
      r = g_pDonorMng->Step(&ulDone);
      if (r == 0 && ulDone == 0) return SEARCH_STEP;
      if (r == 0) r = g_pDonorMng->StopRibbon(1, 1);
      return SEQ_STEP_END;
    }
    case SEQ_STEP_END:
      g_pDonorMng->StopRibbon(1, 1);
      g_ParamInitialD.SetValue(c.lSavedInitialDuty);
      return SEQ_STEP_END;
    default:
      r = -1;
      return SEQ_STEP_END;
  }
}

}  // namespace

void AppendBarcodeSegment(const uint8_t* pucSamples, uint32_t ulSamples, uint8_t* pucBits, uint32_t* pulBits) {
  if (ulSamples < kBitsPerSegment) return;
  for (uint32_t i = 0; i < kBitsPerSegment; ++i) {
    pucBits[*pulBits] = pucSamples[((2 * i + 1) * ulSamples - 4) / 8];
    if (*pulBits < kBarcodeBitLimit) ++*pulBits;
  }
}

int32_t FilterBarcodeBits(uint8_t* pucBits, uint32_t ulBits) {
  // A first run of three equal bits to start from.
  uint32_t ulRun = 1;
  uint32_t ulAt = 0;
  for (uint32_t i = 1; i < ulBits && ulRun < kRunsOfNoise; ++i) {
    ulRun = pucBits[i] == pucBits[i - 1] ? ulRun + 1 : 1;
    ulAt = i;
  }
  if (ulRun < kRunsOfNoise) {
    g_ErrorMng.SetError(g_ulCurErrIncorrectRib);
    return -1;
  }
  uint8_t ucLevel = pucBits[ulAt];
  for (uint32_t k = 1; k <= ulBits; ++k) {
    const uint32_t j = (ulAt + k) % ulBits;
    if (pucBits[j] == ucLevel) {
      ++ulRun;
      continue;
    }
    if (ulRun < kRunsOfNoise) {
      // The short run takes the new level, back over the buffer's start.
      for (uint32_t b = 1; b <= ulRun; ++b) pucBits[(j + ulBits - b) % ulBits] = pucBits[j];
      ulRun = kRunsOfNoise;
    } else {
      ulRun = 1;
    }
    ucLevel = pucBits[j];
  }
  return 0;
}

// The leading margin is the record's first image margin: the lines the
// picture's first rows are stretched over (12 in every size).
int32_t PanelStartLength(uint32_t ulPanel, int32_t* plLines) {
  if (ulPanel >= kDonorPanels) {
    *plLines = 0;
    return -1;
  }
  const int32_t lFront = ulPanel == 0 ? static_cast<int32_t>(g_ulRibDummyLinesInit)
                                      : static_cast<int32_t>(g_pCurPrintSize->aulFrontDummyLines[ulPanel]);
  *plLines = static_cast<int32_t>(g_pRibbonRoll->GetExpectedEdgeLines(ulPanel)) -
             static_cast<int32_t>(g_ulEngLineOffset) -
             (static_cast<int32_t>(g_pRibbonRoll->GetPanelStopLines(ulPanel)) -
              static_cast<int32_t>(g_pCurPrintSize->aulExtraLines[0])) +
             lFront;
  return 0;
}

int32_t CheckDonor2nd(uint32_t ulMask) {
  TraceTimeStamp("Check Donor (2nd Roll up) =");
  g_pCurPrintSize = &g_PrintSize8x10;
  Check2nd c;
  g_ParamInitialD.GetValue(&c.lSavedInitialDuty);
  c.ulMask = ulMask;
  SeqStepState s{0, ATTEMPT, 0};
  bool bDone = false;
  while (!bDone) {
    bDone = s.ulStep == SEQ_STEP_END;
    const uint32_t ulNext = Step2nd(s, c, ulMask);
    StepAdvance(s, ulNext, SEQ_STEP_END, c.ulMask);
  }
  TraceTimeStamp("Check Donor (Final Roll up) =");
  g_pCurSlitRibEncSrc->Stop();
  g_pCurSlitRibEncDst->Stop();
  g_ulRibDummyLines = g_ulRibDummyLinesInit;
  return s.lResult;
}
