// The paper-roll carousel: every turn of each engine variant, counted from
// the edge of the window it leaves as the firmware counts it, ends inside
// its target's window from every point a turn or the homing leaves it at;
// the counting channels, the stops, the lock and the fault switches; and on
// the DC mechanism, the paper-rotation motor's duty and the rotation lock.
#include "sim/mechanism/carousel.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <set>
#include <string>
#include <utility>

#include "sim/board.h"
#include "sim/mechanism/dc_mechanism_test_rig.h"
#include "sim/testing/board_fixture.h"

namespace sim {
namespace {

using P = CarouselPosition;

// A carousel on a board of its own, with what its sinks reported.
class CarouselRig {
 public:
  explicit CarouselRig(EngineVariant variant)
      : carousel(
            board.Clock(), variant, [this](uint32_t channel) { ++counts[channel]; },
            [this](const SensorBit& s, bool bActive) {
              if (s.word == Carousel::kUnitPosi.word && s.bit == Carousel::kUnitPosi.bit) unitPosi = bActive;
            },
            [this](int32_t p) { moves.push_back(p); }) {}

  void Run(Nanos dt) { RunBoardFor(board, dt); }
  // Runs in steps of 500 us (a few a count) until `done` or the limit.
  template <typename Done>
  bool RunUntil(Done done, Nanos limit = 20 * kSecond) {
    for (Nanos t = 0; t < limit; t += 500 * kNsPerUs) {
      if (done()) return true;
      Run(500 * kNsPerUs);
    }
    return done();
  }
  uint32_t TurnEnc() const { return counts[Carousel::kTurnEncChannel]; }
  uint32_t FaultChk() const { return counts[Carousel::kFaultChkChannel]; }

