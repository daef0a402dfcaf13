#include "firmware/control/engine_variant.h"
#include "firmware/devices/encoder_count.h"
#include "firmware/devices/paper_position.h"
#include "firmware/devices/stepper.h"
#include "firmware/mechanism/donor_mng.h"
#include "firmware/mechanism/paper_moves.h"
#include "firmware/mechanism/ribbon_roll.h"
#include "firmware/mechanism/step_machine.h"
#include "firmware/sequences/ribbon_sequence_helpers.h"
#include "firmware/sequences/ribbon_winding.h"

namespace {

using ribbonseq::kFullDuty;
using ribbonseq::kReverse;
using ribbonseq::kForward;
using ribbonseq::ClearRibbonEmpty;
using ribbonseq::CountOf;
using ribbonseq::RaiseRibbonEmpty;
using ribbonseq::TimedOut;

constexpr uint32_t kSlackLimitMs = 5000;
constexpr int32_t kTautCounts = 2;
constexpr uint32_t kSlackPhase = 16;
constexpr uint32_t kTightenPhase = 25;
constexpr uint32_t kStoppedPhase = 0;
constexpr uint32_t kSlackMargin = 20;
constexpr uint32_t kSlackPaperLines = 197;

bool PaperSteppersIdle() {
  int32_t lMain = STPMTR_IDLE, lSub = STPMTR_IDLE;
  g_StpmtrMain.GetState(&lMain);
  g_StpmtrSub.GetState(&lSub);
  return lMain == STPMTR_IDLE && lSub == STPMTR_IDLE;
}

// The take-up's counts as supply counts, through the length on the roll.
uint32_t TakeUpAsSupplyCounts(uint32_t ulTakeUpCounts) {
  uint32_t ulLines = 0, ulCounts = 0;
  g_pRibbonRoll->CountToLength(RIBBON_SIDE_TAKE_UP, ulTakeUpCounts, &ulLines);
  g_pRibbonRoll->LengthToCount(RIBBON_SIDE_SUPPLY, ulLines, &ulCounts);
  return ulCounts;
}

uint32_t Moved(uint32_t ulFrom, CSlit* pSlit) {
  const int32_t lMoved = EncoderDistance(ulFrom, CountOf(pSlit));
  return lMoved > 0 ? static_cast<uint32_t>(lMoved) : 0u;
}

}  // namespace

int32_t TakeUpRibbonSlack(uint32_t ulCount, uint32_t ulSkip, uint32_t ulMask) {
  enum : uint32_t { CLUTCH = 100, PULL = 200, TAUT = 300, MEASURE = 400, WIND = 500, TIGHTEN = 600, LAST = 700 };
  uint32_t ulSupplyStart = 0, ulTakeUpStart = 0, ulStart = 0, ulSupplyMoved = 0, ulCounts = 0;
  if (ulCount != 0) ++*g_pCurSlackTakeUpCount;
  const uint32_t ulFirst = g_ulEngModeA == 1 || ulSkip != 0 ? LAST : CLUTCH;
  return RunSteps(ulFirst, SEQ_STEP_ERROR, ulMask, [&](SeqStepState& s) -> uint32_t {
    switch (s.ulStep) {
      case CLUTCH:
        s.lResult = g_pCurClutchRibRvs->On();
        return PULL;
      case PULL:
        g_pCurSlitRibEncSrc->Clear();
        g_pCurSlitRibEncSrc->Start();
        g_pCurSlitRibEncDst->Clear();
        g_pCurSlitRibEncDst->Start();
        ulSupplyStart = CountOf(g_pCurSlitRibEncSrc);
        ulTakeUpStart = CountOf(g_pCurSlitRibEncDst);
        ulStart = g_UsTimer.NowUs();
        // The supply spool must be free to turn: a supply left braked by
        // the last ribbon stop would hold the tape, and the take-up could
        // never make it move.
        g_pCurChopMotorRibSrc->Stop();
        g_pCurChopMotorRibDst->SetDuty(kFullDuty);
        g_pCurChopMotorRibDst->Forward();
        return TAUT;
      case TAUT:
        ulSupplyMoved = Moved(ulSupplyStart, g_pCurSlitRibEncSrc);
        if (ulSupplyMoved >= kTautCounts) return MEASURE;
        if (!TimedOut(ulStart, kSlackLimitMs)) return TAUT;
        s.lResult = RaiseRibbonEmpty();
        return SEQ_STEP_ERROR;
      case MEASURE:
        g_pCurChopMotorRibDst->Stop();
        ulCounts = TakeUpAsSupplyCounts(Moved(ulTakeUpStart, g_pCurSlitRibEncDst));
        s.lResult = SeqWaitMs(100, ulMask);
        ulCounts += ulSupplyMoved + kSlackMargin;
        return WIND;
      case WIND:
        s.lResult = WindRibbonWithPaperFeed(kSlackPhase, ulCounts, ulMask, 1, 3, 0, kSlackPaperLines, 0);
        return TIGHTEN;
      case TIGHTEN:
        s.lResult = SeqWaitMs(100, ulMask);
        if (s.lResult == 0) s.lResult = g_pDonorMng->SetRibbonPhase(kTightenPhase, kForward);
        if (s.lResult == 0) s.lResult = TightenRibbon(300, 20, ulMask);
        if (s.lResult == 0) s.lResult = g_pDonorMng->StopRibbon(1, 0);
        if (s.lResult == 0) s.lResult = SeqWaitMs(100, ulMask);
        return LAST;
      case LAST:
        s.lResult = g_pDonorMng->SetRibbonPhase(kStoppedPhase, kReverse);
        return SEQ_STEP_END;
      case SEQ_STEP_ERROR:
        g_pDonorMng->StopRibbon(0, 1);
        return SEQ_STEP_END;
      case SEQ_STEP_END:
        return SEQ_STEP_END;
      default:
        s.lResult = -1;
        return SEQ_STEP_END;
    }
  });
}

