// The paper steppers on the booted printer, its application's main loop
// running: the machine definition's stepper, ramp and paper-position rows
// as built and the ramps the start-up fills, a ramp run and a paper move on real pulses, no pulse lost at
// the fastest rate, and the stepper test screen by key presses.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "firmware/devices/fpga_interrupt.h"
#include "firmware/devices/paper_position.h"
#include "firmware/devices/ramps.h"
#include "firmware/devices/stepper.h"
#include "firmware/mechanism/donor_mng_color.h"
#include "sim/fpga/fpga_main_block.h"
#include "sim/machine.h"
#include "sim/mechanism/stepper_drivers.h"
#include "sim/panel/panel.h"
#include "tests/support/machine_test.h"
#include "tests/support/ramp_run.h"

namespace {

using sim::PanelKey;
using sim::Stepper;
using testsupport::Ms;

constexpr sim::Nanos kSettle = testsupport::kSettleToReady;

class StepperMotion : public testsupport::MachineTest {
 protected:
  void SetUp() override {
    BootNewPrinter();
    m_machine->RunUntil([&] { return Lcd().Visible() == testsupport::kReadyLine; }, kSettle);
    ASSERT_EQ(Lcd().Visible(), testsupport::kReadyLine);
    Fpga().AddPulseObserver(0, [this] { m_mainPulses.push_back(Fpga().LastPulseTime(0)); });
  }
  sim::FpgaMainBlock& Fpga() { return *m_machine->GetBoard().FindDevice<sim::FpgaMainBlock>(); }
  sim::StepperDrivers& Drivers() { return *m_machine->GetBoard().FindDevice<sim::StepperDrivers>(); }
  sim::LcdController& Lcd() { return *m_machine->GetBoard().FindDevice<sim::LcdController>(); }
  sim::PanelKeys& Keys() { return *m_machine->GetBoard().FindDevice<sim::PanelKeys>(); }
  // Runs a step where the main loop stands between two passes.
  void Step(std::function<void()> step, sim::Nanos limit = Ms(3000)) {
    ASSERT_TRUE(m_machine->RunStep(std::move(step), limit));
  }
  static int32_t StateOf(const CStpmtr& motor) {
    int32_t lState = -1;
    motor.GetState(&lState);
    return lState;
  }
  bool RunUntilShown(const std::string& text, sim::Nanos limit = Ms(2000)) {
    m_machine->RunUntil([&] { return Lcd().Visible() == text; }, limit);
    return Lcd().Visible() == text;
  }
  // A key pressed and released, with room for the screen to take it.
  void Tap(PanelKey key) {
    Keys().Tap(key, Ms(200), Ms(60));
    m_machine->RunFor(Ms(400));
  }

