// The paper web's fault switches as the mechanism's other switches are
// reached (Machine::MechanismFaults), each under the feed that meets it on
// a printer running its main loop: jammed paper stands under a feed that
// then raises the caller's jam into the jam state; a roll that lets go of
// the web spins free while the tail runs past "PaperEmpty"; a jammed
// RollEnc and a stalled roll leave the roll-limited feed to its sub-stepper
// limit, the stalled roll holding the web as well.
#include <gtest/gtest.h>

#include "firmware/control/event_states.h"
#include "firmware/devices/sensors.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/mechanism/sensor_feeds.h"
#include "firmware/mechanism/step_machine.h"
#include "sim/mechanism/input_faults.h"
#include "tests/support/paper_web.h"

namespace {

using namespace webtest;

constexpr uint32_t kMask = SEQ_CHECK_COVERS;
constexpr uint32_t kJam = 0x150D;

class PaperWebFaults : public WebPrinter {
 protected:
  void SetUp() override { BootWeb(sim::EngineVariant::EM3); }
  sim::InputFaults& Faults() { return m_machine->MechanismFaults(); }
  // The sub stepper's steps in the roll-limited feed that just ended.
  static uint32_t SubSteps() { return 0xFFFFFFFFu - Countdown(g_StpmtrSub); }
  static int32_t RollLimitedToTopR() { return FeedToSensorRollLimited(&g_AdTopR, kForward, 1, 300, kJam, 1, kMask); }
};

TEST_F(PaperWebFaults, JammedPaperStandsAndTheFeedRaisesUpperLJam13) {
  Faults().SetPaperFault(sim::WebFault::PaperJammed, true);
  const double before = Web().Front();
  EXPECT_EQ(Run([] { return FeedToSensor(&g_AdTopL, kBackward, 0, 200, g_ulCurErrUpperJam13, 1, 0, kMask); }), -1);
  EXPECT_EQ(Web().Front(), before);
  EXPECT_TRUE(IsErrorRaised(kJam));
  m_machine->RunUntil([this] { return Lcd().Visible() == "Upper L Jam   13"; }, Ms(3000));
  EXPECT_EQ(Lcd().Visible(), "Upper L Jam   13");
  EXPECT_EQ(g_pCurEventMng, static_cast<CEventMng*>(&g_EventMngJam));
}

TEST_F(PaperWebFaults, ADetachedRollSpinsFreeAndTheTailPassesPaperEmpty) {
  Faults().DetachPaperRoll();
  EXPECT_FALSE(Web().Attached());
  EXPECT_EQ(SensorNow(g_AdPaperEmpty), 1u) << "the tail lies behind the sensor";
  const double front = Web().Front();
  const double diameter = Web().DiameterMm();
  const uint64_t counts = Web().RollEncCounts();
  EXPECT_EQ(Run([] { return FeedToSensor(&g_AdPaperEmpty, kForward, 0, 2000, kJam, 1, 0, kMask); }), 0);
  EXPECT_FALSE(IsErrorRaised(kJam));
  // From where the web leaves the roll to the sensor.
  EXPECT_NEAR(Web().Front() - front, sim::PaperWeb::kPaperEmpty - sim::PaperWeb::kRollExit, 20.0);
  EXPECT_GT(Web().Tail(), sim::PaperWeb::kPaperEmpty);
  // The sub stepper spun the empty roll: RollEnc counted, no paper left it.
  EXPECT_GT(Web().RollEncCounts(), counts);
  EXPECT_EQ(Web().DiameterMm(), diameter);
}

TEST_F(PaperWebFaults, AJammedRollEncLeavesTheRollLimitedFeedToItsSubStepperLimit) {
  Faults().SetPaperFault(sim::WebFault::RollEncJammed, true);
  const uint64_t counts = Web().RollEncCounts();
  const double onRoll = Web().PaperOnRollMm();
  EXPECT_EQ(Run(RollLimitedToTopR), -1);
  EXPECT_TRUE(IsErrorRaised(kJam));
  EXPECT_EQ(Web().RollEncCounts(), counts);
  EXPECT_LT(Web().PaperOnRollMm(), onRoll) << "the roll turned";
  EXPECT_GT(SubSteps(), RollSubStepLimit(RollEncoderLimit(300)));
}

TEST_F(PaperWebFaults, AStalledRollHoldsTheWebAndLeavesTheFeedToItsSubStepperLimit) {
  Faults().SetPaperFault(sim::WebFault::RollStalled, true);
  const uint64_t counts = Web().RollEncCounts();
  const double front = Web().Front();
  EXPECT_EQ(Run(RollLimitedToTopR), -1);
  EXPECT_TRUE(IsErrorRaised(kJam));
  EXPECT_EQ(Web().RollEncCounts(), counts);
  EXPECT_GT(SubSteps(), RollSubStepLimit(RollEncoderLimit(300)));
  // No slack to use: the main drive slipped as well.
  EXPECT_EQ(Web().SlackMm(), 0.0);
  EXPECT_EQ(Web().Front(), front);
}

}  // namespace
