#include "firmware/control/idle_supervisor.h"

#include <initializer_list>

#include "firmware/control/error_manager.h"
#include "firmware/control/event_states.h"
#include "firmware/control/host_command_poll.h"
#include "firmware/control/keys.h"
#include "firmware/control/lcd.h"
#include "firmware/control/power_save.h"
#include "firmware/devices/main_loop_stop.h"
#include "firmware/devices/settings.h"
#include "firmware/hal/board.h"
#include "firmware/mechanism/abort_check_inputs.h"
#include "firmware/platform/time_base.h"
#include "firmware/printengine/print_job_queue.h"

CIdleSupervisor g_IdleSupervisor;
uint16_t g_usServiceMode;

namespace {

constexpr uint16_t kNoKey = 0xFFFF;
constexpr uint32_t kClearKeyGuardMs = 1000;
constexpr uint32_t kComboHoldMs = 3000;
constexpr uint32_t kModeChangePauseMs = 2000;

// The key combinations that choose a service mode.
constexpr ServiceModeChord kModeCombinations[] = {
    {KEY_COMBO_USER_MODE, "User Mode       ", 0},    {KEY_COMBO_DIAGNOSTICS, "Diagnostics     ", 1},
    {KEY_COMBO_SYSTEM_SETUP, "System Setup    ", 2}, {KEY_COMBO_MAINTENANCE, "Maintenance     ", 3},
    {KEY_COMBO_DENSITY_SETUP, "DensitySetupMode", 4}, {KEY_COMBO_FACTORY, "Factory Mode    ", 5},
};

void SetEvents(std::initializer_list<uint32_t> events) {
  for (uint32_t ulEvent : events) g_pCurEventMng->SetEvent(ulEvent);
}

}  // namespace

CIdleSupervisor::CIdleSupervisor(GlobalBuild) : m_usLastKeyCode(kNoKey) {}

int32_t CIdleSupervisor::RequestStateUpdate() {
  m_ulUpdateRequest = 1;
  return 0;
}

int32_t CIdleSupervisor::StartMenuKeyGuard() {
  m_ulClearKeyGuard = 1;
  m_ulClearKeyGuardStart = g_MsTimer.NowMs();
  return 0;
}

int32_t CIdleSupervisor::SetCoverOpenedFlag() {
  m_ulCoverOpened = 1;
  return 0;
}

int32_t CIdleSupervisor::ClearCoverOpenedFlag() {
  m_ulCoverOpened = 0;
  return 0;
}

int32_t CIdleSupervisor::GetCoverOpenedFlag(uint32_t* pulValue) const {
  *pulValue = m_ulCoverOpened;
  return 0;
}

int32_t CIdleSupervisor::SuspendFanControlL(uint32_t ulValue) {
  m_ulFanSuspendL = ulValue;
  return 0;
}

int32_t CIdleSupervisor::SuspendFanControlR(uint32_t ulValue) {
  m_ulFanSuspendR = ulValue;
  return 0;
}

// The abort check of a sequence notes a cover opened while it ran.
void NoteCoverOpened() { g_IdleSupervisor.SetCoverOpenedFlag(); }

int32_t CIdleSupervisor::CheckJobPending() {
  uint32_t ulJobs = 0;
  if (g_ulPrintMode == 1) {
    int32_t lIndex = -1;
    if (g_ErrorMng.LowestActiveError(&lIndex) == -1) {
      g_pCurEventMng->GetJobPrepared(&ulJobs);
      if (ulJobs == 0) g_PrintJobQueue.TryMergeJobs(&ulJobs, 1);
    }
  } else {
    g_PrintJobQueue.GetReadyJobCount(&ulJobs);
  }
  if (ulJobs == 0) return 0;
  SetEvents({EV_PREPARE_JOB, EV_PRINT_JOB});
  if (g_pCurEventMng == &g_EventMngReadyC) {
    g_pCurEventMng->SetEvent(EV_CHECK_RIBBON);
    RequestStateUpdate();
  }
  return 0;
}

