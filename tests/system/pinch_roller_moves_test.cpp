// The main and feed pinch rollers of both engine variants on the virtual
// mechanism's cams: each move of the tables starts in the application and
// is polled to its end; the case names the motor's direction, the watched
// sensor and its levels, the position and "MainPinStatus" (main EEPROM byte
// 384 on the model) as the motor starts and on arrival. EM2 cases boot a
// printer provisioned with "Engine Version" 1, so the model's cams and the
// firmware's rollers both are EM2's.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "firmware/control/engine_variant.h"
#include "firmware/control/error_manager.h"
#include "firmware/control/panel_test_rig.h"
#include "firmware/devices/machine_ports.h"
#include "firmware/devices/sensors.h"
#include "firmware/devices/settings.h"
#include "firmware/sequences/event_actions.h"
#include "sim/memory/board_eeproms.h"
#include "sim/mechanism/dc_mechanism.h"
#include "sim/mechanism/input_faults.h"
#include "tests/support/positioners.h"

namespace paneltest {
namespace {

using namespace positionertest;
using sim::BitFault;
using sim::EngineVariant;
namespace pos = sim::positioner;

constexpr uint32_t kMainPinStatusByte = 384;
constexpr uint32_t kMoveLimitMs = 5000;

struct Request {
  uint32_t ulRequest;
  uint32_t ulUnit;
};

// One roller as the cases drive it.
struct Roller {
  std::function<int32_t(uint32_t, uint32_t)> move;
  std::function<int32_t(int32_t*)> step;
  std::function<const PositionerRecord&()> record;
  CDcMotor* pMotor;
};
Roller Main() {
  return {[](uint32_t r, uint32_t u) { return g_pProllMain->Move(r, u); },
          [](int32_t* p) { return g_pProllMain->Step(p); },
          []() -> const PositionerRecord& { return g_pProllMain->Record(); }, &g_DcMotorMainPinch};
}
Roller Feed() {
  return {[](uint32_t r, uint32_t u) { return g_pProllFeed->Move(r, u); },
          [](int32_t* p) { return g_pProllFeed->Step(p); },
          []() -> const PositionerRecord& { return g_pProllFeed->Record(); }, &g_DcMotorFeedPinch};
}

uint32_t StateOf(CDcMotor* pMotor) {
  uint32_t ulState = 0;
  pMotor->GetState(&ulState);
  return ulState;
}

int32_t StepToEnd(const Roller& r, int32_t lResult) {
  int32_t lDone = 0;
  const uint32_t ulFrom = NowMs();
  while (lResult == 0 && lDone == 0 && NowMs() - ulFrom < kMoveLimitMs) lResult = r.step(&lDone);
  return lDone != 0 || lResult != 0 ? lResult : 99;
}

// A printer of the engine variant whose application runs the test's jobs:
// the engine variant selected from its "Engine Version" (the rollers in
// use), the motors enabled.
class PinchRig : public PanelTest {
 protected:
  void SetUp() override {}
  void BootVariant(EngineVariant variant) {
    BootPanel(VariantOptions(variant));
    InApp([] {
      g_PortMotorEnable.Set();
      SelectEngineVariant();
    });
    const bool bEm2 = variant == EngineVariant::EM2;
    ASSERT_EQ(g_pProllMain, bEm2 ? static_cast<CProllMain*>(&g_ProllMainEM2) : &g_ProllMainEM3);
    ASSERT_EQ(g_pProllFeed, bEm2 ? static_cast<CProllFeed*>(&g_ProllFeedEM2) : &g_ProllFeedEM3);
  }
  uint8_t StatusByte() {
    return m_machine->GetBoard().FindDevice<sim::BoardEeproms>()->Main().PeekByte(kMainPinStatusByte);
  }
  sim::DcMechanism& Mechanism() { return *m_machine->GetBoard().FindDevice<sim::DcMechanism>(); }
};

// ---- the move tables ----------------------------------------------------------------------

constexpr int32_t kNotLooked = -1;

struct MoveCase {
  const char* pszName;
  EngineVariant variant;
  bool bFeed;
  std::vector<Request> before;  // moves that bring the roller to its start
  Request request;
  int32_t lStart;                 // Move's result
  uint32_t ulMotorState;          // right after the start
  CDigitalSensor* pWatched;       // null: nothing followed
  std::vector<int32_t> levels;
  int32_t lStatusAtStart;         // "MainPinStatus"; kNotLooked for the feed roller
  uint32_t ulPositionAtStart;
  int32_t lResult;
  uint32_t ulPosition;
  int32_t lStatusAtEnd;
  // Run in the application after the moves before (may be empty).
  std::function<void(sim::Machine&)> setUp;
};

CDigitalSensor* const kMainC = &g_SensorMainPinC;
CDigitalSensor* const kMainL = &g_SensorMainPinL;
CDigitalSensor* const kFeedL = &g_SensorFeedPinchL;
CDigitalSensor* const kFeedR = &g_SensorFeedPinchR;
const std::vector<int32_t> kOffThenOn = {0, 0, 0, 1};
const std::vector<int32_t> kOnThenOff = {1, 1, 1, 0};
const std::vector<int32_t> kOnOffOn = {1, 0, 1};
constexpr uint32_t F = DC_MOTOR_FORWARD, R = DC_MOTOR_REVERSE, S = DC_MOTOR_STOPPED;
constexpr EngineVariant EM2 = EngineVariant::EM2, EM3 = EngineVariant::EM3;
const Request kUp{1, 0};

void PutAtBetweenL(sim::Machine&) { g_pProllMain->SetPosition(PINCH_HALF_L); }
void PutFeedAtBetweenL(sim::Machine&) { g_pProllFeed->SetPosition(PINCH_HALF_L); }
// A check skipped: "MainPin C" held on, which the arrival at a down
// position must not see.
void NoVerifyWithCOn(sim::Machine& m) {
  g_pProllMain->SetVerify(0);
  m.MechanismFaults().SetBitFault(pos::kMainPinC, BitFault::StuckOn);
}
void FeedLOff(sim::Machine& m) { m.MechanismFaults().SetBitFault(pos::kFeedPinchL, BitFault::StuckOff); }

// clang-format off
const std::vector<MoveCase> kMainMoves = {
    // EM2: the status is the position code, the between-position while moving.
    {"EM2 home while C reads 1 moves nothing and writes 1", EM2, false, {}, kUp, 0, S, nullptr, {}, 1, 1, 0, 1, 1},
    {"EM2 request 10 for unit 1 lowers Reverse to 5", EM2, false, {kUp}, {10, 1}, 0, R, kMainL, kOnThenOff, 4, 4, 0, 5, 5},
    {"EM2 request 10 for unit 0 lowers Forward to 3", EM2, false, {kUp}, {10, 0}, 0, F, kMainL, kOnThenOff, 2, 2, 0, 3, 3},
    {"EM2 lift from L runs Reverse", EM2, false, {kUp, {3, 0}}, kUp, 0, R, kMainC, kOffThenOn, 2, 2, 0, 1, 1},
    {"EM2 lift from R runs Forward", EM2, false, {kUp, {5, 0}}, kUp, 0, F, kMainC, kOffThenOn, 4, 4, 0, 1, 1},
    {"EM2 request 3 from 2 gives -2", EM2, false, {}, {3, 0}, -2, S, nullptr, {}, 2, 2, -2, 2, 2, PutAtBetweenL},
    {"EM2 request 11 is unknown", EM2, false, {kUp}, {11, 0}, -1, S, nullptr, {}, 1, 1, -1, 1, 1},
    // EM3: bits 0-2 position, 3-5 target, 6 moving.
    {"EM3 request 1 while up moves nothing", EM3, false, {}, kUp, 0, S, nullptr, {}, 0x09, 1, 0, 1, 0x09},
    {"EM3 request 11 for unit 0 from up", EM3, false, {kUp}, {11, 0}, 0, R, kMainC, kOffThenOn, 0x51, 1, 0, 2, 0x12},
    {"EM3 request 11 for unit 1 from up", EM3, false, {kUp}, {11, 1}, 0, F, kMainC, kOffThenOn, 0x61, 1, 0, 4, 0x24},
    {"EM3 request 10 for unit 0 from up", EM3, false, {kUp}, {10, 0}, 0, R, kMainL, kOffThenOn, 0x59, 1, 0, 3, 0x1B},
    {"EM3 request 10 for unit 1 from up", EM3, false, {kUp}, {10, 1}, 0, F, kMainL, kOffThenOn, 0x69, 1, 0, 5, 0x2D},
    {"EM3 3 to 2", EM3, false, {kUp, {3, 0}}, {2, 0}, 0, R, kMainC, kOffThenOn, 0x53, 3, 0, 2, 0x12},
    {"EM3 2 to 3", EM3, false, {kUp, {2, 0}}, {3, 0}, 0, F, kMainL, kOnThenOff, 0x5A, 2, 0, 3, 0x1B},
    {"EM3 4 to 5", EM3, false, {kUp, {4, 0}}, {5, 0}, 0, R, kMainL, kOnThenOff, 0x6C, 4, 0, 5, 0x2D},
    {"EM3 lift from L runs Forward", EM3, false, {kUp, {3, 0}}, kUp, 0, F, kMainC, kOffThenOn, 0x4B, 3, 0, 1, 0x09},
    {"EM3 lift from R runs Reverse", EM3, false, {kUp, {5, 0}}, kUp, 0, R, kMainC, kOffThenOn, 0x4D, 5, 0, 1, 0x09},
    {"EM3 lift from half L", EM3, false, {kUp, {2, 0}}, kUp, 0, F, kMainC, kOffThenOn, 0x4A, 2, 0, 1, 0x09},
    {"EM3 request 2 from 4 is refused and records nothing", EM3, false, {kUp, {4, 0}}, {2, 0}, -1, S, nullptr, {},
     0x24, 4, -1, 4, 0x24},
    {"EM3 unknown request", EM3, false, {kUp}, {7, 0}, -1, S, nullptr, {}, 0x09, 1, -1, 1, 0x09},
    {"EM3 verify flag cleared skips the check", EM3, false, {kUp}, {3, 0}, 0, R, kMainL, kOffThenOn, 0x59, 1, 0, 3,
     0x1B, NoVerifyWithCOn},
};

const std::vector<MoveCase> kFeedMoves = {
    {"EM2 home while R reads 1 moves nothing", EM2, true, {}, kUp, 0, S, nullptr, {}, kNotLooked, 1, 0, 1, kNotLooked},
    {"EM2 lowers to 3 Forward", EM2, true, {kUp}, {10, 0}, 0, F, kFeedL, kOnThenOff, kNotLooked, 2, 0, 3, kNotLooked},
    {"EM2 lowers to 5 Reverse", EM2, true, {kUp}, {10, 1}, 0, R, kFeedL, kOnThenOff, kNotLooked, 4, 0, 5, kNotLooked},
    {"EM2 lift from L runs Reverse", EM2, true, {kUp, {3, 0}}, kUp, 0, R, kFeedR, kOffThenOn, kNotLooked, 2, 0, 1,
     kNotLooked},
    {"EM2 lift from R runs Forward", EM2, true, {kUp, {5, 0}}, kUp, 0, F, kFeedR, kOffThenOn, kNotLooked, 4, 0, 1,
     kNotLooked},
    {"EM2 request 3 from 2 gives -2", EM2, true, {}, {3, 0}, -2, S, nullptr, {}, kNotLooked, 2, -2, 2, kNotLooked,
     PutFeedAtBetweenL},
    {"EM3 home while both read 1 moves nothing", EM3, true, {}, kUp, 0, S, nullptr, {}, kNotLooked, 1, 0, 1,
     kNotLooked},
    {"EM3 lowers to 3 Reverse", EM3, true, {kUp}, {10, 0}, 0, R, kFeedR, kOnOffOn, kNotLooked, 2, 0, 3, kNotLooked},
    {"EM3 lowers to 5 Forward", EM3, true, {kUp}, {10, 1}, 0, F, kFeedL, kOnOffOn, kNotLooked, 4, 0, 5, kNotLooked},
    {"EM3 lift from L runs Forward", EM3, true, {kUp, {3, 0}}, kUp, 0, F, kFeedL, kOffThenOn, kNotLooked, 2, 0, 1,
     kNotLooked},
    {"EM3 lift from R runs Reverse", EM3, true, {kUp, {5, 0}}, kUp, 0, R, kFeedR, kOffThenOn, kNotLooked, 4, 0, 1,
     kNotLooked},
    {"EM3 request 3 from 2 gives -2", EM3, true, {}, {3, 0}, -2, S, nullptr, {}, kNotLooked, 2, -2, 2, kNotLooked,
     PutFeedAtBetweenL},
    // Up needs both switches: with only "FeedPinch R" on the lift drives
    // (as from side R), never sees its confirmation and runs out of time.
    {"EM3 home with only R on still drives", EM3, true, {}, kUp, 0, R, kFeedR, kOffThenOn, kNotLooked, 0, -1, 0,
     kNotLooked, FeedLOff},
};
// clang-format on

class PinchMoves : public PinchRig, public ::testing::WithParamInterface<MoveCase> {
 protected:
  void SetUp() override { BootVariant(GetParam().variant); }
};

TEST_P(PinchMoves, EndOnTheVariantsCams) {
  const MoveCase& c = GetParam();
  struct Seen {
    int32_t lStart = 9, lResult = 9;
    uint32_t ulMotorState = 9, ulPositionAtStart = 9, ulPosition = 9;
    CDigitalSensor* pWatched = nullptr;
    std::vector<int32_t> levels;
    int32_t lStatusAtStart = kNotLooked, lStatusAtEnd = kNotLooked;
    bool bSensorError = false;
  } seen;
  InApp(
      [&] {
        const Roller r = c.bFeed ? Feed() : Main();
        for (const Request& before : c.before) {
          ASSERT_EQ(StepToEnd(r, r.move(before.ulRequest, before.ulUnit)), 0) << "to " << before.ulRequest;
        }
        if (c.setUp) c.setUp(*m_machine);
        const uint16_t usStepBefore = r.record().usStep;
        seen.lStart = r.move(c.request.ulRequest, c.request.ulUnit);
        seen.ulMotorState = StateOf(r.pMotor);
        const PositionerRecord& rec = r.record();
        if (seen.ulMotorState != DC_MOTOR_STOPPED || rec.usStep != usStepBefore) {
          seen.pWatched = rec.pWatched;
          seen.levels.assign(rec.alLevel, rec.alLevel + rec.lLength);
        }
        seen.ulPositionAtStart = rec.usPosition;
        if (!c.bFeed) seen.lStatusAtStart = StatusByte();
        seen.lResult = seen.lStart == 0 ? StepToEnd(r, 0) : seen.lStart;
        seen.ulPosition = r.record().usPosition;
        if (!c.bFeed) seen.lStatusAtEnd = StatusByte();
        seen.bSensorError = IsErrorRaised(0x303) || IsErrorRaised(0x305);
      },
      Ms(kMoveLimitMs * 4));
  EXPECT_EQ(seen.lStart, c.lStart);
  EXPECT_EQ(seen.ulMotorState, c.ulMotorState);
  EXPECT_EQ(seen.pWatched, c.pWatched) << (seen.pWatched != nullptr ? seen.pWatched->Label() : "none");
  EXPECT_EQ(seen.levels, c.levels);
  EXPECT_EQ(seen.lStatusAtStart, c.lStatusAtStart);
  EXPECT_EQ(seen.ulPositionAtStart, c.ulPositionAtStart);
  EXPECT_EQ(seen.lResult, c.lResult);
  EXPECT_EQ(seen.ulPosition, c.ulPosition);
  EXPECT_EQ(seen.lStatusAtEnd, c.lStatusAtEnd);
  EXPECT_FALSE(seen.bSensorError);
}

INSTANTIATE_TEST_SUITE_P(Main, PinchMoves, ::testing::ValuesIn(kMainMoves), CaseName<::testing::TestParamInfo<MoveCase>>);
INSTANTIATE_TEST_SUITE_P(Feed, PinchMoves, ::testing::ValuesIn(kFeedMoves), CaseName<::testing::TestParamInfo<MoveCase>>);

// ---- stops, stored status and the EM2 failure -----------------------------------------------

struct StopCase {
  const char* pszName;
  EngineVariant variant;
  bool bFeed;
  Request request;
  uint32_t ulPosition;  // after the Stop
};
const StopCase kStops[] = {
    {"EM2 feed keeps between L", EM2, true, {10, 0}, 2},
    {"EM3 feed keeps between R", EM3, true, {10, 1}, 4},
    {"EM2 main keeps between R", EM2, false, {10, 1}, 4},
    {"EM3 main forgets a position short of its target", EM3, false, {10, 0}, 0},
};

class PinchStops : public PinchRig, public ::testing::WithParamInterface<StopCase> {
 protected:
  void SetUp() override { BootVariant(GetParam().variant); }
};

// Switching the whole mechanism off stops the rollers in use.
TEST_P(PinchStops, AfterAnInterruptedMotion) {
  const StopCase& c = GetParam();
  uint32_t ulPosition = 9, ulState = 9;
  InApp([&] {
    const Roller r = c.bFeed ? Feed() : Main();
    ASSERT_EQ(StepToEnd(r, r.move(1, 0)), 0);
    ASSERT_EQ(r.move(c.request.ulRequest, c.request.ulUnit), 0);
    const uint32_t ulFrom = NowMs();
    int32_t lDone = 0;
    while (NowMs() - ulFrom < 100) ASSERT_EQ(r.step(&lDone), 0);
    ASSERT_EQ(lDone, 0) << "still on its way";
    EXPECT_EQ(MechaAllOff(), 0);
    ulPosition = r.record().usPosition;
    ulState = StateOf(r.pMotor);
  });
  EXPECT_EQ(ulPosition, c.ulPosition);
  EXPECT_EQ(ulState, static_cast<uint32_t>(DC_MOTOR_STOPPED));
}

INSTANTIATE_TEST_SUITE_P(Table, PinchStops, ::testing::ValuesIn(kStops), CaseName<::testing::TestParamInfo<StopCase>>);

class PinchEm3 : public PinchRig {
 protected:
  void SetUp() override { BootVariant(EM3); }
};

TEST_F(PinchEm3, TheStoredStatusDecodesAndBit7Stays) {
  uint32_t ulRaw = 0, ulMoving = 0, ulTarget = 0, ulPosition = 0;
  int32_t lAfter = 0;
  InApp([&] {
    ASSERT_EQ(g_ParamMainPinStatus.SetValue(0xEA), 0);  // bit 7, moving, target 5, position 2
    g_pProllMain->GetStoredStatus(&ulRaw, &ulMoving, &ulTarget, &ulPosition);
    g_pProllMain->SetPosition(PINCH_DOWN_L);
    lAfter = SettingValue(g_ParamMainPinStatus);
  });
  EXPECT_EQ(ulRaw, 0xEAu);
  EXPECT_EQ(ulMoving, 1u);
  EXPECT_EQ(ulTarget, 5u);
  EXPECT_EQ(ulPosition, 2u);
  EXPECT_EQ(lAfter, 0xAB) << "position 3, the moving bit cleared, bits 3-5 and 7 kept";
  EXPECT_EQ(StatusByte(), 0xAB);
}

// After an arrival check failed at a down position, a request to lift
// finds the roller latched: Move succeeds without motion, and the next
// Step must not report the old down position as reached.
struct FailedCheckCase {
  const char* pszName;
  bool bFeed;
  const sim::SensorBit* pWrong;  // on at the down position
  uint32_t ulError;
  int32_t lStatus;  // after the failure; kNotLooked for the feed roller
};
const FailedCheckCase kFailedChecks[] = {
    {"EM2 main", false, &pos::kMainPinC, 0x303, 0},
    {"EM2 feed", true, &pos::kFeedPinchR, 0x305, kNotLooked},
};

class PinchEm2FailedCheck : public PinchRig, public ::testing::WithParamInterface<FailedCheckCase> {
 protected:
  void SetUp() override { BootVariant(EM2); }
};

TEST_P(PinchEm2FailedCheck, LeavesTheRollerUndefinedSoALaterLiftFails) {
  const FailedCheckCase& c = GetParam();
  int32_t lFailed = 0, lLift = 9, lStep = 0, lStatus = kNotLooked;
  uint32_t ulPosition = 9, ulState = 9;
  InApp([&] {
    const Roller r = c.bFeed ? Feed() : Main();
    ASSERT_EQ(StepToEnd(r, r.move(1, 0)), 0);
    m_machine->MechanismFaults().SetBitFault(*c.pWrong, BitFault::StuckOn);
    lFailed = StepToEnd(r, r.move(PINCH_DOWN_R, 0));
    ulPosition = r.record().usPosition;
    if (!c.bFeed) lStatus = StatusByte();
    // The switch reads right again; the roller stands down.
    m_machine->MechanismFaults().ClearBitFaults();
    lLift = r.move(1, 0);
    ulState = StateOf(r.pMotor);
    int32_t lDone = 0;
    lStep = r.step(&lDone);
  });
  EXPECT_EQ(lFailed, -1);
  EXPECT_TRUE(IsErrorRaised(c.ulError));
  EXPECT_EQ(ulPosition, 0u);
  EXPECT_EQ(lStatus, c.lStatus);
  EXPECT_EQ(lLift, 0) << "latched";
  EXPECT_EQ(ulState, static_cast<uint32_t>(DC_MOTOR_STOPPED));
  EXPECT_EQ(lStep, -1) << "not reported as up";
}

INSTANTIATE_TEST_SUITE_P(Table, PinchEm2FailedCheck, ::testing::ValuesIn(kFailedChecks),
                         CaseName<::testing::TestParamInfo<FailedCheckCase>>);

// ---- the EM3 feed roller's confirmation ---------------------------------------------------

// The feed roller's motor changes.
std::vector<sim::MechanismEvent> FeedMotor(const sim::MechanismTrace& trace) {
  std::vector<sim::MechanismEvent> changes;
  for (const sim::MechanismEvent& e : trace.Of("DcMotorFeedPinch")) {
    if (e.kind == sim::MechanismEventKind::Motor) changes.push_back(e);
  }
  return changes;
}
// The same as letters: F, R, B (brake), S.
std::string Drives(const sim::MechanismTrace& trace) {
  std::string drives;
  for (const sim::MechanismEvent& e : FeedMotor(trace)) {
    switch (e.drive) {
      case sim::DriveState::Forward: drives += 'F'; break;
      case sim::DriveState::Reverse: drives += 'R'; break;
      case sim::DriveState::Brake: drives += 'B'; break;
      default: drives += 'S'; break;
    }
  }
  return drives;
}

class FeedConfirmation : public PinchRig {
 protected:
  void SetUp() override { BootVariant(EM3); }
  // Lifts, then starts lowering to 3 and polls it in the application; the
  // test runs the machine meanwhile.
  void StartLowering() {
    InApp([] { ASSERT_EQ(g_pProllFeed->MoveUpAndWait(), 0); });
    Mechanism().Trace().Clear();
    Start([this] {
      m_lResult = StepToEnd(Feed(), g_pProllFeed->Move(10, 0));
      g_pProllFeed->GetPosition(&m_ulPosition);
      m_bDone = true;
    });
  }
  bool m_bDone = false;
  int32_t m_lResult = 9;
  uint32_t m_ulPosition = 9;
};

TEST_F(FeedConfirmation, LoweringToLSeesRThenLAfterTheBrakeAndFiftyMs) {
  StartLowering();
  m_machine->RunUntil([this] { return m_bDone; }, Ms(3000));
  ASSERT_TRUE(m_bDone);
  EXPECT_EQ(m_lResult, 0);
  EXPECT_EQ(m_ulPosition, 3u);
  EXPECT_EQ(Drives(Mechanism().Trace()), "RB");
  // The roller stopped on the first detent of down L: "FeedPinch R" on,
  // "FeedPinch L" off.
  const int32_t at = Mechanism().Position(sim::Axis::FeedPinch) - pos::kFeedEm3Half;
  EXPECT_LE(at, -pos::kFeedC);
  EXPECT_GT(at, -pos::kFeedC - pos::kFeedDetent);
  const sim::Nanos braked = FeedMotor(Mechanism().Trace()).back().at;
  EXPECT_GE(m_machine->Now() - braked, Ms(50)) << "confirmed only after the pause";
}

TEST_F(FeedConfirmation, AConfirmationHeldWrongFor100MsCostsOneRedrive) {
  m_machine->MechanismFaults().SetBitFault(pos::kFeedPinchL, BitFault::StuckOn);
  StartLowering();
  m_machine->RunUntil([this] { return Drives(Mechanism().Trace()) == "RBR"; }, Ms(3000));
  ASSERT_EQ(Drives(Mechanism().Trace()), "RBR") << "driven on after the pause";
  const sim::Nanos braked = FeedMotor(Mechanism().Trace())[1].at;
  m_machine->RunUntil([&] { return m_machine->Now() >= braked + Ms(100); }, Ms(200));
  m_machine->MechanismFaults().ClearBitFaults();
  m_machine->RunUntil([this] { return m_bDone; }, Ms(3000));
  ASSERT_TRUE(m_bDone);
  EXPECT_EQ(m_lResult, 0);
  EXPECT_EQ(m_ulPosition, 3u);
  EXPECT_EQ(Drives(Mechanism().Trace()), "RBRB") << "one re-drive";
  EXPECT_FALSE(IsErrorRaised(0x20C));
}

TEST_F(FeedConfirmation, AConfirmationHeldWrongForGoodTimesOut2000MsAfterTheFirstStart) {
  m_machine->MechanismFaults().SetBitFault(pos::kFeedPinchL, BitFault::StuckOn);
  StartLowering();
  m_machine->RunUntil([] { return IsErrorRaised(0x20C); }, Ms(4000));
  const sim::Nanos raised = m_machine->Now();
  m_machine->RunUntil([this] { return m_bDone; }, Ms(1000));
  ASSERT_TRUE(m_bDone);
  EXPECT_EQ(m_lResult, -1);
  EXPECT_TRUE(IsErrorRaised(0x20C));
  EXPECT_EQ(Drives(Mechanism().Trace()), "RBRBRS") << "driven on twice, stopped at the time-out";
  const std::vector<sim::MechanismEvent> motor = FeedMotor(Mechanism().Trace());
  ASSERT_FALSE(motor.empty());
  // The time-out counts from the first start: re-drives keep its time. It
  // comes once 2001 millisecond ticks have passed since the start's tick.
  EXPECT_GT(raised - motor.front().at, Ms(2000));
  EXPECT_LT(raised - motor.front().at, Ms(2003));
  EXPECT_EQ(m_ulPosition, 2u) << "a time-out keeps the between-position";
}

}  // namespace
}  // namespace paneltest
