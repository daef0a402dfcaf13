#include "firmware/sequences/donor_check_first.h"

#include "firmware/control/debug_records.h"
#include "firmware/control/engine_variant.h"
#include "firmware/devices/encoder_count.h"
#include "firmware/devices/settings.h"
#include "firmware/mechanism/donor_mng.h"
#include "firmware/mechanism/ribbon_roll.h"
#include "firmware/mechanism/step_machine.h"
#include "firmware/sequences/donor_checks.h"
#include "firmware/sequences/ribbon_calibration.h"
#include "firmware/sequences/ribbon_sequence_helpers.h"
#include "firmware/sequences/ribbon_step_moves.h"
#include "firmware/sequences/ribbon_winding.h"

namespace {

using ribbonseq::CountOf;
using ribbonseq::kForward;
using ribbonseq::kReverse;

constexpr uint32_t kTakeUpForwardPhase = 9;
constexpr uint32_t kFirstForwardPhase = 9;
constexpr uint32_t kFirstReversePhase = 16;
constexpr int32_t kSearchCountLimit = 2982;
constexpr uint32_t kSearchTimeLimitMs = 20000;
constexpr uint32_t kChangesAtNextPanel = 2;
constexpr uint32_t kPassLimit = 3;
constexpr uint32_t kAttemptsAsTheRibbonStands = 4;
constexpr uint32_t kWindRetries = 3;
constexpr uint32_t kNoPanel = 0xFFFFFFFFu;

// How the reading changes when the next panel comes under the sensor: the
// channel that rises (or falls) by more than the threshold, the panel it
// means, the panel that must come before it, and whether a unit that has
// printed since its last check gets a fourth pass when this is the first
// panel seen (the ribbon may stand inside a used print).
struct PanelChangeRule {
  ColorIndex eChannel;
  bool bFalls;
  uint32_t ulPanel;
  uint32_t ulPredecessor;
  bool bExtraPassWhenPrinted;
};
constexpr PanelChangeRule kPanelChangeRules[] = {
    {COLOR_BLUE, false, 0, 3, false},
    {COLOR_GREEN, false, 1, 0, true},
    {COLOR_RED, false, 2, 1, false},
    {COLOR_RED, true, 3, 2, false},
};

uint32_t UnitPrintedBit() { return 1u << (GetCurrentUnit() & 1u); }

// The first rule the change from P to N matches (null for none), and the
// last difference computed.
const PanelChangeRule* MatchPanelChange(const uint16_t* pusPrev, const uint16_t* pusNew, int32_t lThreshold,
                                        int32_t* plDiff) {
  for (const PanelChangeRule& rule : kPanelChangeRules) {
    const int32_t lRise = static_cast<int32_t>(pusNew[rule.eChannel]) - static_cast<int32_t>(pusPrev[rule.eChannel]);
    *plDiff = rule.bFalls ? -lRise : lRise;
    if (*plDiff > lThreshold) return &rule;
  }
  return nullptr;
}

int32_t RewindTowardsPanel0(uint32_t ulCounts, uint32_t ulMask) {
  return WindRibbonToCount(kFirstReversePhase, kReverse, ulCounts, ulMask, 1, nullptr, nullptr, kWindRetries, 1);
}

bool DriveMode2() { return g_ulEngModeA == 2; }

// Drive mode 2 holds the supply back through the first search of an
// attempt: the rewind clutch on, the supply motor forward at full duty.
void HoldSupply() {
  g_pDonorMng->SetKeepClutch(1);
  g_pCurClutchRibRvs->On();
  g_pCurChopMotorRibSrc->SetDuty(ribbonseq::kFullDuty);
  g_pCurChopMotorRibSrc->Forward();
}
void ReleaseSupply() {
  g_pCurChopMotorRibSrc->Stop();
  g_pCurClutchRibRvs->Off();
  g_pDonorMng->SetKeepClutch(0);
}

}  // namespace

const DonorOrderOps g_DonorOrderOps = {Calib2th, SearchNextPanel, RewindTowardsPanel0};

int32_t StepPanelIndex(uint32_t ulIndex, int32_t lDelta, uint32_t* pulOut) {
  if (lDelta < 0 && static_cast<uint32_t>(-lDelta) > ulIndex) ulIndex += kDonorPanels;
  *pulOut = (ulIndex + static_cast<uint32_t>(lDelta)) & (kDonorPanels - 1);
  return 0;
}

int32_t PanelForwardPhase(uint32_t ulIndex, uint32_t* pulPhase) {
  if (ulIndex < kDonorPanels) *pulPhase = kFirstForwardPhase + 2 * ulIndex;
  return 0;
}

int32_t PanelReversePhase(uint32_t ulIndex, uint32_t* pulPhase) {
  if (ulIndex < kDonorPanels) *pulPhase = kFirstReversePhase + ulIndex;
  return 0;
}

int32_t ApplyBarcodeSlice(uint32_t ulLowest, uint32_t ulHighest) {
  RecordBarcodeLevels(ulLowest, ulHighest);
  return g_pCurParamSliceBarcode->SetValue(static_cast<int32_t>(((ulHighest + ulLowest) / 2) / 4));
}

