// The roll-encoder checks on a printer running its main loop, the roll
// turning under the sub stepper: an attached roll stands once its slack is
// gone, a detached one keeps turning into the paper-end state, the latch
// while the roll end is armed, a check cut short before its decision, the
// CIS edges and their sensor error, the bounded wait for the sub stepper's
// stop (its pulse channel held by the board's fault switch), the light
// check across the counter's wrap, and the feed to the roll's edge
// measuring the steps of one encoder turn.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "firmware/control/error_manager.h"
#include "firmware/control/event_set.h"
#include "firmware/control/line_steps.h"
#include "firmware/devices/paper_position.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/devices/machine_actuators.h"
#include "firmware/devices/ramps.h"
#include "firmware/mechanism/donor_mng.h"
#include "firmware/mechanism/positioner.h"
#include "firmware/mechanism/roll_encoder_checks.h"
#include "firmware/mechanism/sensor_feeds.h"
#include "firmware/mechanism/unit_moves.h"
#include "firmware/mechanism/step_machine.h"
#include "firmware/platform/ioctl.h"
#include "firmware/platform/time_base.h"
#include "firmware/printengine/cis.h"
#include "firmware/printengine/roll_diameter.h"
#include "sim/fpga/fpga_main_block.h"
#include "tests/support/paper_web.h"

