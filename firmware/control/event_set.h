// The printer's event set and its current printer-state object, as the host
// command layer uses them: events that command parsers and handlers raise
// for the printer states' dispatch in the main loop.
#pragma once

#include <cstdint>

enum EventId : uint32_t {
  EV_PRINT_JOB = 1,
  EV_INIT_MECHA = 4,
  EV_PAPER_END = 16,
  EV_AUTO_DIAG = 32,
  EV_FLASH_LED = 33,
  EV_DEFERRED_UPDATE = 34,
  EV_DEFERRED_RESET = 35,
  EV_SYSTEM_RESET = 36,
};

// One bit per event id of the 64-bit event set g_EventSet.
extern uint64_t g_EventSet;

class CEventMng {
 public:
  constexpr CEventMng() = default;
  // 0, or -1 for an id outside 0-63.
  int32_t SetEvent(uint32_t ulId);
  int32_t ClearEvent(uint32_t ulId);
  // *pulSet = 1 when the event is set, else 0; 0, or -1 for a bad id.
  int32_t TestEvent(uint32_t ulId, uint32_t* pulSet);
};

// The current printer state; every event call goes to it.
extern CEventMng* g_pCurEventMng;
