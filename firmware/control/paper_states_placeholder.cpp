// Placeholder of the paper-handling printer states: each runs the common
// entry and serves its events in its order, without the serving window,
// entry delay, take-out completion, time-out or media entry actions yet.
#include "firmware/control/event_states.h"
#include "firmware/platform/placeholder.h"

constinit CEventMngPreReady g_EventMngPreReady;
constinit CEventMngReadyLoad g_EventMngReadyLoad;
constinit CEventMngNoPaper g_EventMngNoPaper;
constinit CEventMngLoadFail g_EventMngLoadFail;
constinit CEventMngPapRemove g_EventMngPapRemove;
constinit CEventMngHalfRollBack g_EventMngHalfRollBack;

namespace {
bool s_bLogged;
int32_t Enter(CEventMng& state) {
  LogPlaceholderOnce(s_bLogged, "paper-handling printer states");
  return state.CEventMng::OnEnter();
}
}  // namespace

int32_t CEventMngPreReady::OnEnter() { return Enter(*this); }
int32_t CEventMngReadyLoad::OnEnter() { return Enter(*this); }
int32_t CEventMngNoPaper::OnEnter() { return Enter(*this); }
int32_t CEventMngLoadFail::OnEnter() { return Enter(*this); }
int32_t CEventMngPapRemove::OnEnter() { return Enter(*this); }
int32_t CEventMngHalfRollBack::OnEnter() { return Enter(*this); }
