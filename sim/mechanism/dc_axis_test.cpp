// A DC-driven axis on the board's clock: where it is after a time at a
// speed, which switches read active there, when it reports, and that it
// holds at an end stop, while stuck, slowed by a factor and against an
// obstacle.
#include "sim/mechanism/dc_axis.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "sim/board.h"
#include "sim/testing/board_fixture.h"

namespace sim {
namespace {

constexpr SensorBit kLow{0, 0, false};
constexpr SensorBit kHigh{0, 1, true};
constexpr SensorWindow kWindows[] = {{0, 99, kLow}, {900, 1000, kHigh}};
constexpr Nanos kSecond = 1000 * kNsPerMs;

struct Report {
  uint8_t bit;
  bool bActive;
  Nanos at;
};

class AxisTest : public ::testing::Test {
 protected:
  DcAxis& Make(AxisKind kind, int32_t start) {
    const AxisGeometry g{kind, 1000, start, 1000, kWindows};
    m_axis = std::make_unique<DcAxis>(
        board.Clock(), g, [this](const SensorBit& s, bool bActive) { reports.push_back({s.bit, bActive, Now()}); },
        [this](int32_t p) { moves.push_back(p); });
    return *m_axis;
  }
  Nanos Now() { return board.Clock().Now(); }
  void Run(Nanos dt) { RunBoardFor(board, dt); }

  Board board{BoardConfig{}};
  std::unique_ptr<DcAxis> m_axis;
  std::vector<Report> reports;
  std::vector<int32_t> moves;
};

TEST_F(AxisTest, PositionAfterATimeAtASpeed) {
  struct Case {
    const char* what;
    AxisKind kind;
    int32_t start;
    int64_t velocity;
    Nanos after;
    int32_t position;
    bool bLowActive;
    bool bHighActive;
  };
  const Case cases[] = {
      {"standing", AxisKind::Linear, 500, 0, kSecond, 500, false, false},
      {"forward half a second", AxisKind::Linear, 100, 1000, kSecond / 2, 600, false, false},
      {"into the high window", AxisKind::Linear, 500, 1000, 400 * kNsPerMs, 900, false, true},
      {"reverse into the low window", AxisKind::Linear, 500, -1000, 401 * kNsPerMs, 99, true, false},
      {"held at the upper end stop", AxisKind::Linear, 500, 1000, 3 * kSecond, 1000, false, true},
      {"held at the lower end stop", AxisKind::Linear, 500, -2000, 3 * kSecond, 0, true, false},
      {"slowly", AxisKind::Linear, 0, 10, kSecond, 10, true, false},
      {"a cyclic axis wraps forward", AxisKind::Cyclic, 900, 1000, 150 * kNsPerMs, 50, true, false},
      {"a cyclic axis wraps backward", AxisKind::Cyclic, 50, -1000, 100 * kNsPerMs, 950, false, true},
      {"a cyclic axis turns on", AxisKind::Cyclic, 0, 1000, 5 * kSecond + 500 * kNsPerMs, 500, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    DcAxis& axis = Make(c.kind, c.start);
    axis.Drive(c.velocity);
    Run(c.after);
    EXPECT_EQ(axis.Position(), c.position);
    EXPECT_EQ(axis.SensorActive(kLow), c.bLowActive);
    EXPECT_EQ(axis.SensorActive(kHigh), c.bHighActive);
  }
}

TEST_F(AxisTest, ReportsEachSwitchEdgeAtItsTimeAndStopsReportingAtTheEndStop) {
  DcAxis& axis = Make(AxisKind::Linear, 50);
  ASSERT_EQ(reports.size(), 2u) << "both switches at construction";
  reports.clear();
  const Nanos t0 = Now();
  axis.Drive(1000);  // one unit per ms
  Run(2 * kSecond);
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0].bit, 0);
  EXPECT_FALSE(reports[0].bActive);
  EXPECT_EQ(reports[0].at - t0, 50 * kNsPerMs) << "leaves [0, 99] at 100";
  EXPECT_EQ(reports[1].bit, 1);
  EXPECT_TRUE(reports[1].bActive);
  EXPECT_EQ(reports[1].at - t0, 850 * kNsPerMs);
  EXPECT_EQ(moves, (std::vector<int32_t>{50, 100, 900, 1000})) << "start, two edges, the end stop";
  EXPECT_FALSE(axis.Moving()) << "stalled at the stop, still driven";
  EXPECT_FALSE(board.Clock().NextEventTime().has_value()) << "nothing scheduled while stalled";
}

TEST_F(AxisTest, AStuckAxisHoldsAndGoesOnWhenFreed) {
  DcAxis& axis = Make(AxisKind::Linear, 200);
  axis.SetStuck(true);
  axis.Drive(1000);
  Run(kSecond / 2);
  EXPECT_EQ(axis.Position(), 200);
  EXPECT_FALSE(axis.Moving());
  axis.SetStuck(false);
  Run(kSecond / 4);
  EXPECT_EQ(axis.Position(), 450);
  axis.SetStuck(true);
  Run(kSecond);
  EXPECT_EQ(axis.Position(), 450);
  EXPECT_EQ(moves, (std::vector<int32_t>{200, 450}));
}

TEST_F(AxisTest, ASpeedChangeOnTheWayKeepsThePositionReached) {
  DcAxis& axis = Make(AxisKind::Linear, 100);
  axis.Drive(1000);
  Run(200 * kNsPerMs);
  axis.Drive(-500);
  Run(200 * kNsPerMs);
  EXPECT_EQ(axis.Position(), 200);
  axis.Drive(0);
  Run(kSecond);
  EXPECT_EQ(axis.Position(), 200);
}

TEST_F(AxisTest, ASlowAxisMovesAtItsDrivesSpeedTimesTheFactorFromWhereItIs) {
  DcAxis& axis = Make(AxisKind::Linear, 100);
  axis.Drive(1000);
  Run(100 * kNsPerMs);
  axis.SetSpeedFactor(0.25);
  const Nanos t0 = Now();
  Run(kSecond);
  EXPECT_EQ(axis.Position(), 450);
  EXPECT_DOUBLE_EQ(axis.SpeedFactor(), 0.25);
  // The high switch's edge comes at the slowed speed: 900 reached 2800 ms
  // after the factor took hold at 200.
  reports.clear();
  Run(2 * kSecond);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].at - t0, 2800 * kNsPerMs);
  axis.SetSpeedFactor(1.0);
  Run(kSecond);
  EXPECT_EQ(axis.Position(), 1000);
}

