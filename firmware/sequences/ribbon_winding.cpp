#include "firmware/sequences/ribbon_winding.h"

#include "firmware/devices/settings.h"
#include "firmware/mechanism/donor_mng.h"
#include "firmware/mechanism/step_machine.h"
#include "firmware/sequences/ribbon_sequence_helpers.h"

namespace {

using ribbonseq::kForward;
using ribbonseq::ClearRibbonEmpty;
using ribbonseq::TrackBarcode;

constexpr uint32_t kRollBackPhase = 8;
constexpr uint32_t kHomePhase = 9;
constexpr uint32_t kHomeValue = 32768;
constexpr uint32_t kHomeCountMask = 0x3FFF;

// The roll-back after a ribbon fault: the encoders kept, the index cleared,
// the ribbon wound back in phase 8 and tightened. Runs the waits with the
// caller's mask; 0 or the first failure.
int32_t RollBackAndTighten(uint32_t ulRelease, uint32_t ulMask) {
  int32_t lResult = g_pDonorMng->StopRibbon(1, ulRelease);
  ClearRibbonEmpty();
  if (lResult == 0) lResult = SeqWaitMs(300, ulMask);
  if (lResult == 0) lResult = g_pCurSlitRibEncSrc->Start();
  if (lResult == 0) lResult = g_pDonorMng->SetRibbonPhase(kRollBackPhase, kForward);
  if (lResult == 0) lResult = SeqWaitMs(300, ulMask);
  if (lResult == 0) lResult = TightenRibbon(2500, 2, ulMask);
  if (lResult == 0) lResult = g_pDonorMng->StopRibbon(1, ulRelease);
  if (lResult == 0) lResult = SeqWaitMs(300, ulMask);
  return lResult;
}

}  // namespace

int32_t RibbonDummyRun(uint32_t ulMask) {
  return RunSteps(SEQ_STEP_END, SEQ_STEP_ERROR, ulMask, [](SeqStepState&) { return SEQ_STEP_END; });
}

int32_t TightenRibbon(uint32_t ulIntervalMs, uint32_t ulCounts, uint32_t ulMask) {
  enum : uint32_t { START = 0, STEP = 10 };
  return RunSteps(START, SEQ_STEP_END, ulMask, [&](SeqStepState& s) -> uint32_t {
    switch (s.ulStep) {
      case START:
        s.lResult = g_pDonorMng->StartTighten(ulIntervalMs, ulCounts);
        return STEP;
      case STEP: {
        uint32_t ulDone = 0;
        s.lResult = g_pDonorMng->StepTighten(&ulDone);
        return ulDone != 0 ? SEQ_STEP_END : STEP;
      }
      case SEQ_STEP_END:
        return SEQ_STEP_END;
      default:
        s.lResult = -1;
        return SEQ_STEP_END;
    }
  });
}

int32_t WindRibbonToCount(uint32_t ulPhase, uint32_t ulDirection, uint32_t ulCounts, uint32_t ulMask,
                          uint32_t ulStopAtEnd, uint32_t* pulBarcodeMax, uint32_t* pulBarcodeMin,
                          uint32_t ulRetries, uint32_t ulRelease) {
  enum : uint32_t { START = 0, WIND = 100, RETRY = 200, DONE = 300 };
  return RunSteps(START, SEQ_STEP_ERROR, ulMask, [&](SeqStepState& s) -> uint32_t {
    switch (s.ulStep) {
      case START:
        s.lResult = g_pDonorMng->SetTarget(ulCounts);
        if (s.lResult == 0) s.lResult = g_pDonorMng->SetRibbonPhase(ulPhase, ulDirection);
        return WIND;
      case WIND: {
        uint32_t ulDone = 0;
        const int32_t lFault = g_pDonorMng->IsAtTarget(1, &ulDone);
        TrackBarcode(pulBarcodeMax, pulBarcodeMin);
        if (ulDone != 0) return DONE;
        return lFault != 0 ? RETRY : WIND;
      }
      case RETRY: {
        if (ulRetries == 0) {
          s.lResult = -1;
          return SEQ_STEP_ERROR;
        }
        --ulRetries;
        int32_t lRemaining = 0;
        g_pDonorMng->GetRemainingCount(&lRemaining);
        s.lResult = RollBackAndTighten(ulRelease, ulMask);
        ulCounts = lRemaining > 0 ? static_cast<uint32_t>(lRemaining) + 2u : 2u;
        return START;
      }
      case DONE:
      case SEQ_STEP_ERROR:
        if (ulStopAtEnd == 1) g_pDonorMng->StopRibbon(1, ulRelease);
        return SEQ_STEP_END;
      case SEQ_STEP_END:
        return SEQ_STEP_END;
      default:
        s.lResult = -1;
        return SEQ_STEP_END;
    }
  });
}