  std::vector<sim::Nanos> m_mainPulses;
};

TEST_F(StepperMotion, TheBootLeavesTheSteppersIdleTheStartUpRampsBuiltAndThePaperPositionEmpty) {
  // The home run's mechanism stop leaves the paper steppers stopped with
  // their excitation off; the exit stepper stays idle.
  for (Stepper s : {Stepper::Main, Stepper::Sub, Stepper::Exit}) {
    EXPECT_EQ(Drivers().Control(s), s == Stepper::Exit ? 0x02 : 0x00) << sim::Index(s);
    EXPECT_GE(Drivers().ControlWrites(s), 1u) << sim::Index(s);
  }
  const CStpmtr* const apMotors[] = {&g_StpmtrMain, &g_StpmtrSub, &g_StpmtrExit};
  const char* const apszLabels[] = {"Stepping Motor  ", "SteppingMotorSub", "SteppingMotorExt"};
  const int32_t alStates[] = {STPMTR_STOPPED, STPMTR_STOPPED, STPMTR_IDLE};
  for (uint32_t i = 0; i < 3; ++i) {
    EXPECT_STREQ(apMotors[i]->GetLabel(), apszLabels[i]);
    EXPECT_EQ(StateOf(*apMotors[i]), alStates[i]);
  }
  // The ramps: their modes, six pairs on one storage, and filled only where
  // the start-up builds them (10-36, and the line-speed ramps 38-41).
  const std::set<uint32_t> kModeOne = {0, 1, 2, 3, 5, 6, 7, 8, 27, 28};
  const std::set<uint32_t> kSecondOfPair = {16, 18, 20, 22, 24, 28};
  std::set<uint16_t*> storages;
  for (uint32_t i = 0; i < RAMP_TABLE_COUNT; ++i) {
    const CRampTable& ramp = *g_aRampSpecs[i].pRamp;
    uint32_t ulMode = 0, ulCount = 9;
    uint16_t* pusTable = nullptr;
    ramp.GetParam(4, &ulMode);
    ramp.GetCount(&ulCount);
    ramp.GetTable(&pusTable);
    EXPECT_EQ(ulMode, kModeOne.count(i) ? 1u : (i == 4 || i == 9) ? 5u : 2u) << i;
    ASSERT_NE(pusTable, nullptr);
    if ((i >= 10 && i <= 36) || (i >= 38 && i <= 41)) {
      EXPECT_GT(ulCount, 0u) << i;
      EXPECT_NE(pusTable[0], 0) << i;
    } else {
      EXPECT_EQ(ulCount, 0u) << i;
      for (uint32_t e = 0; e < CRampTable::kEntries; ++e) ASSERT_EQ(pusTable[e], 0) << i << "/" << e;
    }
    if (kSecondOfPair.count(i)) {
      uint16_t* pusFirst = nullptr;
      g_aRampSpecs[i - 1].pRamp->GetTable(&pusFirst);
      EXPECT_EQ(pusTable, pusFirst) << i;
    } else {
      EXPECT_TRUE(storages.insert(pusTable).second) << i << " shares a storage";
    }
  }
  EXPECT_EQ(storages.size(), RAMP_STORAGE_COUNT);
  EXPECT_EQ(g_aRampSpecs[15].pRamp, &g_Ramp15);
  EXPECT_EQ(g_aRampSpecs[41].pRamp, &g_Ramp41);

  struct Param {
    uint32_t ulId;
    uint32_t ulValue;
  };
  for (Param p : {Param{3, 0}, Param{4, 0}, Param{5, 0}, Param{7, 0}, Param{9, 0}, Param{10, PAPER_PROFILE_NONE}}) {
    uint32_t ulValue = 99;
    EXPECT_EQ(g_PaperPosition.GetParam(p.ulId, &ulValue), 0);
    EXPECT_EQ(ulValue, p.ulValue) << "parameter " << p.ulId;
  }
  int32_t lPosition = 9;
  g_PaperPosition.GetCurrentPointSteps(&lPosition);
  EXPECT_EQ(lPosition, 0);
  // The start-up's colour-sensor ribbon control: unit L's manager.
  EXPECT_EQ(g_pDonorMng, &g_DonorMngColorSenL);
}

// Profile 6 (g_Ramp10 up and down) built as the start-up builds ramps, and a
// 100-step move in mode 2.
TEST_F(StepperMotion, APaperMovePlaysItsRampAndEndsOnItsTarget) {
  uint32_t ulLength = 0;
  Step([&] {
    ASSERT_EQ(g_Ramp10.SetupByRate(1000, 4000, 10), 0);
    g_Ramp10.GetCount(&ulLength);
    g_PaperPosition.SetParam(PAPER_PARAM_EXCITATION_MODE, 2);
    g_PaperPosition.SetParam(PAPER_PARAM_MAIN_PROFILE, 6);
    g_PaperPosition.SetParam(PAPER_PARAM_SUB_PROFILE, 6);
    EXPECT_EQ(g_PaperPosition.MoveSteps(100), 0);
  });
  ASSERT_LT(2 * ulLength, 100u);
  m_machine->RunUntil([] { return StateOf(g_StpmtrMain) == STPMTR_IDLE; }, Ms(2000));
  m_machine->RunFor(Ms(10));
  int32_t lPosition = 0;
  uint32_t ulMoving = 9;
  g_PaperPosition.GetCurrentPointSteps(&lPosition);
  g_PaperPosition.GetMoving(&ulMoving);
  EXPECT_EQ(lPosition, 100);
  EXPECT_EQ(ulMoving, 0u);
  EXPECT_EQ(StateOf(g_StpmtrMain), STPMTR_IDLE);
  EXPECT_EQ(StateOf(g_StpmtrSub), STPMTR_IDLE);
  ASSERT_EQ(m_mainPulses.size(), 100u);
  // 100 half steps of the main shaft; the sub shaft turned the other way.
  EXPECT_EQ(Drivers().ShaftEighths(Stepper::Main), 100 * 4);
  EXPECT_LT(Drivers().ShaftEighths(Stepper::Sub), 0);
  // The intervals between the main stepper's interrupts: the acceleration
  // table, the top period, the deceleration table walked back.
  uint16_t* pusTable = nullptr;
  g_Ramp10.GetTable(&pusTable);
  const std::vector<uint32_t> expected = testsupport::RampRunIntervals(pusTable, ulLength, 100);
  ASSERT_EQ(expected.size(), 99u);
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ((m_mainPulses[i + 1] - m_mainPulses[i]) / 40, expected[i]) << "interval " << i;
  }
}

