#include "sim/clock.h"

#include <gtest/gtest.h>

#include <string>

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

}  // namespace
}  // namespace sim
