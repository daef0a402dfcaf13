#include "firmware/control/event_set.h"

#include "firmware/control/idle_supervisor.h"
#include "firmware/control/keys.h"
#include "firmware/control/leds.h"
#include "firmware/devices/settings.h"

uint64_t g_EventSet;
uint32_t g_ulEventMngCount;
uint32_t g_ulCurEventStateId = EVENT_STATE_NONE;
uint32_t g_ulJobPrepared;

namespace {
// Producers that run before the start-up makes the first state current
// reach the set through this base object.
class CEventMngBeforeStates final : public CEventMng {};
constinit CEventMngBeforeStates s_EventMngBeforeStates;

constexpr uint64_t Bit(uint32_t ulId) { return uint64_t{1} << ulId; }
constexpr uint64_t kRoundEvents = 0xFFFFFFFFull;
}  // namespace

CEventMng* g_pCurEventMng = &s_EventMngBeforeStates;

CEventMng::CEventMng(GlobalBuild) : m_ulId(g_ulEventMngCount) {
  ++g_ulEventMngCount;
  if (g_ulEventMngCount == 1) ClearAllEvents();
}

int32_t CEventMng::SetEvent(uint32_t ulId) {
  if (ulId >= EVENT_COUNT) return -1;
  g_EventSet |= Bit(ulId);
  return 0;
}

int32_t CEventMng::ClearEvent(uint32_t ulId) {
  if (ulId >= EVENT_COUNT) return -1;
  g_EventSet &= ~Bit(ulId);
  return 0;
}

int32_t CEventMng::TestEvent(uint32_t ulId, uint32_t* pulSet) {
  if (ulId >= EVENT_COUNT) return -1;
  *pulSet = (g_EventSet & Bit(ulId)) != 0 ? 1 : 0;
  return 0;
}

int32_t CEventMng::LowestEvent(uint32_t* pulId) {
  for (uint32_t ulId = 0; ulId < EVENT_COUNT; ++ulId) {
    if ((g_EventSet & Bit(ulId)) != 0) {
      *pulId = ulId;
      return 0;
    }
  }
  *pulId = 0xFFFFFFFFu;
  return -1;
}

int32_t CEventMng::ClearAllEvents() {
  g_EventSet = 0;
  return 0;
}

int32_t CEventMng::ClearRoundEvents() {
  g_EventSet &= ~kRoundEvents;
  return 0;
}

int32_t CEventMng::GetJobPrepared(uint32_t* pulValue) {
  *pulValue = g_ulJobPrepared;
  return 0;
}

int32_t CEventMng::OnEnter() { return IsEntered() ? 0 : EnterCommon(); }

int32_t CEventMng::EnterCommon() {
  g_ulCurEventStateId = m_ulId;
  g_ulJobPrepared = 0;
  g_LedReady.Off();
  const int32_t lResult = g_LedError.On();
  g_IdleSupervisor.SuspendFanControlL(0);
  g_IdleSupervisor.SuspendFanControlR(0);
  return lResult;
}

int32_t CEventMng::AfterDispatch(uint32_t ulHandled) {
  if (ulHandled == 0) return 0;
  const int32_t lResult = g_IdleSupervisor.RequestStateUpdate();
  uint32_t ulKey = KEY_NONE;
  g_KeyMng.WaitKey(1, &ulKey);
  return lResult;
}

int32_t CEventMng::Dispatch() { return 0; }

int32_t CEventMng::PostStartupEvents() {
  SetEvent(EV_INIT_MECHA);
  const int32_t lFlag = SettingValue(g_ParamRollBackFlag);
  if (lFlag == 0 || lFlag == 4 || lFlag == 5) {
    SetEvent(EV_INIT_RIBBON);
    SetEvent(EV_LOAD_PAPER);
    SetEvent(EV_RELOAD_PAPER1);
  }
  return 0;
}
