#include "firmware/control/app_startup.h"
#include "firmware/control/debug_records.h"
#include "firmware/control/engine_variant.h"
#include "firmware/control/event_states.h"
#include "firmware/control/head_preheat.h"
#include "firmware/control/idle_supervisor.h"
#include "firmware/control/leds.h"
#include "firmware/control/power_save.h"
#include "firmware/devices/sensors.h"
#include "firmware/devices/buf_slot_table.h"
#include "firmware/devices/settings.h"
#include "firmware/platform/time_base.h"
#include "firmware/printengine/print_job_queue.h"
#include "firmware/sequences/event_actions.h"
#include "firmware/service/service_menus.h"

constinit CEventMngReadyB g_EventMngReadyB;
constinit CEventMngReadyC g_EventMngReadyC;
constinit CEventMngReadyA g_EventMngReadyA;

namespace {

uint32_t CurrentPowerSave() {
  uint32_t ulState = 0;
  g_PowerSave.GetState(&ulState);
  return ulState;
}

// Pre-heat while power save is off.
void PreheatUnlessPowerSave() {
  if (CurrentPowerSave() == POWER_SAVE_ON) {
    g_PreheatBoth.Reset();
  } else {
    g_PreheatBoth.Step();
  }
}

// The queued jobs of a changed ribbon or print size are cancelled; when no
// ready job is left, so are the print events.
void CancelJobsOfChangedMedia() {
  int32_t lRibbonStatus = SettingValue(g_ParamRibbonStatus);
  bool bCheckEvents = false;
  if (static_cast<uint32_t>(lRibbonStatus) != g_ulLastRibbonStatus) {
    g_PrintJobQueue.CancelByImageAddress(&g_PrintSize8x10);
    g_PrintJobQueue.CancelByImageAddress(&g_PrintSize8x12);
    bCheckEvents = true;
  } else if (IsPrintSizeTableChanged() != 0) {
    if (g_pPrintSizeTable == &g_PrintSize8x10) {
      g_PrintJobQueue.CancelByImageAddress(&g_PrintSize8x12);
    }
    bCheckEvents = true;
  }
  if (bCheckEvents) {
    uint32_t ulReady = 0;
    g_PrintJobQueue.GetReadyJobCount(&ulReady);
    if (ulReady == 0) {
      g_pCurEventMng->ClearEvent(EV_PREPARE_JOB);
      g_pCurEventMng->ClearEvent(EV_PRINT_JOB);
    }
  }
  SavePrintSizeTable();
  g_ulLastRibbonStatus = static_cast<uint32_t>(lRibbonStatus);
}

// The host sees which units the next job will use.
void PublishUnitAssignment() {
  PrintJobRecord* pActive = nullptr;
  PrintJobRecord* pFree = nullptr;
  if (g_PrintJobQueue.GetJob(PRINT_JOB_LIST_ACTIVE, &pActive) == 0) return;
  if (g_PrintJobQueue.GetJob(PRINT_JOB_LIST_FREE, &pFree) != 0) return;
  int32_t lUnitA = 0, lUnitB = 0, lPathSide = 0, lPathSlot = 0;
  g_UnitPair.Resolve(&lUnitA, &lUnitB, &lPathSide, &lPathSlot);
  g_PrintJobQueue.SetUnitAssignment(pFree, static_cast<uint32_t>(lPathSide), static_cast<uint32_t>(lUnitA),
                                    static_cast<uint32_t>(lUnitB));
}

// The Menu key of ready states A and C; A also restarts the energy-save
// pre-heat window when the menu switched energy save on.
int32_t ServeMenuKey(bool bWatchEnergySave, uint32_t* pulPreheatStart, uint16_t* pusPreheatStopped) {
  g_pCurEventMng->ClearRoundEvents();
  const int32_t lEnergySaveBefore = SettingValue(g_ParamEnergySave);
  uint32_t ulLedWasOn = 0;
  g_LedReady.GetState(&ulLedWasOn);
  g_LedReady.Off();
  RunModeMenu();
  if (bWatchEnergySave && lEnergySaveBefore == 0 && SettingValue(g_ParamEnergySave) == 1) {
    *pulPreheatStart = g_MsTimer.NowMs();
    *pusPreheatStopped = 0;
  }
  uint32_t ulCoverOpened = 0;
  g_IdleSupervisor.GetCoverOpenedFlag(&ulCoverOpened);
  if (ulCoverOpened != 0) {
    g_pCurEventMng->SetEvent(EV_LOAD_PAPER);
    g_pCurEventMng->SetEvent(EV_INIT_RIBBON);
    g_pCurEventMng->SetEvent(EV_RELOAD_PAPER2);
    ulLedWasOn = 0;
  }
  return ulLedWasOn != 0 ? g_LedReady.On() : 0;
}

}  // namespace

// Ready state A.

