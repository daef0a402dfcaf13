// The printer's event set and the base of the printer states. Anything that
// wants the idle printer to act (a panel key, a closed cover, a host
// command, a queued job, a paper end, the start-up) sets an event; the main
// loop lets the current printer state serve the first pending event in its
// own order. There is one set for the whole system: every state object, and
// every caller of the operations below, works on it.
#pragma once

#include <cstdint>

#include "firmware/platform/global_build.h"

// Event n is bit n of g_EventSet. Events 0-31 are one-pass events (the
// states clear them at the end of a pass), 32-63 kept events (they stay set
// until their handler clears them).
enum EventId : uint32_t {
  EV_PRINT_JOB = 1,
  EV_PREPARE_JOB = 2,
  EV_MENU_KEY = 3,
  EV_INIT_MECHA = 4,
  EV_INIT_RIBBON = 5,
  EV_CHECK_RIBBON = 6,
  EV_LOAD_PAPER = 7,
  EV_RELOAD_PAPER1 = 8,
  EV_RELOAD_PAPER2 = 9,
  EV_CHECK_RIBBON_SIZE = 10,
  EV_ROLLBACK_PAPER = 11,
  EV_PRECUT = 13,
  EV_PAPER_END = 16,
  EV_RELOAD_PAPER3 = 18,
  EV_EJECT_JAM = 19,
  EV_RESERVED_20 = 20,
  EV_KEY_REFUSED = 21,
  EV_AUTO_DIAG = 32,
  EV_FLASH_LED = 33,
  EV_DEFERRED_UPDATE = 34,
  EV_DEFERRED_RESET = 35,
  EV_SYSTEM_RESET = 36,
};

constexpr uint32_t EVENT_COUNT = 64;
constexpr uint32_t EVENT_ROUND_COUNT = 32;  // one-pass events 0-31

// The 64-bit event set: the low word holds the one-pass events, the high
// word the kept ones.
extern uint64_t g_EventSet;

// Number of state objects built so far; the next one's id.
extern uint32_t g_ulEventMngCount;
// Id of the state whose entry actions ran last; 0xFFFFFFFF before the first.
extern uint32_t g_ulCurEventStateId;
// 1 after ready state A prepared the paper path for a queued job.
extern uint32_t g_ulJobPrepared;

constexpr uint32_t EVENT_STATE_NONE = 0xFFFFFFFFu;

// The base of the printer states. The event operations take the object but
// always work on the one set; an id outside the set is refused with -1 and
// changes nothing.
class CEventMng {
 public:
  // Static storage before the construction list runs.
  constexpr CEventMng() = default;
  // Takes the next id; the first object of the system clears the set.
  explicit CEventMng(GlobalBuild);

  int32_t SetEvent(uint32_t ulId);
  int32_t ClearEvent(uint32_t ulId);
  // *pulSet = 1 when the event is set, else 0.
  int32_t TestEvent(uint32_t ulId, uint32_t* pulSet);
  // 0 with the lowest pending event (the one-pass word first), or -1 with
  // 0xFFFFFFFF when the set is empty.
  int32_t LowestEvent(uint32_t* pulId);
  int32_t ClearAllEvents();
  // Clears the one-pass events 0-31.
  int32_t ClearRoundEvents();
  int32_t GetJobPrepared(uint32_t* pulValue);

  // Slot 0: the entry actions, run when this state was not the last one
  // entered. The base runs the common entry.
  virtual int32_t OnEnter();
  // Slot 1: after a handled pass, asks for a re-selection and consumes a
  // key pressed while the handler ran.
  virtual int32_t AfterDispatch(uint32_t ulHandled);
  // Slot 2: one pass of the state.
  virtual int32_t Dispatch();

  // Current id, Ready LED off, Error LED on, fan control resumed.
  int32_t EnterCommon();
  // The start-up's events, by the "RollBack Flag" setting.
  int32_t PostStartupEvents();

  uint32_t Id() const { return m_ulId; }
  bool IsEntered() const { return m_ulId == g_ulCurEventStateId; }

 protected:
  ~CEventMng() = default;
  uint32_t m_ulId = 0;
};

// The current printer state: the main loop dispatches it and every producer
// of events calls through it. Before the first state is entered it points at
// a base object, which works on the same set.
extern CEventMng* g_pCurEventMng;

// Whether the event is pending in the one set.
inline bool IsEventPending(uint32_t ulEvent) {
  uint32_t ulSet = 0;
  g_pCurEventMng->TestEvent(ulEvent, &ulSet);
  return ulSet != 0;
}
