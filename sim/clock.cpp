#include "sim/clock.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <utility>

namespace sim {

namespace {
// Paced mode compares with the wall clock once per this much virtual time.
constexpr Nanos kPaceQuantum = 200 * kNsPerUs;
// A paced wait sleeps in slices of at most this, so a stop request is seen.
constexpr Nanos kPaceSlice = 10 * kNsPerMs;
}  // namespace

Nanos WallNowNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<Nanos>(ts.tv_sec) * 1000000000ull + static_cast<Nanos>(ts.tv_nsec);
}

void SimClock::AdvanceTo(Nanos when) {
  if (when > m_now) Advance(when - m_now);
}

bool SimClock::JumpToNextEvent() {
  if (m_nextWhen == kNever) return false;
  AdvanceTo(m_nextWhen);
  return true;
}

SimClock::EventId SimClock::Schedule(Nanos when, Callback fn) {
  uint32_t slot = 0;
  if (!m_freeSlots.empty()) {
    slot = m_freeSlots.back();
    m_freeSlots.pop_back();
  } else {
    slot = static_cast<uint32_t>(m_slots.size());
    if (slot >= (1u << kSlotBits)) {
      std::fputs("virtual board: too many clock events scheduled at once\n", stderr);
      std::abort();
    }
    m_slots.emplace_back();
  }
  const uint64_t seq = ++m_seq;
  m_slots[slot].seq = seq;
  m_slots[slot].fn = std::move(fn);
  m_heap.emplace_back();
  SiftUp(Entry{when < m_now ? m_now : when, seq, slot}, m_heap.size() - 1);
  NoteNext();
  return (seq << kSlotBits) | slot;
}

SimClock::Slot* SimClock::LiveSlot(EventId id) {
  const auto slot = static_cast<uint32_t>(id & ((1u << kSlotBits) - 1));
  const uint64_t seq = id >> kSlotBits;
  if (seq == 0 || slot >= m_slots.size() || m_slots[slot].seq != seq) return nullptr;  // ran, cancelled or unknown
  return &m_slots[slot];
}

void SimClock::Cancel(EventId id) {
  Slot* s = LiveSlot(id);
  if (s == nullptr) return;
  const uint32_t heapIndex = s->heapIndex;
  s->fn.Reset();
  FreeSlot(static_cast<uint32_t>(s - m_slots.data()));
  RemoveAt(heapIndex);
  NoteNext();
}

SimClock::EventId SimClock::Reschedule(EventId id, Nanos when) {
  Slot* s = LiveSlot(id);
  if (s == nullptr) return 0;
  const auto slot = static_cast<uint32_t>(s - m_slots.data());
  const uint64_t seq = ++m_seq;
  s->seq = seq;
  const Entry e{when < m_now ? m_now : when, seq, slot};
  // The new time and sequence number order the record after where it was
  // or before it: it moves one way only.
  const size_t i = s->heapIndex;
  if (i > 0 && Before(e, m_heap[(i - 1) / 2])) {
    SiftUp(e, i);
  } else {
    SiftDown(e, i);
  }
  NoteNext();
  return (seq << kSlotBits) | slot;
}

SimClock::TimerId SimClock::AddTimer(Callback fn) {
  if (m_timerCount == kMaxTimers) {
    std::fputs("virtual board: too many clock timers\n", stderr);
    std::abort();
  }
  Timer& t = m_timers[m_timerCount];
  t.when = kNever;
  t.seq = 0;
  t.fn = std::move(fn);
  return m_timerCount++;
}

void SimClock::Arm(TimerId id, Nanos when) {
  Timer& t = m_timers[id];
  t.when = when < m_now ? m_now : when;
  t.seq = ++m_seq;
  m_armedTimers |= 1u << id;
  if (m_armedTimers == 1u << id) {
    // The only armed timer (an idle board's A/D conversion).
    m_firstTimer = id;
    m_firstTimerWhen = t.when;
  } else if (m_firstTimer == id) {
    NoteFirstTimer();
  } else if (m_firstTimer == kNoTimer || t.when < m_firstTimerWhen) {
    // A later sequence number never goes before a timer of the same time.
    m_firstTimer = id;
    m_firstTimerWhen = t.when;
  }
  NoteNext();
}