int32_t CEventMngReadyA::OnEnter() {
  if (IsEntered()) return 0;
  g_ulCurEventStateId = m_ulId;
  g_ulJobPrepared = 0;
  g_PreheatBoth.Start();
  CancelJobsOfChangedMedia();
  PublishUnitAssignment();
  uint32_t ulAllReleased = 0;
  g_pCurBufSlots[BUF_POOL_COLOUR]->TestAll(&ulAllReleased, 1);
  if (ulAllReleased == 0) g_LedReady.On();
  g_LedError.Off();
  const uint32_t ulNow = g_MsTimer.NowMs();
  m_ulIdlePeriod = 120u * g_MsTimer.MsToTicks(1000);
  m_ulPeriodsLeft = kIdlePeriods;
  m_ulPeriodStart = ulNow;
  m_ulPreheatStart = ulNow;
  m_usPreheatStopped = 0;
  g_PowerSave.ArmTimer();
  return 0;
}

// The ribbon check after 360 idle periods of two minutes: 1 when it ran.
uint32_t CEventMngReadyA::LongIdleCheck() {
  if (g_ucRibbonControlType == 0 || g_ulEngColorRibbon == 0) return 0;
  const uint32_t ulNow = g_MsTimer.NowMs();
  if (ulNow - m_ulPeriodStart < m_ulIdlePeriod) return 0;
  --m_ulPeriodsLeft;
  if (m_ulPeriodsLeft != 0) {
    m_ulPeriodStart = ulNow;
    return 0;
  }
  g_PreheatBoth.Reset();
  const uint32_t ulPowerSave = CurrentPowerSave();
  if (ulPowerSave == POWER_SAVE_ON) {
    g_PowerSave.SetDisplayOffRequest(1);
    Wait24VSupply();
  }
  CheckRibbonsIdle();
  if (ulPowerSave == POWER_SAVE_ON) g_PowerSave.SetDisplayOffRequest(0);
  return 1;
}

void CEventMngReadyA::PreheatStep() {
  if (SettingValue(g_ParamEnergySave) != 1) {
    PreheatUnlessPowerSave();
    return;
  }
  if (m_usPreheatStopped != 0) return;
  if (g_MsTimer.ElapsedSec(m_ulPreheatStart, g_MsTimer.NowMs()) > kPreheatWindowSec) {
    g_PreheatBoth.Reset();
    m_usPreheatStopped = 1;
  } else {
    g_PreheatBoth.Step();
  }
}

int32_t CEventMngReadyA::Dispatch() {
  OnEnter();
  const uint32_t ulHandled = ServeEvents(LongIdleCheck());
  PreheatStep();
  g_PowerSave.TickTimer();
  ApplyRoundPolicy(ulHandled);
  uint32_t aulTop[2] = {};
  g_AdTopL.Read(&aulTop[0]);
  g_AdTopR.Read(&aulTop[1]);
  StoreDebugRecord(0, aulTop, 2);
  return AfterDispatch(ulHandled);
}

int32_t CEventMngReadyA::ServeMenuKeyA() {
  CEventMngReadyA& a = g_EventMngReadyA;
  return ServeMenuKey(true, &a.m_ulPreheatStart, &a.m_usPreheatStopped);
}

int32_t CEventMngReadyA::ServeMenuKeyC() {
  uint32_t ulUnused = 0;
  uint16_t usUnused = 0;
  return ServeMenuKey(false, &ulUnused, &usUnused);
}

// Ready state B.

int32_t CEventMngReadyB::OnEnter() {
  if (!IsEntered()) g_ulCurEventStateId = m_ulId;
  return 0;
}

int32_t CEventMngReadyB::Dispatch() {
  OnEnter();
  StartFrame();
  uint32_t ulActive = 0;
  g_PrintJobQueue.GetActiveJobCount(&ulActive);
  uint32_t ulHandled = 0;
  if (ulActive == 0) {
    ReadyBPrepareAction();
    g_ulJobPrepared = 0;
    ulHandled = 1;
  } else if (IsEventPending(EV_PRINT_JOB)) {
    RunHandler(EV_PRINT_JOB);
    g_ulJobPrepared = 0;
    ulHandled = 1;
  }
  return EndPass(ulHandled);
}

// Ready state C.

int32_t CEventMngReadyC::OnEnter() {
  if (IsEntered()) return 0;
  g_ulCurEventStateId = m_ulId;
  g_ulJobPrepared = 0;
  if (SettingValue(g_ParamEnergySave) != 1) g_PreheatBoth.Start();
  g_LedReady.On();
  return g_LedError.Off();
}

int32_t CEventMngReadyC::Dispatch() {
  OnEnter();
  const uint32_t ulHandled = ServeEvents(0);
  if (SettingValue(g_ParamEnergySave) != 1) PreheatUnlessPowerSave();
  g_PowerSave.TickTimer();
  return EndPass(ulHandled);
}
