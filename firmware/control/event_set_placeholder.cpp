// Placeholder of the event set and the printer states: the events are kept
// in g_EventSet, but no printer state dispatches them yet.
#include "firmware/control/event_set.h"
#include "firmware/platform/placeholder.h"

uint64_t g_EventSet;

namespace {
constexpr uint32_t kEventIds = 64;
bool s_bLogged;
void Note() { LogPlaceholderOnce(s_bLogged, "CEventMng (event set and printer states)"); }
CEventMng s_EventMngPlaceholder;
}  // namespace

CEventMng* g_pCurEventMng = &s_EventMngPlaceholder;

int32_t CEventMng::SetEvent(uint32_t ulId) {
  Note();
  if (ulId >= kEventIds) return -1;
  g_EventSet |= uint64_t{1} << ulId;
  return 0;
}

int32_t CEventMng::ClearEvent(uint32_t ulId) {
  Note();
  if (ulId >= kEventIds) return -1;
  g_EventSet &= ~(uint64_t{1} << ulId);
  return 0;
}

int32_t CEventMng::TestEvent(uint32_t ulId, uint32_t* pulSet) {
  Note();
  if (ulId >= kEventIds) return -1;
  *pulSet = (g_EventSet >> ulId) & 1u;
  return 0;
}