void SimClock::Disarm(TimerId id) {
  Timer& t = m_timers[id];
  if (t.seq == 0) return;
  t.seq = 0;
  t.when = kNever;
  m_armedTimers &= ~(1u << id);
  if (m_firstTimer == id) {
    NoteFirstTimer();
    NoteNext();
  }
}

void SimClock::NoteFirstTimer() {
  m_firstTimer = kNoTimer;
  m_firstTimerWhen = kNever;
  uint64_t firstSeq = 0;
  for (uint32_t armed = m_armedTimers; armed != 0; armed &= armed - 1) {
    const auto i = static_cast<uint32_t>(__builtin_ctz(armed));
    const Timer& t = m_timers[i];
    if (m_firstTimer == kNoTimer || t.when < m_firstTimerWhen || (t.when == m_firstTimerWhen && t.seq < firstSeq)) {
      m_firstTimer = i;
      m_firstTimerWhen = t.when;
      firstSeq = t.seq;
    }
  }
}

void SimClock::SiftUp(Entry e, size_t i) {
  while (i > 0) {
    const size_t parent = (i - 1) / 2;
    if (!Before(e, m_heap[parent])) break;
    Place(m_heap[parent], i);
    i = parent;
  }
  Place(e, i);
}

void SimClock::SiftDown(Entry e, size_t i) {
  const size_t n = m_heap.size();
  for (;;) {
    size_t child = 2 * i + 1;
    if (child >= n) break;
    if (child + 1 < n && Before(m_heap[child + 1], m_heap[child])) ++child;
    if (!Before(m_heap[child], e)) break;
    Place(m_heap[child], i);
    i = child;
  }
  Place(e, i);
}

void SimClock::RemoveAt(size_t i) {
  const Entry last = m_heap.back();
  m_heap.pop_back();
  if (i == m_heap.size()) return;  // it was the last record
  if (i > 0 && Before(last, m_heap[(i - 1) / 2])) {
    SiftUp(last, i);
  } else {
    SiftDown(last, i);
  }
}

void SimClock::RunDueEvents() {
  while (m_nextWhen <= m_now) {
    if (TimerRunsFirst()) {
      // The work stays in its timer: it may arm the timer again.
      Timer& t = m_timers[m_firstTimer];
      t.seq = 0;
      t.when = kNever;
      m_armedTimers &= ~(1u << m_firstTimer);
      NoteFirstTimer();
      NoteNext();
      t.fn();
      continue;
    }
    const uint32_t slot = m_heap.front().slot;
    RemoveAt(0);
    NoteNext();
    // The work leaves its slot before it runs: it may schedule events,
    // which can reuse the slot or move the slots.
    Callback fn = std::move(m_slots[slot].fn);
    FreeSlot(slot);
    fn();
  }
}

void SimClock::SetPaced(double factor) {
  m_paced = factor > 0;
  m_factor = factor > 0 ? factor : 1.0;
  m_wallStart = WallNowNs();
  m_virtStart = m_now;
  m_nextPaceCheck = m_now;
}

void SimClock::Pace() {
  m_nextPaceCheck = m_now + kPaceQuantum;
  for (;;) {
    const Nanos wallElapsed = WallNowNs() - m_wallStart;
    const auto allowed = static_cast<Nanos>(static_cast<double>(wallElapsed) * m_factor);
    const Nanos virtElapsed = m_now - m_virtStart;
    if (virtElapsed <= allowed) return;
    if (m_interrupted && m_interrupted()) return;
    Nanos wait = static_cast<Nanos>(static_cast<double>(virtElapsed - allowed) / m_factor);
    if (wait > kPaceSlice) wait = kPaceSlice;
    timespec ts{static_cast<time_t>(wait / 1000000000ull), static_cast<long>(wait % 1000000000ull)};
    nanosleep(&ts, nullptr);
  }
}

}  // namespace sim