namespace {

using paperwebtest::PaperWebPrinter;
using testsupport::Ms;

constexpr uint32_t kMask = SEQ_CHECK_COVERS;

struct CheckOutcome {
  int32_t lResult = 9;
  uint32_t ulRollEnd = 9;
  uint32_t ulPaperEdge = 9;
  uint32_t ulImageEdge = 9;
  int32_t lError = 9;
  uint32_t ulMs = 0;
  uint32_t ulLatched = 9;
  uint32_t ulEventSet = 9;
};

class RollEncoderChecks : public PaperWebPrinter {
 protected:
  void SetUp() override { BootOnTheWeb(sim::EngineVariant::EM3); }
  void TearDown() override {
    g_ulRollEndArmed = 0;
    PaperWebPrinter::TearDown();
  }
  CheckOutcome Check(uint32_t ulCisMode, uint32_t ulStaleRollEnd = 9) {
    CheckOutcome o;
    o.ulRollEnd = ulStaleRollEnd;
    InLoop([&] {
      const uint32_t ulStart = g_MsTimer.NowMs();
      o.lResult = RollEncoderFeedCheck(&o.ulRollEnd, ulCisMode, &o.ulPaperEdge, &o.ulImageEdge, &o.lError, kMask);
      o.ulMs = g_MsTimer.NowMs() - ulStart;
      o.ulLatched = g_ulRollEndDetected;
      o.ulEventSet = IsEventPending(EV_PAPER_END) ? 1 : 0;
      g_pCurEventMng->ClearEvent(EV_PAPER_END);
    });
    return o;
  }
  // The light check asked for no turns, which stops at its first poll: its
  // time in ms.
  uint32_t LightCheckWithoutTurnsMs() {
    uint32_t ulMs = 0;
    EXPECT_EQ(Run([&] {
                const uint32_t ulStart = g_MsTimer.NowMs();
                const int32_t lResult = RollEncoderFeedCheckLite(0, kMask);
                ulMs = g_MsTimer.NowMs() - ulStart;
                return lResult;
              }),
              0);
    return ulMs;
  }
};

TEST_F(RollEncoderChecks, AnAttachedRollStandsOnceItsSlackIsGone) {
  const CheckOutcome o = Check(ROLL_CHECK_NO_CIS);
  EXPECT_EQ(o.lResult, 0);
  EXPECT_EQ(o.ulRollEnd, 0u);
  EXPECT_LT(o.ulMs, 10000u);
  EXPECT_EQ(o.ulPaperEdge, 80u);
  EXPECT_EQ(o.ulImageEdge, 80u);
  EXPECT_EQ(o.lError, 0);
  EXPECT_EQ(o.ulLatched, 0u);
  EXPECT_EQ(o.ulEventSet, 0u);
  EXPECT_EQ(StateOf(g_StpmtrSub), STPMTR_STOPPED);
  EXPECT_FALSE(m_machine->Logged("Not Paper Edge...")) << "no CIS search";
}

TEST_F(RollEncoderChecks, ADetachedRollKeepsTurningForTenSecondsIntoThePaperEnd) {
  WebDevice().Detach();
  uint32_t ulRollEnd = 0;
  const uint64_t countsBefore = Web().RollEncCounts();
  uint32_t ulMs = 0;
  bool bPosted = false;
  EXPECT_EQ(Run([&] {
              const uint32_t ulStart = g_MsTimer.NowMs();
              const int32_t lResult = RollEncoderFeedCheck(&ulRollEnd, ROLL_CHECK_NO_CIS, nullptr, nullptr, nullptr,
                                                           kMask);
              ulMs = g_MsTimer.NowMs() - ulStart;
              bPosted = IsEventPending(EV_PAPER_END);
              return lResult;
            }),
            0);
  EXPECT_TRUE(bPosted);
  EXPECT_EQ(ulRollEnd, 1u);
  EXPECT_GT(ulMs, 10000u);
  EXPECT_GT(Web().RollEncCounts(), countsBefore + 100);
  EXPECT_EQ(g_ulRollEndDetected, 1u);
  // The current state's paper-end action takes the event.
  m_machine->RunUntil([] { return !IsEventPending(EV_PAPER_END); }, Ms(3000));
  EXPECT_FALSE(IsEventPending(EV_PAPER_END));
}

TEST_F(RollEncoderChecks, ALatchedRollEndStaysWhileArmedAndOnlyADecisionChangesIt) {
  struct Case {
    const char* name;
    uint32_t armed;
    bool bCoverOpen;
    int32_t result;
    uint32_t rollEnd;
    uint32_t latched;
  };
  const Case kCases[] = {
      {"armed: the latch holds", 1, false, 0, 0, 1},
      {"not armed: the standing roll clears it", 0, false, 0, 0, 0},
      {"cut short before the decision: left alone", 0, true, -1, 0, 1},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    InLoop([&] {
      g_ulRollEndDetected = 1;
      g_ulRollEndArmed = c.armed;
    });
    Inputs().SetCoverOpen(sim::Cover::Front, c.bCoverOpen);
    const CheckOutcome o = Check(ROLL_CHECK_NO_CIS, 1);
    Inputs().SetCoverOpen(sim::Cover::Front, false);
    EXPECT_EQ(o.lResult, c.result);
    EXPECT_EQ(o.ulRollEnd, c.rollEnd) << "the caller's stale word is not handed back";
    EXPECT_EQ(o.ulLatched, c.latched);
    EXPECT_EQ(o.ulEventSet, c.latched);
    EXPECT_EQ(StateOf(g_StpmtrSub), STPMTR_STOPPED);
  }
}

TEST_F(RollEncoderChecks, TheCisModesMeasureTheEdgesOrRaiseSensorError62) {
  // The scene's paper edge at 80 and a printed band from pixel 180: the
  // gradient searches find 75 and 175, the first pixels of their ramps.
  struct Case {
    const char* name;
    uint32_t mode;
    bool bPrint;
    bool bLedDead;
    uint32_t paperEdge;
    uint32_t imageEdge;
    int32_t error;
  };
  const Case kCases[] = {
      {"paper edge found", ROLL_CHECK_PAPER_EDGE, false, false, 75, 80, 0},
      {"paper and image edge found", ROLL_CHECK_PAPER_IMAGE_EDGE, true, false, 75, 175, 0},
      {"no image edge is no failure", ROLL_CHECK_PAPER_IMAGE_EDGE, false, false, 75, 0, 0},
      {"no paper and image edge", ROLL_CHECK_PAPER_IMAGE_EDGE, true, true, 80, 80, -1},
      {"no paper edge", ROLL_CHECK_PAPER_EDGE, false, true, 80, 80, -1},
  };
  // The gain table as the tuning at paper load leaves it: cleared.
  InLoop([] {
    for (uint32_t w = 0; w < CIS_WORDS; ++w) IoctlWrite16(CIS_GAIN_TABLE + 2 * w, 0);
  });
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    InLoop([] { g_ErrorMng.ClearError(ROLL_CHECK_CIS_ERROR_INDEX); });
    Cis().ClearPrintRegions();
    if (c.bPrint) Cis().AddPrintRegion({-1e12, 1e12, 180});
    Cis().SetFault(sim::CisWindow::Fault::LedDead, c.bLedDead);
    const CheckOutcome o = Check(c.mode);
    EXPECT_EQ(o.lResult, 0);
    EXPECT_EQ(o.ulRollEnd, 0u);
    EXPECT_EQ(o.ulPaperEdge, c.paperEdge);
    EXPECT_EQ(o.ulImageEdge, c.imageEdge);
    EXPECT_EQ(o.lError, c.error);
    EXPECT_EQ(IsErrorRaised(ROLL_CHECK_CIS_ERROR_INDEX), c.error != 0);
  }
  Cis().SetFault(sim::CisWindow::Fault::LedDead, false);
  Cis().ClearPrintRegions();
  ExpectShownAndLogged(ROLL_CHECK_CIS_ERROR_INDEX, "Sensor Error  62");
}

