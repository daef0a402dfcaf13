// The paper moves on a printer running its main loop, the paper web moving
// under the steppers: the front's travel for each primitive with the eject
// motor as the feed drive asks, the paper end from a detached roll cutting
// a long move short or letting a short one finish, the halt without
// deceleration, and the measuring move setting the roll from the model's
// encoder.
#include <gtest/gtest.h>

#include <cmath>

#include "firmware/control/engine_variant.h"
#include "firmware/control/event_set.h"
#include "firmware/control/line_steps.h"
#include "firmware/devices/paper_position.h"
#include "firmware/devices/ramps.h"
#include "firmware/mechanism/eject_motor.h"
#include "firmware/mechanism/paper_moves.h"
#include "firmware/mechanism/step_machine.h"
#include "tests/support/paper_web.h"

namespace {

using paperwebtest::PaperWebPrinter;
using testsupport::Ms;

constexpr uint32_t kMask = SEQ_CHECK_COVERS;
constexpr uint32_t kStart = 67133;
constexpr double kStepLines = 0.25;  // one half step

class PaperMovesOnTheWeb : public PaperWebPrinter {
 protected:
  void SetUp() override { BootOnTheWeb(sim::EngineVariant::EM3); }
  bool EjectStartedSince(sim::Nanos since) {
    for (const auto& d : carouseltest::DrivesOf(Mechanism().Trace(), "DcMotorEject", since)) {
      if (d.drive == sim::DriveState::Forward || d.drive == sim::DriveState::Reverse) return true;
    }
    return false;
  }
  bool EjectTurning() {
    const sim::DriveState drive = Mechanism().Drive(sim::DcMotor::Eject);
    return drive == sim::DriveState::Forward || drive == sim::DriveState::Reverse;
  }
};

struct MoveCase {
  const char* name;
  int32_t (*move)();
  double lines;
  bool bEjectStarted;
  bool bEjectRunning;
};

TEST_F(PaperMovesOnTheWeb, EachPrimitiveCarriesTheFrontTheLinesAsked) {
  const MoveCase kCases[] = {
      {"MovePaperBy forward", [] { return MovePaperBy(400, 2, 2, 14, 20, kMask); }, 400.0, false, false},
      {"MovePaperBy back", [] { return MovePaperBy(-300, 2, 2, 14, 20, kMask); }, -300.0, false, false},
      {"MovePaperTo", [] { return MovePaperTo(kStart, 250, 2, 2, 14, 20, kMask); }, 250.0, false, false},
      {"MovePaperTo where it is", [] { return MovePaperTo(kStart, 0, 2, 2, 14, 20, kMask); }, 0.0, false, false},
      {"MovePaperToEx eject kept", [] { return MovePaperToEx(kStart, 120, 2, 2, 0, 14, 20, 50, kMask); }, 120.0,
       true, true},
      {"MovePaperToEx eject for the move", [] { return MovePaperToEx(kStart, 120, 2, 2, 0, 14, 20, 0, kMask); },
       120.0, true, false},
      {"MovePaperToEx no eject", [] { return MovePaperToEx(kStart, -80, 2, 2, 0, 14, 20, 40, kMask); }, -80.0, false,
       false},
      {"MovePaperSteps", [] { return MovePaperSteps(-400, 2, 2, 14, 20, kMask); }, -100.0, false, false},
  };
  for (const MoveCase& c : kCases) {
    SCOPED_TRACE(c.name);
    InLoop([] {
      g_PaperPosition.SetCurrentPoint(kStart);
      if (g_EjectMotor.IsRunning() != 0) g_EjectMotor.Stop();
    });
    const double before = Web().Front();
    const sim::Nanos since = m_machine->GetBoard().Clock().Now();
    EXPECT_EQ(Run(c.move), 0);
    EXPECT_NEAR(Web().Front() - before, c.lines, kStepLines);
    EXPECT_EQ(StateOf(g_StpmtrMain), STPMTR_IDLE);
    EXPECT_EQ(EjectStartedSince(since), c.bEjectStarted);
    EXPECT_EQ(EjectTurning(), c.bEjectRunning);
    EXPECT_EQ(g_EjectMotor.IsRunning(), c.bEjectRunning ? 1 : 0);
  }
}

struct PaperEndCase {
  const char* name;
  uint32_t mask;
  uint32_t mainProfile;
  uint32_t subProfile;
  double pastEnd;        // lines asked beyond the point where the end is seen
  bool bCutShort;
  uint32_t nearZone;     // 7: not written
  double maxAfterSeen;   // lines run after the end was seen, when cut short
};

TEST_F(PaperMovesOnTheWeb, APaperEndCutsALongMoveShortAndLetsAShortOneFinish) {
  // The roll lets go: its tail leaves "PaperEmpty" 600 lines on.
  WebDevice().Detach();
  const double kToEnd = sim::PaperWeb::kPaperEmpty - Web().Tail();
  const double kLimitA = 65336 - 63363, kLimitB = 65336 - 64934;
  const PaperEndCase kCases[] = {
      {"no paper-end bit", kMask, 14, 20, kLimitA + 500, false, 7, 0},
      {"beyond A, decelerating", kMask | SEQ_CHECK_PAPER_END, 14, 20, kLimitA + 500, true, 0, 150},
      {"beyond A, both profiles 0", kMask | SEQ_CHECK_PAPER_END, 0, 0, kLimitA + 500, true, 0, 10},
      // The sub stepper does not run: its deceleration is not waited for.
      {"beyond A, no sub stepper", kMask | SEQ_CHECK_PAPER_END, 14, 40, kLimitA + 500, true, 0, 150},
      {"within A, beyond B", kMask | SEQ_CHECK_PAPER_END, 14, 20, kLimitB + 300, false, 0, 0},
      {"within B", kMask | SEQ_CHECK_PAPER_END, 14, 20, kLimitB - 100, false, 1, 0},
  };
  for (const PaperEndCase& c : kCases) {
    SCOPED_TRACE(c.name);
    const int32_t lLines = static_cast<int32_t>(std::lround(kToEnd + c.pastEnd));
    const double before = Web().Front();
    const double seenAt = before + (sim::PaperWeb::kPaperEmpty - Web().Tail());
    uint32_t ulRemain = 0;
    uint32_t ulSeen = 0;
    EXPECT_EQ(Run([&] {
                g_ulPaperEndFlag = 0;
                g_pCurEventMng->ClearEvent(EV_PAPER_END);
                g_ulPaperInNearZone = 7;
                g_PaperPosition.SetRemainSteps(7);
                const int32_t lResult = MovePaperBy(lLines, 2, 2, c.mainProfile, c.subProfile, c.mask);
                g_PaperPosition.GetRemainSteps(&ulRemain);
                ulSeen = g_ulPaperEndFlag;
                return lResult;
              }),
              0);
    const double travel = Web().Front() - before;
    EXPECT_EQ(ulSeen, (c.mask & SEQ_CHECK_PAPER_END) != 0 ? 1u : 0u);
    EXPECT_EQ(g_ulPaperInNearZone, c.nearZone);
    const double after = Web().Front() - seenAt;
    if (c.bCutShort) {
      EXPECT_GE(after, 0.0);
      EXPECT_LE(after, c.maxAfterSeen);
    } else {
      EXPECT_NEAR(travel, lLines, kStepLines);
    }
    if ((c.mask & SEQ_CHECK_PAPER_END) != 0) {
      // Limit A less the steps run since the end was seen, cut short or not.
      const double expected = LinesToSteps(static_cast<uint32_t>(kLimitA)) - after * 4.0;
      EXPECT_NEAR(static_cast<double>(ulRemain), expected, 40.0);
    } else {
      EXPECT_EQ(ulRemain, 7u);
    }
    // Back to where the tail lay, for the next case.
    EXPECT_EQ(Run([&] { return MovePaperBy(-static_cast<int32_t>(std::lround(travel)), 2, 2, 14, 20, kMask); }), 0);
  }
}

TEST_F(PaperMovesOnTheWeb, ExactlyLimitALeftRunsToTheTargetOneStepMoreIsCutShort) {
  // The flag is set before the move, and profile 2 starts slowly enough
  // (500 pulses a second) that no step runs before the move looks at it.
  constexpr uint32_t kTargetLine = 68000;
  InLoop([] {
    g_Ramp01.SetupByRate(500, 2000, 10);
    g_Ramp06.SetupByRate(500, 2000, 10);
  });
  struct Case {
    uint32_t extra;  // steps beyond limit A left when the end is seen
    bool bCutShort;
  };
  const Case kCases[] = {{0, false}, {1, true}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.extra);
    int32_t lResult = 9;
    int32_t lStart = 0, lEnd = 0, lTarget = 0;
    uint32_t ulRemain = 0, ulNear = 9, ulLimitA = 0;
    InLoop([&] {
      ulLimitA = PaperEndLimitA();
      g_PaperPosition.SetCurrentPointOffset(kTargetLine, -static_cast<int32_t>(ulLimitA + c.extra));
      g_PaperPosition.GetCurrentPointSteps(&lStart);
      g_PaperPosition.SetRemainSteps(7);
      g_ulPaperInNearZone = 9;
      g_ulPaperEndFlag = 1;
      lResult = MovePaperTo(kTargetLine, 0, 2, 2, 2, 2, SEQ_CHECK_PAPER_END);
      g_PaperPosition.GetCurrentPointSteps(&lEnd);
      g_PaperPosition.GetTarget(&lTarget);
      g_PaperPosition.GetRemainSteps(&ulRemain);
      ulNear = g_ulPaperInNearZone;
      g_ulPaperEndFlag = 0;
    }, Ms(30000));
    EXPECT_EQ(lResult, 0);
    EXPECT_EQ(ulLimitA, LinesToSteps(65336 - 63363));
    EXPECT_EQ(ulNear, 0u) << "limit A lies beyond limit B";
    const uint32_t ulRun = static_cast<uint32_t>(lEnd - lStart);
    EXPECT_GT(ulRun, 0u);
    if (c.bCutShort) {
      EXPECT_LT(lEnd, lTarget);
      EXPECT_EQ(ulRemain, ulLimitA - ulRun);
    } else {
      EXPECT_EQ(lEnd, lTarget);
      EXPECT_EQ(ulRemain, 0u) << "limit A less the whole limit run since";
    }
  }
}

