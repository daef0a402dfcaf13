// The step before a sheet that prints the overcoat alone: the DSP copies
// the overcoat image while the ribbon winds to its overcoat panel, then the
// paper returns to the position sensor.
#include <initializer_list>

#include "firmware/control/engine_variant.h"
#include "firmware/control/event_set.h"
#include "firmware/devices/slit.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/mechanism/donor_mng.h"
#include "firmware/mechanism/paper_moves.h"
#include "firmware/mechanism/ribbon_roll.h"
#include "firmware/mechanism/roll_encoder_checks.h"
#include "firmware/mechanism/step_machine.h"
#include "firmware/mechanism/unit_moves.h"
#include "firmware/printengine/dsp_image_job.h"
#include "firmware/printengine/print_sequence_support.h"
#include "firmware/printengine/print_size.h"
#include "firmware/printengine/print_support.h"
#include "firmware/sequences/ribbon_winding.h"

namespace {

constexpr uint32_t kFeedPinchUp = 1;
constexpr int32_t kPastReference = 36;
constexpr uint32_t kMainProfile = 14, kSubProfile = 20;
constexpr uint32_t kOvercoatSearchPhase = 4;
constexpr uint32_t kOvercoatWindPhase = 14;

void CountRibbon(bool bOn) {
  for (CSlit* pSlit : {g_pCurSlitRibEncDst, g_pCurSlitRibEncSrc}) {
    if (bOn) {
      pSlit->Start();
    } else {
      pSlit->Stop();
    }
  }
}

}  // namespace

int32_t OvercoatOnlyPreStep(ImageSlot*, uint32_t ulMask) {
  g_pRibbonRoll->ReduceOvercoatStop();
  return RunSteps(1000, SEQ_STEP_ERROR, ulMask, [&](SeqStepState& s) -> uint32_t {
    switch (s.ulStep) {
      case 1000:
        s.lResult = MoveFeedPinch(kFeedPinchUp, ulMask);
        return 1100;
      case 1100:
        s.lResult = MovePaperTo(g_ulEngPosRefA, kPastReference, 1, 1, kMainProfile, kSubProfile, ulMask);
        return 1500;
      case 1500:
        s.lResult = RequestDspImageCopy(&g_PrintSize8x12, DSP_IMAGE_DESTINATION);
        return 1510;
      case 1510:
        s.lResult = KickDspImageJob();
        return 2000;
      case 2000:
        CountRibbon(true);
        return 2100;
      case 2100:
        s.lResult = g_pDonorMng->StartPanelSearch(kOvercoatSearchPhase);
        if (s.lResult == 0) s.lResult = g_pDonorMng->StopRibbon(1, 0);
        return 2200;
      case 2200:
        s.lResult = g_pDonorMng->SetRibbonPhase(kOvercoatWindPhase, 1);
        return 2300;
      case 2300: {
        uint32_t ulDone = 0;
        s.lResult = g_pDonorMng->Step(&ulDone);
        return ulDone != 0 ? 2500u : 2300u;
      }
      case 2500:
        CountRibbon(false);
        return 2800;
      case 2800:
        s.lResult = WaitDspImageRequest();
        return 3000;
      case 3000:
        s.lResult = TakeUpRibbonSlack(0, 0, ulMask);
        return 3100;
      case 3100:
        s.lResult = MovePaperTo(PAPER_AT_POSITION_SENSOR, 0, 1, 1, kMainProfile, kSubProfile, ulMask);
        return 3200;
      case 3200:
        s.lResult = g_pDonorMng->StopRibbon(1, 1);
        return 3300;
      case 3300: {
        uint32_t ulRollEnd = 0;
        s.lResult = RollEncoderFeedCheck(&ulRollEnd, ROLL_CHECK_NO_CIS, nullptr, nullptr, nullptr, ulMask);
        if (s.lResult == 0 && IsEventPending(EV_PAPER_END)) s.lResult = -1;
        return SEQ_STEP_ERROR;
      }
      case SEQ_STEP_ERROR: {
        // A copy still running is waited for on every way out (one never
        // kicked, or already waited for, is not); a failure before keeps
        // its own result.
        const int32_t lWait = g_bDspBusy != 0 ? WaitDspImageRequest() : 0;
        if (s.lResult == 0) s.lResult = lWait;
        return SEQ_STEP_END;
      }
      case SEQ_STEP_END:
        return SEQ_STEP_END;
      default:
        s.lResult = -1;
        return SEQ_STEP_ERROR;
    }
  });
}
