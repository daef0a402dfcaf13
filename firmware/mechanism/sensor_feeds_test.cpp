// Feeds to a sensor on the steppers of a booted printer: the photo sensor
// "Top L" set by the test, the roll encoder's counter scripted on the FPGA.
#include "firmware/mechanism/sensor_feeds.h"

#include "firmware/control/error_manager.h"
#include "firmware/devices/machine_actuators.h"
#include "firmware/devices/panel_ports.h"
#include "firmware/devices/ramps.h"
#include "firmware/devices/sensors.h"
#include "firmware/devices/stepper_test_rig.h"
#include "firmware/mechanism/step_machine.h"
#include "firmware/printengine/roll_diameter.h"
#include "sim/mechanism/mechanism_inputs.h"
#include "sim/mechanism/paper_web_mechanism.h"

namespace steppertest {
namespace {

constexpr uint32_t kJam = 0x150D;
constexpr uint32_t kRollEncChannel = 5;

class SensorFeeds : public StepperTest {
 protected:
  void SetUp() override {
    StepperTest::SetUp();
    InApp([] {
      g_PortPhotoSenLed1.Set();
      g_PortPhotoSenLed2.Set();
      for (CRampTable* pRamp : {&g_Ramp16, &g_Ramp18, &g_Ramp27, &g_Ramp30, &g_Ramp39}) {
        pRamp->SetupByRate(1000, 4000, 20);
      }
    });
  }
  void SetTopL(bool bPaper) {
    m_machine->GetBoard().FindDevice<sim::MechanismInputs>()->SetPaperSeen(sim::PhotoSensor::TopL, bPaper);
  }
  static uint32_t Countdown(const CStpmtr& motor) {
    uint32_t ulCount = 0;
    motor.GetCountdown(&ulCount);
    return ulCount;
  }
};

TEST_F(SensorFeeds, ASensorAlreadyThereEndsAtOnceHaltingOnlyWithStopFlag1) {
  SetTopL(true);
  struct Case {
    uint32_t stopFlag;
    int32_t mainState;
  };
  for (const Case c : {Case{1, STPMTR_IDLE}, Case{2, STPMTR_ACCELERATING}}) {
    static int32_t s_lResult;
    static uint32_t s_ulStop;
    s_ulStop = c.stopFlag;
    InApp([] { s_lResult = FeedToSensor(&g_AdTopL, 1, 1, 1000, kJam, s_ulStop, 0, 0); });
    EXPECT_EQ(s_lResult, 0) << c.stopFlag;
    EXPECT_EQ(StateOf(g_StpmtrMain), c.mainState) << c.stopFlag;
    EXPECT_EQ(StateOf(g_StpmtrSub), c.mainState) << c.stopFlag;
    InApp([] {
      g_StpmtrMain.Stop();
      g_StpmtrSub.Stop();
    });
  }
  EXPECT_FALSE(IsErrorRaised(kJam));
}

TEST_F(SensorFeeds, ALimitOfZeroRaisesTheCallersIndexAfterOneStep) {
  SetTopL(false);
  static int32_t s_lResult;
  InApp([] { s_lResult = FeedToSensor(&g_AdTopL, 1, 1, 0, kJam, 1, 0, 0); });
  EXPECT_EQ(s_lResult, -1);
  EXPECT_TRUE(IsErrorRaised(kJam));
  EXPECT_GE(Pulses(0), 1u);
  // Halted a few pulses later, at the end of the feed.
  EXPECT_LE(Pulses(0), 8u);
  EXPECT_LE(Countdown(g_StpmtrMain), 65535u);
}

TEST_F(SensorFeeds, TheExtraDistanceRunsOnTheCountdownAfterTheSensorChanged) {
  SetTopL(true);
  m_machine->GetBoard().Clock().ScheduleIn(Ms(30), [this] { SetTopL(false); });
  static int32_t s_lResult;
  InApp([] { s_lResult = FeedToSensor(&g_AdTopL, 1, 0, 2000, kJam, 1, 25, 0); }, Ms(5000));
  EXPECT_EQ(s_lResult, 0);
  // 25 lines at 4000 steps per 1000 lines: 100 steps after the change.
  const uint32_t ulRan = 65536u + 8000u - Countdown(g_StpmtrMain);
  EXPECT_GE(ulRan, 100u);
  EXPECT_LE(ulRan, 8000u);
  EXPECT_FALSE(IsErrorRaised(kJam));
}

TEST_F(SensorFeeds, TargetedFeedRefusesOtherExcitationModesWithoutMoving) {
  static int32_t s_alResult[2];
  InApp([] {
    s_alResult[0] = FeedToSensorTargeted(&g_AdTopL, 1, 1, 0, 3, &g_Ramp27, &g_Ramp18, 100, kJam, 1, 0, 0);
    s_alResult[1] = FeedToSensorTargeted(&g_AdTopL, 1, 1, 3, 3, &g_Ramp27, &g_Ramp18, 100, kJam, 1, 0, 0);
  });
  EXPECT_EQ(s_alResult[0], -1);
  EXPECT_EQ(s_alResult[1], -1);
  RunFor(Ms(10));
  EXPECT_EQ(Pulses(0), 0u);
  EXPECT_EQ(Pulses(1), 0u);
  EXPECT_FALSE(IsErrorRaised(kJam));
}

TEST_F(SensorFeeds, RollLimitsAreComputedInDoubleAndSaturate) {
  // 300 lines: 300 x 25.4 / 300 / 272.238 x 100 / 21 x 36 x 1.2 = 19.19
  // counts; twice 4 x int(19 x 36.5301) sub steps.
  EXPECT_EQ(RollEncoderLimit(300), 19u);
  EXPECT_EQ(RollSubStepLimit(19), 2u * 4u * 694u);
  EXPECT_EQ(RollSubStepLimit(0xFFFFFFFFu), 0xFFFFFFFFu);
  EXPECT_EQ(RollEncoderLimit(0xFFFFFFFFu), 274781841u);
  uint32_t aulSteps[4] = {};
  for (uint32_t mode = 1; mode <= 3; ++mode) g_RollDiameter.LengthToSteps(&aulSteps[mode], 100, mode);
  EXPECT_EQ(aulSteps[1], 3653u);
  EXPECT_EQ(aulSteps[2], 7306u);
  EXPECT_EQ(aulSteps[3], 14612u);
  g_RollDiameter.LengthToSteps(&aulSteps[0], 0xFFFFFFFFu, 3);
  EXPECT_EQ(aulSteps[0], 0xFFFFFFFFu);
}

// The roll encoder counts across its 16-bit wrap during the feed: the
// distance is taken modulo 2^16, so the feed runs on to the sub-stepper
// limit instead of jamming at the wrap.
TEST_F(SensorFeeds, TheRollLimitedFeedMeasuresTheEncoderAcrossItsWrap) {
  SetTopL(false);
  // Only the scripted counts: the roll's own encoder stands.
  m_machine->GetBoard().FindDevice<sim::PaperWebMechanism>()->SetFault(sim::WebFault::RollEncJammed, true);
  Fpga().CountPulses(kRollEncChannel, 65530);
  m_machine->GetBoard().Clock().ScheduleIn(Ms(20), [this] { Fpga().CountPulses(kRollEncChannel, 10); });
  static int32_t s_lResult;
  InApp([] { s_lResult = FeedToSensorRollLimited(&g_AdTopL, 1, 1, 300, kJam, 1, 0); }, Ms(20000));
  EXPECT_EQ(s_lResult, -1);
  EXPECT_TRUE(IsErrorRaised(kJam));
  EXPECT_GT(0xFFFFFFFFu - Countdown(g_StpmtrSub), RollSubStepLimit(19));
}

TEST_F(SensorFeeds, TheRollLimitedFeedJamsOnTheEncoderWhenTheRollTurns) {
  SetTopL(false);
  m_machine->GetBoard().Clock().ScheduleIn(Ms(20), [this] { Fpga().CountPulses(kRollEncChannel, 20); });
  static int32_t s_lResult;
  InApp([] { s_lResult = FeedToSensorRollLimited(&g_AdTopL, 1, 1, 300, kJam, 1, 0); }, Ms(20000));
  EXPECT_EQ(s_lResult, -1);
  EXPECT_TRUE(IsErrorRaised(kJam));
  EXPECT_LT(0xFFFFFFFFu - Countdown(g_StpmtrSub), RollSubStepLimit(19));
}

TEST_F(SensorFeeds, WindowChecksAtTheirEdges) {
  SetTopL(true);
  struct Case {
    uint32_t moved;
    uint32_t expected;
    int32_t heldResult;
    uint32_t done;
    int32_t reachedResult;
    uint32_t reached;
  };
  // A window of 50 steps from countdown 1000.
  const Case cases[] = {
      {50, 1, 0, 0, 0, 1},   // inside, in the state
      {50, 0, -1, 0, 0, 0},  // inside, out of the state
      {51, 0, 0, 1, -1, 0},  // past the window: the sensor is not looked at
  };
  for (const Case& c : cases) {
    static Case s_c;
    static int32_t s_lHeld, s_lReached;
    static uint32_t s_ulDone, s_ulReached, s_ulTravelled;
    s_c = c;
    InApp([] {
      g_ErrorMng.ClearError(kJam);
      g_StpmtrMain.SetCountdown(1000 - s_c.moved);
      s_lHeld = CheckSensorHeldDuringFeed(&g_AdTopL, s_c.expected, s_ulDone, 1000, 50, s_ulTravelled, kJam);
      s_lReached = CheckSensorReachedInWindow(&g_AdTopL, s_c.expected, s_ulReached, 1000, 50, s_ulTravelled, kJam);
    });
    EXPECT_EQ(s_lHeld, c.heldResult) << c.moved << " " << c.expected;
    EXPECT_EQ(s_ulDone, c.done) << c.moved;
    EXPECT_EQ(s_lReached, c.reachedResult) << c.moved;
    EXPECT_EQ(s_ulReached, c.reached) << c.moved;
    EXPECT_EQ(s_ulTravelled, c.moved);
  }
}

TEST_F(SensorFeeds, TheRampLoaderReturnsTheRefusedLookUp) {
  static int32_t s_lResult;
  static uint32_t s_ulCountBefore, s_ulCountAfter;
  InApp([] {
    g_Ramp40.GetCount(&s_ulCountBefore);
    s_lResult = LoadRampTablesFromTable(224, &g_Ramp40, &g_Ramp41, 0);
    g_Ramp40.GetCount(&s_ulCountAfter);
  });
  EXPECT_EQ(s_lResult, -2);
  EXPECT_EQ(s_ulCountAfter, s_ulCountBefore);
}

}  // namespace
}  // namespace steppertest
