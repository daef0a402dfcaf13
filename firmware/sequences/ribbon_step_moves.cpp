#include "firmware/sequences/ribbon_step_moves.h"

#include "firmware/control/error_manager.h"
#include "firmware/devices/encoder_count.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/mechanism/ribbon_phases.h"
#include "firmware/mechanism/step_machine.h"
#include "firmware/platform/us_timer.h"
#include "firmware/sequences/ribbon_sequence_helpers.h"
#include "firmware/sequences/ribbon_step_drive.h"
#include "firmware/sequences/ribbon_winding.h"

namespace {

using ribbonseq::kForward;
using ribbonseq::kFullDuty;
using ribbonseq::CountOf;
using ribbonseq::RaiseRibbonEmpty;
using ribbonseq::TimedOut;

constexpr uint32_t kMoveLimitMs = 5000;
constexpr uint32_t kStillMs = 100;
constexpr uint32_t kWindPhase = 8;

}  // namespace

uint32_t RibbonPassShare(uint32_t ulCounts, uint32_t ulPasses, uint32_t ulPass) {
  if (ulPasses == 0) return 0;
  return ulCounts / ulPasses + (ulPass < ulCounts % ulPasses ? 1u : 0u);
}

int32_t RibbonStepNop(uint32_t) { return 0; }

int32_t MoveRibbonInSteps(uint32_t ulCounts, uint32_t ulSteps, uint32_t ulMask) {
  enum : uint32_t { CLUTCH = 0, DRIVE = 100, DRIVE_STEP = 110, SETTLE = 200, NEXT = 300 };
  uint32_t ulStep = 0;
  const int32_t lResult = RunSteps(CLUTCH, SEQ_STEP_ERROR, ulMask, [&](SeqStepState& s) -> uint32_t {
    switch (s.ulStep) {
      case CLUTCH:
        g_pCurClutchRibRvs->On();
        return DRIVE;
      case DRIVE:
        s.lResult = StartSupplyDrive(kFullDuty, ulCounts);
        return DRIVE_STEP;
      case DRIVE_STEP: {
        uint32_t ulDone = 0;
        s.lResult = StepSupplyDrive(&ulDone, 0);
        return ulDone != 0 ? SETTLE : DRIVE_STEP;
      }
      case SETTLE:
        s.lResult = SeqWaitMs(300, ulMask);
        if (s.lResult == 0) s.lResult = g_pDonorMng->SetRibbonPhase(kWindPhase, kForward);
        if (s.lResult == 0) s.lResult = TightenRibbon(1000, 2, ulMask);
        if (s.lResult == 0) s.lResult = g_pDonorMng->StopRibbon(1, 0);
        if (s.lResult == 0) s.lResult = SeqWaitMs(300, ulMask);
        return NEXT;
      case NEXT:
        ++ulStep;
        return ulStep == ulSteps ? SEQ_STEP_ERROR : DRIVE;
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
  uint32_t ulEmpty = 0;
  g_ErrorMng.IsErrorSet(g_ulCurErrRibbonEmpty, &ulEmpty);
  if (ulEmpty != 0) RibbonStepNop(ulMask);
  return lResult;
}

int32_t ShiftRibbonInPasses(uint32_t ulTakeUpCounts, uint32_t, uint32_t ulPasses, uint32_t* pulCarry,
                            uint32_t ulMask) {
  enum : uint32_t {
    PASS = 0,
    TAKE_UP = 100,
    TAKE_UP_WAIT = 110,
    SUPPLY = 200,
    SUPPLY_WAIT = 210,
    SUPPLY_STOP = 300,
    PAUSE = 400,
  };
  uint32_t ulPass = 0, ulCarry = 0, ulShare = 0, ulTakeUpStart = 0, ulStart = 0, ulSupplyCount = 0, ulStill = 0;
  const int32_t lResult = RunSteps(PASS, SEQ_STEP_ERROR, ulMask, [&](SeqStepState& s) -> uint32_t {
    switch (s.ulStep) {
      case PASS:
        if (ulPass == ulPasses) return SEQ_STEP_END;
        ulShare = RibbonPassShare(ulTakeUpCounts, ulPasses, ulPass);
        if (ulShare <= ulCarry) {
          ulCarry -= ulShare;
          return PAUSE;
        }
        ulShare -= ulCarry;
        ulCarry = 0;
        return TAKE_UP;
      case TAKE_UP:
        g_pCurSlitRibEncSrc->Clear();
        g_pCurSlitRibEncSrc->Start();
        g_pCurSlitRibEncDst->Clear();
        g_pCurSlitRibEncDst->Start();
        ulTakeUpStart = CountOf(g_pCurSlitRibEncDst);
        g_pCurChopMotorRibDst->SetDuty(kFullDuty);
        g_pCurChopMotorRibDst->Reverse();
        ulStart = g_UsTimer.NowUs();
        return TAKE_UP_WAIT;
      case TAKE_UP_WAIT:
        if (EncoderDistance(ulTakeUpStart, CountOf(g_pCurSlitRibEncDst)) > static_cast<int32_t>(ulShare)) {
          g_pCurChopMotorRibDst->Brake();
          return SUPPLY;
        }
        if (!TimedOut(ulStart, kMoveLimitMs)) return TAKE_UP_WAIT;
        // A take-up that cannot move (spent or torn ribbon, a jammed
        // encoder) must not hold the application at full duty.
        g_pCurChopMotorRibDst->Brake();
        s.lResult = RaiseRibbonEmpty();
        return SEQ_STEP_ERROR;
      case SUPPLY:
        g_pCurClutchRibRvs->On();
        g_pCurChopMotorRibSrc->SetDuty(kFullDuty);
        g_pCurChopMotorRibSrc->Reverse();
        s.lResult = SeqWaitMs(50, ulMask);
        ulStart = g_UsTimer.NowUs();
        ulStill = ulStart;
        ulSupplyCount = CountOf(g_pCurSlitRibEncSrc);
        return SUPPLY_WAIT;
      case SUPPLY_WAIT: {
        const uint32_t ulCount = CountOf(g_pCurSlitRibEncSrc);
        if (ulCount != ulSupplyCount) {
          ulSupplyCount = ulCount;
          ulStill = g_UsTimer.NowUs();
        }
        if (TimedOut(ulStill, kStillMs)) return SUPPLY_STOP;
        if (!TimedOut(ulStart, kMoveLimitMs)) return SUPPLY_WAIT;
        s.lResult = RaiseRibbonEmpty();
        return SEQ_STEP_ERROR;
      }
      case SUPPLY_STOP: {
        g_pCurChopMotorRibSrc->Stop();
        g_pCurClutchRibRvs->Off();
        const int32_t lOver = EncoderDistance(ulTakeUpStart, CountOf(g_pCurSlitRibEncDst)) - static_cast<int32_t>(ulShare);
        ulCarry = lOver > 0 ? static_cast<uint32_t>(lOver) : 0;
        return PAUSE;
      }
      case PAUSE:
        s.lResult = SeqWaitMs(200, ulMask);
        ++ulPass;
        return PASS;
      case SEQ_STEP_ERROR:
        g_pCurChopMotorRibSrc->Stop();
        g_pCurClutchRibRvs->Off();
        return SEQ_STEP_END;
      case SEQ_STEP_END:
        return SEQ_STEP_END;
      default:
        s.lResult = -1;
        return SEQ_STEP_END;
    }
  });
  *pulCarry = ulCarry;
  return lResult;
}
