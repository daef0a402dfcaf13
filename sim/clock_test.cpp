#include "sim/clock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace sim {
namespace {

TEST(SimClock, RunsDueEventsInTimeOrderAndTiesInScheduleOrder) {
  SimClock clock;
  std::string order;
  clock.Schedule(300, [&] { order += 'c'; });
  clock.Schedule(100, [&] { order += 'a'; });
  clock.Schedule(100, [&] { order += 'b'; });
  clock.Schedule(400, [&] { order += 'x'; });
  clock.Advance(350);
  clock.RunDue();
  EXPECT_EQ(order, "abc");
  EXPECT_EQ(clock.NextEventTime(), Nanos{400});
}

TEST(SimClock, JumpStopsAtTheNextEventNeverPastIt) {
  SimClock clock;
  int fired = 0;
  clock.Schedule(5 * kNsPerMs, [&] { ++fired; });
  clock.Schedule(9 * kNsPerMs, [&] { ++fired; });
  ASSERT_TRUE(clock.JumpToNextEvent());
  EXPECT_EQ(clock.Now(), 5 * kNsPerMs);
  EXPECT_EQ(fired, 0);  // jumping runs nothing by itself
  clock.RunDue();
  EXPECT_EQ(fired, 1);
  ASSERT_TRUE(clock.JumpToNextEvent());
  EXPECT_EQ(clock.Now(), 9 * kNsPerMs);
  clock.RunDue();
  EXPECT_FALSE(clock.JumpToNextEvent());
  EXPECT_EQ(clock.Now(), 9 * kNsPerMs);
}

TEST(SimClock, CancelledEventsNeverRunAndEventsMayScheduleEvents) {
  SimClock clock;
  std::string order;
  const auto id = clock.Schedule(10, [&] { order += 'x'; });
  clock.Schedule(10, [&] {
    order += 'a';
    clock.Schedule(clock.Now(), [&] { order += 'b'; });  // due at once: runs in the same pass
  });
  clock.Cancel(id);
  clock.Cancel(id);  // twice is harmless
  clock.Advance(10);
  clock.RunDue();
  EXPECT_EQ(order, "ab");
}

TEST(SimClock, AnEventInThePastIsDueNow) {
  SimClock clock;
  clock.Advance(1000);
  bool bFired = false;
  clock.Schedule(10, [&] { bFired = true; });
  EXPECT_EQ(clock.NextEventTime(), Nanos{1000});
  clock.RunDue();
  EXPECT_TRUE(bFired);
}

TEST(SimClock, CancellingOrRunningAnEventReleasesWhatItHolds) {
  // Small captures live in the event itself, large ones on the heap: both
  // are let go when the event runs or is cancelled.
  struct Case {
    const char* name;
    bool bLarge;
    bool bCancel;
  };
  const Case cases[] = {
      {"small, run", false, false},
      {"small, cancelled", false, true},
      {"large, run", true, false},
      {"large, cancelled", true, true},
  };
  for (const Case& c : cases) {
    SimClock clock;
    auto held = std::make_shared<int>(7);
    int ran = 0;
    std::array<uint64_t, 16> pad{};
    pad[0] = 1;
    SimClock::EventId id = 0;
    if (c.bLarge) {
      id = clock.Schedule(50, [held, pad, &ran] { ran += static_cast<int>(pad[0]) * *held; });
    } else {
      id = clock.Schedule(50, [held, &ran] { ran += *held; });
    }
    EXPECT_EQ(held.use_count(), 2) << c.name;
    if (c.bCancel) clock.Cancel(id);
    clock.Advance(100);
    clock.RunDue();
    EXPECT_EQ(held.use_count(), 1) << c.name;
    EXPECT_EQ(ran, c.bCancel ? 0 : 7) << c.name;
    EXPECT_FALSE(clock.NextEventTime().has_value()) << c.name;
  }
}

// The plain meaning of a clock's events, kept deliberately simple: an
// ordered map by time and then by the order of scheduling.
class ReferenceClock {
 public:
  using EventId = uint64_t;
  Nanos Now() const { return m_now; }
  void Advance(Nanos dt) { m_now += dt; }
  EventId Schedule(Nanos when, std::function<void()> fn) {
    const Key key{when < m_now ? m_now : when, ++m_seq};
    m_events.emplace(key, std::move(fn));
    return key.second;
  }
  void Cancel(EventId id) {
    for (auto it = m_events.begin(); it != m_events.end(); ++it) {
      if (it->first.second == id) {
        m_events.erase(it);
        return;
      }
    }
  }
  EventId Reschedule(EventId id, Nanos when) {
    for (auto it = m_events.begin(); it != m_events.end(); ++it) {
      if (it->first.second == id) {
        auto fn = std::move(it->second);
        m_events.erase(it);
        return Schedule(when, std::move(fn));
      }
    }
    return 0;
  }
  // A timer as what it stands for: its work scheduled anew at each arming,
  // the pending arming cancelled.
  using TimerId = uint32_t;
  TimerId AddTimer(std::function<void()> fn) {
    m_timers.push_back(TimerState{std::move(fn), 0});
    return static_cast<TimerId>(m_timers.size() - 1);
  }
  void Arm(TimerId id, Nanos when) {
    Disarm(id);
    m_timers[id].pending = Schedule(when, [this, id] {
      m_timers[id].pending = 0;
      m_timers[id].fn();
    });
  }
  void Disarm(TimerId id) {
    Cancel(m_timers[id].pending);
    m_timers[id].pending = 0;
  }
  bool Armed(TimerId id) const { return m_timers[id].pending != 0; }
  void RunDue() {
    while (!m_events.empty() && m_events.begin()->first.first <= m_now) {
      auto fn = std::move(m_events.begin()->second);
      m_events.erase(m_events.begin());
      fn();
    }
  }

