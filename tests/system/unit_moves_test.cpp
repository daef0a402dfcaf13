// The unit moves and the carousel primitives on a printer running its main
// loop: each move starts its own positioner (on the current unit's side)
// and hands its result on; no host command runs inside a move, while a wait
// with the host in its mask serves them; the cutter settles or cuts; the
// lock move stops the carousel motor after its delay and keeps the lock's
// state; the carousel's start-up and its turns count in "Carousel" and
// publish status item 65, and refuse to turn under paper.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "firmware/control/host_status_table.h"
#include "firmware/devices/life_counters.h"
#include "firmware/devices/machine_actuators.h"
#include "firmware/devices/parameter.h"
#include "firmware/devices/settings.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/hostif/usb_command_test_support.h"
#include "firmware/mechanism/cutter.h"
#include "firmware/mechanism/feed_pinch.h"
#include "firmware/mechanism/main_pinch.h"
#include "firmware/mechanism/path_select.h"
#include "firmware/mechanism/roll_rotation.h"
#include "firmware/mechanism/rotation_lock.h"
#include "firmware/mechanism/simple_positioners.h"
#include "firmware/mechanism/step_machine.h"
#include "firmware/mechanism/unit_moves.h"
#include "firmware/control/lcd.h"
#include "firmware/devices/stepper.h"
#include "sim/fpga/fpga_main_block.h"
#include "sim/panel/panel.h"
#include "protocol/codes.h"
#include "sim/mechanism/input_faults.h"
#include "tests/support/carousel.h"

