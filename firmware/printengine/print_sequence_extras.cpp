// Support operations that only the service and bench code use.
#include "firmware/control/error_manager.h"
#include "firmware/control/event_set.h"
#include "firmware/control/engine_variant.h"
#include "firmware/devices/paper_position.h"
#include "firmware/devices/settings.h"
#include "firmware/devices/slit.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/mechanism/donor_mng.h"
#include "firmware/mechanism/main_pinch.h"
#include "firmware/mechanism/simple_positioners.h"
#include "firmware/mechanism/step_machine.h"
#include "firmware/platform/time_base.h"
#include "firmware/printengine/plane_sequencer.h"
#include "firmware/printengine/print_job_queue.h"
#include "firmware/printengine/print_sequence_support.h"
#include "firmware/printengine/print_support.h"
#include "firmware/sequences/ribbon_winding.h"
#include "firmware/service/service_menus.h"

namespace {

constexpr uint32_t kHomePositionMask = 0xC000;
constexpr uint32_t kHomePositionOvercoat = 0x8000;
constexpr uint32_t kStopRibbonEmpty = 1, kStopPaperEnd = 2;

// The re-positioning's tighten, and the kind that tolerates an empty ribbon.
constexpr uint32_t kTightenIntervalMs = 1000, kTightenCounts = 10;
constexpr uint32_t kKindRibbonEmptyAllowed = 8;

// The bench's plane: Y, its paper drive, one line step a millisecond while
// the plane runs (the low byte of its state 1).
constexpr uint32_t kPlaneRunning = 1, kPlaneStateLowByte = 0xFF;

bool RibbonEmptySet() {
  uint32_t ulSet = 0;
  g_ErrorMng.IsErrorSet(g_ulCurErrRibbonEmpty, &ulSet);
  return ulSet != 0;
}

// The head, then after time 1 the eject pinch and the main pinch, stepped
// until time 2 has passed and all three are done.
int32_t MoveHeadThenPinches(uint32_t ulHeadPosition, uint32_t ulEjectPosition, uint32_t ulMainRequest,
                            uint32_t ulTime1Ms, uint32_t ulTime2Ms, uint32_t ulMask) {
  enum : uint32_t { START = 0, HEAD = 10, PINCHES = 20, ALL = 30 };
  uint32_t ulStartMs = 0;
  bool bHead = false, bEject = false, bMain = false;
  const auto step = [](auto* pPositioner, bool& bDone) -> int32_t {
    if (bDone) return 0;
    int32_t lDone = 0;
    const int32_t lResult = pPositioner->Step(&lDone);
    bDone = lDone != 0;
    return lResult;
  };
  return RunSteps(START, SEQ_STEP_END, ulMask, [&](SeqStepState& s) -> uint32_t {
    const uint32_t ulElapsed = g_MsTimer.NowMs() - ulStartMs;
    switch (s.ulStep) {
      case START:
        ulStartMs = g_MsTimer.NowMs();
        s.lResult = g_pCurHeadLift->StartMove(ulHeadPosition);
        return HEAD;
      case HEAD:
        s.lResult = step(g_pCurHeadLift, bHead);
        return ulElapsed >= ulTime1Ms ? PINCHES : HEAD;
      case PINCHES:
        s.lResult = g_EjectPinch.StartMove(ulEjectPosition);
        if (s.lResult == 0) s.lResult = g_pProllMain->Move(ulMainRequest, g_ulCurrentUnit);
        return ALL;
      case ALL:
        s.lResult = step(g_pCurHeadLift, bHead);
        if (s.lResult == 0) s.lResult = step(&g_EjectPinch, bEject);
        if (s.lResult == 0) s.lResult = step(g_pProllMain, bMain);
        return ulElapsed >= ulTime2Ms && bHead && bEject && bMain ? SEQ_STEP_END : ALL;
      case SEQ_STEP_END:
        return SEQ_STEP_END;
      default:
        s.lResult = -1;
        return SEQ_STEP_END;
    }
  });
}

}  // namespace

int32_t GetClutchFeedParams(uint32_t ulPlaneCode, uint32_t* pulDuty, uint32_t* pulLength) {
  const bool bOvercoat = ulPlaneCode == PLANE_L;
  *pulDuty = static_cast<uint32_t>(SettingValue(bOvercoat ? g_ParamPaperDuty2 : g_ParamPaperDuty1));
  *pulLength = static_cast<uint32_t>(SettingValue(bOvercoat ? g_ParamPaperLength2 : g_ParamPaperLength1));
  return 0;
}