TEST_F(PaperMovesOnTheWeb, TheMeasuringMoveHandsTheModelsStepsFor36CountsToTheRoll) {
  for (uint32_t ulMode : {1u, 2u, 3u}) {
    SCOPED_TRACE(ulMode);
    testsupport::ForgetRollSettings();
    testsupport::ForgetFeedMatchedRamps();
    EXPECT_EQ(Run([&] { return MovePaperMeasureRoll(5000, ulMode, 0, 14, 40, kMask); }), 0);
    // The steps fed for 36 counts of the roll's encoder, as half steps of
    // the main stepper in every mode, give the roll's diameter.
    EXPECT_NEAR(testsupport::RollDiameterNow(), Web().DiameterMm(), Web().DiameterMm() * 0.015);
    // The four feed-matched ramps, each from its reference ramp at the
    // sub stepper's rate of plane Y over the plane's main rate (the first
    // in step mode B 2, the others halved in mode 1).
    ASSERT_EQ(testsupport::RebuiltFeedMatchedRamps(), 4u);
    const CRampTable* kReferences[4] = {&g_Ramp28, &g_Ramp22, &g_Ramp18, &g_Ramp20};
    const uint32_t ulFeed = testsupport::TopRateOf(g_Ramp33) / 2;
    const uint32_t ulPlane = testsupport::TopRateOf(g_Ramp00);
    ASSERT_NE(ulPlane, 0u);
    for (uint32_t i = 0; i < 4; ++i) {
      const uint32_t ulRate = testsupport::TopRateOf(*kReferences[i]) * 2 * ulFeed / ulPlane;
      EXPECT_EQ(testsupport::TopRateOf(*testsupport::kFeedMatchedRamps[i]), i == 0 ? ulRate : ulRate / 2) << i;
    }
  }
}