TEST_F(RollEncoderChecks, TheLightCheckStopsAfterItsFirstPollForNoTurns) {
  const uint64_t countsBefore = Web().RollEncCounts();
  const uint32_t ulMs = LightCheckWithoutTurnsMs();
  // The ramp's time, the stop and the settling wait: far from the 5000 ms.
  EXPECT_LT(ulMs, 1000u);
  EXPECT_LT(Web().RollEncCounts() - countsBefore, 36u);
  EXPECT_EQ(StateOf(g_StpmtrSub), STPMTR_STOPPED);
}

// The checks end by stopping the sub stepper: a stepper whose stop is not
// reported within the bound (its pulse channel hangs, so it never runs
// down its deceleration) is stopped outright 2000 ms after the request.
TEST_F(RollEncoderChecks, ASubStepperThatDoesNotStopIsStoppedOutrightAfterTheBound) {
  sim::FpgaMainBlock& fpga = *m_machine->GetBoard().FindDevice<sim::FpgaMainBlock>();
  constexpr uint32_t kSubChannel = 1;
  struct Case {
    const char* name;
    bool bHeld;
  };
  const Case kCases[] = {{"stops at its request", false}, {"held: stopped outright", true}};
  uint32_t ulStopped = 0;
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    fpga.SetPulsesHeld(kSubChannel, c.bHeld);
    const uint32_t ulMs = LightCheckWithoutTurnsMs();
    fpga.SetPulsesHeld(kSubChannel, false);
    EXPECT_EQ(m_machine->Logged("[RollEncoderFeedCheckLite] sub stepper not stopped after 2000 ms: stopped"),
              c.bHeld);
    EXPECT_FALSE(fpga.PulsesRunning(kSubChannel)) << "the channel stopped";
    if (!c.bHeld) {
      ulStopped = ulMs;
    } else {
      // The request comes after the ramp's time, at most when the stepper
      // that ran down had stopped; the bound follows, then the settling.
      EXPECT_GT(ulMs, ROLL_CHECK_STOP_WAIT_MS);
      EXPECT_LE(ulMs, ulStopped + ROLL_CHECK_STOP_WAIT_MS);
      const auto& log = m_machine->Log();
      const size_t at = m_machine->FindLog("[RollEncoderFeedCheckLite] sub stepper not stopped after 2000 ms: stopped");
      ASSERT_LT(at, log.size());
      EXPECT_LT(m_machine->Now() - log[at].at, Ms(200)) << "stopped at the bound, not later";
    }
  }
}

TEST_F(RollEncoderChecks, TheLightCheckCountsAcrossTheCountersWrap) {
  // A free roll turns on; its counter starts 20 counts short of the wrap.
  WebDevice().Detach();
  sim::FpgaMainBlock& fpga = *m_machine->GetBoard().FindDevice<sim::FpgaMainBlock>();
  uint32_t ulCount = 0;
  InLoop([&] { g_SlitRollEnc.ReadCount(&ulCount); });
  fpga.CountPulses(sim::PaperWebMechanism::kRollEncChannel, (0x10000u - 20u - ulCount) & 0xFFFFu);
  const uint64_t countsBefore = Web().RollEncCounts();
  EXPECT_EQ(Run([] { return RollEncoderFeedCheckLite(2, kMask); }), 0);
  EXPECT_GE(Web().RollEncCounts() - countsBefore, 72u);
}