TEST_F(StepperMotion, NoPulseIsLostAtTheFastestRateWhileTheMainLoopRuns) {
  const uint32_t ulHandledBefore = g_ulFpgaIrqCount[2];
  const uint32_t ulEmittedBefore = Fpga().PulsesEmitted(0);
  Step([] { EXPECT_EQ(g_StpmtrMain.RunConstant(8600, 0, 2, 0), 0); });
  // The main loop's passes go on meanwhile, their masked sections included.
  m_machine->RunFor(Ms(3000));
  Step([] { g_StpmtrMain.Halt(); });
  m_machine->RunFor(Ms(5));
  const uint32_t ulEmitted = Fpga().PulsesEmitted(0) - ulEmittedBefore;
  EXPECT_GT(ulEmitted, 8600u * 3 - 10);
  EXPECT_EQ(g_ulFpgaIrqCount[2] - ulHandledBefore, ulEmitted);
  EXPECT_EQ(g_ulFpgaIrqCount[3], g_ulFpgaIrqCount[2]) << "the paper-step line follows";
}

TEST_F(StepperMotion, TheStepperTestScreenRunsByKeys) {
  // Constant mode on the exit stepper, direction 1.
  m_machine->AtNextPass([] { MotorTestScreen(&g_StpmtrExit, 1, 1, 0); });
  ASSERT_TRUE(RunUntilShown("PullIn -2000:OFF"));
  struct KeyCase {
    PanelKey key;
    const char* pszShown;
  };
  const KeyCase constantKeys[] = {
      {PanelKey::Inc, "PullIn -2050:OFF"},  {PanelKey::Enter, "Pull -2050pps:ON"},
      {PanelKey::Inc, "Pull -2050pps:ON"},  // ignored while running
      {PanelKey::Enter, "PullIn -2050:OFF"},
  };
  for (const KeyCase& k : constantKeys) {
    Tap(k.key);
    EXPECT_TRUE(RunUntilShown(k.pszShown)) << k.pszShown << " / " << Lcd().Visible();
  }
  EXPECT_EQ(StateOf(g_StpmtrExit), STPMTR_STOPPED);
  Tap(PanelKey::Clear);
  m_machine->RunFor(Ms(500));

  // Ramp mode on the main stepper, with g_Ramp22 built first as the
  // start-up builds it.
  m_machine->AtNextPass([] {
    g_Ramp22.SetupByRate(500, 4000, 59);
    MotorTestScreen(&g_StpmtrMain, 0, 3, 0);
  });
  ASSERT_TRUE(RunUntilShown("UpDown +4000:OFF"));
  Tap(PanelKey::Enter);
  ASSERT_TRUE(RunUntilShown("UpDown +4000 :ON"));
  m_machine->RunFor(Ms(300));
  EXPECT_EQ(StateOf(g_StpmtrMain), STPMTR_TOP_SPEED);
  uint16_t* pusTable = nullptr;
  uint32_t ulCount = 0;
  g_Ramp22.GetTable(&pusTable);
  g_Ramp22.GetCount(&ulCount);
  EXPECT_EQ(Fpga().Register(sim::FpgaMainBlock::kPulsePeriod[0]), pusTable[ulCount]) << "4000 pulses per second";
  Tap(PanelKey::Enter);
  ASSERT_TRUE(RunUntilShown("UpDown +4000:OFF"));
  EXPECT_EQ(StateOf(g_StpmtrMain), STPMTR_STOPPED);
  // The speed index wraps: 30 + 10 -> 0 (1000), and 0 - 1 -> 39 (4900).
  for (int i = 0; i < 10; ++i) Tap(PanelKey::Inc);
  ASSERT_TRUE(RunUntilShown("UpDown +1000:OFF", Ms(5000)));
  uint32_t ulTop = 0;
  g_Ramp22.GetTopRate(&ulTop);
  EXPECT_EQ(ulTop, 1000u);
  Tap(PanelKey::Dec);
  ASSERT_TRUE(RunUntilShown("UpDown +4900:OFF"));
  g_Ramp22.GetTopRate(&ulTop);
  EXPECT_EQ(ulTop, 4900u);
  Tap(PanelKey::Clear);
  m_machine->RunFor(Ms(500));
}

}  // namespace