int32_t SearchNextPanel(const uint16_t* pusReference, int32_t lThreshold, uint32_t ulMask) {
  enum : uint32_t { START = 0, TIGHTEN = 10, CLOCK = 20, WATCH = 30 };
  uint32_t ulStartCount = 0;
  uint32_t ulStartUs = 0;
  uint32_t ulChanges = 0;
  return RunSteps(START, SEQ_STEP_END, ulMask, [&](SeqStepState& s) -> uint32_t {
    switch (s.ulStep) {
      case START:
        ulStartCount = CountOf(g_pCurSlitRibEncSrc);
        s.lResult = g_pDonorMng->SetRibbonPhase(kTakeUpForwardPhase, kForward);
        return TIGHTEN;
      case TIGHTEN:
        s.lResult = TightenRibbon(1000, 2, ulMask);
        return CLOCK;
      case CLOCK:
        ulStartUs = g_UsTimer.NowUs();
        ulChanges = 0;
        return WATCH;
      case WATCH: {
        // Only the manager's stall watch counts here; there is no target.
        uint32_t ulIgnored = 0;
        s.lResult = g_pDonorMng->IsAtTarget(1, &ulIgnored);
        if (s.lResult != 0) return SEQ_STEP_END;
        uint32_t ulClass = 0;
        uint32_t ulDone = 0;
        uint16_t ausReading[COLOR_COUNT] = {};
        g_pCurColorSensorSet->ClassifyPanel(&ulClass, ausReading, &ulDone);
        if (ulDone != 0) {
          uint32_t ulChanged = 0;
          IsColorChanged(pusReference, ausReading, lThreshold, &ulChanged);
          if (ulChanged != 0 && ++ulChanges == kChangesAtNextPanel) return SEQ_STEP_END;
        }
        if (EncoderDistance(ulStartCount, CountOf(g_pCurSlitRibEncSrc)) > kSearchCountLimit ||
            ribbonseq::TimedOut(ulStartUs, kSearchTimeLimitMs)) {
          s.lResult = ribbonseq::RaiseRibbonEmpty();
          return SEQ_STEP_END;
        }
        return WATCH;
      }
      case SEQ_STEP_END:
        g_pDonorMng->StopRibbon(1, 1);
        return SEQ_STEP_END;
      default:
        s.lResult = -1;
        return SEQ_STEP_END;
    }
  });
}

int32_t DonorSlackStep(uint32_t ulMask) {
  int32_t lSteps = 0;
  int32_t lCounts = 0;
  g_ParamSlackNum1.GetValue(&lSteps);
  g_ParamSlit1.GetValue(&lCounts);
  if (lSteps == 0) return 0;
  int32_t lResult = MoveRibbonInSteps(static_cast<uint32_t>(lCounts), static_cast<uint32_t>(lSteps), ulMask);
  if (lResult == 0) lResult = SeqWaitMs(1000, ulMask);
  g_pDonorMng->StopRibbon(1, 1);
  return lResult;
}

