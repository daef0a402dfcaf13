// The paper-roll carousel on the virtual mechanism, on a printer of each
// engine variant running its main loop: the start-up's turn counts, every
// turn with its duty ramp read back from the trace, the homing into the end
// stop, the fault switches that make a turn or the homing fail with "Mecha
// Error 28", and a long series of turns that stays inside the windows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "firmware/devices/parameter.h"
#include "firmware/devices/settings.h"
#include "firmware/mechanism/roll_rotation.h"
#include "firmware/mechanism/step_machine.h"
#include "firmware/mechanism/unit_moves.h"
#include "firmware/platform/time_base.h"
#include "sim/mechanism/input_faults.h"
#include "tests/support/carousel.h"

namespace {

using namespace carouseltest;
using sim::CarouselPosition;
using sim::EngineVariant;

constexpr uint32_t kMask = SEQ_CHECK_HOST | SEQ_CHECK_COVERS;

std::string VariantName(const ::testing::TestParamInfo<EngineVariant>& info) { return sim::ToString(info.param); }

// The carousel primitives as the application runs them.
class CarouselTurnRig : public CarouselPrinter {
 protected:
  void Init() {
    int32_t lResult = 9;
    ASSERT_TRUE(InLoop([&] { lResult = InitPaperRollRotation(kMask); }));
    ASSERT_EQ(lResult, 0);
    ASSERT_EQ(Carousel().At(), CarouselPosition::Neutral);
  }

  // A turn as the application runs it, the flag looked at while the
  // carousel moves, and the turn read back from the trace.
  struct Turned {
    int32_t lResult = 9;
    int32_t lFlagDuring = 9;
    int32_t lFlagAfter = 9;
    CarouselPosition at = CarouselPosition::None;
    TurnProfile profile;
  };
  Turned Turn(uint32_t ulTarget) {
    const sim::Nanos since = m_machine->Now();
    m_bDone = false;
    m_lResult = 9;
    m_machine->AtNextPass([this, ulTarget] {
      m_lResult = TurnPaperRoll(ulTarget, kMask);
      m_bDone = true;
    });
    Turned t;
    m_machine->RunUntil([this] { return m_bDone || Carousel().Moving(); }, Ms(5000));
    t.lFlagDuring = SettingValue(g_ParamRotationFlag);
    m_machine->RunUntil([this] { return m_bDone; }, Ms(20000));
    EXPECT_TRUE(m_bDone) << "the turn did not end";
    t.lResult = m_lResult;
    t.lFlagAfter = SettingValue(g_ParamRotationFlag);
    t.at = Carousel().At();
    t.profile = ProfileOf(Mechanism(), since);
    return t;
  }

