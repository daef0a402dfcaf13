// Feeds to a sensor and the ribbon watchdogs on a printer running its main
// loop, the paper web moving under the steppers: the web at rest, feeds on
// "Top L" both ways with and without extra lines and halting, the zero
// limit, a jammed web raising the caller's jam into the jam state, the
// half-rate conversion of FeedUntilSensor, the roll-limited feed's two
// limits, and the lock watch on the ribbon model.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "firmware/control/error_manager.h"
#include "firmware/control/event_states.h"
#include "firmware/devices/sensors.h"
#include "firmware/devices/stepper.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/mechanism/ribbon_watchdogs.h"
#include "firmware/mechanism/sensor_feeds.h"
#include "firmware/mechanism/step_machine.h"
#include "sim/mechanism/paper_web_mechanism.h"
#include "tests/support/carousel.h"

namespace {

using carouseltest::CarouselPrinter;
using testsupport::Ms;

constexpr uint32_t kMask = SEQ_CHECK_COVERS;
constexpr uint32_t kForward = 0, kBackward = 1;

class SensorFeedsOnTheWeb : public CarouselPrinter {
 protected:
  void SetUp() override {
    BootReady(sim::EngineVariant::EM3);
    Inputs().ClearPaperOverrides();
  }
  sim::PaperWebMechanism& WebDevice() { return *m_machine->GetBoard().FindDevice<sim::PaperWebMechanism>(); }
  const sim::PaperWeb& Web() { return WebDevice().Web(); }
  int32_t Run(std::function<int32_t()> feed, sim::Nanos limit = Ms(30000)) {
    int32_t lResult = 9;
    EXPECT_TRUE(InLoop([&] { lResult = feed(); }, limit));
    return lResult;
  }
  static int32_t StateOf(const CStpmtr& motor) {
    int32_t lState = -1;
    motor.GetState(&lState);
    return lState;
  }
  static uint32_t Sensor(CAnalogSensor& sensor) {
    uint32_t ulState = 9;
    sensor.GetState(&ulState);
    return ulState;
  }
  void StopSteppers() {
    InLoop([] {
      g_StpmtrMain.Halt();
      g_StpmtrSub.Halt();
    });
  }
};

TEST_F(SensorFeedsOnTheWeb, TheWebRestsThreadedOnPathLAndTheWatchesAreBuilt) {
  uint32_t aulState[4] = {};
  InLoop([&] {
    aulState[0] = Sensor(g_AdTopL);
    aulState[1] = Sensor(g_AdTopR);
    aulState[2] = Sensor(g_AdPosition);
    aulState[3] = Sensor(g_AdPaperEmpty);
  });
  EXPECT_EQ(aulState[0], 1u);
  EXPECT_EQ(aulState[1], 0u);
  EXPECT_EQ(aulState[2], 1u);
  EXPECT_EQ(aulState[3], 1u);
  EXPECT_EQ(g_pCurJamCheckRibbon, &g_JamCheckRibbonL);
  EXPECT_EQ(g_JamCheckRibbonL.Encoder(), &g_SlitRibEncSrcL);
  EXPECT_EQ(g_LockCheckRibbonR.Encoder(), &g_SlitRibEncSrcR);
}

struct FeedCase {
  const char* name;
  uint32_t direction;
  uint32_t target;
  uint32_t extraLines;
  uint32_t stopFlag;
};

TEST_F(SensorFeedsOnTheWeb, FeedToSensorStopsTheExtraLinesAfterTopLChanged) {
  // Back until "Top L" clears, forward until it sees paper again, each with
  // and without extra lines, halting or leaving the steppers running.
  const FeedCase cases[] = {
      {"back to 0", kBackward, 0, 0, 1},
      {"forward to 1", kForward, 1, 0, 1},
      {"back to 0, 100 extra", kBackward, 0, 100, 1},
      {"forward to 1, 100 extra, running", kForward, 1, 100, 2},
  };
  for (const FeedCase& c : cases) {
    SCOPED_TRACE(c.name);
    const double before = Web().Front();
    const int32_t lResult = Run([&] { return FeedToSensor(&g_AdTopL, c.direction, c.target, 3000, 0x150D, c.stopFlag, c.extraLines, kMask); });
    EXPECT_EQ(lResult, 0);
    EXPECT_EQ(StateOf(g_StpmtrMain) == STPMTR_IDLE, c.stopFlag == 1);
    StopSteppers();
    const double front = Web().Front();
    const double sign = c.direction == kForward ? 1.0 : -1.0;
    EXPECT_GT((front - before) * sign, 0.0);
    // The front passed Top by the extra lines (and the few steps that run
    // between the sensor's polls and the halt).
    const double past = (front - sim::PaperWeb::kTop) * sign;
    EXPECT_GE(past, static_cast<double>(c.extraLines) - 1.0);
    EXPECT_LE(past, static_cast<double>(c.extraLines) + 40.0);
    EXPECT_FALSE(IsErrorRaised(0x150D));
  }
}

TEST_F(SensorFeedsOnTheWeb, AZeroLimitRaisesTheCallersIndexAfterOneStep) {
  const double before = Web().Front();
  EXPECT_EQ(Run([] { return FeedToSensor(&g_AdTopL, kBackward, 0, 0, 0x150D, 1, 0, kMask); }), -1);
  EXPECT_TRUE(IsErrorRaised(0x150D));
  EXPECT_LT(before - Web().Front(), 3.0);
}

TEST_F(SensorFeedsOnTheWeb, AJammedWebRaisesUpperLJam13AndEntersTheJamState) {
  WebDevice().SetFault(sim::WebFault::PaperJammed, true);
  const double before = Web().Front();
  EXPECT_EQ(Run([] { return FeedToSensor(&g_AdTopL, kBackward, 0, 200, g_ulCurErrUpperJam13, 1, 0, kMask); }), -1);
  EXPECT_EQ(Web().Front(), before);
  EXPECT_TRUE(IsErrorRaised(0x150D));
  m_machine->RunUntil([this] { return Lcd().Visible() == "Upper L Jam   13"; }, Ms(3000));
  EXPECT_EQ(Lcd().Visible(), "Upper L Jam   13");
  EXPECT_EQ(g_pCurEventMng, static_cast<CEventMng*>(&g_EventMngJam));
}

TEST_F(SensorFeedsOnTheWeb, FeedUntilSensorInMode4ConvertsAtHalfRateAsMode1) {
  // Forward from the rest point "Top L" never clears: the limit of 200
  // lines passes, 400 steps at half rate ("Stp/Lx1000" 4000) in modes 1
  // and 4 alike; full steps in mode 1 carry the web 200 lines.
  for (uint32_t ulMode : {1u, 4u}) {
    SCOPED_TRACE(ulMode);
    InLoop([] { g_ErrorMng.ClearAllJams(); });
    const double before = Web().Front();
    uint32_t ulCountdown = 0;
    EXPECT_EQ(Run([&] {
                const int32_t lResult = FeedUntilSensor(&g_AdTopL, kForward, ulMode, 0, 200, 0x150D, 1, 0, kMask);
                g_StpmtrMain.GetCountdown(&ulCountdown);
                return lResult;
              }),
              -1);
    StopSteppers();
    // 401 steps to the limit, a few more until the halt.
    EXPECT_GE(0x10000u + 400u - ulCountdown, 401u);
    EXPECT_LE(0x10000u + 400u - ulCountdown, 420u);
    if (ulMode == 1) {
      EXPECT_NEAR(Web().Front() - before, 205.0, 6.0);
    }
  }
}

TEST_F(SensorFeedsOnTheWeb, FeedToSensorCoarseFindsTopLBackwards) {
  EXPECT_EQ(Run([] { return FeedToSensorCoarse(&g_AdTopL, kBackward, 0, 3000, 0x150D, 1, 0, kMask); }), 0);
  EXPECT_NEAR(Web().Front(), sim::PaperWeb::kTop, 40.0);
}

TEST_F(SensorFeedsOnTheWeb, TheRollLimitedFeedPassesTheEncoderLimitWithTheRollTurning) {
  const uint64_t countsBefore = Web().RollEncCounts();
  EXPECT_EQ(Run([] { return FeedToSensorRollLimited(&g_AdTopR, kForward, 1, 300, 0x150D, 1, kMask); }), -1);
  EXPECT_TRUE(IsErrorRaised(0x150D));
  EXPECT_GT(Web().RollEncCounts() - countsBefore, RollEncoderLimit(300));
  uint32_t ulSubCountdown = 0;
  g_StpmtrSub.GetCountdown(&ulSubCountdown);
  EXPECT_LE(0xFFFFFFFFu - ulSubCountdown, RollSubStepLimit(RollEncoderLimit(300)));
}

TEST_F(SensorFeedsOnTheWeb, TheRollLimitedFeedPassesTheSubLimitWithTheRollStalled) {
  WebDevice().SetFault(sim::WebFault::RollStalled, true);
  const uint64_t countsBefore = Web().RollEncCounts();
  EXPECT_EQ(Run([] { return FeedToSensorRollLimited(&g_AdTopR, kForward, 1, 300, 0x150D, 1, kMask); }), -1);
  EXPECT_TRUE(IsErrorRaised(0x150D));
  EXPECT_EQ(Web().RollEncCounts(), countsBefore);
  uint32_t ulSubCountdown = 0;
  g_StpmtrSub.GetCountdown(&ulSubCountdown);
  EXPECT_GT(0xFFFFFFFFu - ulSubCountdown, RollSubStepLimit(RollEncoderLimit(300)));
}

}  // namespace
