// Placeholder of the error and cover printer states: each runs the common
// entry and serves its events in its order; the jam and cover entries'
// own actions are not run yet.
#include "firmware/control/event_states.h"
#include "firmware/platform/placeholder.h"

constinit CEventMngNoRibbon g_EventMngNoRibbon;
constinit CEventMngJam g_EventMngJam;
constinit CEventMngCoverOpen g_EventMngCoverOpen;
constinit CEventMngPaperCoverOpen g_EventMngPaperCoverOpen;
constinit CEventMngCError g_EventMngCError;
constinit CEventMngHError g_EventMngHError;
constinit CEventMngMError g_EventMngMError;

namespace {
bool s_bLogged;
int32_t Enter(CEventMng& state) {
  LogPlaceholderOnce(s_bLogged, "error and cover printer states");
  return state.CEventMng::OnEnter();
}
}  // namespace

int32_t CEventMngNoRibbon::OnEnter() { return Enter(*this); }
int32_t CEventMngJam::OnEnter() { return Enter(*this); }
int32_t CEventMngCoverOpen::OnEnter() { return Enter(*this); }
int32_t CEventMngPaperCoverOpen::OnEnter() { return Enter(*this); }
int32_t CEventMngCError::OnEnter() { return Enter(*this); }
int32_t CEventMngHError::OnEnter() { return Enter(*this); }
int32_t CEventMngMError::OnEnter() { return Enter(*this); }