TEST_F(AxisTest, AnObstacleStopsTheAxisFromEitherSideAndLetsItGoOnlyBack) {
  struct Case {
    const char* what;
    AxisKind kind;
    int32_t start;
    int32_t block;
    int64_t velocity;
    int32_t stopsAt;
  };
  const Case cases[] = {
      {"linear, from below", AxisKind::Linear, 100, 600, 1000, 600},
      {"linear, from above", AxisKind::Linear, 900, 600, -1000, 600},
      {"linear, behind it runs to the end stop", AxisKind::Linear, 700, 600, 1000, 1000},
      {"cyclic, forward round the turn", AxisKind::Cyclic, 900, 200, 1000, 200},
      {"cyclic, backward round the turn", AxisKind::Cyclic, 100, 800, -1000, 800},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    DcAxis& axis = Make(c.kind, c.start);
    axis.SetBlockedAt(c.block);
    axis.Drive(c.velocity);
    Run(3 * kSecond);
    EXPECT_EQ(axis.Position(), c.stopsAt);
    EXPECT_FALSE(axis.Moving()) << "stalled, still driven";
    if (c.stopsAt != c.block) continue;
    // Driven on the same way it stays; the other way it leaves.
    axis.Drive(c.velocity * 2);
    Run(kSecond / 10);
    EXPECT_EQ(axis.Position(), c.block);
    axis.Drive(-c.velocity);
    Run(kSecond / 10);
    EXPECT_NE(axis.Position(), c.block);
    EXPECT_TRUE(axis.Moving());
  }
}

TEST_F(AxisTest, AnAxisStandingOnTheObstacleLeavesEitherWayAndAClearedOneLetsItPass) {
  DcAxis& axis = Make(AxisKind::Linear, 500);
  axis.SetBlockedAt(500);
  axis.Drive(1000);
  Run(200 * kNsPerMs);
  EXPECT_EQ(axis.Position(), 700);
  axis.Drive(-1000);
  Run(kSecond);
  EXPECT_EQ(axis.Position(), 500) << "back against it from above";
  axis.ClearBlock();
  Run(kSecond);
  EXPECT_EQ(axis.Position(), 0);
}

}  // namespace
}  // namespace sim