namespace {

using namespace carouseltest;
using sim::CarouselPosition;
using sim::DriveState;

constexpr uint32_t kMask = SEQ_CHECK_HOST | SEQ_CHECK_COVERS;

template <typename T>
uint32_t PositionOf(const T& positioner) {
  uint32_t ulPosition = 0;
  positioner.GetPosition(&ulPosition);
  return ulPosition;
}

// The axes that moved since a time, by their trace names.
std::set<std::string> MovedSince(const sim::DcMechanism& mechanism, sim::Nanos since) {
  std::set<std::string> moved;
  for (const sim::MechanismEvent& e : mechanism.Trace().Events()) {
    if (e.at >= since && e.kind == sim::MechanismEventKind::Axis) moved.insert(std::string(e.name));
  }
  return moved;
}

class UnitMoves : public CarouselPrinter {
 protected:
  void SetUp() override { BootReady(sim::EngineVariant::EM3); }
  // The application's InitPaperRollRotation, with its result.
  int32_t InitCarousel() {
    int32_t lResult = 9;
    EXPECT_TRUE(InLoop([&] { lResult = InitPaperRollRotation(kMask); }));
    return lResult;
  }
  int32_t TurnTo(uint32_t ulTarget) {
    int32_t lResult = 9;
    EXPECT_TRUE(InLoop([&] { lResult = TurnPaperRoll(ulTarget, kMask); }));
    return lResult;
  }
  uint32_t CarouselCount() {
    uint32_t ulValue = 0;
    g_CounterCarousel.GetValue(&ulValue);
    return ulValue;
  }
};

// ---- one table: each primitive, the positioner it starts, its result ----

struct MoveCase {
  const char* pszName;
  int32_t (*move)(uint32_t, uint32_t);
  uint32_t ulRequest;
  uint32_t ulUnit;
  std::function<void()> before;  // brings the part to its start (may be empty)
  std::set<std::string> moved;   // the axes that move
  std::function<uint32_t()> position;
  int32_t lResult;
  uint32_t ulPosition;
};

const std::vector<MoveCase> kMoves = {
    {"head of unit L down", MoveHeadUnit, 2, 0, {}, {"HeadL"}, [] { return PositionOf(g_HeadLiftL); }, 0, 2},
    {"head of unit R down", MoveHeadUnit, 2, 1, {}, {"HeadR"}, [] { return PositionOf(g_HeadLiftR); }, 0, 2},
    {"main pinch down on unit L's side", MoveMainPinch, 10, 0, [] { g_pProllMain->MoveUpAndWait(); }, {"MainPinch"},
     [] { return PositionOf(*g_pProllMain); }, 0, PINCH_DOWN_L},
    {"main pinch down on unit R's side", MoveMainPinch, 10, 1, [] { g_pProllMain->MoveUpAndWait(); }, {"MainPinch"},
     [] { return PositionOf(*g_pProllMain); }, 0, PINCH_DOWN_R},
    {"main pinch half on unit R's side", MoveMainPinch, 11, 1, [] { g_pProllMain->MoveUpAndWait(); }, {"MainPinch"},
     [] { return PositionOf(*g_pProllMain); }, 0, PINCH_HALF_R},
    {"main pinch: an unknown request", MoveMainPinch, 99, 0, [] { g_pProllMain->MoveUpAndWait(); }, {},
     [] { return PositionOf(*g_pProllMain); }, -1, PINCH_UP},
    {"feed pinch down on unit L's side", MoveFeedPinch, 10, 0, [] { g_pProllFeed->MoveUpAndWait(); }, {"FeedPinch"},
     [] { return PositionOf(*g_pProllFeed); }, 0, PINCH_DOWN_L},
    {"feed pinch: down on R from down on L", MoveFeedPinch, 10, 1,
     [] {
       g_pProllFeed->MoveUpAndWait();
       g_pProllFeed->MoveAndWait(10, 0);
     },
     {}, [] { return PositionOf(*g_pProllFeed); }, -2, PINCH_DOWN_L},
    {"eject pinch FDown", MoveEjectPinch, 2, 0, {}, {"EjectPinch"}, [] { return PositionOf(g_EjectPinch); }, 0, 2},
    // The home run left the eject pinch up.
    {"eject pinch: no such position", MoveEjectPinch, 7, 0, {}, {}, [] { return PositionOf(g_EjectPinch); }, -1, 1},
    {"load bar down", MoveLoadBar, 2, 0, {}, {"LoadBar"}, [] { return PositionOf(g_LoadBar); }, 0, 2},
    {"load pinch down", MoveLoadPinch, 2, 0, {}, {"LoadPinch"}, [] { return PositionOf(g_LoadPinch); }, 0, 2},
    {"path of unit R", MovePathSelect, 4, 0, {}, {"PathSel"}, [] { return PositionOf(g_PathSelect); }, 0, 4},
    {"cutter cut from LEFT", MoveCutter, 1, 0, [] { g_Cutter.SettlePosition(); }, {"Cutter"},
     [] { return PositionOf(g_Cutter); }, 0, CUTTER_RIGHT},
    // The home run left the lock released: locked first.
    {"rotation lock unlocked", MoveRotationLock, 3, 0, [] { MoveRotationLock(5, 0); }, {"RotLock"},
     [] { return PositionOf(g_RotationLock); }, 0, ROT_LOCK_UNLOCKED},
    {"rotation lock: no such request", MoveRotationLock, 2, 0, [] { g_RotationLock.SetPosition(0); }, {},
     [] { return PositionOf(g_RotationLock); }, -1, 0},
};

class UnitMoveTable : public UnitMoves, public ::testing::WithParamInterface<MoveCase> {};

TEST_P(UnitMoveTable, StartsItsPositionerOnTheCurrentUnitAndHandsOnItsResult) {
  const MoveCase& c = GetParam();
  if (c.before) {
    ASSERT_TRUE(InLoop([&] { c.before(); }));
  }
  const sim::Nanos since = m_machine->Now();
  int32_t lResult = 9;
  uint32_t ulPosition = 9;
  ASSERT_TRUE(InLoop([&] {
    SelectUnit(c.ulUnit);
    lResult = c.move(c.ulRequest, kMask);
    ulPosition = c.position();
    SelectUnit(0);
  }));
  EXPECT_EQ(lResult, c.lResult);
  EXPECT_EQ(ulPosition, c.ulPosition);
  EXPECT_EQ(MovedSince(Mechanism(), since), c.moved);
}

INSTANTIATE_TEST_SUITE_P(Table, UnitMoveTable, ::testing::ValuesIn(kMoves),
                         positionertest::CaseName<::testing::TestParamInfo<MoveCase>>);

// ---- the host's commands ----

// A forwarded command sent while a head moves is answered once the move
// has ended; one sent during a wait that asks for the host is answered
// while it waits.
TEST_F(UnitMoves, NoHostCommandRunsInsideAMoveButAWaitWithTheHostServesThem) {
  sim::UsbHostPort& host = m_machine->UsbHost();
  ASSERT_TRUE(host.WaitForConfigured(Ms(5000)));
  struct Case {
    const char* what;
    std::function<int32_t()> run;
    bool bAnsweredInside;
  };
  const Case cases[] = {
      {"a head move", [] { return MoveHeadUnit(HEAD_POS_DOWN, kMask); }, false},
      {"a wait", [] { return SeqWaitMs(600, kMask); }, true},
      {"the head back", [] { return MoveHeadUnit(HEAD_POS_UP, kMask); }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    bool bDone = false;
    int32_t lResult = 9;
    m_machine->AtNextPass([&] {
      lResult = c.run();
      bDone = true;
    });
    m_machine->RunFor(Ms(100));
    ASSERT_FALSE(bDone);
    const auto out = host.StartBulkOut(hostiftest::Packet(protocol::CMD_GET_COUNTERS), Ms(1000));
    const auto in = host.StartBulkIn(1024, Ms(3000));
    m_machine->RunUntil([&] { return bDone || in->Done(); }, Ms(3000));
    EXPECT_EQ(in->Done(), c.bAnsweredInside);
    EXPECT_EQ(bDone, !c.bAnsweredInside);
    m_machine->RunUntil([&] { return bDone && in->Done(); }, Ms(3000));
    ASSERT_TRUE(bDone);
    EXPECT_EQ(lResult, 0);
    const hostiftest::Reply reply = hostiftest::ParseReply(host.Wait(in));
    EXPECT_EQ(reply.outcome, sim::UsbOutcome::Done);
    EXPECT_EQ(reply.header.replyKind, protocol::REPLY_OK);
    host.Wait(out);
  }
}

// ---- the cutter ----

TEST_F(UnitMoves, MoveCutterTwoSettlesAndOneCrossesOnce) {
  const size_t crossings = Mechanism().Crossings().size();
  int32_t lSettle = 9, lCut = 9;
  uint32_t ulSettled = 9, ulCut = 9;
  ASSERT_TRUE(InLoop([&] {
    lSettle = MoveCutter(2, kMask);
    ulSettled = PositionOf(g_Cutter);
    lCut = MoveCutter(1, kMask);
    ulCut = PositionOf(g_Cutter);
  }));
  EXPECT_EQ(lSettle, 0);
  EXPECT_EQ(ulSettled, CUTTER_LEFT) << "settled from its switches, where it stands";
  EXPECT_EQ(lCut, 0);
  EXPECT_EQ(ulCut, CUTTER_RIGHT);
  ASSERT_EQ(Mechanism().Crossings().size(), crossings + 1);
  EXPECT_TRUE(Mechanism().CrossingComplete(Mechanism().Crossings().back()));
}

// ---- the rotation lock ----

// Locking with the carousel motor running: it is stopped at the first
// poll with "Wait[10msec]" 0, 500 ms after the lock move starts with 50.
TEST_F(UnitMoves, TheLockMoveStopsTheCarouselMotorAfterItsDelay) {
  for (const int32_t lWait : {0, 50}) {
    SCOPED_TRACE(lWait);
    int32_t lResult = 9;
    ASSERT_TRUE(InLoop([&] { lResult = MoveRotationLock(ROT_LOCK_UNLOCKED, kMask); }));
    ASSERT_EQ(lResult, 0);
    const sim::Nanos since = m_machine->Now();
    ASSERT_TRUE(InLoop([&] {
      g_ParamWait10ms.SetValueNoSave(lWait);
      g_ChopMotorPaperRot.SetDuty(30);
      g_ChopMotorPaperRot.Forward();
      lResult = MoveRotationLock(ROT_LOCK_LOCKED, kMask);
    }));
    EXPECT_EQ(lResult, 0);
    sim::Nanos lockStarted = 0, motorStopped = 0;
    for (const DriveChange& d : DrivesOf(Mechanism().Trace(), "DcMotorRotLock", since)) {
      if (lockStarted == 0 && d.drive == DriveState::Forward) lockStarted = d.at;
    }
    for (const DriveChange& d : DrivesOf(Mechanism().Trace(), "DcMotorPaperRot", since)) {
      if (motorStopped == 0 && lockStarted != 0 && d.at >= lockStarted && d.drive == DriveState::Stop) motorStopped = d.at;
    }
    ASSERT_NE(lockStarted, 0u);
    ASSERT_NE(motorStopped, 0u) << "the carousel motor was stopped";
    EXPECT_GE(motorStopped, lockStarted);
    if (lWait == 0) {
      EXPECT_LT(motorStopped - lockStarted, Ms(1)) << "at the first poll";
    } else {
      EXPECT_GE(motorStopped - lockStarted, Ms(499));
      EXPECT_LT(motorStopped - lockStarted, Ms(502));
    }
    EXPECT_TRUE(Carousel().Locked());
  }
}

TEST_F(UnitMoves, TheLockMoveKeepsTheLocksStateInRotationLockFlag) {
  struct Case {
    const char* what;
    uint32_t ulPosition;
    bool bStuck;
    int32_t lResult;
    int32_t lFlag;
  };
  const Case cases[] = {
      {"released", ROT_LOCK_RELEASE, false, 0, 2}, {"locked", ROT_LOCK_LOCKED, false, 0, 1},
      {"unlocked", ROT_LOCK_UNLOCKED, false, 0, 2}, {"a refused request", 4, false, -1, 0},
      {"locked again", ROT_LOCK_LOCKED, false, 0, 1}, {"a lock that is stuck", ROT_LOCK_UNLOCKED, true, -1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    m_machine->MechanismFaults().SetAxisStuck(sim::Axis::RotLock, c.bStuck);
    int32_t lResult = 9, lFlag = 9;
    ASSERT_TRUE(InLoop([&] {
      lResult = MoveRotationLock(c.ulPosition, kMask);
      lFlag = SettingValue(g_ParamRotationLockFlag);
    }));
    EXPECT_EQ(lResult, c.lResult);
    EXPECT_EQ(lFlag, c.lFlag);
  }
}

// ---- the carousel's start-up ----

TEST_F(UnitMoves, InitPaperRollRotationMovesNothingWhileItsPositionIsKept) {
  const sim::Nanos since = m_machine->Now();
  int32_t lResult = 9, lFlag = 9;
  ASSERT_TRUE(InLoop([&] {
    g_ParamRotationLockFlag.SetValue(1);
    g_ParamRotationFlag.SetValue(ROLL_POS_LEFT);
    lResult = InitPaperRollRotation(kMask);
    lFlag = SettingValue(g_ParamRotationFlag);
  }));
  EXPECT_EQ(lResult, 0);
  EXPECT_EQ(lFlag, ROLL_POS_LEFT);
  EXPECT_FALSE(Mechanism().Trace().AnythingMovedSince(since)) << Mechanism().Trace().Text();
}

// The lock not kept: the position is forgotten and found again by the
// homing (one count), then the turn to neutral (another), 500 ms, the lock;
// status item 65 shows the counter.
TEST_F(UnitMoves, InitPaperRollRotationHomesACarouselWhoseLockWasNotKept) {
  // The home run left the lock released: locked, then its position
  // forgotten as at a fresh start.
  ASSERT_TRUE(InLoop([] { MoveRotationLock(5, 0); }));
  const uint32_t ulBefore = CarouselCount();
  const sim::Nanos since = m_machine->Now();
  int32_t lResult = 9;
  ASSERT_TRUE(InLoop([&] {
    g_ParamRotationLockFlag.SetValue(2);
    g_ParamRotationFlag.SetValue(ROLL_POS_NEUTRAL);
    g_RotationLock.SetPosition(0);
    lResult = InitPaperRollRotation(kMask);
  }));
  EXPECT_EQ(lResult, 0);
  EXPECT_EQ(SettingValue(g_ParamRotationFlag), ROLL_POS_NEUTRAL);
  EXPECT_EQ(SettingValue(g_ParamRotationLockFlag), 1);
  EXPECT_EQ(CarouselCount(), ulBefore + 2);
  EXPECT_EQ(GetStatusItem(SI_COUNTER_CAROUSEL), ulBefore + 2);
  EXPECT_EQ(Carousel().At(), CarouselPosition::Neutral);
  EXPECT_TRUE(Carousel().Locked());
  // In order: unlock, homing forward into the end stop, the turn back,
  // 500 ms, the lock.
  std::vector<std::pair<sim::Nanos, std::string>> changes;
  for (const char* pszMotor : {"DcMotorRotLock", "DcMotorPaperRot"}) {
    const bool bLock = std::string_view(pszMotor) == "DcMotorRotLock";
    for (const DriveChange& d : DrivesOf(Mechanism().Trace(), pszMotor, since)) {
      if (d.drive == DriveState::Stop) continue;
      changes.emplace_back(d.at, std::string(bLock ? "lock " : "carousel ") + sim::ToString(d.drive));
    }
  }
  std::stable_sort(changes.begin(), changes.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::string> steps;
  sim::Nanos braked = 0, locking = 0;
  for (const auto& [at, step] : changes) {
    steps.push_back(step);
    if (step == "carousel brake") braked = at;
    if (step == "lock forward" && braked != 0 && locking == 0) locking = at;
  }
  EXPECT_EQ(steps, (std::vector<std::string>{"lock reverse", "lock brake", "carousel forward", "carousel reverse",
                                             "carousel brake", "lock forward", "lock brake", "lock reverse",
                                             "lock brake"}));
  EXPECT_GE(locking - braked, Ms(500));
  EXPECT_LT(locking - braked, Ms(520));
  const auto turns = Mechanism().Trace().Of("Carousel");
  EXPECT_TRUE(std::any_of(turns.begin(), turns.end(), [&](const auto& e) { return e.value == Layout().endStop; }));
}

TEST_F(UnitMoves, InitPaperRollRotationDoesNotHomeUnderPaper) {
  Inputs().SetPaperSeen(sim::PhotoSensor::TopL, true);
  const sim::Nanos since = m_machine->Now();
  int32_t lResult = 9;
  ASSERT_TRUE(InLoop([&] {
    g_ParamRotationLockFlag.SetValue(2);
    lResult = InitPaperRollRotation(kMask);
  }));
  EXPECT_EQ(lResult, 0);
  EXPECT_EQ(SettingValue(g_ParamRotationFlag), 0) << "forgotten, not found again";
  EXPECT_FALSE(Mechanism().Trace().AnythingMovedSince(since));
}

// ---- the carousel's turns ----

TEST_F(UnitMoves, TurnsCountOneThroughNeutralAndTwoFromSideToSide) {
  ASSERT_EQ(InitCarousel(), 0);
  struct Case {
    uint32_t ulTarget;
    uint32_t ulAdded;
  };
  // From neutral.
  const Case cases[] = {{2, 1}, {3, 2}, {1, 1}, {1, 0}, {3, 1}, {2, 2}, {2, 0}, {1, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ulTarget);
    const uint32_t ulBefore = CarouselCount();
    ASSERT_TRUE(InLoop([] { SetStatusItem(SI_COUNTER_CAROUSEL, 0xC0FFEEu, 0); }));
    EXPECT_EQ(TurnTo(c.ulTarget), 0);
    EXPECT_EQ(CarouselCount(), ulBefore + c.ulAdded);
    EXPECT_EQ(GetStatusItem(SI_COUNTER_CAROUSEL), ulBefore + c.ulAdded) << "published, even when nothing moved";
    EXPECT_EQ(Carousel().At(), static_cast<CarouselPosition>(c.ulTarget));
    EXPECT_TRUE(Carousel().Locked());
  }
}

// Paper at a top sensor: -1 at once, nothing unlocked, no error index.
TEST_F(UnitMoves, ATurnUnderPaperIsRefusedWithoutUnlocking) {
  ASSERT_EQ(InitCarousel(), 0);
  for (const sim::PhotoSensor sensor : {sim::PhotoSensor::TopL, sim::PhotoSensor::TopR}) {
    Inputs().SetPaperSeen(sensor, true);
    const std::vector<uint32_t> before = RaisedIndexes();
    const sim::Nanos since = m_machine->Now();
    EXPECT_EQ(TurnTo(3), -1);
    EXPECT_FALSE(Mechanism().Trace().AnythingMovedSince(since));
    EXPECT_EQ(SettingValue(g_ParamRotationLockFlag), 1);
    EXPECT_EQ(SettingValue(g_ParamRotationFlag), 1);
    EXPECT_EQ(RaisedIndexes(), before);
    Inputs().SetPaperSeen(sensor, false);
  }
}

// A cover opened during a turn: the abort ends it, and the carousel motor
// is stopped.
TEST_F(UnitMoves, AFailedTurnStopsTheCarouselMotor) {
  ASSERT_EQ(InitCarousel(), 0);
  bool bDone = false;
  int32_t lResult = 9;
  m_machine->AtNextPass([&] {
    lResult = TurnPaperRoll(3, kMask);
    bDone = true;
  });
  m_machine->RunUntil([&] { return Carousel().Moving(); }, Ms(3000));
  ASSERT_TRUE(Carousel().Moving());
  m_machine->RunFor(Ms(500));
  Inputs().SetCoverOpen(sim::Cover::Front, true);
  m_machine->RunUntil([&] { return bDone; }, Ms(1000));
  ASSERT_TRUE(bDone);
  EXPECT_EQ(lResult, -1);
  EXPECT_EQ(Mechanism().Drive(sim::DcMotor::PaperRot), DriveState::Stop);
  EXPECT_FALSE(Carousel().Moving());
  EXPECT_EQ(SettingValue(g_ParamRotationFlag), 0) << "stopped between positions";
}

// ---- the primitives no sequence calls ----

// The time a motor first drove (Forward or Reverse) since a time; 0 when it
// did not.
sim::Nanos FirstDrive(const sim::DcMechanism& mechanism, std::string_view motor, sim::Nanos since) {
  for (const DriveChange& d : DrivesOf(mechanism.Trace(), motor, since)) {
    if (sim::Turns(d.drive)) return d.at;
  }
  return 0;
}

// Each part starts once its delay has passed since the first and all are
// polled to their ends; the sub paper stepper runs its steps and halts.
TEST_F(UnitMoves, TheCombinedMovesStartEachPartAfterItsDelayAndEndWhenAllHave) {
  sim::FpgaMainBlock& fpga = *m_machine->GetBoard().FindDevice<sim::FpgaMainBlock>();
  uint32_t ulSubPulses = 0;
  fpga.AddPulseObserver(1, [&] { ++ulSubPulses; });
  ASSERT_TRUE(InLoop([] {
    g_pProllMain->MoveUpAndWait();
    g_Cutter.SettlePosition();
  }));
  struct Case {
    const char* what;
    std::function<int32_t()> run;
    const char* pszFirst;
    const char* pszDelayed;  // with its delay
    sim::Nanos delay;
    std::function<bool()> arrived;
  };
  const Case cases[] = {
      {"main pinch, then the eject pinch", [] { return MoveMainAndEjectPinch(10, EJECT_PINCH_FDOWN, 200, kMask); },
       "DcMotorMainPinch", "DcMotorEjectPinch", Ms(200),
       [] { return PositionOf(*g_pProllMain) == PINCH_DOWN_L && PositionOf(g_EjectPinch) == EJECT_PINCH_FDOWN; }},
      {"main pinch, then the cutter", [] { return MoveMainPinchAndCutter(1, 1, 150, kMask); }, "DcMotorMainPinch",
       "DcMotorCutter", Ms(150),
       [] { return PositionOf(*g_pProllMain) == PINCH_UP && PositionOf(g_Cutter) == CUTTER_RIGHT; }},
      {"head and eject pinch, then the main pinch, with the sub stepper",
       [] { return MoveHeadEjectAndMainPinch(HEAD_POS_DOWN, EJECT_PINCH_UP, 10, 100, 0, 120, kMask); }, "DcMotorHeadL",
       "DcMotorMainPinch", Ms(100),
       [] {
         return PositionOf(g_HeadLiftL) == HEAD_POS_DOWN && PositionOf(g_EjectPinch) == EJECT_PINCH_UP &&
                PositionOf(*g_pProllMain) == PINCH_DOWN_L;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const sim::Nanos since = m_machine->Now();
    ulSubPulses = 0;
    int32_t lResult = 9;
    bool bArrived = false;
    sim::Nanos started = 0;
    ASSERT_TRUE(InLoop([&] {
      started = sim::Board::Current().Clock().Now();
      lResult = c.run();
      bArrived = c.arrived();
    }));
    EXPECT_EQ(lResult, 0);
    EXPECT_TRUE(bArrived);
    const sim::Nanos first = FirstDrive(Mechanism(), c.pszFirst, since);
    const sim::Nanos delayed = FirstDrive(Mechanism(), c.pszDelayed, since);
    ASSERT_NE(first, 0u);
    ASSERT_NE(delayed, 0u);
    // Counted in ms ticks from the primitive's start; a main pinch's motor
    // follows its status write to the EEPROM by a few milliseconds.
    constexpr sim::Nanos kEepromWrite = Ms(6);
    EXPECT_LT(first - started, kEepromWrite);
    EXPECT_GE(delayed - started, c.delay - Ms(1));
    EXPECT_LT(delayed - started, c.delay + kEepromWrite);
  }
  // The last case's sub stepper: its 120 steps, halted.
  EXPECT_GE(ulSubPulses, 120u);
  EXPECT_LE(ulSubPulses, 121u);
  int32_t lState = -1;
  g_StpmtrSub.GetState(&lState);
  EXPECT_EQ(lState, STPMTR_IDLE);
}

// Each prompt shows its line, waits while no key comes, and returns after
// one; SeqPromptAnyKey puts the line back as it was.
TEST_F(UnitMoves, ThePromptsWaitForAnyKey) {
  sim::PanelKeys& keys = *m_machine->GetBoard().FindDevice<sim::PanelKeys>();
  struct Case {
    std::function<int32_t()> prompt;
    const char* pszShown;
    sim::PanelKey key;
    const char* pszAfter;  // null: not looked at
  };
  const Case cases[] = {
      {[] { return SeqPromptAnyKey(kMask); }, "Hit Any Key ... ", sim::PanelKey::Feed, "Before the key  "},
      {[] {
         ShowPhaseAndWaitKey(42);
         return 0;
       },
       "Phase :       42", sim::PanelKey::Enter, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pszShown);
    ASSERT_TRUE(InLoop([] { g_Lcd.WriteLine("Before the key  "); }));
    bool bDone = false;
    int32_t lResult = 9;
    m_machine->AtNextPass([&] {
      lResult = c.prompt();
      bDone = true;
    });
    m_machine->RunUntil([&] { return Lcd().Visible() == c.pszShown; }, Ms(500));
    EXPECT_EQ(Lcd().Visible(), c.pszShown);
    m_machine->RunFor(Ms(300));
    EXPECT_FALSE(bDone);
    keys.Tap(c.key, Ms(200), Ms(60));
    m_machine->RunUntil([&] { return bDone; }, Ms(1000));
    ASSERT_TRUE(bDone);
    EXPECT_EQ(lResult, 0);
    if (c.pszAfter != nullptr) {
      EXPECT_EQ(Lcd().Visible(), c.pszAfter) << "the line as it was";
    }
    m_machine->RunFor(Ms(300));
  }
}

}  // namespace
