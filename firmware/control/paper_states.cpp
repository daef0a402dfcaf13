// The paper-handling printer states: pre-ready, ready-loading, no paper,
// load failure, paper removal and half roll-back.
#include "firmware/control/error_manager.h"
#include "firmware/control/event_states.h"
#include "firmware/control/head_preheat.h"
#include "firmware/control/host_status_table.h"
#include "firmware/control/idle_supervisor.h"
#include "firmware/control/leds.h"
#include "firmware/control/power_save.h"
#include "firmware/devices/analog_sensor.h"
#include "firmware/devices/sensors.h"
#include "firmware/devices/life_counters.h"
#include "firmware/devices/settings.h"
#include "firmware/mechanism/unit_moves.h"
#include "firmware/platform/time_base.h"
#include "firmware/printengine/media_config.h"
#include "firmware/sequences/event_actions.h"
#include "firmware/service/service_menus.h"

constinit CEventMngPreReady g_EventMngPreReady;
constinit CEventMngReadyLoad g_EventMngReadyLoad;
constinit CEventMngNoPaper g_EventMngNoPaper;
constinit CEventMngLoadFail g_EventMngLoadFail;
constinit CEventMngPapRemove g_EventMngPapRemove;
constinit CEventMngHalfRollBack g_EventMngHalfRollBack;

namespace {

constexpr uint32_t kTakeOutPaperRow = 0x1602;
constexpr int32_t kRollBackFlagEnded = 0;
constexpr int32_t kRollBackFlagCoverOpened = 1;
constexpr int32_t kRollBackFlagRibbonFirst = 5;
constexpr uint32_t kCarouselHome = 1;
constexpr uint32_t kCarouselCheckMask = 3;

uint32_t ElapsedMs(uint32_t ulSince) { return g_MsTimer.NowMs() - ulSince; }

// The events whose handler keeps the pre-ready state serving.
bool KeepsServing(uint32_t ulEvent) {
  switch (ulEvent) {
    case EV_INIT_MECHA:
    case EV_LOAD_PAPER:
    case EV_INIT_RIBBON:
    case EV_RELOAD_PAPER1:
    case EV_RELOAD_PAPER2:
    case EV_RELOAD_PAPER3: return true;
    default: return false;
  }
}

// New media: its counters start again and the host learns of it.
void MediaEntryActions() {
  g_CounterMediaPrn.Reset();
  g_CounterMediaPrnL.Reset();
  g_CounterMediaPrnR.Reset();
  RefreshCounterItems();
  g_MediaConfig.SetLoadMode(0);
  g_MediaConfig.SelectPrintSizeTable();
  g_MediaConfig.SendMediaInfo();
}

// The entry of the no-paper and load-failure states.
int32_t EnterWithoutPaper(CEventMng& state) {
  if (state.IsEntered()) return 0;
  const int32_t lResult = state.EnterCommon();
  g_ErrorMng.ClearAllJams();
  MediaEntryActions();
  return lResult;
}

}  // namespace

// Pre-ready.

void CEventMngPreReady::OpenWindow() {
  m_ulWindow = g_MsTimer.MsToTicks(kServingWindowMs);
  m_ulEntryTime = g_MsTimer.NowMs();
}

int32_t CEventMngPreReady::OnEnter() {
  if (IsEntered()) return 0;
  const int32_t lResult = EnterCommon();
  OpenWindow();
  return lResult;
}

int32_t CEventMngPreReady::Dispatch() {
  OnEnter();
  StartFrame();
  if (ElapsedMs(m_ulEntryTime) > m_ulWindow) {
    // Nothing is served in this pass; a pending event of the state's own
    // kind is served in the next window instead of being left for ever.
    if ((g_EventSet & PRE_READY_EVENTS) != 0) OpenWindow();
    return EndPass(1);
  }
  const EventStateRow& row = Row();
  const uint32_t ulAt = FirstPending(0, row.ucCount);
  if (ulAt == row.ucCount) return EndPass(0);
  const uint32_t ulEvent = row.aucOrder[ulAt];
  RunHandler(ulEvent);
  if (KeepsServing(ulEvent)) m_ulWindow = kServeAlways;
  return EndPass(1);
}

// Ready-loading.

int32_t CEventMngReadyLoad::OnEnter() {
  if (IsEntered()) return 0;
  const int32_t lResult = EnterCommon();
  SetEvent(EV_LOAD_PAPER);
  SetEvent(EV_CHECK_RIBBON_SIZE);
  m_ulDelay = g_MsTimer.MsToTicks(kEntryDelayMs);
  m_ulEntryTime = g_MsTimer.NowMs();
  MediaEntryActions();
  return lResult;
}

