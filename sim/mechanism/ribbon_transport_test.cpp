// One unit's ribbon transport without a board: the spools' geometry, the
// motors' commands from their H-bridge lines, the tape's motion for each
// combination of motor states, the encoders, the ribbon's ends, the head's
// coupling to the paper and the fault switches. The model is stepped as
// the board steps it: never past its next change.
#include "sim/mechanism/ribbon_transport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

namespace sim {
namespace {

constexpr double kFull = kFullSpeedTurnsPerSecond;
constexpr MotorCommand kCoast{};
constexpr MotorCommand kHold{SpoolCommand::Hold, 0};
constexpr MotorCommand Forward(double turnsPerSecond = kFull) { return {SpoolCommand::Forward, turnsPerSecond}; }
constexpr MotorCommand Reverse(double turnsPerSecond = kFull) { return {SpoolCommand::Reverse, turnsPerSecond}; }

struct Stepped {
  uint64_t maxSupplyCounts = 0;  // the most counts one step gave
  uint64_t maxTakeUpCounts = 0;
};

// Runs the model for `seconds`, each step ending at its next change.
Stepped Step(RibbonTransport& m, double seconds) {
  Stepped s;
  double left = seconds;
  while (left > 0) {
    const double dt = std::min(left, m.NextChangeIn());
    const uint64_t supply = m.SupplyCount(), takeUp = m.TakeUpCount();
    m.Advance(dt);
    s.maxSupplyCounts = std::max(s.maxSupplyCounts, m.SupplyCount() - supply);
    s.maxTakeUpCounts = std::max(s.maxTakeUpCounts, m.TakeUpCount() - takeUp);
    left -= dt;
  }
  return s;
}

// What a spool of `length` gains turning `turns` further in, or gives
// turning them out.
double Gains(double length, double turns, double t) { return LengthOfTurns(TurnsOfLength(length, t) + turns, t) - length; }
double Gives(double length, double turns, double t) {
  return length - LengthOfTurns(std::max(0.0, TurnsOfLength(length, t) - turns), t);
}

RibbonInputs Inputs(MotorCommand takeUp, MotorCommand supply, bool bClutch = false, bool bHeadDown = false) {
  RibbonInputs in;
  in.takeUp = takeUp;
  in.supply = supply;
  in.bClutch = bClutch;
  in.bHeadDown = bHeadDown;
  return in;
}

// A roll half used: 200 m left on the supply, 150 m on the take-up.
RibbonLoad MidRoll(double slackMm = 0) {
  RibbonLoad load;
  load.type = RibbonType::Color8x12K1;
  load.supplyMm = 200000;
  load.takeUpMm = 150000;
  load.slackMm = slackMm;
  return load;
}

// ---- spools ----

TEST(RibbonSpool, EachTypesThicknessMakesItsFullRollMeasureItsFullDiameter) {
  const struct {
    RibbonType type;
    double thickness;
  } cases[] = {{RibbonType::Mark8x10, 0.0056531}, {RibbonType::Mark8x12, 0.0067794},
               {RibbonType::Color8x10K1, 0.0068926}, {RibbonType::Color8x12K1, 0.0067959},
               {RibbonType::Color8x10K2, 0.0068926}, {RibbonType::Color8x12K2, 0.0067959}};
  for (const auto& c : cases) {
    SCOPED_TRACE(DataOf(c.type).pszName);
    const double t = RibbonThickness(c.type);
    EXPECT_NEAR(t, c.thickness, 5e-8);
    const double fullTurns = TurnsOfLength(FullRollLength(c.type), t);
    EXPECT_NEAR(DiameterOfTurns(fullTurns, t), DataOf(c.type).fullDiameter, 1e-9);
    EXPECT_NEAR(LengthOfTurns(fullTurns, t), FullRollLength(c.type), 1e-6);
    EXPECT_EQ(DiameterOfTurns(TurnsOfLength(0, t), t), kCoreDiameter);
  }
  // By hand: 100 m of Mark8x10 lie in 868.19 turns, 41.566 mm across.
  const double t = RibbonThickness(RibbonType::Mark8x10);
  EXPECT_NEAR(TurnsOfLength(100000, t), 868.18993, 1e-4);
  EXPECT_NEAR(DiameterOfTurns(TurnsOfLength(100000, t), t), 41.56600, 1e-5);
}

TEST(RibbonSpool, ALoadStartsWithItsLengthsAndAFullRollByDefault) {
  const RibbonTransport full(RibbonLoad{}, 2);
  EXPECT_EQ(full.Type(), RibbonType::Color8x12K1);
  EXPECT_EQ(full.SupplyLength(), 1422.0 * 251);
  EXPECT_NEAR(full.SupplyDiameter(), 64.0, 1e-9);
  EXPECT_EQ(full.TakeUpLength(), RibbonLoad::kNewTakeUpMm);
  EXPECT_LT(full.TakeUpDiameter(), kCoreDiameter + 0.5) << "the firmware's empty take-up";
  EXPECT_EQ(full.Slack(), 0);
  const RibbonTransport mid(MidRoll(25), 2);
  EXPECT_EQ(mid.SupplyLength(), 200000);
  EXPECT_EQ(mid.TakeUpLength(), 150000);
  EXPECT_EQ(mid.Slack(), 25);
}

// ---- motors ----

TEST(RibbonMotors, TheHBridgeLinesGiveHoldCoastOrARunAtTwoTurnsASecondTimesTheDuty) {
  const struct {
    bool a, b, bInverted;
    uint32_t percent;
    bool bPowered;
    MotorCommand expected;
  } cases[] = {
      {true, true, false, 100, true, kHold},         {true, true, true, 100, true, kHold},
      {true, true, false, 100, false, kHold},        {false, false, false, 100, true, kCoast},
      {false, false, true, 100, true, kCoast},       {true, false, false, 100, true, Forward(2.0)},
      {false, true, false, 50, true, Reverse(1.0)},  {true, false, true, 50, true, Reverse(1.0)},
      {false, true, true, 10, true, Forward(0.2)},   {true, false, false, 9, true, kCoast},
      {true, false, false, 100, false, kCoast},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.a << c.b << " inverted " << c.bInverted << " " << c.percent << "% powered "
                                    << c.bPowered);
    const MotorCommand m = MotorCommandOf(c.a, c.b, c.bInverted, c.percent, c.bPowered);
    EXPECT_EQ(m.command, c.expected.command);
    EXPECT_DOUBLE_EQ(m.turnsPerSecond, c.expected.turnsPerSecond);
  }
}

// ---- tape motion ----

enum class Moves {
  Nothing,
  TakeUpPulls,       // the take-up winds at its speed, the supply pays that out
  SlackOnly,         // the take-up winds the slack, then stalls
  SupplyTakesSlack,  // the supply winds the slack, then stalls
  RollsBack,         // the take-up pays out at its speed, the supply winds that in
  SlackOut,          // the take-up pays out at its speed into the slack
  SupplyPaysOut,     // the supply pays out at its speed into the slack
  SupplyPace,        // the supply pays out at its speed, the take-up winds that
};

TEST(RibbonMotion, EachCombinationOfMotorsMovesTheTapeByTheRules) {
  constexpr double kSeconds = 0.5;
  constexpr double kSlow = 0.4;  // turns a second: 20 % duty
  const struct {
    const char* what;
    RibbonInputs inputs;
    uint32_t driveMode;
    double slack;
    Moves moves;
  } cases[] = {
      {"take-up forward, supply coasting", Inputs(Forward(), kCoast), 2, 0, Moves::TakeUpPulls},
      {"take-up forward, supply forward in drive mode 2", Inputs(Forward(), Forward()), 2, 0, Moves::TakeUpPulls},
      {"take-up forward, supply reverse without its clutch", Inputs(Forward(), Reverse()), 2, 0, Moves::TakeUpPulls},
      {"take-up forward wins over supply reverse: the clutch slips", Inputs(Forward(), Reverse(), true), 2, 0,
       Moves::TakeUpPulls},
      {"take-up forward against a held supply", Inputs(Forward(), kHold), 2, 40, Moves::SlackOnly},
      {"take-up forward against a held supply, no slack", Inputs(Forward(), kHold), 2, 0, Moves::Nothing},
      {"supply reverse with the clutch, take-up held", Inputs(kHold, Reverse(), true), 2, 40, Moves::SupplyTakesSlack},
      {"supply reverse with the clutch, take-up coasting", Inputs(kCoast, Reverse(), true), 2, 40,
       Moves::SupplyTakesSlack},
      {"supply reverse without the clutch", Inputs(kHold, Reverse()), 2, 40, Moves::Nothing},
      {"both reverse with the clutch", Inputs(Reverse(), Reverse(), true), 2, 0, Moves::RollsBack},
      {"take-up reverse, supply held", Inputs(Reverse(), kHold), 2, 10, Moves::SlackOut},
      {"supply forward in drive mode 1", Inputs(kHold, Forward()), 1, 10, Moves::SupplyPaysOut},
      {"supply forward in drive mode 2", Inputs(kHold, Forward()), 2, 10, Moves::Nothing},
      {"take-up forward held to a slower supply in drive mode 1", Inputs(Forward(), Forward(kSlow)), 1, 0,
       Moves::SupplyPace},
      {"head down: take-up forward winds only the slack", Inputs(Forward(), kCoast, false, true), 2, 40,
       Moves::SlackOnly},
      {"head down: supply reverse stalls", Inputs(kHold, Reverse(), true, true), 2, 40, Moves::Nothing},
      {"head down: take-up reverse pays out", Inputs(Reverse(), kCoast, false, true), 2, 10, Moves::SlackOut},
      {"nothing driven", Inputs(kCoast, kCoast), 2, 10, Moves::Nothing},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    RibbonTransport m(MidRoll(c.slack), c.driveMode);
    const double t = m.Thickness();
    const double supply0 = m.SupplyLength(), takeUp0 = m.TakeUpLength();
    m.SetInputs(c.inputs);
    Step(m, kSeconds);
    const double takeUpTurns = c.inputs.takeUp.turnsPerSecond * kSeconds;
    const double supplyTurns = c.inputs.supply.turnsPerSecond * kSeconds;
    double gained = 0, paid = 0, slack = c.slack;  // take-up gained, supply paid out, slack at the end
    switch (c.moves) {
      case Moves::Nothing: break;
      case Moves::TakeUpPulls: gained = paid = Gains(takeUp0, takeUpTurns, t); break;
      case Moves::SlackOnly: gained = c.slack, slack = 0; break;
      case Moves::SupplyTakesSlack: paid = -c.slack, slack = 0; break;
      case Moves::RollsBack: gained = paid = -Gives(takeUp0, takeUpTurns, t); break;
      case Moves::SlackOut:
        gained = -Gives(takeUp0, takeUpTurns, t);
        slack = c.slack - gained;
        break;
      case Moves::SupplyPaysOut:
        paid = Gives(supply0, supplyTurns, t);
        slack = c.slack + paid;
        break;
      case Moves::SupplyPace: gained = paid = Gives(supply0, supplyTurns, t); break;
    }
    EXPECT_NEAR(m.TakeUpLength() - takeUp0, gained, 1e-6);
    EXPECT_NEAR(supply0 - m.SupplyLength(), paid, 1e-6);
    EXPECT_NEAR(m.Slack(), slack, 1e-6);
    EXPECT_NEAR(m.TapePosition(), paid, 1e-6) << "the tape at the head moves with the supply";
    if (c.moves != Moves::Nothing) {
      EXPECT_GT(std::fabs(gained) + std::fabs(paid), 5.0) << "a real motion";
    }
  }
}

// ---- encoders ----

TEST(RibbonEncoders, BareSpoolsCountTheirTurnsUpwardsInEitherDirection) {
  RibbonTransport m(RibbonLoad{}, 1);
  m.SetFault(RibbonFault::NoRibbon, true);
  const struct {
    RibbonInputs inputs;
    uint64_t supplyCounts;
    uint64_t takeUpCounts;
  } steps[] = {
      // 5 s at 2 turns a second: 10 turns, 4970 and 9013 counts.
      {Inputs(Forward(), kCoast), 0, 9013},
      {Inputs(Reverse(), kCoast), 0, 18026},
      {Inputs(kHold, Reverse(), true), 4970, 18026},
      {Inputs(kHold, Forward()), 9940, 18026},
      {Inputs(Forward(1.0), Reverse(1.0)), 9940, 22533},  // no clutch: the supply stays
  };
  for (const auto& s : steps) {
    m.SetInputs(s.inputs);
    const Stepped stepped = Step(m, 5.0);
    EXPECT_EQ(m.SupplyCount(), s.supplyCounts);
    EXPECT_EQ(m.TakeUpCount(), s.takeUpCounts);
    EXPECT_LE(stepped.maxSupplyCounts, 1u) << "a step ends at each count";
    EXPECT_LE(stepped.maxTakeUpCounts, 1u);
  }
  EXPECT_EQ(m.SupplyLength(), FullRollLength(RibbonType::Color8x12K1)) << "no ribbon moved";
  EXPECT_EQ(m.TakeUpLength(), RibbonLoad::kNewTakeUpMm);
}

TEST(RibbonEncoders, TheCountsOfOnePrintsLengthGiveTheFirmwaresEstimateOfEachDiameter) {
  // The firmware's estimate: counts per turn x mm per print / counts / pi.
  for (RibbonType type : {RibbonType::Mark8x10, RibbonType::Color8x12K1}) {
    SCOPED_TRACE(DataOf(type).pszName);
    RibbonLoad load = MidRoll();
    load.type = type;
    RibbonTransport m(load, 2);
    const double mmPerPrint = DataOf(type).mmPerPrint;
    const double supplyBefore = m.SupplyDiameter(), takeUpBefore = m.TakeUpDiameter();
    // The take-up winds one print's length off the coasting supply.
    const double t = m.Thickness();
    const double turns = TurnsOfLength(150000 + mmPerPrint, t) - TurnsOfLength(150000, t);
    m.SetInputs(Inputs(Forward(), kCoast));
    const Stepped stepped = Step(m, turns / kFull);
    EXPECT_LE(stepped.maxSupplyCounts, 1u) << "a step ends at each count";
    EXPECT_LE(stepped.maxTakeUpCounts, 1u);
    const uint64_t supplyCounts = m.SupplyCount(), takeUpCounts = m.TakeUpCount();
    EXPECT_NEAR(m.TakeUpLength() - 150000, mmPerPrint, 1e-6);
    EXPECT_EQ(supplyCounts, static_cast<uint64_t>(m.SupplyTurns() * RibbonTransport::kSupplyCountsPerTurn));
    EXPECT_EQ(takeUpCounts, static_cast<uint64_t>(m.TakeUpTurns() * RibbonTransport::kTakeUpCountsPerTurn));
    const double supplyEstimate =
        RibbonTransport::kSupplyCountsPerTurn * mmPerPrint / static_cast<double>(supplyCounts) / kRibbonPi;
    const double takeUpEstimate =
        RibbonTransport::kTakeUpCountsPerTurn * mmPerPrint / static_cast<double>(takeUpCounts) / kRibbonPi;
    EXPECT_NEAR(supplyEstimate, (supplyBefore + m.SupplyDiameter()) / 2, 0.05);
    EXPECT_NEAR(takeUpEstimate, (takeUpBefore + m.TakeUpDiameter()) / 2, 0.05);
  }
}

// ---- the barcode run ----

// The donor check's barcode run winds at "Initial D[%]" (60 by default) and
// samples every 2 ms: on a new roll, and on one half used, every 7 supply
// counts take long enough for at least 4 samples, and the code the supply
// pays out is where its counts say.
TEST(RibbonBarcodeRun, SevenSupplyCountsHoldFourSamplesAtTheInitialDuty) {
  for (RibbonType type : {RibbonType::Color8x10K1, RibbonType::Color8x12K1}) {
    for (bool bNew : {true, false}) {
      SCOPED_TRACE(std::string(DataOf(type).pszName) + (bNew ? " new" : " half used"));
      RibbonLoad load = bNew ? RibbonLoad{type} : MidRoll();
      load.type = type;
      RibbonTransport m(load, 2);
      m.SetInputs(Inputs(MotorCommand{SpoolCommand::Forward, 0.6 * kFullSpeedTurnsPerSecond}, kCoast));
      Step(m, 0.5);  // under way
      const uint64_t start = m.SupplyCount();
      const double unwoundBefore = m.SupplyUnwoundCounts();
      double seconds = 0;
      while (m.SupplyCount() < start + 700) {
        const double dt = m.NextChangeIn();
        m.Advance(dt);
        seconds += dt;
      }
      EXPECT_GE(seconds / 100 * 1000, 8.0) << "ms per 7 counts";
      EXPECT_NEAR(m.SupplyUnwoundCounts() - unwoundBefore, 700, 1.0);
    }
  }
}

// ---- the ribbon's ends ----

TEST(RibbonEnds, TheLeaderComesLastAndTheCoreHoldsTheTape) {
  RibbonLoad load = MidRoll();
  load.supplyMm = 1000;
  RibbonTransport m(load, 2);
  m.SetInputs(Inputs(Forward(), kCoast));
  EXPECT_FALSE(m.AtLeader());
  Step(m, 1.0);
  EXPECT_LT(m.SupplyLength(), 1000 - 200);
  EXPECT_EQ(m.AtLeader(), m.SupplyLength() <= RibbonTransport::kLeaderMm);
  Step(m, 10.0);
  EXPECT_TRUE(m.AtLeader());
  EXPECT_TRUE(m.AtCore());
  EXPECT_EQ(m.SupplyLength(), 0);
  EXPECT_NEAR(m.TakeUpLength(), 151000, 1e-6) << "all of it wound, no more";
  EXPECT_NEAR(m.TapePosition(), 1000, 1e-6);
  const uint64_t takeUpCounts = m.TakeUpCount(), supplyCounts = m.SupplyCount();
  EXPECT_TRUE(std::isinf(m.NextChangeIn())) << "the take-up stalls against the core";
  Step(m, 5.0);
  EXPECT_EQ(m.TakeUpCount(), takeUpCounts);
  EXPECT_EQ(m.SupplyCount(), supplyCounts);
  // Wound back, the ribbon comes off the take-up again.
  m.SetInputs(Inputs(Reverse(), Reverse(), true));
  Step(m, 0.1);
  EXPECT_GT(m.SupplyLength(), 0);
  EXPECT_FALSE(m.AtCore());
}

// ---- the head ----

TEST(RibbonHead, ALoweredHeadMovesTheTapeWithThePaperWhateverTheSupplyMotorDoes) {
  RibbonTransport m(MidRoll(5), 2);
  constexpr int64_t kLine = 16;  // eighth steps
  const double mmPerLine = 25.4 / 300;
  m.SetInputs(Inputs(kHold, kHold));
  m.PaperTravel(300 * kLine);
  EXPECT_EQ(m.SupplyLength(), 200000) << "head up: the paper slides under it";
  m.SetInputs(Inputs(kHold, kHold, false, true));
  m.PaperTravel(300 * kLine);
  EXPECT_NEAR(m.SupplyLength(), 200000 - 25.4, 1e-9);
  EXPECT_NEAR(m.Slack(), 5 + 25.4, 1e-9);
  EXPECT_NEAR(m.TapePosition(), 25.4, 1e-9);
  EXPECT_EQ(m.SupplyCount(), static_cast<uint64_t>(m.SupplyTurns() * RibbonTransport::kSupplyCountsPerTurn));
  EXPECT_GT(m.SupplyCount(), 0u);
  // Backwards: the slack goes back first, then ribbon off the take-up.
  m.PaperTravel(-static_cast<int64_t>(400) * kLine);
  EXPECT_EQ(m.Slack(), 0);
  EXPECT_NEAR(m.TakeUpLength(), 150000 - (400 * mmPerLine - 30.4), 1e-9);
  EXPECT_NEAR(m.SupplyLength(), 200000 - 25.4 + 400 * mmPerLine, 1e-9);
  EXPECT_NEAR(m.TapePosition(), 25.4 - 400 * mmPerLine, 1e-9);
  // Printing: the take-up winds what the paper pulls through.
  m.SetInputs(Inputs(Forward(), kCoast, false, true));
  for (int line = 0; line < 100; ++line) {
    m.PaperTravel(kLine);
    Step(m, 0.002);
  }
  EXPECT_EQ(m.Slack(), 0);
  EXPECT_NEAR(m.TapePosition(), 25.4 - 300 * mmPerLine, 1e-9);
  EXPECT_NEAR(m.TakeUpLength(), 150000 - (400 * mmPerLine - 30.4) + 100 * mmPerLine, 1e-9);
}

// ---- fault switches ----

TEST(RibbonFaults, ACutTapeLeavesTheSupplyStillAndTheTakeUpWindsTheLooseEnd) {
  RibbonTransport m(MidRoll(30), 2);
  m.SetFault(RibbonFault::Cut, true);
  EXPECT_TRUE(m.Fault(RibbonFault::Cut));
  EXPECT_EQ(m.Slack(), 30);
  EXPECT_TRUE(m.TapeAtHead());
  m.SetInputs(Inputs(Forward(), Reverse(), true));
  Step(m, 2.0);
  EXPECT_EQ(m.SupplyCount(), 0u) << "the supply never turns again";
  EXPECT_EQ(m.SupplyLength(), 200000);
  EXPECT_NEAR(m.TakeUpLength(), 150000 + 30 + RibbonTransport::kCutTailMm, 1e-6);
  EXPECT_EQ(m.Slack(), 0);
  EXPECT_FALSE(m.TapeAtHead());
  EXPECT_NEAR(m.TapePosition(), 30 + RibbonTransport::kCutTailMm - RibbonTransport::kHeadToTakeUpMm, 1e-6);
  EXPECT_EQ(m.TakeUpCount(), static_cast<uint64_t>(4.0 * RibbonTransport::kTakeUpCountsPerTurn))
      << "then it spins free";
  m.SetFault(RibbonFault::Cut, false);
  EXPECT_TRUE(m.Fault(RibbonFault::Cut)) << "a broken tape stays broken";
  m.SetInputs(Inputs(kHold, kHold, false, true));
  m.PaperTravel(1600);
  EXPECT_EQ(m.SupplyLength(), 200000);
}

TEST(RibbonFaults, RibbonEndLeavesTheLeaderOnTheSupply) {
  RibbonTransport m(MidRoll(), 2);
  m.SetFault(RibbonFault::End, true);
  EXPECT_EQ(m.SupplyLength(), RibbonTransport::kLeaderMm);
  EXPECT_TRUE(m.AtLeader());
  EXPECT_FALSE(m.AtCore());
  m.SetFault(RibbonFault::End, false);
  EXPECT_EQ(m.SupplyLength(), RibbonTransport::kLeaderMm) << "no ribbon comes back";
  m.SetInputs(Inputs(Forward(), kCoast));
  Step(m, 5.0);
  EXPECT_TRUE(m.AtCore());
  EXPECT_NEAR(m.TakeUpLength(), 150000 + RibbonTransport::kLeaderMm, 1e-6);
}

TEST(RibbonFaults, NoRibbonLetsTheSpoolsSpinAndMovesNoTape) {
  RibbonTransport m(MidRoll(), 2);
  m.SetFault(RibbonFault::NoRibbon, true);
  EXPECT_FALSE(m.TapeAtHead());
  m.SetInputs(Inputs(Forward(), kCoast));
  Step(m, 1.0);
  EXPECT_EQ(m.TakeUpCount(), static_cast<uint64_t>(2.0 * RibbonTransport::kTakeUpCountsPerTurn));
  EXPECT_EQ(m.SupplyCount(), 0u) << "nothing pulls the supply";
  EXPECT_EQ(m.TakeUpLength(), 150000);
  m.SetInputs(Inputs(kHold, kHold, false, true));
  m.PaperTravel(1600);
  EXPECT_EQ(m.SupplyLength(), 200000);
  m.SetFault(RibbonFault::NoRibbon, false);
  EXPECT_TRUE(m.TapeAtHead()) << "loaded again";
}

TEST(RibbonFaults, AJammedSupplyEncoderCountsNothingWhileTheTapeMoves) {
  RibbonTransport m(MidRoll(), 2);
  m.SetInputs(Inputs(Forward(), kCoast));
  Step(m, 0.5);
  const uint64_t before = m.SupplyCount();
  ASSERT_GT(before, 0u);
  m.SetFault(RibbonFault::SupplyEncoderJammed, true);
  const double supply = m.SupplyLength();
  Step(m, 0.5);
  EXPECT_EQ(m.SupplyCount(), before);
  EXPECT_LT(m.SupplyLength(), supply - 100);
  m.SetFault(RibbonFault::SupplyEncoderJammed, false);
  const double turns = m.SupplyTurns();
  Step(m, 0.5);
  EXPECT_NEAR(static_cast<double>(m.SupplyCount() - before),
              (m.SupplyTurns() - turns) * RibbonTransport::kSupplyCountsPerTurn, 1.0)
      << "counting goes on from where the spool is, without a burst";
}

TEST(RibbonFaults, AStalledTakeUpTurnsForNothing) {
  RibbonTransport m(MidRoll(20), 2);
  m.SetFault(RibbonFault::TakeUpStalled, true);
  for (const RibbonInputs& in : {Inputs(Forward(), kCoast), Inputs(Reverse(), kHold)}) {
    m.SetInputs(in);
    Step(m, 1.0);
    EXPECT_EQ(m.TakeUpCount(), 0u);
    EXPECT_EQ(m.TakeUpLength(), 150000);
    EXPECT_EQ(m.Slack(), 20);
  }
  m.SetInputs(Inputs(kHold, kHold, false, true));
  m.PaperTravel(-1600);
  EXPECT_EQ(m.TakeUpLength(), 150000) << "the paper cannot pull it back either";
}

// ---- options ----

TEST(RibbonOptions, LoadsAndFaultsParseFromTheirNames) {
  const struct {
    const char* text;
    bool bOk;
    RibbonType type;
    double supply;
    double takeUp;
    uint32_t driveMode = 0;
  } cases[] = {
      {"mark8x10", true, RibbonType::Mark8x10, RibbonLoad::kFullRoll, RibbonLoad::kNewTakeUpMm},
      {"color8x10k2:1500.5", true, RibbonType::Color8x10K2, 1500.5, RibbonLoad::kNewTakeUpMm},
      {"color8x10k2:1500.5:0", true, RibbonType::Color8x10K2, 1500.5, 0},
      {"color8x12k1:200000:150000", true, RibbonType::Color8x12K1, 200000, 150000},
      {"color8x12k3", false, {}, 0, 0},
      {"mark8x12:", false, {}, 0, 0},
      {"mark8x12:-5", false, {}, 0, 0},
      {"mark8x12:1:2:1", true, RibbonType::Mark8x12, 1, 2, 1},
      {"mark8x12:1:2:2", true, RibbonType::Mark8x12, 1, 2, 2},
      {"mark8x12:1:2:3", false, {}, 0, 0},
      {"mark8x12:1:2:1:1", false, {}, 0, 0},
      {"mark8x12:12mm", false, {}, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    RibbonLoad load;
    load.takeUpMm = 99;
    ASSERT_EQ(ParseRibbonLoad(c.text, &load), c.bOk);
    if (!c.bOk) {
      EXPECT_EQ(load.takeUpMm, 99) << "untouched";
      continue;
    }
    EXPECT_EQ(load.type, c.type);
    EXPECT_EQ(load.supplyMm, c.supply);
    EXPECT_EQ(load.takeUpMm, c.takeUp);
    EXPECT_EQ(load.driveMode, c.driveMode);
  }
  for (uint32_t f = 0; f < Index(RibbonFault::Count); ++f) {
    RibbonFault fault = RibbonFault::Count;
    ASSERT_TRUE(ParseRibbonFault(ToString(static_cast<RibbonFault>(f)), &fault));
    EXPECT_EQ(fault, static_cast<RibbonFault>(f));
  }
  RibbonFault fault = RibbonFault::Cut;
  EXPECT_FALSE(ParseRibbonFault("jammed", &fault));
}

}  // namespace
}  // namespace sim