int32_t WindRibbonWithPaperFeed(uint32_t ulPhase, uint32_t ulCounts, uint32_t ulMask, uint32_t ulStopAtEnd,
                                uint32_t ulRetries, uint32_t ulRelease, uint32_t ulLines, uint32_t ulWaitMs) {
  enum : uint32_t { PAPER = 100, RIBBON = 200, WIND = 300, RETRY = 400, DONE = 500, ERROR = 9910 };
  uint32_t ulPoint = 0;
  g_PaperPosition.SetParam(PAPER_PARAM_NO_STOP, 0);
  g_PaperPosition.SetParam(PAPER_PARAM_EXCITATION_MODE, 2);
  g_PaperPosition.SetParam(PAPER_PARAM_MAIN_PROFILE, 0);
  g_PaperPosition.SetParam(PAPER_PARAM_SUB_PROFILE, PAPER_PROFILE_NONE);
  return RunSteps(PAPER, ERROR, ulMask, [&](SeqStepState& s) -> uint32_t {
    switch (s.ulStep) {
      case PAPER:
        g_PaperPosition.GetCurrentPoint(&ulPoint);
        s.lResult = g_PaperPosition.MoveLines(static_cast<int32_t>(ulLines));
        return RIBBON;
      case RIBBON:
        s.lResult = g_pDonorMng->SetTarget(ulCounts);
        if (s.lResult == 0) s.lResult = g_pDonorMng->SetRibbonPhase(ulPhase, kReverse);
        return WIND;
      case WIND: {
        uint32_t ulDone = 0;
        const int32_t lFault = g_pDonorMng->IsAtTarget(1, &ulDone);
        if (ulDone != 0) return DONE;
        return lFault != 0 || PaperSteppersIdle() ? RETRY : WIND;
      }
      case RETRY: {
        if (ulRetries == 0) {
          s.lResult = RaiseRibbonEmpty();
          return ERROR;
        }
        --ulRetries;
        g_pDonorMng->StopRibbon(1, ulRelease);
        ClearRibbonEmpty();
        g_PaperPosition.StopAtTarget();
        int32_t lRemaining = 0;
        s.lResult = SeqWaitMs(300, ulMask);
        g_pDonorMng->GetRemainingCount(&lRemaining);
        if (s.lResult == 0) s.lResult = MovePaperTo(ulPoint, 0, 1, 1, 0, PAPER_PROFILE_NONE, ulMask);
        const uint32_t ulRolledFrom = CountOf(g_pCurSlitRibEncSrc);
        g_pCurSlitRibEncSrc->Start();
        if (s.lResult == 0) s.lResult = g_pDonorMng->SetRibbonPhase(kTightenPhase, kForward);
        if (s.lResult == 0) s.lResult = SeqWaitMs(ulWaitMs, ulMask);
        if (s.lResult == 0) s.lResult = TightenRibbon(2500, 2, ulMask);
        g_pDonorMng->StopRibbon(1, ulRelease);
        if (s.lResult == 0) s.lResult = SeqWaitMs(300, ulMask);
        ulCounts = (lRemaining > 0 ? static_cast<uint32_t>(lRemaining) : 0u) + Moved(ulRolledFrom, g_pCurSlitRibEncSrc);
        return PAPER;
      }
      case DONE:
      case ERROR:
        if (ulStopAtEnd == 1) g_pDonorMng->StopRibbon(1, ulRelease);
        g_PaperPosition.StopAtTarget();
        return SEQ_STEP_END;
      case SEQ_STEP_END:
        return SEQ_STEP_END;
      default:
        s.lResult = -1;
        return SEQ_STEP_END;
    }
  });
}
