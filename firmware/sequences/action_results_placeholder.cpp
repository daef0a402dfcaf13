// Placeholder results of the sequences' actions: success unless a test
// asks for a failure.
#include "firmware/control/event_set.h"
#include "firmware/sequences/action_results_placeholder.h"

PlaceholderActionResults g_PlaceholderActionResults;

void ClearActionEvents(std::initializer_list<uint32_t> events) {
  for (uint32_t ulEvent : events) g_pCurEventMng->ClearEvent(ulEvent);
}
