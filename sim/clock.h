// SimClock: the virtual board's only time source. Every device model, the
// kernel tick, the microsecond counter and the cable's host time-outs read
// it. Work that must happen at a later time is scheduled on it as an event.
//
// Virtual mode: time advances only by the cost of what the CPU does, or by a
// jump to the next scheduled event when the CPU spins or idles.
// Paced mode: the same, but virtual time never runs ahead of the wall clock
// (times a fixed factor), so peers in other processes see real time-outs.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "sim/clock_event.h"

namespace sim {

using Nanos = uint64_t;
constexpr Nanos kNsPerUs = 1000;
constexpr Nanos kNsPerMs = 1000 * 1000;

class SimClock {
 public:
  using EventId = uint64_t;
  using Callback = ClockEvent;
  static constexpr Nanos kNever = ~Nanos{0};

  Nanos Now() const { return m_now; }

  // Time passes by the cost of an access. Events that fall due are run by
  // RunDue, not here.
  void Advance(Nanos dt) {
    m_now += dt;
    if (m_paced && m_now >= m_nextPaceCheck) Pace();
  }
  // Moves time to the next scheduled event, never past it. Returns false when
  // nothing is scheduled.
  bool JumpToNextEvent();
  // Moves time forward to `when` (no-op if already there).
  void AdvanceTo(Nanos when);

  EventId Schedule(Nanos when, Callback fn);
  EventId ScheduleIn(Nanos delay, Callback fn) { return Schedule(m_now + delay, std::move(fn)); }
  void Cancel(EventId id);
  // Moves a pending event to `when` with its work: the same as cancelling
  // it and scheduling its work anew (it goes after the events already
  // scheduled for that time), without handling the work. Returns the
  // event's new id, or 0 (and does nothing) when `id` has already run or
  // was cancelled.
  EventId Reschedule(EventId id, Nanos when);
  std::optional<Nanos> NextEventTime() const {
    return m_nextWhen == kNever ? std::nullopt : std::optional<Nanos>(m_nextWhen);
  }
  // The time of the next event, kNever when none is scheduled.
  Nanos NextWhen() const { return m_nextWhen; }

  // A timer: a deadline that a device arms again and again (the end of an
  // A/D conversion, a pulse channel's next pulse). Its work stays with it,
  // so arming it is the same as scheduling that work anew (a new sequence
  // number, after the events already scheduled for that time) and first
  // cancelling the arming still pending, without a heap record. Timers and
  // events run in one order. A board has a few timers, added while it is
  // built; disarming a timer that is not armed does nothing.
  using TimerId = uint32_t;
  static constexpr uint32_t kMaxTimers = 32;  // bits of the armed set
  TimerId AddTimer(Callback fn);
  void Arm(TimerId id, Nanos when);
  void Disarm(TimerId id);
  bool Armed(TimerId id) const { return m_timers[id].seq != 0; }
  bool AnyDue() const { return m_nextWhen <= m_now; }
  // Runs every event due at or before now, in time order (ties in the order
  // they were scheduled).
  void RunDue() {
    if (AnyDue()) RunDueEvents();
  }

  // Paced mode: virtual time may not run ahead of wall time × factor.
  void SetPaced(double factor);
  bool IsPaced() const { return m_paced; }
  // Asked in paced waits; when it returns true the wait gives up early.
  void SetInterruptCheck(std::function<bool()> fn) { m_interrupted = std::move(fn); }

 private:
  // An event's place in the time order: a small record in a binary heap,
  // ordered by time and then by sequence number (the order of scheduling).
  // Its work waits in a slot, which knows where its record lies in the
  // heap, so cancelling or moving an event takes its record out or moves
  // it at once. An EventId names the slot and the event's sequence number.
  struct Entry {
    Nanos when;
    uint64_t seq;
    uint32_t slot;
  };
  struct Slot {
    uint64_t seq;  // the event waiting here; 0 when free
    uint32_t heapIndex;
    Callback fn;
  };
  static constexpr uint32_t kSlotBits = 20;
  static bool Before(const Entry& a, const Entry& b) { return a.when != b.when ? a.when < b.when : a.seq < b.seq; }
  // The slot of a pending event, or nullptr.
  Slot* LiveSlot(EventId id);
  void Place(const Entry& e, size_t i) {
    m_heap[i] = e;
    m_slots[e.slot].heapIndex = static_cast<uint32_t>(i);
  }
  void SiftUp(Entry e, size_t i);
  void SiftDown(Entry e, size_t i);
  // Takes the record at heap index i out of the heap.
  void RemoveAt(size_t i);
  void FreeSlot(uint32_t slot) {
    m_slots[slot].seq = 0;
    m_freeSlots.push_back(slot);
  }
  struct Timer {
    Nanos when;
    uint64_t seq;  // 0 while not armed
    Callback fn;
  };
  static constexpr uint32_t kNoTimer = ~0u;
  // Finds the earliest armed timer again.
  void NoteFirstTimer();
  bool TimerRunsFirst() const {
    if (m_firstTimer == kNoTimer) return false;
    if (m_heap.empty()) return true;
    const Timer& t = m_timers[m_firstTimer];
    return Before(Entry{t.when, t.seq, 0}, m_heap.front());
  }
  void NoteNext() {
    const Nanos heapNext = m_heap.empty() ? kNever : m_heap.front().when;
    m_nextWhen = heapNext < m_firstTimerWhen ? heapNext : m_firstTimerWhen;
  }
  void RunDueEvents();
  void Pace();

  Nanos m_now = 0;
  Nanos m_nextWhen = kNever;  // the top entry's time, kept up to date
  uint64_t m_seq = 0;
  std::vector<Entry> m_heap;
  std::vector<Slot> m_slots;
  std::vector<uint32_t> m_freeSlots;
  // Fixed storage: a timer's work runs in place and may arm timers.
  std::array<Timer, kMaxTimers> m_timers{};
  uint32_t m_timerCount = 0;
  uint32_t m_armedTimers = 0;  // bit i: timer i is armed
  uint32_t m_firstTimer = kNoTimer;  // the earliest armed timer
  Nanos m_firstTimerWhen = kNever;
  bool m_paced = false;
  double m_factor = 1.0;
  Nanos m_wallStart = 0;
  Nanos m_virtStart = 0;
  Nanos m_nextPaceCheck = 0;
  std::function<bool()> m_interrupted;
};

// Monotonic wall-clock time in ns (for pacing and the stall detector only).
Nanos WallNowNs();

}  // namespace sim