int32_t CEventMngReadyLoad::Dispatch() {
  OnEnter();
  StartFrame();
  // The first second after the entry keeps every event for later.
  if (ElapsedMs(m_ulEntryTime) <= m_ulDelay) return AfterDispatch(0);
  uint32_t ulHandled = 0;
  if (IsEventPending(EV_INIT_MECHA) && InitializeMecha() != 0) ulHandled = 1;
  if (ulHandled == 0 && IsEventPending(EV_CHECK_RIBBON_SIZE)) {
    RunHandler(EV_CHECK_RIBBON_SIZE);
    ulHandled = 1;
  }
  return EndPass(ulHandled);
}

// No paper and load failure.

int32_t CEventMngNoPaper::OnEnter() { return EnterWithoutPaper(*this); }
int32_t CEventMngLoadFail::OnEnter() { return EnterWithoutPaper(*this); }

// Paper removal.

int32_t CEventMngPapRemove::OnEnter() {
  if (IsEntered()) return 0;
  g_ulCurEventStateId = m_ulId;
  g_LedReady.Off();
  return g_LedError.On();
}

int32_t CEventMngPapRemove::Dispatch() {
  OnEnter();
  StartFrame();
  uint32_t ulHandled = 0;
  if (IsEventPending(EV_PAPER_END)) {
    RunHandler(EV_PAPER_END);
    ulHandled = 1;
  }
  uint32_t ulRaised = 0;
  g_ErrorMng.IsErrorSet(kTakeOutPaperRow, &ulRaised);
  uint32_t ulPaper = 1;
  if (ulHandled == 0 && ulRaised != 0 && g_AdPosition.GetState(&ulPaper) == 0 && ulPaper == 0) {
    g_MsTimer.WaitMs(kTakeOutWaitMs);
    TurnPaperRoll(kCarouselHome, kCarouselCheckMask);
    g_ErrorMng.ClearError(kTakeOutPaperRow);
    g_ParamRollBackFlag.SetValue(kRollBackFlagEnded);
    ulHandled = 1;
  }
  // The paper end stands first in the row; the keys and host actions follow.
  return EndPass(ServeEvents(ulHandled, 1));
}

// Half roll-back.

int32_t CEventMngHalfRollBack::OnEnter() {
  if (IsEntered()) return 0;
  const int32_t lResult = EnterCommon();
  m_ulTimeOut = g_MsTimer.MsToTicks(kTimeOutMs);
  m_ulEntryTime = g_MsTimer.NowMs();
  ClearEvent(EV_INIT_RIBBON);
  ClearEvent(EV_RELOAD_PAPER2);
  return lResult;
}

int32_t CEventMngHalfRollBack::ServeMenuKey() {
  const int32_t lResult = RunModeMenu();
  uint32_t ulCoverOpened = 0;
  g_IdleSupervisor.GetCoverOpenedFlag(&ulCoverOpened);
  if (ulCoverOpened != 0) g_ParamRollBackFlag.SetValue(kRollBackFlagCoverOpened);
  return lResult;
}

int32_t CEventMngHalfRollBack::Dispatch() {
  OnEnter();
  StartFrame();
  // The row ends with the ribbon initialisation and the reload, which the
  // time-out drives and which are served below.
  const EventStateRow& row = Row();
  const uint32_t ulKeysAndHost = row.ucCount - 2u;
  uint32_t ulHandled = 0;
  const uint32_t ulAt = FirstPending(0, ulKeysAndHost);
  if (ulAt < ulKeysAndHost) {
    RunHandler(row.aucOrder[ulAt]);
    ulHandled = 1;
  }
  // The entry time is not renewed: after the time-out the events come
  // again in every pass while the state stays current.
  if (ElapsedMs(m_ulEntryTime) >= m_ulTimeOut) {
    if (SettingValue(g_ParamRollBackFlag) == kRollBackFlagRibbonFirst) SetEvent(EV_INIT_RIBBON);
    SetEvent(EV_RELOAD_PAPER2);
  }
  if (ulHandled == 0 && IsEventPending(EV_INIT_RIBBON) && InitRibbonAction(row.ucRibbonMode) != 0) ulHandled = 1;
  if (ulHandled == 0 && IsEventPending(EV_RELOAD_PAPER2)) {
    RunHandler(EV_RELOAD_PAPER2);
    ulHandled = 1;
  }
  return EndPass(ulHandled);
}
