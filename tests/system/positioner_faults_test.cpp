// The positioners failing on the virtual mechanism's fault switches, on a
// printer running its main loop (of the case's engine variant): each fault
// of the table makes one move fail with its error index; once the state
// machine has run, the LCD shows
// the index's status line, the Error LED is on and the history holds the
// entry. The failed positioner stays latched: a new start moves nothing and
// the next step fails without raising another index. The cutter, which has
// no latch, cuts again once stopped and settled. A cover opened during
// a head move ends its polls, and the cover state switches the head off.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "firmware/control/error_history.h"
#include "firmware/control/error_manager.h"
#include "firmware/control/event_states.h"
#include "firmware/mechanism/feed_pinch.h"
#include "firmware/mechanism/step_machine.h"
#include "sim/machine.h"
#include "sim/mechanism/dc_mechanism.h"
#include "sim/mechanism/input_faults.h"
#include "sim/mechanism/mechanism_inputs.h"
#include "sim/mechanism/positioner_geometry.h"
#include "sim/panel/panel.h"
#include "tests/support/machine_test.h"
#include "tests/support/positioners.h"

namespace {

using namespace positionertest;
using sim::BitFault;
using testsupport::Ms;
namespace pos = sim::positioner;

// The machine as a fault sets it up.
struct Rig {
  sim::InputFaults& faults;
  sim::MechanismInputs& inputs;
};

struct FaultCase {
  const char* pszName;
  Part part;
  std::vector<uint32_t> before;  // moves that bring the part to its start
  void (*fault)(Rig&);
  uint32_t ulRequest;
  uint32_t ulError;
  const char* pszLine;
  sim::EngineVariant variant = sim::EngineVariant::EM3;
};

template <sim::Axis kAxis>
void Stuck(Rig& r) {
  r.faults.SetAxisStuck(kAxis, true);
}
template <const sim::SensorBit& kSensor, BitFault kFault>
void Bit(Rig& r) {
  r.faults.SetBitFault(kSensor, kFault);
}
template <sim::Axis kAxis, const sim::SensorBit& kSensor, BitFault kFault>
void StuckWith(Rig& r) {
  r.faults.SetAxisStuck(kAxis, true);
  r.faults.SetBitFault(kSensor, kFault);
}
// The find with paper at the top of path R only and "PathPosi R" failed off
// seeks position 4; the selector does not move either way.
void FindStuck(Rig& r) {
  r.faults.SetAxisStuck(sim::Axis::PathSel, true);
  r.faults.SetBitFault(pos::kPathPosiR, BitFault::StuckOff);
  r.inputs.SetPaperSeen(sim::PhotoSensor::TopL, false);
}

// The feed pinch at up but its position forgotten (the home run found it),
// stuck, its narrow switch off.
void FeedUndefinedStuck(Rig& r) {
  StuckWith<sim::Axis::FeedPinch, pos::kFeedPinchR, BitFault::StuckOff>(r);
  g_pProllFeed->SetPosition(0);
}

using sim::Axis;
const std::vector<FaultCase> kFaults = {
    {"head L stuck going down", Part::HeadL, {}, Stuck<Axis::HeadL>, 2, 0x203, "Mecha Error   03"},
    {"head L stuck going up", Part::HeadL, {2}, Stuck<Axis::HeadL>, 1, 0x201, "Mecha Error   01"},
    {"head R stuck going down", Part::HeadR, {}, Stuck<Axis::HeadR>, 2, 0x204, "Mecha Error   04"},
    {"head R stuck going up", Part::HeadR, {2}, Stuck<Axis::HeadR>, 1, 0x202, "Mecha Error   02"},
    {"head L up switch on after going down", Part::HeadL, {}, Bit<pos::kHeadLUp, BitFault::StuckOn>, 2, 0x301,
     "Sensor Error  01"},
    {"head R up switch on after going down", Part::HeadR, {}, Bit<pos::kHeadRUp, BitFault::StuckOn>, 2, 0x302,
     "Sensor Error  02"},
    {"load pinch stuck going up", Part::LoadPinch, {2}, Stuck<Axis::LoadPinch>, 1, 0x212, "Mecha Error   18"},
    {"load pinch stuck going down", Part::LoadPinch, {}, Stuck<Axis::LoadPinch>, 2, 0x213, "Mecha Error   19"},
    {"load pinch up switch on after going down", Part::LoadPinch, {}, Bit<pos::kLoadPinUp, BitFault::StuckOn>, 2,
     0x308, "Sensor Error  08"},
    {"load bar stuck going up", Part::LoadBar, {2}, Stuck<Axis::LoadBar>, 1, 0x21D, "Mecha Error   29"},
    {"load bar stuck going down", Part::LoadBar, {}, Stuck<Axis::LoadBar>, 2, 0x21E, "Mecha Error   30"},
    {"load bar up switch on after going down", Part::LoadBar, {}, Bit<pos::kLoadBarUp, BitFault::StuckOn>, 2, 0x30E,
     "Sensor Error  14"},
    {"eject pinch stuck going Up", Part::EjectPinch, {2}, Stuck<Axis::EjectPinch>, 1, 0x217, "Mecha Error   23"},
    {"eject pinch stuck going FDown", Part::EjectPinch, {}, Stuck<Axis::EjectPinch>, 2, 0x218, "Mecha Error   24"},
    {"eject pinch Sb switch on at FDown", Part::EjectPinch, {}, Bit<pos::kEjectPinSb, BitFault::StuckOn>, 2, 0x309,
     "Sensor Error  09"},
    {"lock stuck unlocking", Part::RotLock, {5}, Stuck<Axis::RotLock>, 3, 0x220, "Mecha Error   32"},
    {"lock stuck locking", Part::RotLock, {3}, Stuck<Axis::RotLock>, 5, 0x221, "Mecha Error   33"},
    {"lock stuck in the release fallback", Part::RotLock, {}, Stuck<Axis::RotLock>, 1, 0x21F, "Mecha Error   31"},
    {"lock sub switch on after unlocking", Part::RotLock, {}, Bit<pos::kLockSub, BitFault::StuckOn>, 3, 0x306,
     "Sensor Error  06"},
    {"path selector stuck going to 3", Part::PathSel, {4}, Stuck<Axis::PathSel>, 3, 0x210, "Mecha Error   16"},
    {"path selector stuck going to 4", Part::PathSel, {}, Stuck<Axis::PathSel>, 4, 0x211, "Mecha Error   17"},
    {"path find stuck both ways", Part::PathSel, {}, FindStuck, 1, 0x20F, "Mecha Error   15"},
    {"both path switches on at 4", Part::PathSel, {}, Bit<pos::kPathPosiR, BitFault::StuckOn>, 4, 0x307,
     "Sensor Error  07"},
    {"head L up switch chattering after going down", Part::HeadL, {}, Bit<pos::kHeadLUp, BitFault::Chatter>, 2,
     0x30F, "Sensor Error  15"},
    // The main pinch roller; the requests are positions (3 and 2 on side L,
    // 5 and 4 on side R).
    {"main pinch stuck lifting from L", Part::MainPinch, {1, 3}, Stuck<Axis::MainPinch>, 1, 0x222, "Mecha Error   34"},
    {"main pinch stuck lifting from R", Part::MainPinch, {1, 5}, Stuck<Axis::MainPinch>, 1, 0x223, "Mecha Error   35"},
    {"main pinch stuck lowering to L", Part::MainPinch, {1}, Stuck<Axis::MainPinch>, 3, 0x224, "Mecha Error   36"},
    {"main pinch stuck lowering to R", Part::MainPinch, {1}, Stuck<Axis::MainPinch>, 5, 0x225, "Mecha Error   37"},
    {"main pinch stuck going to half L", Part::MainPinch, {1}, Stuck<Axis::MainPinch>, 2, 0x226, "Mecha Error   38"},
    {"main pinch stuck going to half R", Part::MainPinch, {1}, Stuck<Axis::MainPinch>, 4, 0x227, "Mecha Error   39"},
    {"main pinch C switch on at down L", Part::MainPinch, {1}, Bit<pos::kMainPinC, BitFault::StuckOn>, 3, 0x303,
     "Sensor Error  03"},
    {"EM2 main pinch C switch on at down R", Part::MainPinch, {1}, Bit<pos::kMainPinC, BitFault::StuckOn>, 5, 0x303,
     "Sensor Error  03", sim::EngineVariant::EM2},
    {"EM2 main pinch stuck lifting from L", Part::MainPinch, {1, 3}, Stuck<Axis::MainPinch>, 1, 0x222,
     "Mecha Error   34", sim::EngineVariant::EM2},
    // The EM2 feed pinch at up, its narrow switch off: the lift from an
    // undefined position drives Forward and never finds up.
    {"EM2 feed pinch stuck lifting from undefined", Part::FeedPinch, {},
     FeedUndefinedStuck, 1, 0x20B, "Mecha Error   11",
     sim::EngineVariant::EM2},
    {"EM2 feed pinch stuck lowering to L", Part::FeedPinch, {1}, Stuck<Axis::FeedPinch>, 3, 0x20C, "Mecha Error   12",
     sim::EngineVariant::EM2},
    {"EM2 feed pinch R switch on at down R", Part::FeedPinch, {1}, Bit<pos::kFeedPinchR, BitFault::StuckOn>, 5,
     0x305, "Sensor Error  05", sim::EngineVariant::EM2},
};

// Every raised index.
std::vector<uint32_t> RaisedIndexes() {
  std::vector<uint32_t> raised;
  for (uint32_t ulIndex = 0; ulIndex <= 0xFFFF; ++ulIndex) {
    if (IsErrorRaised(ulIndex)) raised.push_back(ulIndex);
  }
  return raised;
}

// A failed move as the tables see it: the failing call's result, the
// motor, the position and the raised indexes right after it; then a new
// start with the same request and one step.
struct Failure {
  int32_t lResult = 9;
  uint32_t ulState = 9;
  uint32_t ulPosition = 9;
  std::vector<uint32_t> raised;
  int32_t lRestart = 9;
  uint32_t ulRestartState = 9;
  int32_t lAgain = 9;
  std::vector<uint32_t> raisedAgain;

