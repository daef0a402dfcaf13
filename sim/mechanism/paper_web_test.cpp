// The paper web's roll, slack, roll end and cut, driven by shaft travel as
// the stepper drivers report it.
#include "sim/mechanism/paper_web.h"

#include <gtest/gtest.h>

#include <cmath>

namespace sim {
namespace {

// Eighth steps of the sub shaft for one roll turn.
constexpr double kTurnEighths = PaperWeb::kSubStepsPerTurn * 8.0;
constexpr int64_t kLineEighths = 16;

// Sub travel that unwinds on the variant (EM3: direction bit cleared).
int64_t Unwind(EngineVariant v, double eighths) {
  const auto e = static_cast<int64_t>(std::llround(eighths));
  return v == EngineVariant::EM2 ? e : -e;
}

TEST(PaperWeb, RestsThreadedOnPathLWithAFullLayerCountOnTheRoll) {
  PaperWeb web(PaperWeb::kDefaultDiameterMm, EngineVariant::EM3);
  EXPECT_EQ(web.Front(), PaperWeb::kPosition);
  EXPECT_EQ(web.Path(), WebPath::L);
  EXPECT_TRUE(web.PaperAt(PhotoSensor::TopL));
  EXPECT_FALSE(web.PaperAt(PhotoSensor::TopR));
  EXPECT_TRUE(web.PaperAt(PhotoSensor::Position));
  EXPECT_TRUE(web.PaperAt(PhotoSensor::PaperEmpty));
  // n = (150 - 86.7) / 2 / 0.212 layers.
  const double n = (150.0 - 86.7) / 2.0 / 0.212;
  EXPECT_NEAR(web.PaperOnRollMm(), ((n + 1.0) * 0.212 + 86.7) * n * 3.14159, 1e-6);
  EXPECT_NEAR(PaperWeb::DiameterOf(PaperWeb::LengthOf(120.0)), 120.0, 1e-9);
  PaperWeb none(150.0, EngineVariant::EM3, false);
  EXPECT_FALSE(none.PaperAt(PhotoSensor::PaperEmpty));
}

TEST(PaperWeb, TheSubStepperUnwindsIntoSlackCountingRollEncUntilItsDriveSlips) {
  for (EngineVariant v : {EngineVariant::EM2, EngineVariant::EM3}) {
    PaperWeb web(150.0, v);
    const double before = web.PaperOnRollMm();
    // A tenth of a turn: 17.14 counts, pi x 150 / 10 mm of slack.
    web.SubTravel(Unwind(v, kTurnEighths / 10.0));
    EXPECT_EQ(web.RollEncCounts(), 17u) << ToString(v);
    EXPECT_NEAR(web.SlackMm(), 3.14159 * 150.0 / 10.0, 0.05) << ToString(v);
    EXPECT_NEAR(before - web.PaperOnRollMm(), web.SlackMm(), 1e-9);
    EXPECT_LT(web.DiameterMm(), 150.0);
    // Many turns: the slack stops at 300 mm, the roll slips.
    web.SubTravel(Unwind(v, kTurnEighths * 5.0));
    EXPECT_DOUBLE_EQ(web.SlackMm(), PaperWeb::kMaxSlackMm);
    const uint64_t counts = web.RollEncCounts();
    web.SubTravel(Unwind(v, kTurnEighths));
    EXPECT_EQ(web.RollEncCounts(), counts);
  }
}

TEST(PaperWeb, TheMainDriveUsesTheSlackFirstThenPullsTheRoll) {
  PaperWeb web(150.0, EngineVariant::EM3);
  web.SubTravel(Unwind(EngineVariant::EM3, kTurnEighths / 10.0));
  const uint64_t counts = web.RollEncCounts();
  const double slack = web.SlackMm();
  // Forward on path L: direction bit set, positive travel.
  const int64_t slackLines = static_cast<int64_t>(slack * PaperWeb::kLinesPerMm) - 1;
  EXPECT_NEAR(web.MainTravel(slackLines * kLineEighths), static_cast<double>(slackLines), 1e-9);
  EXPECT_EQ(web.RollEncCounts(), counts);
  web.MainTravel(600 * kLineEighths);  // 50.8 mm, nearly all off the roll
  EXPECT_EQ(web.SlackMm(), 0.0);
  EXPECT_GT(web.RollEncCounts(), counts + 15u);
  EXPECT_NEAR(web.Front(), PaperWeb::kPosition + slackLines + 600, 1e-6);
}

TEST(PaperWeb, RewindingTakesTheSlackInThenStallsWithRollEncStill) {
  PaperWeb web(150.0, EngineVariant::EM2);
  web.SubTravel(Unwind(EngineVariant::EM2, kTurnEighths / 20.0));
  const double onRoll = web.PaperOnRollMm();
  web.SubTravel(-Unwind(EngineVariant::EM2, kTurnEighths / 2.0));
  EXPECT_EQ(web.SlackMm(), 0.0);
  EXPECT_NEAR(web.PaperOnRollMm(), onRoll + 3.14159 * 150.0 / 20.0, 0.1);
  const uint64_t counts = web.RollEncCounts();
  web.SubTravel(-Unwind(EngineVariant::EM2, kTurnEighths));
  EXPECT_EQ(web.RollEncCounts(), counts);
  EXPECT_EQ(web.Front(), PaperWeb::kPosition);
}

TEST(PaperWeb, OnPathRTheWebMovesForwardWithTheDirectionBitCleared) {
  PaperWeb web(150.0, EngineVariant::EM3);
  web.MainTravel(-static_cast<int64_t>(3000) * kLineEighths);  // back behind the split
  EXPECT_LT(web.Front(), PaperWeb::kSplit);
  web.SelectPath(WebPath::R);
  EXPECT_EQ(web.Path(), WebPath::R);
  EXPECT_NEAR(web.MainTravel(-1500 * kLineEighths), 1500.0, 1e-9);
  EXPECT_TRUE(web.PaperAt(PhotoSensor::TopR));
  EXPECT_FALSE(web.PaperAt(PhotoSensor::TopL));
  web.SelectPath(WebPath::L);  // past the split: kept
  EXPECT_EQ(web.Path(), WebPath::R);
}

TEST(PaperWeb, AtTheRollsEndTheWebDetachesAndTheRollSpinsFree) {
  PaperWeb web(87.2, EngineVariant::EM3);  // about one layer and a bit
  const double onRoll = web.PaperOnRollMm();
  ASSERT_GT(onRoll, 100.0);
  const auto lines = static_cast<int64_t>((onRoll + 20.0) * PaperWeb::kLinesPerMm);
  web.MainTravel(lines * kLineEighths);
  EXPECT_FALSE(web.Attached());
  EXPECT_DOUBLE_EQ(web.DiameterMm(), PaperWeb::kCoreMm);
  EXPECT_NEAR(web.Tail(), PaperWeb::kRollExit + 20.0 * PaperWeb::kLinesPerMm, 1.0);
  EXPECT_TRUE(web.PaperAt(PhotoSensor::PaperEmpty));  // the tail has not passed it yet
  web.MainTravel(700 * kLineEighths);
  EXPECT_FALSE(web.PaperAt(PhotoSensor::PaperEmpty));
  const uint64_t counts = web.RollEncCounts();
  web.SubTravel(Unwind(EngineVariant::EM3, kTurnEighths));
  EXPECT_EQ(web.RollEncCounts(), counts + 171u);
  web.SubTravel(-Unwind(EngineVariant::EM3, kTurnEighths));  // upwards either way
  EXPECT_EQ(web.RollEncCounts(), counts + 342u);
}

TEST(PaperWeb, FaultsHoldTheWebTheRollOrItsEncoder) {
  PaperWeb jammed(150.0, EngineVariant::EM3);
  jammed.SetFault(WebFault::PaperJammed, true);
  EXPECT_EQ(jammed.MainTravel(100 * kLineEighths), 0.0);
  EXPECT_EQ(jammed.Front(), PaperWeb::kPosition);

  PaperWeb stalled(150.0, EngineVariant::EM3);
  stalled.SubTravel(Unwind(EngineVariant::EM3, kTurnEighths / 100.0));
  stalled.SetFault(WebFault::RollStalled, true);
  const double slackLines = stalled.SlackMm() * PaperWeb::kLinesPerMm;
  EXPECT_NEAR(stalled.MainTravel(1000 * kLineEighths), slackLines, 1e-6);
  EXPECT_EQ(stalled.MainTravel(10 * kLineEighths), 0.0);
  stalled.SubTravel(Unwind(EngineVariant::EM3, kTurnEighths));
  EXPECT_EQ(stalled.SlackMm(), 0.0);

  PaperWeb encoder(150.0, EngineVariant::EM3);
  encoder.SetFault(WebFault::RollEncJammed, true);
  encoder.SubTravel(Unwind(EngineVariant::EM3, kTurnEighths));
  EXPECT_EQ(encoder.RollEncCounts(), 0u);
  EXPECT_GT(encoder.SlackMm(), 0.0);

  PaperWeb detached(150.0, EngineVariant::EM3);
  detached.Detach();
  detached.SubTravel(Unwind(EngineVariant::EM3, kTurnEighths));
  EXPECT_EQ(detached.RollEncCounts(), 171u);
  EXPECT_EQ(detached.SlackMm(), 0.0);
}

TEST(PaperWeb, FaultSwitchesGoByTheirCommandLineNames) {
  for (WebFault fault : {WebFault::PaperJammed, WebFault::RollEncJammed, WebFault::RollStalled}) {
    WebFault parsed = WebFault::Count;
    EXPECT_TRUE(ParseWebFault(ToString(fault), &parsed)) << ToString(fault);
    EXPECT_EQ(parsed, fault);
  }
  WebFault untouched = WebFault::Count;
  EXPECT_FALSE(ParseWebFault("detached", &untouched));
  EXPECT_FALSE(ParseWebFault("", &untouched));
  EXPECT_EQ(untouched, WebFault::Count);
  EXPECT_STREQ(ToString(WebFault::RollStalled), "roll-stalled");
  EXPECT_STREQ(ToString(WebFault::EdgeUnseen), "edge-unseen");
  for (RollStart start : {RollStart::Threaded, RollStart::New, RollStart::None}) {
    RollStart parsed = RollStart::Count;
    EXPECT_TRUE(ParseRollStart(ToString(start), &parsed)) << ToString(start);
    EXPECT_EQ(parsed, start);
  }
  RollStart kept = RollStart::Count;
  EXPECT_FALSE(ParseRollStart("loaded", &kept));
  EXPECT_EQ(kept, RollStart::Count);
}

// A new roll with its front on it, the load bar down (peeling at the
// roll's exit) and the load feed engaged as the load engages it.
constexpr double kFrontDeg = PaperWeb::kPeelDeg - 30.0;
PaperWeb NewRoll(double diameterMm = 150.0) {
  PaperWeb web(diameterMm, EngineVariant::EM3, false);
  web.InsertRoll(PaperWeb::LengthOf(diameterMm), kFrontDeg);
  return web;
}
// Unwinds the sub shaft in small steps until `done` holds; false after a turn.
template <typename Done>
bool UnwindUntil(PaperWeb& web, Done done, double turns = 1.0) {
  for (double t = 0; t < turns; t += 1.0 / 2000.0) {
    if (done()) return true;
    web.SubTravel(Unwind(EngineVariant::EM3, kTurnEighths / 2000.0));
  }
  return done();
}

TEST(PaperWeb, ANewRollsFrontTurnsWithItUntilTheLoweredLoadBarPeelsIt) {
  PaperWeb web = NewRoll();
  double deg = 0;
  ASSERT_TRUE(web.EdgeAngle(&deg));
  EXPECT_NEAR(deg, kFrontDeg, 1e-9);
  EXPECT_TRUE(web.HasPaper());
  EXPECT_FALSE(web.HasWeb());
  for (PhotoSensor s : {PhotoSensor::TopL, PhotoSensor::Position, PhotoSensor::PaperEmpty, PhotoSensor::PaperPath}) {
    EXPECT_FALSE(web.PaperAt(s));
  }
  EXPECT_EQ(web.MainTravel(1000 * kLineEighths), 0.0) << "nothing in the path for the main drive";
  // With the load bar up a whole turn passes the exit: the front stays on.
  web.SetLoadDrive(0.0, true);
  web.SubTravel(Unwind(EngineVariant::EM3, kTurnEighths));
  EXPECT_FALSE(web.HasWeb());
  ASSERT_TRUE(web.EdgeAngle(&deg));
  EXPECT_NEAR(deg, kFrontDeg, 0.01);
  // Down, 30 degrees on: peeled into the load path.
  web.SetLoadDrive(1.0, true);
  EXPECT_TRUE(UnwindUntil(web, [&] { return web.HasWeb(); }, 31.0 / 360.0));
  EXPECT_FALSE(web.EdgeAngle(&deg)) << "threaded: no front on the roll";
  EXPECT_NEAR(web.Front(), PaperWeb::kRollExit, 3.0) << "a step of 1/2000 turn feeds 2.8 lines";
}

TEST(PaperWeb, TheLoadFeedCarriesTheFrontPastPaperEmptyAndPaperPathOntoTheSelectedPath) {
  PaperWeb web = NewRoll();
  web.SelectPath(WebPath::R);
  web.SetLoadDrive(1.0, true);
  ASSERT_TRUE(UnwindUntil(web, [&] { return web.PaperAt(PhotoSensor::PaperEmpty); }));
  EXPECT_FALSE(web.PaperAt(PhotoSensor::PaperPath));
  EXPECT_EQ(web.SlackMm(), 0.0);
  ASSERT_TRUE(UnwindUntil(web, [&] { return web.Front() >= PaperWeb::kMainReach; }));
  // Held by the main drive now: the roll unwinds into slack, the main drive
  // carries the front on past "PaperPath" to unit R's top sensor.
  const double front = web.Front();
  web.SubTravel(Unwind(EngineVariant::EM3, kTurnEighths / 20.0));
  EXPECT_EQ(web.Front(), front);
  EXPECT_GT(web.SlackMm(), 20.0);
  web.MainTravel(-static_cast<int64_t>(PaperWeb::kPaperPath - front + 1.0) * kLineEighths);
  EXPECT_TRUE(web.PaperAt(PhotoSensor::PaperPath));
  EXPECT_FALSE(web.PaperAt(PhotoSensor::TopR));
  web.MainTravel(-static_cast<int64_t>(PaperWeb::kTop - PaperWeb::kPaperPath) * kLineEighths);
  EXPECT_EQ(web.Path(), WebPath::R);
  EXPECT_TRUE(web.PaperAt(PhotoSensor::TopR));
  EXPECT_TRUE(web.PaperAt(PhotoSensor::PaperPath));
}

TEST(PaperWeb, WithoutTheLoadFeedOrWithThePaperJammedTheFedRollGoesIntoSlack) {
  for (bool bJammed : {false, true}) {
    PaperWeb web = NewRoll();
    web.SetLoadDrive(1.0, !bJammed);
    web.SetFault(WebFault::PaperJammed, bJammed);
    ASSERT_TRUE(UnwindUntil(web, [&] { return web.HasWeb(); }));
    const double front = web.Front();
    web.SetLoadDrive(1.0, bJammed);
    web.SubTravel(Unwind(EngineVariant::EM3, kTurnEighths / 10.0));
    EXPECT_EQ(web.Front(), front) << bJammed;
    EXPECT_NEAR(web.SlackMm(), 3.14159 * web.DiameterMm() / 10.0, 0.5) << bJammed;
  }
}

TEST(PaperWeb, RewindingPullsAFreeFrontBackOntoTheRollButNotAHeldOne) {
  PaperWeb web = NewRoll();
  web.SetLoadDrive(1.0, true);
  ASSERT_TRUE(UnwindUntil(web, [&] { return web.PaperAt(PhotoSensor::PaperEmpty); }));
  const double onRoll = web.PaperOnRollMm();
  web.SetLoadDrive(0.0, false);
  web.SubTravel(-Unwind(EngineVariant::EM3, kTurnEighths / 2.0));
  EXPECT_FALSE(web.HasWeb());
  EXPECT_FALSE(web.PaperAt(PhotoSensor::PaperEmpty));
  double deg = 0;
  ASSERT_TRUE(web.EdgeAngle(&deg)) << "the front lies on the roll again";
  EXPECT_NEAR(web.PaperOnRollMm(), PaperWeb::LengthOf(150.0), 1e-6);
  EXPECT_GT(web.PaperOnRollMm(), onRoll);
  web.SetLoadDrive(1.0, true);
  EXPECT_TRUE(UnwindUntil(web, [&] { return web.HasWeb(); })) << "peeled again within a turn";
  // The threaded web at "Position" is held: rewinding stalls.
  PaperWeb held(150.0, EngineVariant::EM3);
  held.SubTravel(-Unwind(EngineVariant::EM3, kTurnEighths));
  EXPECT_EQ(held.Front(), PaperWeb::kPosition);
  EXPECT_EQ(held.RollEncCounts(), 0u);
}

TEST(PaperWeb, AWebCutAtTheRollSentOutStaysOverPositionUntilTakenOut) {
  PaperWeb web(150.0, EngineVariant::EM3);
  web.Detach();
  double deg = 0;
  EXPECT_TRUE(web.EdgeAngle(&deg)) << "the roll's paper has a front of its own";
  EXPECT_NEAR(deg, PaperWeb::kPeelDeg, 1e-9);
  web.TakeSheetOut();
  EXPECT_TRUE(web.HasWeb()) << "short of the blade: nothing to take";
  // Sent out to the exit, 1157 lines past the blade.
  web.MainTravel(static_cast<int64_t>(PaperWeb::kBlade + 1157.0 - PaperWeb::kPosition) * kLineEighths);
  ASSERT_TRUE(web.HasExitSheet());
  EXPECT_LT(web.Tail(), PaperWeb::kPosition);
  EXPECT_TRUE(web.PaperAt(PhotoSensor::Position));
  EXPECT_FALSE(web.PaperAt(PhotoSensor::PaperEmpty));
  web.TakeSheetOut();
  EXPECT_FALSE(web.HasWeb());
  EXPECT_FALSE(web.HasExitSheet());
  EXPECT_FALSE(web.PaperAt(PhotoSensor::Position));
  EXPECT_FALSE(web.PaperAt(PhotoSensor::TopL));
  EXPECT_TRUE(web.EdgeAngle(&deg)) << "the roll waits to be loaded";
}

TEST(PaperWeb, TheOperatorTakesTheRollOutWithItsPaperAndPutsANewOneIn) {
  PaperWeb web(150.0, EngineVariant::EM3);
  web.TakeRollOut();
  EXPECT_FALSE(web.HasPaper());
  EXPECT_FALSE(web.HasWeb());
  for (PhotoSensor s : {PhotoSensor::TopL, PhotoSensor::Position, PhotoSensor::PaperEmpty, PhotoSensor::PaperPath}) {
    EXPECT_FALSE(web.PaperAt(s));
  }
  web.SubTravel(Unwind(EngineVariant::EM3, kTurnEighths));
  EXPECT_EQ(web.RollEncCounts(), 0u) << "no roll to turn";
  web.InsertRoll(10000.0, 123.0);
  EXPECT_TRUE(web.HasPaper());
  EXPECT_FALSE(web.HasWeb());
  EXPECT_NEAR(web.PaperOnRollMm(), 10000.0, 1e-9);
  EXPECT_NEAR(PaperWeb::LengthOf(web.DiameterMm()), 10000.0, 1e-6);
  double deg = 0;
  ASSERT_TRUE(web.EdgeAngle(&deg));
  EXPECT_NEAR(deg, 123.0, 1e-9);
}

TEST(PaperWeb, APlacementBringsBackTheRollItsFrontAndTheWeb) {
  PaperWeb web = NewRoll(120.0);
  web.SubTravel(Unwind(EngineVariant::EM3, kTurnEighths / 7.0));
  PaperWeb back(150.0, EngineVariant::EM3);
  back.Place(true, web.GetPlacement());
  double deg = 0, backDeg = 0;
  ASSERT_TRUE(web.EdgeAngle(&deg));
  ASSERT_TRUE(back.EdgeAngle(&backDeg));
  EXPECT_NEAR(backDeg, deg, 1e-9);
  EXPECT_FALSE(back.HasWeb());
  EXPECT_FALSE(back.PaperAt(PhotoSensor::PaperEmpty));
  EXPECT_NEAR(back.DiameterMm(), 120.0, 1e-6);
  back.Place(false, web.GetPlacement());
  EXPECT_FALSE(back.HasPaper());
  EXPECT_FALSE(back.EdgeAngle(&deg));
}

TEST(PaperWeb, ACrossingPastTheBladeCutsASheet) {
  PaperWeb web(150.0, EngineVariant::EM3);
  EXPECT_FALSE(web.Cut(5));  // the front is short of the blade
  web.MainTravel((static_cast<int64_t>(PaperWeb::kBlade - PaperWeb::kPosition) + 3612) * kLineEighths);
  EXPECT_TRUE(web.Cut(7));
  ASSERT_EQ(web.Sheets().size(), 1u);
  EXPECT_NEAR(web.Sheets()[0].lines, 3612.0, 1e-9);
  EXPECT_EQ(web.Sheets()[0].at, 7);
  EXPECT_EQ(web.Front(), PaperWeb::kBlade);
  EXPECT_FALSE(web.Cut(9));
}

}  // namespace
}  // namespace sim