int32_t FindDonorPanelOrder(uint32_t ulMask, const DonorOrderOps& ops, DonorReadingSlot* pSlots,
                            DonorOrder* pOrder) {
  enum : uint32_t { ATTEMPT = 10, FIRST_READING = 20, PASS = 30, SEARCH = 40, READING = 50, IDENTIFY = 60,
                    FAILED = 70 };
  *pOrder = DonorOrder{kNoPanel, {}, 0, kDonorStartThreshold, 0, 0};
  DonorOrder& o = *pOrder;
  uint32_t ulPassLimit = kPassLimit;
  bool bExtra = false;
  uint32_t ulSlot = 0;
  uint32_t ulAttemptStart = 0;
  uint32_t ulPassStart = 0;
  int32_t lDiff = 0;
  const uint16_t* pusPrev = nullptr;
  g_pCurSlitRibEncSrc->Clear();
  g_pCurSlitRibEncDst->Clear();
  g_pCurSlitRibEncSrc->Start();
  g_pCurSlitRibEncDst->Start();
  return RunSteps(ATTEMPT, SEQ_STEP_END, ulMask, [&](SeqStepState& s) -> uint32_t {
    uint32_t ulClass = 0;
    switch (s.ulStep) {
      case ATTEMPT:
        bExtra = false;
        ulPassLimit = kPassLimit;
        if (DriveMode2()) {
          s.lResult = DonorSlackStep(ulMask);
          if (s.lResult == 0) HoldSupply();
        }
        return FIRST_READING;
      case FIRST_READING:
        ulSlot = 0;
        for (const uint16_t*& pusPanel : o.apusPanels) pusPanel = nullptr;
        ulAttemptStart = CountOf(g_pCurSlitRibEncSrc);
        s.lResult = ops.pfnCalib(&ulClass, pSlots[0], o.lThreshold, ulMask);
        pusPrev = pSlots[0];
        o.ulPanel = kNoPanel;
        o.ulPasses = 0;
        return PASS;
      case PASS:
        if (o.ulPasses >= ulPassLimit) return SEQ_STEP_END;
        ++o.ulPasses;
        return SEARCH;
      case SEARCH: {
        const uint32_t ulBefore = CountOf(g_pCurSlitRibEncSrc);
        s.lResult = ops.pfnSearch(pusPrev, o.lThreshold, ulMask);
        if (o.ulPasses == 1 && DriveMode2()) ReleaseSupply();
        o.ulSearchDistance = static_cast<uint32_t>(EncoderDistance(ulBefore, CountOf(g_pCurSlitRibEncSrc)));
        return READING;
      }
      case READING:
        ulPassStart = CountOf(g_pCurSlitRibEncSrc);
        ++ulSlot;
        s.lResult = ops.pfnCalib(&ulClass, pSlots[ulSlot], o.lThreshold, ulMask);
        return IDENTIFY;
      case IDENTIFY: {
        const uint16_t* pusNew = pSlots[ulSlot];
        const PanelChangeRule* pRule = MatchPanelChange(pusPrev, pusNew, o.lThreshold, &lDiff);
        if (pRule == nullptr) return FAILED;
        bool bInOrder = true;
        if (o.ulPanel == kNoPanel) {
          o.apusPanels[pRule->ulPredecessor] = pusPrev;
          if (pRule->bExtraPassWhenPrinted && (g_ulUnitsPrinted & UnitPrintedBit()) != 0 && o.ulPasses == 1) {
            ++ulPassLimit;
            bExtra = true;
          }
        } else {
          bInOrder = o.ulPanel == pRule->ulPredecessor;
        }
        o.apusPanels[pRule->ulPanel] = pusNew;
        g_ulUnitsPrinted &= ~UnitPrintedBit();
        pusPrev = pusNew;
        o.ulPanel = pRule->ulPanel;
        return bInOrder ? PASS : FAILED;
      }
      case FAILED:
        ++o.ulAttempts;
        if (o.ulAttempts > kAttemptsAsTheRibbonStands) {
          s.lResult = ribbonseq::RaiseRibbonEmpty();
          return SEQ_STEP_END;
        }
        if (o.ulAttempts == kAttemptsAsTheRibbonStands) return ATTEMPT;
        // After a wrong panel order the difference is larger than the
        // threshold; the retry never goes below the panel classes' margin,
        // or every later comparison would read as a change.
        o.lThreshold -= lDiff;
        if (o.lThreshold < kDonorLeastThreshold) o.lThreshold = kDonorLeastThreshold;
        s.lResult = ops.pfnRewind(
            static_cast<uint32_t>(EncoderDistance(bExtra ? ulPassStart : ulAttemptStart, CountOf(g_pCurSlitRibEncSrc))),
            ulMask);
        bExtra = false;
        if (s.lResult == 0) s.lResult = SeqWaitMs(300, ulMask);
        return ATTEMPT;
      case SEQ_STEP_END:
        return SEQ_STEP_END;
      default:
        s.lResult = -1;
        return SEQ_STEP_END;
    }
  });
}

int32_t CheckDonor1st(uint32_t ulMask) {
  TraceTimeStamp("Check Donor(1st Roll up) =");
  DonorReadingSlot aSlots[kDonorSlots] = {};
  DonorOrder order{};
  int32_t lResult = FindDonorPanelOrder(ulMask, g_DonorOrderOps, aSlots, &order);
  if (lResult == 0) {
    g_pRibbonRoll->SetPanelIndex(order.ulPanel);
    TraceTimeStamp("Check Donor (1st Roll Back) =");
    const uint16_t* const* pp = order.apusPanels;
    SetColorThresholds(pp[0], pp[1], pp[2], pp[3]);
    RecordColorCalibration(pp[0], pp[1], pp[2], pp[3]);
    uint32_t ulHighest = 0;
    uint32_t ulLowest = 65535;
    uint32_t ulTarget = 0;
    uint32_t ulPhase = 0;
    StepPanelIndex(order.ulPanel, -2, &ulTarget);
    PanelReversePhase(ulTarget, &ulPhase);
    lResult = SeqWaitMs(300, ulMask);
    if (lResult == 0) lResult = WindToPanelColor(ulPhase, ulMask, &ulHighest, &ulLowest, 0, 0, kWindRetries);
    if (lResult == 0) {
      ApplyBarcodeSlice(ulLowest, ulHighest);
      lResult = WindRibbonToCount(ulPhase, kReverse, order.ulSearchDistance / 2, ulMask, 1, nullptr, nullptr,
                                  kWindRetries, 1);
    }
    if (lResult == 0) g_pRibbonRoll->SetPanelIndex(ulTarget);
  }
  if (lResult != 0) {
    g_pDonorMng->SetKeepClutch(0);
    g_pDonorMng->StopRibbon(1, 1);
  }
  g_ulUnitsPrinted &= ~UnitPrintedBit();
  return lResult;
}