TEST_F(RollEncoderChecks, TheRibbonTravelsAgainstThePaperMatchTheModel) {
  // Head L down on the moving paper, the take-up winding as in printing Y:
  // the paper pulls the tape off the supply. The model's counts at each
  // main-stepper pulse give the pulses to 72 supply and 420 take-up counts.
  constexpr uint32_t kSupplyChannel = 0, kTakeUpChannel = 2;
  sim::FpgaMainBlock& fpga = *m_machine->GetBoard().FindDevice<sim::FpgaMainBlock>();
  struct Sample {
    uint16_t supply;
    uint16_t takeUp;
  };
  std::vector<Sample> samples;
  bool bRecording = false;
  fpga.AddPulseObserver(0, [&] {
    if (bRecording) samples.push_back({fpga.Counter(kSupplyChannel), fpga.Counter(kTakeUpChannel)});
  });
  uint32_t ulSupply = 0, ulTakeUp = 0, ulStartCountdown = 0;
  Sample start{};
  int32_t lResult = 9;
  ASSERT_TRUE(InLoop([&] {
    EXPECT_EQ(MoveHeadUnit(HEAD_POS_DOWN, kMask), 0);
    // The positioner stops short of the end stop, where the ribbon model
    // couples the tape: the motor is run on to it.
    g_DcMotorHeadL.Forward();
    g_MsTimer.WaitMs(300);
    g_DcMotorHeadL.Brake();
    g_pDonorMng->SetRibbonPhase(1, 1);
    g_StpmtrMain.SetCountdown(0xFFFFFFFFu);
    bRecording = true;
    RunAlongRamp(g_StpmtrMain, &g_Ramp27, 0, 2);
    g_StpmtrMain.GetCountdown(&ulStartCountdown);
    start = {fpga.Counter(kSupplyChannel), fpga.Counter(kTakeUpChannel)};
    lResult = MeasureRibbonVsPaper(&ulSupply, &ulTakeUp, kMask);
    bRecording = false;
    g_StpmtrMain.Halt();
    g_pDonorMng->StopRibbon(1, 1);
  }, Ms(20000)));
  ASSERT_EQ(lResult, 0);
  // The model's pulses from the measurement's start while each count was
  // short of its target: a count arrives on its way after the pulse that
  // carries it there.
  const uint32_t ulFrom = 0xFFFFFFFFu - ulStartCountdown;
  const auto pulsesShort = [&](uint16_t Sample::*field, uint16_t from, uint32_t counts) {
    uint32_t ulPulses = 0;
    for (size_t i = ulFrom; i < samples.size(); ++i) {
      if (static_cast<uint16_t>(samples[i].*field - from) < counts) ++ulPulses;
    }
    return ulPulses;
  };
  const uint32_t ulModelSupply = pulsesShort(&Sample::supply, start.supply, 72);
  const uint32_t ulModelTakeUp = pulsesShort(&Sample::takeUp, start.takeUp, 420);
  ASSERT_LT(ulModelSupply, samples.size());
  // The firmware sees each count within a few steps of the model.
  EXPECT_NEAR(ulSupply, ulModelSupply, 3.0);
  EXPECT_NEAR(ulTakeUp, ulModelTakeUp, 3.0);
}

TEST_F(RollEncoderChecks, TheFeedToTheRollEdgeMeasuresOneEncoderTurn) {
  uint32_t ulOffset = 0;
  int32_t lPosition = 0;
  EXPECT_EQ(Run([&] {
              const int32_t lResult = FeedToRollEdge(kMask, &ulOffset);
              g_PaperPosition.GetCurrentPointSteps(&lPosition);
              return lResult;
            }),
            0);
  const double mm = 36.0 / sim::PaperWeb::kRollEncPerTurn * sim::PaperWeb::kPi * Web().DiameterMm();
  const double steps = mm * sim::PaperWeb::kLinesPerMm * 4.0;
  EXPECT_NEAR(g_ulLoadFeedLength, steps, steps * 0.01);
  EXPECT_GT(ulOffset, g_ulLoadFeedLength);
  EXPECT_EQ(static_cast<uint32_t>(lPosition), LinesToSteps(65536) + ulOffset);
  EXPECT_NEAR(testsupport::RollDiameterNow(), Web().DiameterMm(), Web().DiameterMm() * 0.015);
  EXPECT_EQ(testsupport::RebuiltFeedMatchedRamps(), 4u);
  EXPECT_EQ(StateOf(g_StpmtrMain), STPMTR_IDLE);
}

TEST_F(RollEncoderChecks, AJammedRollEncRaisesUpperLJam65After12000Steps) {
  WebDevice().SetFault(sim::WebFault::RollEncJammed, true);
  uint32_t ulOffset = 4321;
  uint32_t ulCountdown = 0;
  EXPECT_EQ(Run([&] {
              const int32_t lResult = FeedToRollEdge(kMask, &ulOffset);
              g_StpmtrMain.GetCountdown(&ulCountdown);
              return lResult;
            }),
            -1);
  EXPECT_EQ(ulOffset, 4321u);
  EXPECT_GT(0xFFFFFFFFu - ulCountdown, 12000u);
  EXPECT_LT(0xFFFFFFFFu - ulCountdown, 12100u);
  EXPECT_EQ(g_ulLoadFeedLength, 0u);
  EXPECT_EQ(testsupport::RollDiameterNow(), testsupport::kUntouchedRollDiameter);
  EXPECT_TRUE(IsErrorRaised(0x1541));
  m_machine->RunUntil([this] { return Lcd().Visible() == "Upper L Jam   65"; }, Ms(3000));
  EXPECT_EQ(Lcd().Visible(), "Upper L Jam   65");
}

TEST_F(RollEncoderChecks, AfterARollEndTheFeedToTheEdgeSetsAFullRollAndNoOffset) {
  WebDevice().Detach();
  uint32_t ulOffset = 4321;
  EXPECT_EQ(Run([&] { return FeedToRollEdge(kMask, &ulOffset); }), 0);
  EXPECT_EQ(ulOffset, 4321u);
  EXPECT_EQ(testsupport::RollDiameterNow(), 177.0);
  EXPECT_EQ(testsupport::RebuiltFeedMatchedRamps(), 4u);
}

}  // namespace
