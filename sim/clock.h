// SimClock: the virtual board's only time source. Every device model, the
// kernel tick, the microsecond counter and the cable's host time-outs read
// it. Work that must happen at a later time is scheduled on it as an event.
//
// Virtual mode: time advances only by the cost of what the CPU does, or by a
// jump to the next scheduled event when the CPU spins or idles.
// Paced mode: the same, but virtual time never runs ahead of the wall clock
// (times a fixed factor), so peers in other processes see real time-outs.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <unordered_map>

namespace sim {

using Nanos = uint64_t;
constexpr Nanos kNsPerUs = 1000;
constexpr Nanos kNsPerMs = 1000 * 1000;

class SimClock {
 public:
  using EventId = uint64_t;
  using Callback = std::function<void()>;

  Nanos Now() const { return m_now; }

  // Time passes by the cost of an access. Events that fall due are run by
  // RunDue, not here.
  void Advance(Nanos dt);
  // Moves time to the next scheduled event, never past it. Returns false when
  // nothing is scheduled.
  bool JumpToNextEvent();
  // Moves time forward to `when` (no-op if already there).
  void AdvanceTo(Nanos when);

  EventId Schedule(Nanos when, Callback fn);
  EventId ScheduleIn(Nanos delay, Callback fn) { return Schedule(m_now + delay, std::move(fn)); }
  void Cancel(EventId id);
  std::optional<Nanos> NextEventTime() const;
  // Runs every event due at or before now, in time order (ties in the order
  // they were scheduled).
  void RunDue();

  // Paced mode: virtual time may not run ahead of wall time × factor.
  void SetPaced(double factor);
  bool IsPaced() const { return m_paced; }
  // Asked in paced waits; when it returns true the wait gives up early.
  void SetInterruptCheck(std::function<bool()> fn) { m_interrupted = std::move(fn); }

 private:
  struct Key {
    Nanos when;
    uint64_t seq;
    bool operator<(const Key& o) const { return when != o.when ? when < o.when : seq < o.seq; }
  };
  void Pace();

  Nanos m_now = 0;
  uint64_t m_seq = 0;
  std::map<Key, Callback> m_events;
  std::unordered_map<EventId, Key> m_byId;
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
