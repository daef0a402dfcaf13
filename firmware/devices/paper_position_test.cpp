// The paper position on real pulses: the moves' counting by excitation
// mode, the stops at the target, the speed-profile rows and the one-move
// feed drive.
#include "firmware/devices/paper_position.h"

#include <gtest/gtest.h>

#include "firmware/devices/fpga_interrupt.h"
#include "firmware/devices/machine_actuators.h"
#include "firmware/devices/ramps.h"
#include "firmware/devices/settings.h"
#include "firmware/devices/stepper_test_rig.h"
#include "firmware/mechanism/eject_motor.h"

namespace steppertest {
namespace {

class PaperPosition : public StepperTest {
 protected:
  void SetUp() override {
    StepperTest::SetUp();
    // Profile 2 on both steppers: 1000 to 2000 pulses per second in 10 ms.
    InApp([] {
      g_Ramp01.SetupByRate(1000, 2000, 10);
      g_Ramp06.SetupByRate(1000, 2000, 10);
      g_PaperPosition.SetParam(PAPER_PARAM_MAIN_PROFILE, 2);
      g_PaperPosition.SetParam(PAPER_PARAM_SUB_PROFILE, 2);
    });
  }
  void TearDown() override {
    InApp([] {
      g_StpmtrMain.Stop();
      g_StpmtrSub.Stop();
    });
    StepperTest::TearDown();
  }
  static int32_t Position() {
    int32_t lSteps = 0;
    g_PaperPosition.GetCurrentPointSteps(&lSteps);
    return lSteps;
  }
  static uint32_t Moving() {
    uint32_t ulMoving = 0;
    g_PaperPosition.GetMoving(&ulMoving);
    return ulMoving;
  }
  static uint32_t PaperSteps() { return g_ulFpgaIrqCount[3]; }
  // In the application: waits until the paper-step line has pulsed n more
  // times since `from`.
  static void WaitPaperSteps(uint32_t from, uint32_t n) {
    while (PaperSteps() - from < n) CpuRelax();
  }
};

TEST_F(PaperPosition, MovesCountByExcitationModeAndHaltAtTheTarget) {
  struct Case {
    const char* pszWhat;
    uint32_t ulMode;
    int32_t lStart;
    int32_t lSteps;         // MoveSteps
    uint32_t ulPulses;      // given to the main stepper
    int32_t lEnd;           // after those pulses
    uint32_t ulMovingAfter;
  };
  const Case cases[] = {
      {"mode 2 +100", 2, 0, 100, 100, 100, 0},
      {"mode 1 +101: never on the odd target", 1, 0, 101, 50, 100, 1},
      {"mode 4 -10", 4, 50, -10, 40, 40, 0},
      {"mode 3 +6", 3, -3, 6, 12, 3, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pszWhat);
    int32_t lEnd = 0, lAfterMore = 0;
    uint32_t ulGiven = 0, ulMoving = 9;
    int32_t lMainState = -1, lSubState = -1;
    InApp([&] {
      g_PaperPosition.SetParam(PAPER_PARAM_EXCITATION_MODE, c.ulMode);
      g_PaperPosition.SetCurrentPointOffset(0, c.lStart);
      const uint32_t ulFrom = PaperSteps();
      EXPECT_EQ(g_PaperPosition.MoveSteps(c.lSteps), 0);
      g_StpmtrMain.GetTargetSteps(&ulGiven);
      WaitPaperSteps(ulFrom, c.ulPulses);
      lEnd = Position();
      ulMoving = Moving();
      g_StpmtrMain.GetState(&lMainState);
      g_StpmtrSub.GetState(&lSubState);
      // A move that did not reach its target goes on counting past it.
      if (ulMoving != 0) {
        WaitPaperSteps(ulFrom, c.ulPulses + 2);
        lAfterMore = Position();
      }
      g_PaperPosition.StopAtTarget();
    }, Ms(10000));
    EXPECT_EQ(ulGiven, c.ulPulses);
    EXPECT_EQ(lEnd, c.lEnd);
    EXPECT_EQ(ulMoving, c.ulMovingAfter);
    if (c.ulMovingAfter == 0) {
      EXPECT_EQ(lMainState, STPMTR_IDLE);
      EXPECT_EQ(lSubState, STPMTR_IDLE);
    } else {
      EXPECT_EQ(lAfterMore, c.lEnd + 4);
    }
  }
  // Mode 2's 100 steps: 100 half steps of the main shaft forward.
  EXPECT_EQ(Drivers().ShaftEighths(sim::Stepper::Main) % 8, 0);
}

TEST_F(PaperPosition, BeforeAnExcitationModePulsesDoNotCount) {
  InApp([] {
    const uint32_t ulFrom = PaperSteps();
    g_PaperPosition.MoveSteps(5);
    WaitPaperSteps(ulFrom, 8);
    EXPECT_EQ(Position(), 0);
    EXPECT_EQ(Moving(), 1u);
    g_PaperPosition.StopAtTarget();
  });
}

TEST_F(PaperPosition, TheNoStopFlagCountsPastTheTarget) {
  InApp([] {
    g_PaperPosition.SetParam(PAPER_PARAM_EXCITATION_MODE, 2);
    g_PaperPosition.SetParam(PAPER_PARAM_NO_STOP, 1);
    const uint32_t ulFrom = PaperSteps();
    g_PaperPosition.MoveSteps(10);
    WaitPaperSteps(ulFrom, 14);
    EXPECT_EQ(Position(), 14);
    EXPECT_EQ(Moving(), 1u);
    g_PaperPosition.StopAtTarget();
  });
}

TEST_F(PaperPosition, AbsoluteMovesKeepTheHalfStepParityAndStopAtOnceWhenThere) {
  InApp([] {
    // 5 lines at 4000 steps per 1000 lines: 20 steps.
    g_PaperPosition.SetParam(PAPER_PARAM_EXCITATION_MODE, 1);
    g_PaperPosition.SetCurrentPointOffset(0, 7);
    const uint32_t ulFrom = PaperSteps();
    EXPECT_EQ(g_PaperPosition.MoveTo(3, 2), 0);
    int32_t lTarget = 0;
    uint32_t ulGiven = 0;
    g_PaperPosition.GetTarget(&lTarget);
    g_StpmtrMain.GetTargetSteps(&ulGiven);
    EXPECT_EQ(lTarget, 21);
    EXPECT_EQ(ulGiven, 7u);
    WaitPaperSteps(ulFrom, 7);
    EXPECT_EQ(Position(), 21);
    EXPECT_EQ(Moving(), 0u);

    // Already there: halted at once, result 0, no pulse asked for.
    g_PaperPosition.SetParam(PAPER_PARAM_EXCITATION_MODE, 2);
    g_PaperPosition.SetCurrentPointOffset(5, 0);
    g_StpmtrMain.RunConstant(1000, 0, 2, 0);
    EXPECT_EQ(g_PaperPosition.MoveTo(5, 0), 0);
    int32_t lState = -1;
    g_StpmtrMain.GetState(&lState);
    EXPECT_EQ(lState, STPMTR_IDLE);
    EXPECT_EQ(Moving(), 0u);
  });
  EXPECT_FALSE(Fpga().PulsesRunning(0));
}

// Every speed profile row: which stepper starts, on which acceleration
// table (told apart by its first period).
TEST_F(PaperPosition, EverySpeedProfileRowStartsItsSteppersOrRefusesThem) {
  InApp([] {
    for (uint32_t i = 0; i < RAMP_TABLE_COUNT; ++i) g_aRampSpecs[i].pRamp->SetupByRate(400 + 10 * i, 3000, 10);
    g_PaperPosition.SetParam(PAPER_PARAM_EXCITATION_MODE, 2);
    // Excited beforehand, so no start waits for its driver while the other
    // stepper already pulses.
    g_StpmtrMain.SetExcitation(1);
    g_StpmtrSub.SetExcitation(1);
  });
  struct Row {
    uint32_t ulProfile;
    const CRampTable* pMain;
    const CRampTable* pSub;
  };
  std::vector<Row> rows;
  for (uint32_t i = 0; i < g_ulPaperSpeedProfileCount; ++i) {
    const PaperSpeedProfile& p = g_aPaperSpeedProfiles[i];
    rows.push_back({p.ulProfile, p.pMainAccel, p.pSubAccel});
  }
  // Not started, and refused.
  rows.push_back({PAPER_PROFILE_NONE, nullptr, nullptr});
  rows.push_back({16, nullptr, nullptr});
  rows.push_back({0xFFFFFFFFu, nullptr, nullptr});
  ASSERT_EQ(rows.size(), 27u);
  EXPECT_EQ(rows[5].pSub, nullptr) << "profile 5 refuses the sub stepper";
  for (const Row& r : rows) {
    SCOPED_TRACE(r.ulProfile);
    int32_t lResult = 9;
    InApp([&] {
      g_PaperPosition.SetParam(PAPER_PARAM_MAIN_PROFILE, r.ulProfile);
      g_PaperPosition.SetParam(PAPER_PARAM_SUB_PROFILE, r.ulProfile);
      lResult = g_PaperPosition.MoveSteps(1000);
    });
    EXPECT_EQ(lResult, 0);
    const CRampTable* apExpected[2] = {r.pMain, r.pSub};
    for (uint32_t c = 0; c < 2; ++c) {
      EXPECT_EQ(Fpga().PulsesRunning(c), apExpected[c] != nullptr) << "channel " << c;
      if (apExpected[c] == nullptr) continue;
      uint16_t* pusTable = nullptr;
      apExpected[c]->GetTable(&pusTable);
      EXPECT_EQ(Fpga().Register(sim::FpgaMainBlock::kPulsePeriod[c]), pusTable[0]) << "channel " << c;
    }
    InApp([] {
      g_StpmtrMain.Halt();
      g_StpmtrSub.Halt();
      g_PaperPosition.ClearMoving();
    });
  }
}

TEST_F(PaperPosition, AFeedDriveStartsTheEjectMotorForOneMoveInTheMovesDirection) {
  struct Case {
    uint32_t ulFeedDrive;
    int32_t lSteps;
    int32_t lRunning;
    uint32_t ulMotorState;
  };
  for (const Case& c : {Case{1, 10, 1, DC_MOTOR_FORWARD}, Case{1, -10, 1, DC_MOTOR_REVERSE},
                        Case{40, 10, 0, DC_MOTOR_STOPPED}}) {
    uint32_t ulAfter = 0, ulState = 9;
    int32_t lRunning = 9;
    InApp([&] {
      g_PaperPosition.SetParam(PAPER_PARAM_EXCITATION_MODE, 2);
      g_PaperPosition.SetParam(PAPER_PARAM_FEED_DRIVE, c.ulFeedDrive);
      g_PaperPosition.MoveSteps(c.lSteps);
      g_PaperPosition.GetParam(PAPER_PARAM_FEED_DRIVE, &ulAfter);
      g_PaperPosition.StopAtTarget();
      lRunning = g_EjectMotor.IsRunning();
      g_DcMotorEject.GetState(&ulState);
      g_EjectMotor.Stop();
    });
    EXPECT_EQ(lRunning, c.lRunning) << c.lSteps;
    EXPECT_EQ(ulState, c.ulMotorState) << c.lSteps;
    EXPECT_EQ(ulAfter, PAPER_PROFILE_NONE);
  }
}

}  // namespace
}  // namespace steppertest