int32_t GetSkewCycle(uint32_t* pulCycle) {
  *pulCycle = static_cast<uint32_t>(SettingValue(g_ParamSkewCycle));
  return 0;
}

int32_t GetPrintStopFlags(uint32_t* pulFlags) {
  uint32_t ulEmpty = 0;
  g_ErrorMng.IsErrorSet(g_ulCurErrRibbonEmpty, &ulEmpty);
  const bool bPaperEnd = IsEventPending(EV_PAPER_END);
  *pulFlags = (ulEmpty != 0 ? kStopRibbonEmpty : 0u) | (bPaperEnd ? kStopPaperEnd : 0u);
  return bPaperEnd ? -1 : 0;
}

int32_t GetPassStepMode(uint32_t* pulMode, uint32_t ulFlag, uint32_t ulPlaneCode) {
  if (ulFlag != 0) {
    const uint32_t ulHome = static_cast<uint32_t>(SettingValue(g_ParamDonorHomePosi)) & kHomePositionMask;
    *pulMode = ulPlaneCode == PLANE_L && ulHome != kHomePositionOvercoat ? 2u : 1u;
  } else {
    *pulMode = g_pRibbonRoll->GetCorrectionAllowed() == 1 && ulPlaneCode != PLANE_C ? 2u : 1u;
  }
  return 0;
}

int32_t EstimateSubSteps(uint32_t* pulSteps, uint32_t ulLines) {
  const uint32_t ulMarks = static_cast<uint32_t>(SettingValue(g_ParamPlaneFlagLinesY));
  const uint32_t ulPrinted = g_aulPlaneLines[PLANE_Y];
  // A plane that printed no more than its marks gives no rate.
  if (ulPrinted <= ulMarks) return -1;
  *pulSteps = g_aulPlaneSubSteps[PLANE_Y] * ulLines / (ulPrinted - ulMarks) / 4;
  return 0;
}

int32_t RepositionHeadAndPinches(uint32_t ulHeadPosition, uint32_t ulEjectPosition, uint32_t ulMainRequest,
                                 uint32_t ulKind, uint32_t ulTime1Ms, uint32_t ulTime2Ms, uint32_t ulMask) {
  g_pCurSlitRibEncSrc->Stop();
  // Host commands wait until the mechanism stands.
  int32_t lResult = MoveHeadThenPinches(ulHeadPosition, ulEjectPosition, ulMainRequest, ulTime1Ms, ulTime2Ms,
                                        WithoutHostCheck(ulMask));
  if (lResult != 0) return lResult;
  // The tighten watches the supply counter: counting again, or it could
  // never see the supply turn.
  g_pCurSlitRibEncSrc->Start();
  lResult = g_pDonorMng->SetRibbonPhase(0, 1);
  if (lResult == 0) lResult = TightenRibbon(kTightenIntervalMs, kTightenCounts, ulMask);
  if (lResult != 0) return RibbonEmptySet() && ulKind == kKindRibbonEmptyAllowed ? 0 : -1;
  return g_pDonorMng->StopRibbon(1, 0);
}

int32_t PlaneBenchLoop() {
  uint32_t ulReady = 0;
  for (;;) {
    RunModeMenu();
    g_PrintJobQueue.GetReadyJobCount(&ulReady);
    if (ulReady != 0) break;
    // A job can only arrive while host commands are served.
    SeqWaitMs(1, SEQ_CHECK_HOST);
  }
  int32_t lResult = g_PlaneSequencer.StartPlane(0, 0);
  if (lResult == 0) lResult = g_PlaneSequencer.PlanPlane(PLANE_Y);
  if (lResult != 0) return lResult;
  g_PaperPosition.SetParam(PAPER_PARAM_NO_STOP, 0);
  g_PaperPosition.SetParam(PAPER_PARAM_EXCITATION_MODE, 2);
  g_PaperPosition.SetParam(PAPER_PARAM_MAIN_PROFILE, 1);
  g_PaperPosition.SetParam(PAPER_PARAM_SUB_PROFILE, 1);
  uint32_t ulState = 0;
  g_PlaneSequencer.GetState(&ulState);
  while ((ulState & kPlaneStateLowByte) == kPlaneRunning) {
    g_PlaneSequencer.OnLine();
    SeqWaitMs(1, 0);
    g_PlaneSequencer.GetState(&ulState);
  }
  return 0;
}
