#include "sim/clock.h"

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

void SimClock::Advance(Nanos dt) {
  m_now += dt;
  if (m_paced && m_now >= m_nextPaceCheck) Pace();
}

void SimClock::AdvanceTo(Nanos when) {
  if (when > m_now) Advance(when - m_now);
}

bool SimClock::JumpToNextEvent() {
  if (m_events.empty()) return false;
  AdvanceTo(m_events.begin()->first.when);
  return true;
}

SimClock::EventId SimClock::Schedule(Nanos when, Callback fn) {
  const Key key{when < m_now ? m_now : when, ++m_seq};
  m_events.emplace(key, std::move(fn));
  m_byId.emplace(key.seq, key);
  return key.seq;
}

void SimClock::Cancel(EventId id) {
  auto it = m_byId.find(id);
  if (it == m_byId.end()) return;
  m_events.erase(it->second);
  m_byId.erase(it);
}

std::optional<Nanos> SimClock::NextEventTime() const {
  if (m_events.empty()) return std::nullopt;
  return m_events.begin()->first.when;
}

void SimClock::RunDue() {
  while (!m_events.empty() && m_events.begin()->first.when <= m_now) {
    auto it = m_events.begin();
    Callback fn = std::move(it->second);
    m_byId.erase(it->first.seq);
    m_events.erase(it);
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