  bool m_bDone = false;
  int32_t m_lResult = 9;
};

class CarouselTurns : public CarouselTurnRig, public ::testing::WithParamInterface<EngineVariant> {
 protected:
  void SetUp() override { BootReady(GetParam()); }
};

// "Engine Version" 1.
class CarouselOfVersion1 : public CarouselTurnRig {
 protected:
  void SetUp() override { BootReady(EngineVariant::EM2); }
};

TEST_P(CarouselTurns, TheStartUpSetsTheTurnCountsOfTheEngineVersion) {
  const std::vector<uint32_t> expected = GetParam() == EngineVariant::EM2
                                             ? std::vector<uint32_t>{376, 630, 736, 270, 1350, 1710}
                                             : std::vector<uint32_t>{676, 330, 436, 570, 1650, 1410};
  EXPECT_EQ(std::vector<uint32_t>(std::begin(g_RollRotationState.aulTurnCounts),
                                  std::end(g_RollRotationState.aulTurnCounts)),
            expected);
  EXPECT_FALSE(m_machine->Logged("[placeholder] SetRollTurnCounts (paper-roll carousel) is not built yet"));
}

// Each of the six turns once: "Rotation Flag" reads 0 while the carousel
// turns and the target after; the motor starts at 80 % (side to side) or
// 50 % (to or from neutral), holds it up to 360 counts before the end and
// ramps to 30 %, each step a count sooner; it brakes the turn's counts past
// the notch edge, inside the target's window. A turn to where it stands
// moves nothing and leaves the flag.
TEST_P(CarouselTurns, EveryTurnRampsDownFromTheNotchEdgeAndEndsInItsTarget) {
  Init();
  struct Step {
    uint32_t ulFrom;
    uint32_t ulTo;
  };
  const Step steps[] = {{1, 3}, {3, 2}, {2, 3}, {3, 1}, {1, 2}, {2, 1}};
  for (const Step& s : steps) {
    SCOPED_TRACE(testing::Message() << s.ulFrom << "->" << s.ulTo);
    const Turned t = Turn(s.ulTo);
    EXPECT_EQ(t.lResult, 0);
    EXPECT_EQ(t.lFlagDuring, 0);
    EXPECT_EQ(t.lFlagAfter, static_cast<int32_t>(s.ulTo));
    EXPECT_EQ(t.at, static_cast<CarouselPosition>(s.ulTo));
    const TurnProfile& p = t.profile;
    ASSERT_TRUE(p.bStarted);
    EXPECT_TRUE(p.bBraked);
    const bool bForward = s.ulTo == 3 || (s.ulTo == 1 && s.ulFrom == 2);
    EXPECT_EQ(p.drive, bForward ? sim::DriveState::Forward : sim::DriveState::Reverse);
    const uint32_t ulCounts = TurnCounts(GetParam(), s.ulFrom, s.ulTo);
    const uint32_t ulStartDuty = s.ulFrom == 1 || s.ulTo == 1 ? 50 : 80;
    EXPECT_EQ(p.duties, ExpectedDuties(ulStartDuty, ulCounts));
    EXPECT_EQ(p.end, p.edge + (bForward ? 1 : -1) * static_cast<int32_t>(ulCounts));
    EXPECT_EQ(Layout().At(p.from), static_cast<CarouselPosition>(s.ulFrom));
  }
  // Already there.
  const Turned t = Turn(1);
  EXPECT_EQ(t.lResult, 0);
  EXPECT_FALSE(t.profile.bStarted);
  EXPECT_EQ(t.lFlagAfter, 1);
}

// The short turns of "Engine Version" 1: 1→3 (376 counts) holds 50 % until
// 16 counts past the edge and takes its first step 20 counts later; 2→1
// (270 counts) ramps from the edge.
TEST_F(CarouselOfVersion1, AShortTurnRampsFromTheEdgeAndALongerOneAfterItsFullSpeedPart) {
  Init();
  Turned t = Turn(3);
  ASSERT_GE(t.profile.duties.size(), 2u);
  EXPECT_EQ(t.profile.duties[1], (DutyAt{45, 17 + 20}));
  ASSERT_EQ(Turn(2).lResult, 0);
  t = Turn(1);
  ASSERT_GE(t.profile.duties.size(), 2u);
  EXPECT_EQ(t.profile.duties[1], (DutyAt{45, 20}));
}

// The homing from an unknown position drives into the end stop at 50 % and
// takes 3 once "FaultChk" has not counted for 500 ms; the carousel then
// turns to neutral.
TEST_P(CarouselTurns, TheHomingEndsAtTheEndStopWhenFaultChkStalls) {
  ASSERT_EQ(SettingValue(g_ParamRotationFlag), 0) << "a new printer does not know it";
  const sim::Nanos since = m_machine->Now();
  const TurnProfile none = ProfileOf(Mechanism(), since);
  ASSERT_FALSE(none.bStarted);
  bool bDone = false;
  int32_t lResult = 9;
  m_machine->AtNextPass([&] {
    lResult = InitPaperRollRotation(kMask);
    bDone = true;
  });
  m_machine->RunUntil([&] { return Carousel().Position() == Layout().endStop; }, Ms(15000));
  ASSERT_EQ(Carousel().Position(), Layout().endStop);
  const sim::Nanos stalled = m_machine->Now();
  EXPECT_EQ(Mechanism().Drive(sim::DcMotor::PaperRot), sim::DriveState::Forward);
  EXPECT_EQ(Mechanism().SpeedPercent(sim::DcMotor::PaperRot), 50u);
  m_machine->RunUntil([&] { return Mechanism().Drive(sim::DcMotor::PaperRot) != sim::DriveState::Forward; }, Ms(2000));
  EXPECT_EQ(Mechanism().Drive(sim::DcMotor::PaperRot), sim::DriveState::Stop);
  const sim::Nanos stopped = m_machine->Now();
  EXPECT_GE(stopped - stalled, Ms(500));
  EXPECT_LT(stopped - stalled, Ms(510));
  m_machine->RunUntil([&] { return bDone; }, Ms(20000));
  ASSERT_TRUE(bDone);
  EXPECT_EQ(lResult, 0);
  EXPECT_EQ(Carousel().At(), CarouselPosition::Neutral);
  EXPECT_EQ(SettingValue(g_ParamRotationFlag), 1);
}

// A series of turns on both sides stays inside the windows: no turn drifts.
// Where a turn ends depends on the counts alone: the carousel runs at four
// times its speed (a count still takes far longer than a poll).
TEST_P(CarouselTurns, TenRoundsOfTurnsEndEachInsideItsWindow) {
  Carousel().SetSpeedPercent(400);
  Init();
  const uint32_t targets[] = {2, 1, 3, 1};
  for (uint32_t round = 0; round < 10; ++round) {
    for (const uint32_t ulTarget : targets) {
      const Turned t = Turn(ulTarget);
      ASSERT_EQ(t.lResult, 0) << "round " << round << " to " << ulTarget;
      ASSERT_EQ(t.at, static_cast<CarouselPosition>(ulTarget)) << "round " << round << " at " << Carousel().Position();
    }
  }
  EXPECT_EQ(SettingValue(g_ParamRotationFlag), 1);
}

INSTANTIATE_TEST_SUITE_P(Variants, CarouselTurns, ::testing::Values(EngineVariant::EM2, EngineVariant::EM3),
                         VariantName);

// ---- the fault switches ----------------------------------------------------------------------

struct FaultCase {
  const char* pszName;
  bool bInitFirst;  // the carousel homed and at neutral before the fault
  void (*fault)(sim::Machine&);
  bool bTurn;  // a turn to 3; else the homing of InitPaperRollRotation
};

void Blocked(sim::Machine& m) { m.GetBoard().FindDevice<sim::DcMechanism>()->GetCarousel().SetBlocked(true); }
void UnitPosiOff(sim::Machine& m) {
  m.MechanismFaults().SetBitFault(sim::Carousel::kUnitPosi, sim::BitFault::StuckOff);
}
void NoEndStop(sim::Machine& m) { m.GetBoard().FindDevice<sim::DcMechanism>()->GetCarousel().SetEndStopMissing(true); }

const FaultCase kFaults[] = {
    {"blocked", true, Blocked, true},
    {"UnitPosi stuck off", true, UnitPosiOff, true},
    {"end stop missing", false, NoEndStop, false},
};

class CarouselFaults : public CarouselPrinter, public ::testing::WithParamInterface<FaultCase> {
 protected:
  void SetUp() override { BootReady(EngineVariant::EM3); }
};

// Each fails after the 10 s of the move's guard with 540, stops the motor
// and leaves the position undefined; the state machine shows the error.
TEST_P(CarouselFaults, FailWith540AfterTenSeconds) {
  const FaultCase& c = GetParam();
  if (c.bInitFirst) {
    int32_t lInit = 9;
    ASSERT_TRUE(InLoop([&] { lInit = InitPaperRollRotation(kMask); }));
    ASSERT_EQ(lInit, 0);
  }
  c.fault(*m_machine);
  const std::vector<uint32_t> before = RaisedIndexes();
  int32_t lResult = 9;
  uint32_t ulStart = 0, ulEnd = 0;
  ASSERT_TRUE(InLoop([&] {
    ulStart = g_MsTimer.NowMs();
    lResult = c.bTurn ? TurnPaperRoll(3, kMask) : InitPaperRollRotation(kMask);
    ulEnd = g_MsTimer.NowMs();
  }));
  EXPECT_EQ(lResult, -1);
  // The unlock before, the 10 s guard, the error's history entry after.
  EXPECT_GE(ulEnd - ulStart, kRollMoveTimeoutMs);
  EXPECT_LT(ulEnd - ulStart, kRollMoveTimeoutMs + 1000);
  std::vector<uint32_t> expected = before;
  expected.push_back(kRollRotationError);
  EXPECT_EQ(RaisedIndexes(), expected);
  EXPECT_EQ(Mechanism().Drive(sim::DcMotor::PaperRot), sim::DriveState::Stop);
  EXPECT_EQ(SettingValue(g_ParamRotationFlag), 0);
  ExpectShownAndLogged(kRollRotationError, "Mecha Error   28");
}

INSTANTIATE_TEST_SUITE_P(Table, CarouselFaults, ::testing::ValuesIn(kFaults),
                         positionertest::CaseName<::testing::TestParamInfo<FaultCase>>);

}  // namespace
