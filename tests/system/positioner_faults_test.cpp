// The positioners failing on the virtual mechanism's fault switches, on a
// printer running its main loop (of the case's engine variant): each fault
// of the table makes one move fail with its error index; once the state machine has run, the LCD shows
// the index's status line, the Error LED is on and the history holds the
// entry. The failed positioner stays latched: a new start moves nothing and
// the next step fails without raising another index. A cover opened during
// a head move ends its polls, and the cover state switches the head off.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "firmware/control/error_history.h"
#include "firmware/control/error_manager.h"
#include "firmware/control/event_states.h"
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
    {"lock stuck unlocking", Part::RotLock, {}, Stuck<Axis::RotLock>, 3, 0x220, "Mecha Error   32"},
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
     StuckWith<Axis::FeedPinch, pos::kFeedPinchR, BitFault::StuckOff>, 1, 0x20B, "Mecha Error   11",
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

// A new printer of an engine variant, ready.
class ReadyPrinter : public testsupport::MachineTest {
 protected:
  void BootReady(sim::EngineVariant variant) {
    Boot(VariantOptions(variant));
    m_machine->RunUntil([this] { return Lcd().Visible() == "Ready           "; },
                        testsupport::kStartUp + testsupport::kFirstBootFormat + Ms(10000));
    ASSERT_EQ(Lcd().Visible(), "Ready           ");
    UseRollersOf(variant);
  }
  sim::LcdController& Lcd() { return *m_machine->GetBoard().FindDevice<sim::LcdController>(); }
  sim::PanelLeds& Leds() { return *m_machine->GetBoard().FindDevice<sim::PanelLeds>(); }
  sim::MechanismInputs& Inputs() { return *m_machine->GetBoard().FindDevice<sim::MechanismInputs>(); }
  sim::DcMechanism& Mechanism() { return *m_machine->GetBoard().FindDevice<sim::DcMechanism>(); }
};

class PositionerFaults : public ReadyPrinter, public ::testing::WithParamInterface<FaultCase> {
 protected:
  void SetUp() override { BootReady(GetParam().variant); }
};

TEST_P(PositionerFaults, RaiseTheirIndexShowItAndLeaveThePositionerLatched) {
  const FaultCase& c = GetParam();
  ASSERT_TRUE(m_machine->RunStep(
      [&c] {
        const Driven d = Of(c.part);
        for (uint32_t ulBefore : c.before) {
          ASSERT_EQ(d.start(ulBefore), 0);
          ASSERT_EQ(Poll(d), 0) << "to " << ulBefore;
        }
      },
      Ms(10000)));
  Rig rig{m_machine->MechanismFaults(), Inputs()};
  c.fault(rig);
  const std::vector<uint32_t> before = RaisedIndexes();
  int32_t lResult = 0, lRestart = 9, lAgain = 0;
  uint32_t ulPosition = 9, ulStateAfter = 9, ulRestartState = 9;
  std::vector<uint32_t> raised, raisedAgain;
  ASSERT_TRUE(m_machine->RunStep(
      [&] {
        const Driven d = Of(c.part);
        ASSERT_EQ(d.start(c.ulRequest), 0);
        lResult = Poll(d);
        ulStateAfter = MotorState(d);
        ulPosition = d.position();
        raised = RaisedIndexes();
        lRestart = d.start(c.ulRequest);
        ulRestartState = MotorState(d);
        int32_t lDone = 0;
        lAgain = d.step(&lDone);
        raisedAgain = RaisedIndexes();
      },
      Ms(20000)));
  EXPECT_EQ(lResult, -1);
  EXPECT_EQ(ulStateAfter, static_cast<uint32_t>(DC_MOTOR_STOPPED));
  EXPECT_EQ(ulPosition, 0u);
  std::vector<uint32_t> expected = before;
  expected.push_back(c.ulError);
  EXPECT_EQ(raised, expected) << "exactly the case's index";
  EXPECT_EQ(lRestart, 0) << "latched: nothing starts";
  EXPECT_EQ(ulRestartState, static_cast<uint32_t>(DC_MOTOR_STOPPED));
  EXPECT_EQ(lAgain, -1);
  EXPECT_EQ(raisedAgain, raised) << "no further index";

  m_machine->RunUntil([&] { return Lcd().Visible() == c.pszLine && Leds().IsOn(sim::PanelLed::Error); }, Ms(2000));
  EXPECT_EQ(Lcd().Visible(), c.pszLine);
  EXPECT_TRUE(Leds().IsOn(sim::PanelLed::Error));
  EXPECT_FALSE(Leds().IsOn(sim::PanelLed::Ready));
  ASSERT_GE(g_ErrorHistTable.ucCount, 1u);
  EXPECT_EQ(g_ErrorHistTable.aRecords[0].ucCodeMajor, c.ulError >> 8);
  EXPECT_EQ(g_ErrorHistTable.aRecords[0].ucCodeMinor, c.ulError & 0xFFu);
}

INSTANTIATE_TEST_SUITE_P(Table, PositionerFaults, ::testing::ValuesIn(kFaults),
                         CaseName<::testing::TestParamInfo<FaultCase>>);

// ---- a cover opened during a move ------------------------------------------------------------

class CoverDuringAMove : public ReadyPrinter {
 protected:
  void SetUp() override { BootReady(sim::EngineVariant::EM3); }
};

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
  m_machine->RunFor(Ms(50));
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