 private:
  using Key = std::pair<Nanos, uint64_t>;
  Nanos m_now = 0;
  uint64_t m_seq = 0;
  std::map<Key, std::function<void()>> m_events;
  struct TimerState {
    std::function<void()> fn;
    EventId pending;
  };
  std::vector<TimerState> m_timers;
};

// A long run of a device-like load on `Clock`: events on a coarse grid of
// times (so many share a time), events that schedule and cancel others (and
// move them, with bMoves), cancellations (and moves) of pending, finished
// and cancelled events alike, and some events whose captures are too large
// to be held inline; with kTimers timers as well, armed again and disarmed
// by the load and by their own work. Returns the labels in the order their
// events ran (a timer's run as kTimerLabel + its index).
constexpr uint32_t kTimerLabel = 1000000;
template <class Clock>
std::vector<uint32_t> RunLoad(uint32_t seed, uint32_t rounds, bool bMoves = false, uint32_t timers = 0) {
  enum class State : uint8_t { Pending, Ran, Cancelled };
  struct Load {
    Clock clock;
    std::mt19937 rng;
    std::vector<typename Clock::EventId> ids;  // by label
    std::vector<State> states;                 // by label
    std::vector<uint32_t> ran;
    bool bMoves;
    bool bDraining = false;  // the last pass adds no events
    std::vector<typename Clock::TimerId> timers;
    uint32_t Pick(uint32_t n) { return static_cast<uint32_t>(rng() % n); }
    void AddTimers(uint32_t n) {
      for (uint32_t i = 0; i < n; ++i) timers.push_back(clock.AddTimer([this, i] { TimerFired(i); }));
    }
    // Arms (often again, while armed) or disarms a timer, on the grid.
    void TouchTimer() {
      if (timers.empty()) return;
      const typename Clock::TimerId t = timers[Pick(static_cast<uint32_t>(timers.size()))];
      if (Pick(4) == 0) {
        clock.Disarm(t);
      } else if (!bDraining) {
        clock.Arm(t, clock.Now() + Pick(8) * 100);
      }
    }
    void TimerFired(uint32_t index) {
      EXPECT_FALSE(clock.Armed(timers[index])) << "timer " << index << " still armed while it runs";
      ran.push_back(kTimerLabel + index);
      if (Pick(3) == 0 && !bDraining) clock.Arm(timers[index], clock.Now() + Pick(4) * 100);  // itself
      if (Pick(3) == 0) TouchTimer();
      if (Pick(3) == 0 && !bDraining) Add(clock.Now() + Pick(4) * 100);
    }
    void Add(Nanos when) {
      const auto label = static_cast<uint32_t>(ids.size());
      states.push_back(State::Pending);
      if (label % 5 == 0) {
        std::array<uint64_t, 12> pad{};
        pad[3] = label;
        ids.push_back(clock.Schedule(when, [this, pad] { Fire(static_cast<uint32_t>(pad[3])); }));
      } else {
        ids.push_back(clock.Schedule(when, [this, label] { Fire(label); }));
      }
    }
    void CancelSome() {
      if (ids.empty()) return;
      const uint32_t label = Pick(static_cast<uint32_t>(ids.size()));
      clock.Cancel(ids[label]);
      if (states[label] == State::Pending) states[label] = State::Cancelled;
    }
    // Moves an event earlier or later; one that ran or was cancelled stays
    // so.
    void MoveSome() {
      if (ids.empty()) return;
      const uint32_t label = Pick(static_cast<uint32_t>(ids.size()));
      const typename Clock::EventId moved = clock.Reschedule(ids[label], clock.Now() + Pick(8) * 100);
      EXPECT_EQ(moved != 0, states[label] == State::Pending) << "event " << label;
      if (moved != 0) ids[label] = moved;
    }
    void Fire(uint32_t label) {
      EXPECT_EQ(states[label], State::Pending) << "event " << label << " ran after it was cancelled or ran";
      states[label] = State::Ran;
      ran.push_back(label);
      if (Pick(3) == 0 && !bDraining) Add(clock.Now() + Pick(4) * 100);  // may be due at once
      if (Pick(4) == 0) CancelSome();
      if (bMoves && Pick(5) == 0) MoveSome();
      if (!timers.empty() && Pick(3) == 0) TouchTimer();
    }
  };
  Load load{Clock{}, std::mt19937(seed), {}, {}, {}, bMoves, false, {}};
  load.AddTimers(timers);
  for (uint32_t i = 0; i < rounds; ++i) {
    load.Add(load.clock.Now() + load.Pick(8) * 100);
    if (!load.timers.empty() && load.Pick(2) == 0) load.TouchTimer();
    if (load.Pick(3) == 0) load.CancelSome();
    if (load.bMoves && load.Pick(3) == 0) load.MoveSome();
    if (load.Pick(4) == 0) {
      load.clock.Advance(load.Pick(5) * 100);
      load.clock.RunDue();
    }
  }
  load.bDraining = true;
  load.clock.Advance(1000000);
  load.clock.RunDue();
  for (size_t label = 0; label < load.states.size(); ++label) {
    EXPECT_NE(load.states[label], State::Pending) << "event " << label << " never ran";
  }
  for (const auto t : load.timers) EXPECT_FALSE(load.clock.Armed(t)) << "a timer never ran";
  return load.ran;
}

TEST(SimClock, ALongRunOfScheduledAndCancelledEventsKeepsThePlainOrder) {
  for (uint32_t seed : {1u, 2u, 77u}) {
    const std::vector<uint32_t> expected = RunLoad<ReferenceClock>(seed, 4000);
    const std::vector<uint32_t> actual = RunLoad<SimClock>(seed, 4000);
    ASSERT_GT(expected.size(), 3000u) << seed;
    EXPECT_EQ(actual, expected) << "seed " << seed;
  }
}

TEST(SimClock, MovingEventsKeepsTheOrderOfCancellingAndSchedulingAnew) {
  for (uint32_t seed : {3u, 4u, 91u}) {
    const std::vector<uint32_t> expected = RunLoad<ReferenceClock>(seed, 4000, true);
    const std::vector<uint32_t> actual = RunLoad<SimClock>(seed, 4000, true);
    ASSERT_GT(expected.size(), 3000u) << seed;
    EXPECT_EQ(actual, expected) << "seed " << seed;
  }
}

TEST(SimClock, TimersRunInTheOrderOfSchedulingTheirWorkAnewAtEachArming) {
  struct Case {
    uint32_t seed;
    bool bMoves;
    uint32_t timers;
  };
  const Case cases[] = {{5, false, 1}, {6, false, 3}, {7, true, 3}, {8, true, SimClock::kMaxTimers}};
  for (const Case& c : cases) {
    const std::vector<uint32_t> expected = RunLoad<ReferenceClock>(c.seed, 4000, c.bMoves, c.timers);
    const std::vector<uint32_t> actual = RunLoad<SimClock>(c.seed, 4000, c.bMoves, c.timers);
    ASSERT_GT(expected.size(), 3000u) << c.seed;
    EXPECT_GT(std::count_if(expected.begin(), expected.end(), [](uint32_t label) { return label >= kTimerLabel; }), 150)
        << c.seed;
    EXPECT_EQ(actual, expected) << "seed " << c.seed;
  }
}

TEST(SimClock, ATimerAloneIsTheNextEventAndDisarmingItLeavesNone) {
  SimClock clock;
  int ran = 0;
  const SimClock::TimerId t = clock.AddTimer([&] { ++ran; });
  EXPECT_FALSE(clock.NextEventTime().has_value());
  clock.Arm(t, 500);
  clock.Arm(t, 300);  // moves the pending arming
  EXPECT_EQ(clock.NextEventTime(), Nanos{300});
  ASSERT_TRUE(clock.JumpToNextEvent());
  clock.RunDue();
  EXPECT_EQ(ran, 1);
  EXPECT_FALSE(clock.NextEventTime().has_value());
  clock.Arm(t, 100);  // in the past: due now
  EXPECT_EQ(clock.NextEventTime(), Nanos{300});
  clock.Disarm(t);
  clock.Disarm(t);
  EXPECT_FALSE(clock.NextEventTime().has_value());
  clock.Advance(1000);
  clock.RunDue();
  EXPECT_EQ(ran, 1);
}

}  // namespace
}  // namespace sim
