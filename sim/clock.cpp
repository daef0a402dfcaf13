#include "sim/clock.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>

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
  PushEntry(Entry{when < m_now ? m_now : when, seq, slot});
  return (seq << kSlotBits) | slot;
}

void SimClock::Cancel(EventId id) {
  const auto slot = static_cast<uint32_t>(id & ((1u << kSlotBits) - 1));
  const uint64_t seq = id >> kSlotBits;
  if (seq == 0 || slot >= m_slots.size() || m_slots[slot].seq != seq) return;  // ran, cancelled or unknown
  m_slots[slot].seq = 0;
  m_slots[slot].fn.Reset();
  m_freeSlots.push_back(slot);
  ++m_staleEntries;
  DropStaleTop();
  CompactIfMostlyStale();
}

void SimClock::CompactIfMostlyStale() {
  // Cancelled events far in the future would otherwise pile up in the heap.
  if (m_staleEntries < 64 || 2 * m_staleEntries < m_heap.size()) return;
  m_heap.erase(std::remove_if(m_heap.begin(), m_heap.end(), [this](const Entry& e) { return !IsLive(e); }),
               m_heap.end());
  std::make_heap(m_heap.begin(), m_heap.end(), [](const Entry& a, const Entry& b) { return Before(b, a); });
  m_staleEntries = 0;
}

void SimClock::PushEntry(const Entry& e) {
  size_t i = m_heap.size();
  m_heap.push_back(e);
  while (i > 0) {
    const size_t parent = (i - 1) / 2;
    if (!Before(e, m_heap[parent])) break;
    m_heap[i] = m_heap[parent];
    i = parent;
  }
  m_heap[i] = e;
  m_nextWhen = m_heap.front().when;
}

void SimClock::PopEntry() {
  const Entry last = m_heap.back();
  m_heap.pop_back();
  const size_t n = m_heap.size();
  if (n > 0) {
    size_t i = 0;
    for (;;) {
      size_t child = 2 * i + 1;
      if (child >= n) break;
      if (child + 1 < n && Before(m_heap[child + 1], m_heap[child])) ++child;
      if (!Before(m_heap[child], last)) break;
      m_heap[i] = m_heap[child];
      i = child;
    }
    m_heap[i] = last;
  }
}

void SimClock::DropStaleTop() {
  while (!m_heap.empty() && !IsLive(m_heap.front())) {
    PopEntry();
    if (m_staleEntries > 0) --m_staleEntries;
  }
  m_nextWhen = m_heap.empty() ? kNever : m_heap.front().when;
}

void SimClock::RunDueEvents() {
  while (m_nextWhen <= m_now) {
    const uint32_t slot = m_heap.front().slot;
    PopEntry();
    // The work leaves its slot before it runs: it may schedule events,
    // which can reuse the slot or move the slots.
    Callback fn = std::move(m_slots[slot].fn);
    m_slots[slot].seq = 0;
    m_freeSlots.push_back(slot);
    DropStaleTop();
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