  void Record(const Driven& d, int32_t lFailed, uint32_t ulRequest) {
    lResult = lFailed;
    ulState = MotorState(d);
    ulPosition = d.position();
    raised = RaisedIndexes();
    lRestart = d.start(ulRequest);
    ulRestartState = MotorState(d);
    int32_t lDone = 0;
    lAgain = d.step(&lDone);
    raisedAgain = RaisedIndexes();
  }
};

// The motor stopped, the position forgotten, exactly `ulError` added to
// `before`; the new start moved nothing and its step failed without
// another index.
void ExpectFailedWith(const Failure& f, int32_t lResult, std::vector<uint32_t> before, uint32_t ulError) {
  EXPECT_EQ(f.lResult, lResult);
  EXPECT_EQ(f.ulState, static_cast<uint32_t>(DC_MOTOR_STOPPED));
  EXPECT_EQ(f.ulPosition, 0u);
  before.push_back(ulError);
  EXPECT_EQ(f.raised, before) << "exactly the case's index";
  EXPECT_EQ(f.lRestart, 0) << "nothing starts";
  EXPECT_EQ(f.ulRestartState, static_cast<uint32_t>(DC_MOTOR_STOPPED));
  EXPECT_EQ(f.lAgain, -1);
  EXPECT_EQ(f.raisedAgain, f.raised) << "no further index";
}

// A new printer (EM3 unless a case says otherwise) showing "Ready", its
// start-up having chosen the variant's pinch rollers, with the views the
// tables look at.
class PrinterAtReady : public testsupport::MachineTest {
 protected:
  void SetUp() override { BootReady(sim::EngineVariant::EM3); }
  void BootReady(sim::EngineVariant variant) {
    BootNewPrinter(VariantOptions(variant));
    m_machine->RunUntil([this] { return Lcd().Visible() == testsupport::kReadyLine; },
                        testsupport::kStartUp + testsupport::kFirstBootFormat + Ms(10000));
    ASSERT_EQ(Lcd().Visible(), testsupport::kReadyLine);
  }
  sim::LcdController& Lcd() { return *m_machine->GetBoard().FindDevice<sim::LcdController>(); }
  sim::PanelLeds& Leds() { return *m_machine->GetBoard().FindDevice<sim::PanelLeds>(); }
  sim::MechanismInputs& Inputs() { return *m_machine->GetBoard().FindDevice<sim::MechanismInputs>(); }
  sim::DcMechanism& Mechanism() { return *m_machine->GetBoard().FindDevice<sim::DcMechanism>(); }
  // Once the state machine has run: the index's status line, the Error
  // LED, and the index's code as the newest history entry.
  void ExpectShownAndLogged(uint32_t ulError, const char* pszLine) {
    m_machine->RunUntil([&] { return Lcd().Visible() == pszLine && Leds().IsOn(sim::PanelLed::Error); }, Ms(2000));
    EXPECT_EQ(Lcd().Visible(), pszLine);
    EXPECT_TRUE(Leds().IsOn(sim::PanelLed::Error));
    EXPECT_FALSE(Leds().IsOn(sim::PanelLed::Ready));
    ASSERT_GE(g_ErrorHistTable.ucCount, 1u);
    EXPECT_EQ(g_ErrorHistTable.aRecords[0].ucCodeMajor, ulError >> 8);
    EXPECT_EQ(g_ErrorHistTable.aRecords[0].ucCodeMinor, ulError & 0xFFu);
  }
};

class PositionerFaults : public PrinterAtReady, public ::testing::WithParamInterface<FaultCase> {
 protected:
  void SetUp() override { BootReady(GetParam().variant); }
};

TEST_P(PositionerFaults, RaiseTheirIndexShowItAndLeaveThePositionerLatched) {
  const FaultCase& c = GetParam();
  ASSERT_TRUE(m_machine->RunStep([&c] { Prepare(Of(c.part), c.before); }, Ms(10000)));
  Rig rig{m_machine->MechanismFaults(), Inputs()};
  c.fault(rig);
  const std::vector<uint32_t> before = RaisedIndexes();
  Failure failure;
  ASSERT_TRUE(m_machine->RunStep(
      [&] {
        const Driven d = Of(c.part);
        ASSERT_EQ(d.start(c.ulRequest), 0);
        failure.Record(d, Poll(d), c.ulRequest);
      },
      Ms(20000)));
  ExpectFailedWith(failure, -1, before, c.ulError);

  ExpectShownAndLogged(c.ulError, c.pszLine);
}

INSTANTIATE_TEST_SUITE_P(Table, PositionerFaults, ::testing::ValuesIn(kFaults),
                         CaseName<::testing::TestParamInfo<FaultCase>>);

// ---- the cutter -------------------------------------------------------------------------------
//
// The cutter has no latch. A failed cut leaves the side unknown and the
// settling done, so a cut right after it settles nothing, moves nothing,
// and its step fails in the arrival check without another index. Stopping
// the motor (as switching everything off does) forgets the settling of a
// cut that did not end where it aimed: with the switch cleared, the next
// settling reads the side from the end switches and the cut after it
// crosses, the error flag notwithstanding. Settling with both end switches
// on fails at power-on, where no side was ever aimed at: Stop forgets
// nothing then, and the side stays unknown until a restart.
struct CutterFaultCase {
  const char* pszName;
  std::vector<uint32_t> before;  // cut modes from LEFT that bring the carriage to its start
  void (*fault)(Rig&);
  uint32_t ulMode;  // 0: the fault shows in the settling after power-on
  uint32_t ulError;
  const char* pszLine;
  uint32_t ulSide;  // the side settled once the switch is cleared; 0: none
};

const std::vector<CutterFaultCase> kCutterFaults = {
    {"stuck towards RIGHT", {}, Stuck<Axis::Cutter>, 1, 0x219, "Mecha Error   25", CUTTER_LEFT},
    {"stuck towards LEFT", {1}, Stuck<Axis::Cutter>, 3, 0x21A, "Mecha Error   26", CUTTER_RIGHT},
    {"centre switch on after a cut", {}, Bit<pos::kCutterC, BitFault::StuckOn>, 1, 0x30A, "Sensor Error  10",
     CUTTER_RIGHT},
    {"left switch on at RIGHT", {}, Bit<pos::kCutterL, BitFault::StuckOn>, 3, 0x30B, "Sensor Error  11", CUTTER_RIGHT},
    {"right switch on at LEFT", {2}, Bit<pos::kCutterR, BitFault::StuckOn>, 2, 0x30C, "Sensor Error  12", CUTTER_LEFT},
    {"both end switches on while settling", {}, Bit<pos::kCutterR, BitFault::StuckOn>, 0, 0x30D, "Sensor Error  13", 0},
};

constexpr uint32_t OtherSide(uint32_t ulSide) { return ulSide == CUTTER_LEFT ? CUTTER_RIGHT : CUTTER_LEFT; }
constexpr uint32_t DriveTowards(uint32_t ulSide) {
  return ulSide == CUTTER_RIGHT ? DC_MOTOR_FORWARD : DC_MOTOR_REVERSE;
}

class CutterFaults : public PrinterAtReady, public ::testing::WithParamInterface<CutterFaultCase> {
 protected:
  // A fault of the settling after power-on is switched on before the boot:
  // the home run settles the cutter, raises the index and leaves the
  // printer showing it.
  void SetUp() override {
    const CutterFaultCase& c = GetParam();
    if (c.ulMode != 0) {
      BootReady(sim::EngineVariant::EM3);
      return;
    }
    BootNewPrinter(VariantOptions(sim::EngineVariant::EM3));
    Rig rig{m_machine->MechanismFaults(), Inputs()};
    c.fault(rig);
    m_machine->RunUntil([&] { return Lcd().Visible() == c.pszLine; },
                        testsupport::kStartUp + testsupport::kFirstBootFormat + Ms(10000));
    ASSERT_EQ(Lcd().Visible(), c.pszLine);
  }
};

TEST_P(CutterFaults, RaiseTheirIndexShowItAndTheCutterCutsAgainOnceStoppedAndSettled) {
  const CutterFaultCase& c = GetParam();
  const uint32_t ulFrom = c.before.size() % 2 == 0 ? CUTTER_LEFT : CUTTER_RIGHT;
  if (c.ulMode != 0) {
    uint32_t ulStart = 9;
    ASSERT_TRUE(m_machine->RunStep(
        [&] {
          Prepare(CutterDriven(), c.before);
          ulStart = CutterDriven().position();
        },
        Ms(5000)));
    ASSERT_EQ(ulStart, ulFrom);
  }
  Rig rig{m_machine->MechanismFaults(), Inputs()};
  // The power-on case's fault has been on since the boot, and its index is
  // the one the home run raised: nothing else was raised before.
  if (c.ulMode != 0) c.fault(rig);
  const std::vector<uint32_t> before =
      c.ulMode != 0 ? RaisedIndexes() : std::vector<uint32_t>{};
  uint32_t ulStarted = 9;
  Failure failure;
  ASSERT_TRUE(m_machine->RunStep(
      [&] {
        const Driven d = CutterDriven();
        if (c.ulMode == 0) {
          // The home run's settling returned 0.
          ulStarted = MotorState(d);
          failure.Record(d, 0, 1);
          return;
        }
        ASSERT_EQ(d.start(c.ulMode), 0);
        ulStarted = MotorState(d);
        failure.Record(d, Poll(d), c.ulMode);
      },
      Ms(20000)));
  EXPECT_EQ(ulStarted, c.ulMode == 0 ? static_cast<uint32_t>(DC_MOTOR_STOPPED) : DriveTowards(OtherSide(ulFrom)));
  // Settling with both ends on succeeds; right after a failure the side is
  // unknown and the settling done, and the arrival check has no side.
  ExpectFailedWith(failure, c.ulMode == 0 ? 0 : -1, before, c.ulError);

  ExpectShownAndLogged(c.ulError, c.pszLine);

  // The switch cleared; the cut primitives' order: settle, cut, poll.
  rig.faults.ClearBitFaults();
  rig.faults.SetAxisStuck(Axis::Cutter, false);
  const size_t crossings = Mechanism().Crossings().size();
  int32_t lFlag = 9, lSettle = 9, lCut = 9;
  uint32_t ulSettled = 9, ulCutStarted = 9, ulAcross = 9;
  std::vector<uint32_t> raisedAfter;
  ASSERT_TRUE(m_machine->RunStep(
      [&] {
        const Driven d = CutterDriven();
        lFlag = g_Cutter.GetErrorFlag();
        g_Cutter.Stop();
        lSettle = d.settle();
        ulSettled = d.position();
        lCut = d.start(1);
        ulCutStarted = MotorState(d);
        if (lCut == 0) lCut = Poll(d);
        ulAcross = d.position();
        raisedAfter = RaisedIndexes();
      },
      Ms(5000)));
  EXPECT_EQ(lFlag, 1);
  EXPECT_EQ(lSettle, 0);
  EXPECT_EQ(ulSettled, c.ulSide);
  EXPECT_EQ(raisedAfter, failure.raised) << "no further index";
  if (c.ulSide == 0) {
    EXPECT_EQ(ulCutStarted, static_cast<uint32_t>(DC_MOTOR_STOPPED));
    EXPECT_EQ(lCut, -1);
    EXPECT_EQ(ulAcross, 0u);
    EXPECT_EQ(Mechanism().Crossings().size(), crossings);
    return;
  }
  EXPECT_EQ(ulCutStarted, DriveTowards(OtherSide(c.ulSide))) << "the error flag blocks nothing";
  EXPECT_EQ(lCut, 0);
  EXPECT_EQ(ulAcross, OtherSide(c.ulSide));
  ASSERT_EQ(Mechanism().Crossings().size(), crossings + 1);
  EXPECT_TRUE(Mechanism().CrossingComplete(Mechanism().Crossings().back()));
}

INSTANTIATE_TEST_SUITE_P(Table, CutterFaults, ::testing::ValuesIn(kCutterFaults),
                         CaseName<::testing::TestParamInfo<CutterFaultCase>>);

// ---- a cover opened during a move ------------------------------------------------------------

class CoverDuringAMove : public PrinterAtReady {};

TEST_F(CoverDuringAMove, EndsThePollsAndTheCoverStateSwitchesTheHeadOff) {
  int32_t lStep = 0, lAbort = 0;
  bool bDone = false;
  ASSERT_TRUE(m_machine->RunStep([] { ASSERT_EQ(g_HeadLiftL.MoveUpAndWait(), 0); }, Ms(1000)));
  m_machine->AtNextPass([&] {
    int32_t lDone = 0;
    g_HeadLiftL.StartMove(HEAD_POS_DOWN);
    while (lStep == 0 && lDone == 0 && lAbort == 0) {
      lStep = g_HeadLiftL.Step(&lDone);
      if (lStep == 0 && lDone == 0) lAbort = CheckAbort(SEQ_CHECK_COVERS);
    }
    bDone = true;
  });
  m_machine->RunFor(Ms(150));
  ASSERT_FALSE(bDone);
  ASSERT_TRUE(Mechanism().Moving(sim::Axis::HeadL));
  const sim::Nanos opened = m_machine->Now();
  Inputs().SetCoverOpen(sim::Cover::Front, true);
  m_machine->RunUntil([&] { return bDone; }, Ms(100));
  ASSERT_TRUE(bDone);
  EXPECT_EQ(lAbort, -1) << "the abort check ended the polls";
  EXPECT_EQ(lStep, 0);
  m_machine->RunUntil([] { return g_pCurEventMng == &g_EventMngCoverOpen; }, Ms(500));
  ASSERT_EQ(g_pCurEventMng, &g_EventMngCoverOpen);
  // The state's mechanism stop waits 20 ms for the line trigger before the
  // motors.
  m_machine->RunFor(Ms(200));
  EXPECT_EQ(Mechanism().Drive(sim::DcMotor::HeadL), sim::DriveState::Stop);
  const int32_t stopped = Mechanism().Position(sim::Axis::HeadL);
  EXPECT_GT(stopped, 0);
  EXPECT_LT(stopped, Mechanism().Geometry(sim::Axis::HeadL).length) << "stopped on the way down";
  const auto motor = Mechanism().Trace().Of("DcMotorHeadL");
  ASSERT_FALSE(motor.empty());
  EXPECT_GT(motor.back().at, opened) << "stopped after the cover opened";
  uint32_t ulPosition = 9, ulState = 9;
  ASSERT_TRUE(m_machine->RunStep(
      [&] {
        g_HeadLiftL.GetPosition(&ulPosition);
        g_DcMotorHeadL.GetState(&ulState);
      },
      Ms(1000)));
  EXPECT_EQ(ulPosition, 0u) << "up before, undefined once stopped on the way";
  EXPECT_EQ(ulState, static_cast<uint32_t>(DC_MOTOR_STOPPED));
  m_machine->RunFor(Ms(500));
  EXPECT_EQ(Mechanism().Position(sim::Axis::HeadL), stopped) << "and still";
}

}  // namespace