TEST_F(PaperMovesOnTheWeb, WithRollEncJammedTheMeasuringMoveSetsAFullRoll) {
  WebDevice().SetFault(sim::WebFault::RollEncJammed, true);
  EXPECT_EQ(Run([] { return MovePaperMeasureRoll(2000, 2, 0, 14, 40, kMask); }), 0);
  EXPECT_EQ(testsupport::RollDiameterNow(), 177.0);
  EXPECT_EQ(testsupport::RebuiltFeedMatchedRamps(), 4u);
}

TEST_F(PaperMovesOnTheWeb, ACoverOpenedDuringTheMeasuringMoveSetsNoDiameter) {
  m_machine->GetBoard().Clock().ScheduleIn(Ms(3000), [this] { Inputs().SetCoverOpen(sim::Cover::Front, true); });
  EXPECT_EQ(Run([] { return MovePaperMeasureRoll(8000, 2, 0, 14, 40, kMask); }), -1);
  EXPECT_EQ(testsupport::RollDiameterNow(), testsupport::kUntouchedRollDiameter);
  EXPECT_EQ(testsupport::RebuiltFeedMatchedRamps(), 0u);
  Inputs().SetCoverOpen(sim::Cover::Front, false);
}

}  // namespace

namespace {

class PaperMovesOnEm2 : public paperwebtest::PaperWebPrinter {
 protected:
  void SetUp() override { BootOnTheWeb(sim::EngineVariant::EM2); }
};

TEST_F(PaperMovesOnEm2, TheLimitsComeFromTheEnginesReference) {
  uint32_t ulA = 0, ulB = 0, ulRef = 0;
  InLoop([&] {
    ulA = PaperEndLimitA();
    ulB = PaperEndLimitB();
    ulRef = g_ulEngPosRefA;
  });
  EXPECT_EQ(ulRef, 65364u);
  EXPECT_EQ(ulA, LinesToSteps(2001));
  EXPECT_EQ(ulB, LinesToSteps(430));
}

}  // namespace