  Board board{BoardConfig{}};
  uint32_t counts[8] = {};
  bool unitPosi = false;
  std::vector<int32_t> moves;
  Carousel carousel;
};

// One turn as the firmware runs it: from the notch it stands in (or the
// first it finds), more than 24 counts inside, then the move's counts from
// where "UnitPosi" goes off, and the brake. Polled every 500 us.
struct TurnResult {
  bool bLeftNotch = false;
  int32_t edge = 0;
  bool bEnded = false;
};
TurnResult RunTurn(CarouselRig& r, uint32_t counts, int direction) {
  TurnResult t;
  r.carousel.Drive(direction, 2);
  if (!r.RunUntil([&] { return r.carousel.UnitPosi(); })) return t;
  const uint32_t start = r.TurnEnc();
  if (!r.RunUntil([&] { return !r.carousel.UnitPosi() || r.TurnEnc() - start > 24; })) return t;
  if (!r.carousel.UnitPosi()) return t;  // the notch ended first
  if (!r.RunUntil([&] { return !r.carousel.UnitPosi(); })) return t;
  t.bLeftNotch = true;
  t.edge = r.carousel.Position();
  const uint32_t from = r.TurnEnc();
  t.bEnded = r.RunUntil([&] { return r.TurnEnc() - from >= counts; });
  r.carousel.Drive(0, 1);
  return t;
}

int DirectionOf(const CarouselTurn& turn) {
  const auto rank = [](P p) { return p == P::Left ? 0 : p == P::Neutral ? 1 : 2; };
  return rank(turn.to) > rank(turn.from) ? 1 : -1;
}

// Counts from p to the edge of its window in the direction given.
int32_t ToEdge(const CountWindow& w, int32_t p, int direction) { return direction > 0 ? w.to - p : p - w.from; }

class CarouselLayouts : public ::testing::TestWithParam<EngineVariant> {};

TEST_P(CarouselLayouts, EveryTurnFromEveryRestPointEndsInsideItsTargetsWindowWithRoomForTheNext) {
  const EngineVariant variant = GetParam();
  const CarouselLayout& layout = CarouselLayoutOf(variant);
  constexpr int32_t kRoom = 24 + 8;  // the notch's 24 counts and a margin
  // The rest points: power-on, the homing's end stop, and wherever a turn
  // from a rest point ends.
  std::set<int32_t> seen{layout.rest, layout.endStop};
  std::deque<int32_t> todo(seen.begin(), seen.end());
  std::set<std::pair<P, P>> walked;
  while (!todo.empty()) {
    const int32_t rest = todo.front();
    todo.pop_front();
    const P at = layout.At(rest);
    ASSERT_NE(at, P::None) << rest;
    for (const CarouselTurn& turn : CarouselTurnsOf(variant)) {
      if (turn.from != at) continue;
      SCOPED_TRACE(testing::Message() << "from " << rest << " to " << static_cast<int>(turn.to));
      const int direction = DirectionOf(turn);
      EXPECT_GE(ToEdge(layout.Window(at), rest, direction), kRoom) << "room in the notch";
      CarouselRig r(variant);
      // Brought to the rest point by the end-stop-free way: driven there.
      r.carousel.Drive(rest > layout.rest ? 1 : -1, 1);
      ASSERT_TRUE(r.RunUntil([&] { return r.carousel.Position() == rest; }));
      r.carousel.Drive(0, 1);
      const TurnResult t = RunTurn(r, turn.counts, direction);
      ASSERT_TRUE(t.bLeftNotch && t.bEnded);
      const int32_t end = r.carousel.Position();
      EXPECT_EQ(end, t.edge + direction * static_cast<int32_t>(turn.counts));
      EXPECT_EQ(layout.At(end), turn.to) << end;
      walked.insert({turn.from, turn.to});
      if (seen.insert(end).second) todo.push_back(end);
    }
  }
  EXPECT_EQ(walked.size(), CarouselTurnsOf(variant).size()) << "every turn walked";
  // A homing (50 % duty, towards the end stop) from any rest point reaches
  // the end stop within the firmware's 10 s guard, with half a second to
  // spare.
  constexpr uint64_t kHomingPercent = 50;
  constexpr Nanos kHomingLimit = 9500 * kNsPerMs;
  for (const int32_t rest : seen) {
    const auto counts = static_cast<uint64_t>(layout.endStop - rest);
    EXPECT_LT(counts * kSecond * 100 / (Carousel::kFullSpeed * kHomingPercent), kHomingLimit) << "homing from " << rest;
  }
  // The homing's end lies in 3's window, and neutral's rest where a turn
  // from 3 ends.
  EXPECT_EQ(layout.At(layout.endStop), P::Right);
  EXPECT_EQ(layout.At(layout.rest), P::Neutral);
}

TEST_P(CarouselLayouts, AtPowerOnTheCarouselRestsInNeutralsNotch) {
  CarouselRig r(GetParam());
  EXPECT_EQ(r.carousel.Position(), CarouselLayoutOf(GetParam()).rest);
  EXPECT_EQ(r.carousel.At(), P::Neutral);
  EXPECT_TRUE(r.unitPosi) << "reported at construction";
  EXPECT_FALSE(r.carousel.MotorTurning());
}

INSTANTIATE_TEST_SUITE_P(Variants, CarouselLayouts, ::testing::Values(EngineVariant::EM2, EngineVariant::EM3),
                         [](const auto& test) { return std::string(ToString(test.param)); });

// ---- counting, stops, lock and faults ----

struct CountCase {
  const char* what;
  int64_t num;  // of 4
  void (*setUp)(Carousel&);
  uint32_t turnEnc;  // in one second
  uint32_t faultChk;
  int32_t moved;
};

void Nothing(Carousel&) {}
void Locked(Carousel& c) { c.SetLocked(true); }
void Blocked(Carousel& c) { c.SetBlocked(true); }
void Slipping(Carousel& c) { c.SetSlipping(true); }
void SlippingLocked(Carousel& c) {
  c.SetSlipping(true);
  c.SetLocked(true);
}

TEST(CarouselCounts, BothChannelsCountTravelUpwardsAndStandStillTogether) {
  constexpr int32_t kFull = Carousel::kFullSpeed;  // counts in one second at full duty
  const CountCase cases[] = {
      {"forward at full duty", 4, Nothing, kFull, kFull, kFull},
      {"reverse at full duty", -4, Nothing, kFull, kFull, -kFull},
      {"forward at half duty", 2, Nothing, kFull / 2, kFull / 2, kFull / 2},
      {"reverse at a quarter", -1, Nothing, kFull / 4, kFull / 4, -kFull / 4},
      {"at 250 % of its speed", 2, [](Carousel& c) { c.SetSpeedPercent(250); }, kFull * 5 / 4, kFull * 5 / 4,
       kFull * 5 / 4},
      {"locked", 4, Locked, 0, 0, 0},
      {"blocked", -4, Blocked, 0, 0, 0},
      {"slipping", 4, Slipping, kFull, 0, 0},
      {"slipping against the lock", 2, SlippingLocked, kFull / 2, 0, 0},
  };
  for (const CountCase& c : cases) {
    SCOPED_TRACE(c.what);
    CarouselRig r(EngineVariant::EM3);
    c.setUp(r.carousel);
    const int32_t from = r.carousel.Position();
    r.carousel.Drive(c.num, 4);
    r.Run(kSecond);
    EXPECT_EQ(r.TurnEnc(), c.turnEnc);
    EXPECT_EQ(r.FaultChk(), c.faultChk);
    EXPECT_EQ(r.carousel.Position() - from, c.moved);
    EXPECT_EQ(r.carousel.MotorTurning(), c.turnEnc != 0);
  }
}

TEST(CarouselCounts, AtTheEndStopNothingCountsUnlessTheStopIsMissing) {
  for (const bool bMissing : {false, true}) {
    SCOPED_TRACE(bMissing ? "missing" : "in place");
    CarouselRig r(EngineVariant::EM2);
    const CarouselLayout& layout = r.carousel.Layout();
    r.carousel.SetEndStopMissing(bMissing);
    r.carousel.Drive(1, 1);
    r.Run(5 * kSecond);
    const uint32_t turnEnc = r.TurnEnc(), faultChk = r.FaultChk();
    r.Run(kSecond);
    if (bMissing) {
      EXPECT_EQ(r.FaultChk() - faultChk, Carousel::kFullSpeed) << "runs on";
      EXPECT_GT(r.carousel.Position(), layout.endStop);
      EXPECT_FALSE(r.carousel.UnitPosi()) << "past 3's window";
      continue;
    }
    EXPECT_EQ(r.carousel.Position(), layout.endStop);
    EXPECT_EQ(r.TurnEnc(), turnEnc);
    EXPECT_EQ(r.FaultChk(), faultChk);
    EXPECT_EQ(static_cast<int32_t>(faultChk), layout.endStop - layout.rest);
    EXPECT_TRUE(r.carousel.UnitPosi());
    EXPECT_EQ(r.moves.back(), layout.endStop) << "the stop is traced";
    // And away from it again the other way.
    r.carousel.Drive(-1, 1);
    r.Run(kSecond);
    EXPECT_EQ(r.carousel.Position(), layout.endStop - static_cast<int32_t>(Carousel::kFullSpeed));
  }
}

TEST(CarouselCounts, UnitPosiFollowsTheWindowsAndEachEdgeIsTraced) {
  CarouselRig r(EngineVariant::EM3);
  const CarouselLayout& layout = r.carousel.Layout();
  r.carousel.Drive(-1, 1);
  ASSERT_TRUE(r.RunUntil([&] { return !r.unitPosi; }));
  EXPECT_EQ(r.carousel.Position(), layout.neutral.from - 1);
  EXPECT_EQ(r.moves.back(), layout.neutral.from - 1);
  ASSERT_TRUE(r.RunUntil([&] { return r.unitPosi; }));
  EXPECT_EQ(r.carousel.Position(), layout.left.to);
  EXPECT_EQ(r.carousel.At(), P::Left);
  ASSERT_TRUE(r.RunUntil([&] { return !r.unitPosi; }));
  EXPECT_EQ(r.carousel.Position(), layout.left.from - 1);
  ASSERT_TRUE(r.RunUntil([&] { return !r.carousel.MotorTurning(); }));
  EXPECT_EQ(r.carousel.Position(), layout.farStop) << "the far stop beyond 2";
}

// A duty change in the middle of a count keeps the travel made: the next
// count comes after the rest of it at the new speed.
TEST(CarouselCounts, ADutyChangeKeepsTheTravelTowardsTheNextCount) {
  CarouselRig r(EngineVariant::EM3);
  r.carousel.Drive(1, 1);
  r.Run(kSecond / Carousel::kFullSpeed / 2);  // half a count at full speed
  r.carousel.Drive(1, 2);
  r.Run(kSecond / Carousel::kFullSpeed - 1);  // the other half at half speed, less 1 ns
  EXPECT_EQ(r.TurnEnc(), 0u);
  r.Run(1);
  EXPECT_EQ(r.TurnEnc(), 1u);
  // Stopping forgets a part-made count.
  r.Run(kSecond / Carousel::kFullSpeed);
  r.carousel.Drive(0, 1);
  r.carousel.Drive(1, 1);
  r.Run(kSecond / Carousel::kFullSpeed - 1);
  EXPECT_EQ(r.TurnEnc(), 1u);
}

// ---- on the DC mechanism ----

class CarouselOnTheMechanism : public DcMechanismTest {};

TEST_F(CarouselOnTheMechanism, TheRotationMotorTurnsItAtItsDutyWhileTheLockIsOpen) {
  MotorEnable(true);
  Write(FpgaMainBlock::kCntEnable, 0);
  const Carousel& carousel = mech->GetCarousel();
  EXPECT_TRUE(carousel.Locked()) << "locked at power-on";
  Pwm(DcMotor::PaperRot, 800, 400);
  Pwm(DcMotor::RotLock, 800, 800);
  Drive(DcMotor::PaperRot, Op::Forward);
  Run(kSecond);
  EXPECT_EQ(Counter(Carousel::kTurnEncChannel), 0u) << "held by the lock";
  EXPECT_FALSE(carousel.MotorTurning());
  // The lock driven open (Reverse): the pin leaves, the carousel turns at
  // half speed, on both channels, and "UnitPosi" reads as the model says.
  Drive(DcMotor::RotLock, Op::Reverse);
  Run(kSecond / 2);
  ASSERT_FALSE(carousel.Locked());
  const uint16_t turnEnc = Counter(Carousel::kTurnEncChannel);
  const int32_t from = carousel.Position();
  Run(kSecond);
  EXPECT_EQ(Counter(Carousel::kTurnEncChannel) - turnEnc, Carousel::kFullSpeed / 2);
  EXPECT_EQ(carousel.Position() - from, static_cast<int32_t>(Carousel::kFullSpeed / 2));
  EXPECT_EQ(InputBit(Carousel::kUnitPosi.word, Carousel::kUnitPosi.bit), carousel.UnitPosi());
  // Locked again: it stops where the pin engages.
  Drive(DcMotor::RotLock, Op::Forward);
  Run(kSecond / 2);
  EXPECT_TRUE(carousel.Locked());
  const int32_t held = carousel.Position();
  Run(kSecond);
  EXPECT_EQ(carousel.Position(), held);
  const auto trace = mech->Trace().Of("Carousel");
  ASSERT_FALSE(trace.empty());
  EXPECT_EQ(trace.back().value, held);
}

TEST_F(CarouselOnTheMechanism, TheEjectMotorsRollersTravelAtItsDutyInItsDirection) {
  MotorEnable(true);
  const EjectRollers& rollers = mech->GetEjectRollers();
  Pwm(DcMotor::Eject, 800, 480);
  Drive(DcMotor::Eject, Op::Forward);
  Run(kSecond);
  EXPECT_EQ(rollers.Travel(), EjectRollers::kFullSpeed * 6 / 10) << "outwards at 60 %";
  Drive(DcMotor::Eject, Op::Reverse);
  Run(kSecond / 2);
  EXPECT_EQ(rollers.Travel(), EjectRollers::kFullSpeed * 3 / 10);
  mech->GetEjectRollers().SetStalled(true);
  Run(kSecond);
  EXPECT_EQ(rollers.Travel(), EjectRollers::kFullSpeed * 3 / 10) << "stalled";
  mech->GetEjectRollers().SetStalled(false);
  Run(kSecond);
  Drive(DcMotor::Eject, Op::Brake);
  Run(kSecond);
  const int32_t out = static_cast<int32_t>(EjectRollers::kFullSpeed * 6 / 10);
  EXPECT_EQ(rollers.Travel(), -out / 2) << "inwards past the start";
  std::vector<int32_t> traced;
  for (const MechanismEvent& e : mech->Trace().Of("EjectRollers")) traced.push_back(e.value);
  EXPECT_EQ(traced, (std::vector<int32_t>{0, out, out / 2, out / 2, -out / 2}))
      << "started, reversed, stalled, turning again, braked";
}

}  // namespace
}  // namespace sim