int32_t CIdleSupervisor::HandlePanelKeys() {
  if (m_ulClearKeyGuard == 1 &&
      g_MsTimer.ElapsedMs16(m_ulClearKeyGuardStart, g_MsTimer.NowMs()) > kClearKeyGuardMs) {
    m_ulClearKeyGuard = 0;
  }
  uint32_t ulKey = KEY_NONE;
  if (SettingValue(g_ParamKeyEnable) == 0) {
    uint32_t ulPowerSave = 0;
    g_PowerSave.GetState(&ulPowerSave);
    if (ulPowerSave == POWER_SAVE_NORMAL && g_KeyMng.WaitKey(1, &ulKey) == 1 && ulKey == KEY_MENU) {
      g_pCurEventMng->SetEvent(EV_KEY_REFUSED);
    }
    return 0;
  }
  if (g_KeyMng.WaitKey(1, &ulKey) != 1) {
    // No key event: whatever combination was held has been let go.
    m_usLastKeyCode = kNoKey;
    return 0;
  }
  uint32_t ulArmed = 0;
  g_PowerSave.IsTimerArmed(&ulArmed);
  if (ulArmed != 0) {
    g_PowerSave.CancelTimer();
    g_PowerSave.ArmTimer();
    RequestStateUpdate();
  }
  HandleKey(ulKey);
  m_usLastKeyCode = static_cast<uint16_t>(ulKey);
  return 0;
}

int32_t CIdleSupervisor::HandleKey(uint32_t ulKey) {
  switch (ulKey) {
    case KEY_MENU: return g_pCurEventMng->SetEvent(EV_MENU_KEY);
    case KEY_FEED:
      SetEvents({EV_LOAD_PAPER, EV_CHECK_RIBBON_SIZE, EV_PRECUT});
      if (IsErrorRaised(erridx::kPaperRolledBack)) {
        if (SettingValue(g_ParamRollBackFlag) == 5) g_pCurEventMng->SetEvent(EV_INIT_RIBBON);
        g_pCurEventMng->SetEvent(EV_RELOAD_PAPER2);
      }
      return 0;
    case KEY_CLEAR: return m_ulClearKeyGuard != 0 ? 0 : g_pCurEventMng->SetEvent(EV_ROLLBACK_PAPER);
    default: return HandleKeyCombination(ulKey);
  }
}

// A combination held for more than 3000 ms since its first report switches
// the service mode; the switch starts a new hold, so holding on switches
// again only after another 3000 ms.
int32_t CIdleSupervisor::HandleKeyCombination(uint32_t ulKey) {
  const ServiceModeChord* pCombo = FindServiceModeChord(ulKey);
  if (pCombo == nullptr) return 0;
  const uint32_t ulNow = g_MsTimer.NowMs();
  if (ulKey != m_usLastKeyCode) {
    m_ulKeyComboStart = ulNow;
    return 0;
  }
  if (ulNow - m_ulKeyComboStart <= kComboHoldMs) return 0;
  g_Lcd.WriteText(pCombo->pszText, 0, CLcd::kVisibleColumns);
  g_usServiceMode = pCombo->usMode;
  g_MsTimer.WaitMs(kModeChangePauseMs);
  m_ulKeyComboStart = g_MsTimer.NowMs();
  return RequestStateUpdate();
}

const ServiceModeChord* FindServiceModeChord(uint32_t ulKey) {
  for (const ServiceModeChord& c : kModeCombinations) {
    if (c.ulKey == ulKey) return &c;
  }
  return nullptr;
}

int32_t MainLoop() {
  for (;;) {
    BoardIdlePass();
    if (g_ulMainLoopStop != 0) break;
    CIdleSupervisor& s = g_IdleSupervisor;
    s.CheckFrontCover();
    s.CheckSideCovers();
    s.CheckUpperCovers();
    s.CheckPaperCover();
    s.CheckPaperGuide();
    s.CheckPaperPresence();
    PollHostCommands();
    s.CheckJobPending();
    s.HandlePanelKeys();
    s.ControlFansL();
    s.ControlFansR();
    s.CheckThermistorRange();
    CheckSlackTakeUpCounts();
    if (g_ulMainLoopStop == 0) s.SelectEventState();
    if (g_ulMainLoopStop == 0) g_pCurEventMng->Dispatch();
  }
  ShutdownApplicationIo();
  return 0;
}
