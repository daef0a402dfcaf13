#include "firmware/control/event_frame.h"

#include <initializer_list>

#include "firmware/control/event_states.h"
#include "firmware/control/head_preheat.h"
#include "firmware/control/leds.h"
#include "firmware/control/power_save.h"
#include "firmware/hostif/update_handlers.h"
#include "firmware/printengine/print_sequence.h"
#include "firmware/sequences/event_actions.h"
#include "firmware/service/service_menus.h"

namespace {

constexpr uint32_t Bits(std::initializer_list<uint32_t> events) {
  uint32_t ulBits = 0;
  for (uint32_t e : events) ulBits |= 1u << e;
  return ulBits;
}

// Rows in the order of EventStateRowId.
using F = FrameKind;
using P = RoundPolicy;
constexpr uint32_t kKeysAndPrepare = Bits({EV_MENU_KEY, EV_PRECUT, EV_ROLLBACK_PAPER, EV_PREPARE_JOB});
constexpr uint32_t kKeys = Bits({EV_MENU_KEY, EV_PRECUT, EV_ROLLBACK_PAPER});
constexpr uint32_t kRollBack = Bits({EV_ROLLBACK_PAPER});

}  // namespace

constexpr EventStateRow g_EventStateRows[EVENT_STATE_ROWS] = {
    // ready A
    {F::Idle, P::ClearWhenIdle, 1, 0, kKeysAndPrepare, CEventMngReadyA::ServeMenuKeyA, 10,
     {36, 3, 13, 11, 21, 2, 33, 34, 35, 32}},
    // ready B: its print step is its own
    {F::Attention, P::ClearEveryPass, 1, 0, 0, nullptr, 1, {1}},
    // ready C
    {F::Idle, P::ClearWhenIdle, 1, 0, kKeys, CEventMngReadyA::ServeMenuKeyC, 9, {36, 3, 13, 11, 21, 32, 33, 34, 35}},
    // pre-ready
    {F::Attention, P::Keep, 1, 0, 0, nullptr, 9, {36, 4, 7, 5, 6, 8, 9, 18, 32}},
    // ready-loading
    {F::Attention, P::ClearEveryPass, 1, 0, 0, nullptr, 2, {4, 10}},
    // no paper
    {F::Attention, P::ClearEveryPass, 1, 0, kRollBack, nullptr, 10, {36, 3, 4, 10, 21, 32, 11, 33, 34, 35}},
    // load failure
    {F::Attention, P::ClearEveryPass, 1, 0, 0, nullptr, 8, {36, 3, 4, 21, 32, 33, 34, 35}},
    // paper removal
    {F::Attention, P::Keep, 1, 0, 0, nullptr, 8, {16, 36, 3, 21, 32, 33, 34, 35}},
    // half roll-back
    {F::Attention, P::ClearEveryPass, 1, 1, 0, nullptr, 10, {36, 3, 32, 11, 21, 33, 34, 35, 5, 9}},
    // no ribbon
    {F::Attention, P::ClearEveryPass, 1, 0, 0, nullptr, 9, {36, 3, 4, 11, 21, 32, 33, 34, 35}},
    // jam
    {F::Attention, P::ClearList, 1, 0, 0, nullptr, 10, {36, 3, 4, 11, 21, 32, 33, 34, 35, 19}},
    // cover open
    {F::Attention, P::ClearList, 0, 0, 0, nullptr, 7, {36, 3, 21, 32, 33, 34, 35}},
    // paper cover open
    {F::Attention, P::ClearList, 0, 0, 0, nullptr, 7, {36, 3, 21, 32, 33, 34, 35}},
    // control error
    {F::Attention, P::ClearEveryPass, 1, 0, 0, nullptr, 8, {36, 3, 4, 21, 32, 33, 34, 35}},
    // hardware error
    {F::Attention, P::ClearEveryPass, 0, 0, 0, nullptr, 7, {36, 3, 21, 32, 33, 34, 35}},
    // mechanism error
    {F::Attention, P::ClearEveryPass, 0, 0, 0, nullptr, 7, {36, 3, 21, 32, 33, 34, 35}},
};

constexpr uint8_t g_aucEventClearList[9] = {2, 1, 10, 11, 13, 3, 36, 20, 21};

int32_t RunPaperEndFollowUp() {
  uint32_t ulSet = 0;
  g_pCurEventMng->TestEvent(EV_PAPER_END, &ulSet);
  return ulSet != 0 ? PaperEndAction() : 0;
}