int32_t WindToPanelColor(uint32_t ulPhase, uint32_t ulMask, uint32_t* pulBarcodeMax, uint32_t* pulBarcodeMin,
                         uint32_t ulStopAtEnd, uint32_t ulResetSensors, uint32_t ulRetries) {
  enum : uint32_t { START = 0, SEARCH = 100, RETRY = 200, DONE = 300 };
  return RunSteps(START, SEQ_STEP_ERROR, ulMask, [&](SeqStepState& s) -> uint32_t {
    switch (s.ulStep) {
      case START:
        s.lResult = g_pDonorMng->StartPhase(ulPhase, 0);
        if (s.lResult == 0) s.lResult = TightenRibbon(1000, 2, ulMask);
        return SEARCH;
      case SEARCH: {
        uint32_t ulFound = 0;
        const int32_t lMeasured = g_pDonorMng->MeasurePanelColor(1, &ulFound);
        if (ulFound != 0) return DONE;
        if (lMeasured != 0) return RETRY;
        TrackBarcode(pulBarcodeMax, pulBarcodeMin);
        return SEARCH;
      }
      case RETRY:
        if (ulRetries == 0) {
          s.lResult = -1;
          return SEQ_STEP_ERROR;
        }
        --ulRetries;
        s.lResult = RollBackAndTighten(1, ulMask);
        return START;
      case DONE:
      case SEQ_STEP_ERROR:
        if (ulStopAtEnd == 1) g_pDonorMng->StopRibbon(1, 1);
        if (s.ulStep == DONE && ulResetSensors == 1) g_pCurColorSensorSet->Reset();
        return SEQ_STEP_END;
      case SEQ_STEP_END:
        return SEQ_STEP_END;
      default:
        s.lResult = -1;
        return SEQ_STEP_END;
    }
  });
}

int32_t ReturnDonorHome(uint32_t ulMask) {
  enum : uint32_t { STORE = 0, WIND = 100, HOME = 200 };
  uint32_t ulCounts = 0;
  return RunSteps(STORE, SEQ_STEP_ERROR, ulMask, [&](SeqStepState& s) -> uint32_t {
    switch (s.ulStep) {
      case STORE: {
        const uint32_t ulValue = static_cast<uint32_t>(SettingValue(g_ParamDonorHomePosi)) & kHomeCountMask;
        ulCounts = ulValue - (ulValue >> 3);
        s.lResult = g_ParamDonorHomePosi.SetValue(static_cast<int32_t>(ulCounts));
        return WIND;
      }
      case WIND:
        s.lResult = WindRibbonToCount(kHomePhase, kForward, ulCounts, ulMask, 1, nullptr, nullptr, 0, 1);
        return HOME;
      case HOME:
        s.lResult = g_ParamDonorHomePosi.SetValue(static_cast<int32_t>(kHomeValue));
        return SEQ_STEP_END;
      case SEQ_STEP_ERROR:
      case SEQ_STEP_END:
        return SEQ_STEP_END;
      default:
        s.lResult = -1;
        return SEQ_STEP_END;
    }
  });
}