void CEventMngFramed::StartFrame() const {
  if (Row().eFrame != FrameKind::Attention) return;
  g_PreheatBoth.Reset();
  g_PowerSave.CancelTimer();
}

int32_t CEventMngFramed::Dispatch() {
  OnEnter();
  StartFrame();
  return EndPass(ServeEvents(0));
}

uint32_t CEventMngFramed::ServeEvents(uint32_t ulHandled, uint32_t ulFrom) const {
  const EventStateRow& row = Row();
  for (uint32_t i = ulFrom; i < row.ucCount && ulHandled == 0; ++i) {
    uint32_t ulSet = 0;
    g_pCurEventMng->TestEvent(row.aucOrder[i], &ulSet);
    if (ulSet == 0) continue;
    RunHandler(row.aucOrder[i]);
    ulHandled = 1;
  }
  return ulHandled;
}

void CEventMngFramed::RunHandler(uint32_t ulEvent) const {
  const EventStateRow& row = Row();
  const bool bIdle = row.eFrame == FrameKind::Idle;
  if (bIdle) {
    g_PreheatBoth.Reset();
    g_PowerSave.CancelTimer();
  }
  if (ulEvent < EVENT_ROUND_COUNT && (row.ulClearBefore & (1u << ulEvent)) != 0) {
    g_pCurEventMng->ClearRoundEvents();
  }
  switch (ulEvent) {
    case EV_PRINT_JOB:
      PrintJobSequence();
      RunPaperEndFollowUp();
      break;
    case EV_PREPARE_JOB:
      if (PreparePathAction() == 0) g_ulJobPrepared = 1;
      if (uint32_t ulEnd = 0; g_pCurEventMng->TestEvent(EV_PAPER_END, &ulEnd) == 0 && ulEnd != 0) {
        g_ulJobPrepared = 0;
        PaperEndAction();
      }
      break;
    case EV_MENU_KEY:
      if (row.pfnMenu != nullptr) {
        row.pfnMenu();
      } else {
        RunModeMenu();
      }
      break;
    case EV_INIT_MECHA: InitializeMecha(); break;
    case EV_INIT_RIBBON: InitRibbonAction(row.ucRibbonMode); break;
    case EV_CHECK_RIBBON: RibbonCheckingAction(); break;
    case EV_LOAD_PAPER: PaperLoadAction(2, 1); break;
    case EV_RELOAD_PAPER1: PaperReloadAction(1); break;
    case EV_RELOAD_PAPER2: PaperReloadAction(2); break;
    case EV_RELOAD_PAPER3: PaperReloadAction(3); break;
    case EV_CHECK_RIBBON_SIZE:
      RibbonSetupSequence(1);
      RunPaperEndFollowUp();
      break;
    case EV_ROLLBACK_PAPER:
      PaperRollbackAction();
      RunPaperEndFollowUp();
      break;
    case EV_PRECUT:
      PaperPrecutAction();
      RunPaperEndFollowUp();
      break;
    case EV_PAPER_END: PaperEndAction(); break;
    case EV_EJECT_JAM: JamEjectAction(); break;
    case EV_KEY_REFUSED: BlinkErrorLed(row.ucBlinkCovers); break;
    case EV_AUTO_DIAG: RunAutoDiagAction(); break;
    case EV_FLASH_LED: BlinkReadyLed(); break;
    case EV_DEFERRED_UPDATE: ApplyPendingUpdates(); break;
    case EV_DEFERRED_RESET: ApplyPendingResets(); break;
    case EV_SYSTEM_RESET: SystemResetAction(); break;
    default: break;
  }
  if (bIdle) g_PowerSave.ArmTimer();
}

void CEventMngFramed::ApplyRoundPolicy(uint32_t ulHandled) {
  switch (Row().ePolicy) {
    case RoundPolicy::ClearEveryPass: ClearRoundEvents(); break;
    case RoundPolicy::ClearWhenIdle:
      if (ulHandled == 0) ClearRoundEvents();
      break;
    case RoundPolicy::Keep: break;
    case RoundPolicy::ClearList:
      for (uint8_t ucEvent : g_aucEventClearList) ClearEvent(ucEvent);
      break;
  }
}

int32_t CEventMngFramed::EndPass(uint32_t ulHandled) {
  ApplyRoundPolicy(ulHandled);
  return AfterDispatch(ulHandled);
}
