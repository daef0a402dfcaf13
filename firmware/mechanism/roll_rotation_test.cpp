// The paper-roll rotation on the board with "UnitPosi", the counters and
// the clock scripted by the test (the motors stay without supply, so the
// carousel model moves nothing): the duty ramp as it is built and stepped,
// the notch rule, the turn's refusals and failures, and the homing's stall
// and time-out.
#include "firmware/mechanism/roll_rotation.h"

#include <ostream>
#include <vector>

#include "firmware/devices/machine_actuators.h"
#include "firmware/devices/parameter.h"
#include "firmware/devices/settings.h"
#include "firmware/mechanism/positioner_test_rig.h"
#include "firmware/platform/time_base.h"
#include "sim/fpga/fpga_main_block.h"
#include "sim/mechanism/carousel.h"

// Ramp entries compared and printed where gtest looks for them.
static bool operator==(const RollDutyEntry& a, const RollDutyEntry& b) {
  return a.ulCounts == b.ulCounts && a.ulDuty == b.ulDuty;
}
static std::ostream& operator<<(std::ostream& out, const RollDutyEntry& e) {
  return out << "{" << e.ulCounts << ", " << e.ulDuty << "}";
}

namespace paneltest {
namespace {

constexpr uint32_t kTurnEnc = sim::Carousel::kTurnEncChannel;
constexpr uint32_t kFaultChk = sim::Carousel::kFaultChkChannel;

std::vector<RollDutyEntry> Ramp() {
  std::vector<RollDutyEntry> ramp;
  for (const RollDutyEntry& e : g_aRollDutyRamp) {
    ramp.push_back(e);
    if (e.ulCounts == 0) break;
  }
  return ramp;
}
uint32_t RampCounts() {
  uint32_t ulSum = 0;
  for (const RollDutyEntry& e : Ramp()) ulSum += e.ulCounts;
  return ulSum;
}

uint32_t PaperRotState() {
  uint32_t ulState = 9;
  g_DcMotorPaperRot.GetState(&ulState);
  return ulState;
}
// The motor's lines on DCMOTOR0 (polarity 1): both clear stop it, both set
// brake it.
constexpr uint16_t kPaperRotLines = 0x0C00;
enum class Lines { Stopped, Braked, Driven };
Lines PaperRotLines(const sim::FpgaMainBlock& fpga) {
  const uint16_t usLines = fpga.Register(0x30) & kPaperRotLines;
  return usLines == 0 ? Lines::Stopped : usLines == kPaperRotLines ? Lines::Braked : Lines::Driven;
}
uint32_t PaperRotDuty() {
  uint32_t ulDuty = 0;
  g_ChopMotorPaperRot.GetDuty(&ulDuty);
  return ulDuty;
}

// ---- the duty ramp ----

TEST(RollDutyRamp, StepsDownByFiveEachACountSoonerThenToTheEndDuty) {
  struct Case {
    uint32_t ulStart;
    uint32_t ulEnd;
    std::vector<RollDutyEntry> ramp;
    uint32_t ulCounts;
  };
  const Case cases[] = {
      {80, 30, {{20, 75}, {19, 70}, {18, 65}, {17, 60}, {16, 55}, {15, 50}, {14, 45}, {13, 40}, {12, 35}, {11, 30}, {0, 0}},
       155},
      {50, 30, {{20, 45}, {19, 40}, {18, 35}, {17, 30}, {0, 0}}, 74},
      // An odd distance: the last step is short.
      {50, 33, {{20, 45}, {19, 40}, {18, 35}, {17, 33}, {0, 0}}, 74},
      {37, 30, {{20, 32}, {19, 30}, {0, 0}}, 39},
      // Nothing to ramp: no change at all.
      {30, 30, {{0, 30}}, 0},
      {20, 30, {{0, 20}}, 0},
      // Less than one step: straight to the end duty after a count.
      {33, 30, {{1, 30}, {0, 0}}, 1},
  };
  for (const Case& c : cases) {
    // A long ramp first: nothing of it may show through a shorter one.
    BuildRollDutyRamp(80, 30);
    g_RollRotationState.ulRampIndex = 7;
    BuildRollDutyRamp(c.ulStart, c.ulEnd);
    EXPECT_EQ(Ramp(), c.ramp) << c.ulStart << "/" << c.ulEnd;
    EXPECT_EQ(RampCounts(), c.ulCounts) << c.ulStart << "/" << c.ulEnd;
    EXPECT_EQ(g_RollRotationState.ulRampIndex, 0u);
  }
}

TEST(RollDutyRamp, ARampLongerThanTheTableStillEndsAtTheEndDutyInsideIt) {
  for (const uint32_t ulStart : {95u, 100u, 200u}) {
    for (RollDutyEntry& e : g_aRollDutyRamp) e = {99, 99};
    BuildRollDutyRamp(ulStart, 0);
    const std::vector<RollDutyEntry> ramp = Ramp();
    ASSERT_LE(ramp.size(), kRollDutyRampEntries) << ulStart;
    ASSERT_GE(ramp.size(), 2u);
    EXPECT_EQ(ramp.back(), (RollDutyEntry{0, 0})) << ulStart;
    EXPECT_EQ(ramp[ramp.size() - 2].ulDuty, 0u) << ulStart << ": ends at the end duty";
  }
  // Up to 95 apart the table holds the whole ramp.
  BuildRollDutyRamp(95, 0);
  EXPECT_EQ(Ramp().size(), kRollDutyRampEntries);
  EXPECT_EQ(Ramp()[17], (RollDutyEntry{3, 5}));
}

TEST_F(PanelTest, TheRampStepChangesTheDutyOnceItsCountsHaveGone) {
  InApp([] {
    BuildRollDutyRamp(50, 30);
    g_ChopMotorPaperRot.SetDuty(50);
    struct Step {
      uint32_t ulCount;
      uint32_t ulLast;
      uint32_t ulWantLast;
      uint32_t ulWantDuty;
    };
    // The counts wrap as unsigned values.
    const Step steps[] = {{0xFFFFFFF0u, 0xFFFFFFF0u, 0xFFFFFFF0u, 50},
                          {4, 0xFFFFFFF0u, 4, 45},
                          {22, 4, 4, 45},
                          {23, 4, 23, 40},
                          {41, 23, 41, 35},
                          {57, 41, 41, 35},
                          {58, 41, 58, 30},
                          {1000, 58, 58, 30}};
    for (const Step& s : steps) {
      EXPECT_EQ(RollDutyRampStep(s.ulCount, s.ulLast), s.ulWantLast) << s.ulCount;
      EXPECT_EQ(PaperRotDuty(), s.ulWantDuty) << s.ulCount;
    }
    EXPECT_EQ(g_RollRotationState.ulRampIndex, 4u) << "stays on the end entry";
  });
}

// ---- the turn ----

TEST_F(PanelTest, TheTurnCountsAreTheEngineVersionsColumn) {
  struct Case {
    int32_t lVersion;
    std::vector<uint32_t> counts;
  };
  const Case cases[] = {{1, {376, 630, 736, 270, 1350, 1710}},
                        {5, {676, 330, 436, 570, 1650, 1410}},
                        {0, {676, 330, 436, 570, 1650, 1410}},
                        {2, {676, 330, 436, 570, 1650, 1410}}};
  for (const Case& c : cases) {
    SetRollTurnCounts(c.lVersion);
    EXPECT_EQ(std::vector<uint32_t>(std::begin(g_RollRotationState.aulTurnCounts),
                                    std::end(g_RollRotationState.aulTurnCounts)),
              c.counts)
        << c.lVersion;
  }
}

class RollTurn : public PositionerTest {};

TEST_F(RollTurn, StartsOnlyFromAPositionToAnotherAndLeavesTheFlagAloneOtherwise) {
  struct Case {
    int32_t lFlag;
    uint32_t ulTarget;
    int32_t lResult;
    uint32_t ulMotor;
    int32_t lFlagAfter;
    uint32_t ulDuty;
  };
  const Case cases[] = {
      {1, 3, 0, DC_MOTOR_FORWARD, 0, 50}, {3, 1, 0, DC_MOTOR_REVERSE, 0, 50}, {1, 2, 0, DC_MOTOR_REVERSE, 0, 50},
      {2, 1, 0, DC_MOTOR_FORWARD, 0, 50}, {2, 3, 0, DC_MOTOR_FORWARD, 0, 80}, {3, 2, 0, DC_MOTOR_REVERSE, 0, 80},
      // Already there: nothing moves, the flag stays.
      {2, 2, 0, DC_MOTOR_STOPPED, 2, 0},
      // The position not defined, or no position: nothing starts.
      {0, 1, -1, DC_MOTOR_STOPPED, 0, 0}, {4, 1, -1, DC_MOTOR_STOPPED, 4, 0}, {5, 3, -1, DC_MOTOR_STOPPED, 5, 0},
      // A target that is no position.
      {1, 0, -1, DC_MOTOR_STOPPED, 1, 0}, {1, 4, -1, DC_MOTOR_STOPPED, 1, 0}, {3, 7, -1, DC_MOTOR_STOPPED, 3, 0},
  };
  InApp([&] {
    SetRollTurnCounts(5);
    for (const Case& c : cases) {
      g_ChopMotorPaperRot.Stop();
      g_ChopMotorPaperRot.SetDuty(0);
      g_ParamRotationFlag.SetValueNoSave(c.lFlag);
      EXPECT_EQ(StartRollTurn(c.ulTarget), c.lResult) << c.lFlag << "->" << c.ulTarget;
      EXPECT_EQ(PaperRotState(), c.ulMotor) << c.lFlag << "->" << c.ulTarget;
      EXPECT_EQ(SettingValue(g_ParamRotationFlag), c.lFlagAfter) << c.lFlag << "->" << c.ulTarget;
      EXPECT_EQ(PaperRotDuty(), c.ulDuty) << c.lFlag << "->" << c.ulTarget;
      EXPECT_EQ(g_RollRotationState.ulStepState, c.lResult == 0 && c.ulMotor != DC_MOTOR_STOPPED ? 100u : 0u);
      EXPECT_EQ(RollTurnStep() == 0, c.ulMotor == DC_MOTOR_STOPPED) << "an idle step reports arrived";
    }
    g_ChopMotorPaperRot.Stop();
  });
}

// "UnitPosi" must stay on for more than 24 counts before its falling edge
// starts the count: a shorter on-phase does not, a longer one does.
TEST_F(RollTurn, TheNotchCountsOnlyAfterMoreThan24CountsOn) {
  HeldBit& unitPosi = Hold(sim::Carousel::kUnitPosi.word, sim::Carousel::kUnitPosi.bit);
  sim::FpgaMainBlock& fpga = Fpga();
  InApp([&] {
    SetRollTurnCounts(5);
    g_ParamRotationFlag.SetValueNoSave(ROLL_POS_NEUTRAL);
    ASSERT_EQ(StartRollTurn(ROLL_POS_RIGHT), 0);
    // Outside a notch: the turn looks for one.
    EXPECT_EQ(RollTurnStep(), 1);
    EXPECT_EQ(g_RollRotationState.ulStepState, 100u);
    unitPosi.level = Bit::On;
    fpga.CountPulses(kTurnEnc, 7);  // the count restarts at the notch
    EXPECT_EQ(RollTurnStep(), 1);
    EXPECT_EQ(g_RollRotationState.ulStepState, 101u);
    EXPECT_EQ(g_RollRotationState.ulStartCount, 0u);
    // 24 counts on, then off: still in the notch's state.
    fpga.CountPulses(kTurnEnc, 24);
    EXPECT_EQ(RollTurnStep(), 1);
    unitPosi.level = Bit::Off;
    fpga.CountPulses(kTurnEnc, 10);
    EXPECT_EQ(RollTurnStep(), 1);
    EXPECT_EQ(g_RollRotationState.ulStepState, 101u) << "a short on-phase starts nothing";
    // On again past 24 counts: the notch is taken; its falling edge starts
    // the count.
    unitPosi.level = Bit::On;
    EXPECT_EQ(RollTurnStep(), 1);
    EXPECT_EQ(g_RollRotationState.ulStepState, 102u);
    fpga.CountPulses(kTurnEnc, 5);
    EXPECT_EQ(RollTurnStep(), 1);
    EXPECT_EQ(g_RollRotationState.ulStepState, 102u);
    unitPosi.level = Bit::Off;
    EXPECT_EQ(RollTurnStep(), 1);
    EXPECT_EQ(g_RollRotationState.ulStepState, 103u);
    EXPECT_EQ(g_RollRotationState.ulStartCount, 39u);
    // 676 counts: full speed until 316 counts past the edge.
    EXPECT_EQ(RollTurnStep(), 1);
    EXPECT_EQ(g_RollRotationState.ulStepState, 104u);
    fpga.CountPulses(kTurnEnc, 316);
    EXPECT_EQ(RollTurnStep(), 1);
    EXPECT_EQ(g_RollRotationState.ulStepState, 104u);
    fpga.CountPulses(kTurnEnc, 1);
    EXPECT_EQ(RollTurnStep(), 1);
    EXPECT_EQ(g_RollRotationState.ulStepState, 105u);
    EXPECT_EQ(PaperRotDuty(), 50u);
    fpga.CountPulses(kTurnEnc, 20);
    EXPECT_EQ(RollTurnStep(), 1);
    EXPECT_EQ(PaperRotDuty(), 45u);
    EXPECT_EQ(SettingValue(g_ParamRotationFlag), 0) << "between positions";
    // The rest of the 676: braked at the target.
    fpga.CountPulses(kTurnEnc, 676 - 317 - 20 - 1);
    EXPECT_EQ(RollTurnStep(), 1);
    fpga.CountPulses(kTurnEnc, 1);
    EXPECT_EQ(RollTurnStep(), 0);
    EXPECT_EQ(PaperRotLines(fpga), Lines::Braked);
    EXPECT_EQ(SettingValue(g_ParamRotationFlag), ROLL_POS_RIGHT);
    EXPECT_EQ(g_RollRotationState.ulStepState, 0u);
    g_ChopMotorPaperRot.Stop();
  });
}

TEST_F(RollTurn, AnUnknownStateOrTheTimeOutStopsTheMotorAndRaises540) {
  const sim::FpgaMainBlock& fpga = Fpga();
  InApp([&] {
    SetRollTurnCounts(5);
    for (const uint32_t ulState : {999u, 7u, 106u}) {
      g_ErrorMng.ClearError(kRollRotationError);
      g_ChopMotorPaperRot.Forward();
      g_RollRotationState.ulStepState = ulState;
      EXPECT_EQ(RollTurnStep(), -1) << ulState;
      EXPECT_EQ(PaperRotLines(fpga), Lines::Stopped) << ulState;
      EXPECT_TRUE(ErrorSet(kRollRotationError)) << ulState;
      g_ErrorMng.ClearError(kRollRotationError);
      g_ChopMotorPaperRot.Forward();
      EXPECT_EQ(RollHomingStep(), -1) << ulState;
      EXPECT_EQ(PaperRotLines(fpga), Lines::Stopped) << ulState;
      EXPECT_TRUE(ErrorSet(kRollRotationError)) << ulState;
    }
    // A turn that never finds its notch: after 10 s the next step fails.
    g_ErrorMng.ClearError(kRollRotationError);
    g_ParamRotationFlag.SetValueNoSave(ROLL_POS_RIGHT);
    ASSERT_EQ(StartRollTurn(ROLL_POS_LEFT), 0);
    const uint32_t ulStart = NowMs();
    int32_t lResult = 1;
    while (lResult == 1) {
      g_MsTimer.WaitMs(1);
      lResult = RollTurnStep();
    }
    EXPECT_EQ(lResult, -1);
    // The step after the time-out, and 540's history entry in the EEPROM.
    EXPECT_GE(NowMs() - ulStart, kRollMoveTimeoutMs);
    EXPECT_LE(NowMs() - ulStart, kRollMoveTimeoutMs + 10);
    EXPECT_TRUE(ErrorSet(kRollRotationError));
    EXPECT_EQ(SettingValue(g_ParamRotationFlag), 0) << "stays undefined";
  }, Ms(15000));
}

// ---- the homing ----

TEST_F(RollTurn, HomingEndsAfter500MsWithoutAFaultChkCountAndFailsAfter10sOfCounting) {
  sim::FpgaMainBlock& fpga = Fpga();
  InApp([&] {
    g_ParamRotationFlag.SetValueNoSave(ROLL_POS_UNDEFINED);
    ASSERT_EQ(StartRollHoming(), 0);
    EXPECT_EQ(PaperRotState(), static_cast<uint32_t>(DC_MOTOR_FORWARD));
    EXPECT_EQ(PaperRotDuty(), 50u);
    // Counting every 5 ms for two seconds: still on its way.
    for (uint32_t ulMs = 0; ulMs < 2000; ulMs += 5) {
      fpga.CountPulses(kFaultChk);
      g_MsTimer.WaitMs(5);
      ASSERT_EQ(RollHomingStep(), 1);
    }
    // The end stop: no count for 500 ms.
    fpga.CountPulses(kFaultChk);
    ASSERT_EQ(RollHomingStep(), 1);
    const uint32_t ulLastCount = NowMs();
    int32_t lResult = 1;
    while (lResult == 1) lResult = RollHomingStep();
    EXPECT_EQ(lResult, 0);
    // The flag's write to the EEPROM follows the stall's 500 ms.
    EXPECT_GE(NowMs() - ulLastCount, kRollStallMs);
    EXPECT_LE(NowMs() - ulLastCount, kRollStallMs + 10);
    EXPECT_EQ(PaperRotLines(fpga), Lines::Stopped);
    EXPECT_EQ(SettingValue(g_ParamRotationFlag), ROLL_POS_RIGHT);
    EXPECT_FALSE(ErrorSet(kRollRotationError));

    // A carousel that keeps counting: 540 after the 10 s.
    const uint32_t ulStart = NowMs();
    ASSERT_EQ(StartRollHoming(), 0);
    lResult = 1;
    while (lResult == 1) {
      fpga.CountPulses(kFaultChk);
      g_MsTimer.WaitMs(5);
      lResult = RollHomingStep();
      if (lResult == 1) lResult = RollHomingStep();
    }
    EXPECT_EQ(lResult, -1);
    EXPECT_GE(NowMs() - ulStart, kRollMoveTimeoutMs);
    EXPECT_LE(NowMs() - ulStart, kRollMoveTimeoutMs + 15);
    EXPECT_EQ(PaperRotLines(fpga), Lines::Stopped);
    EXPECT_TRUE(ErrorSet(kRollRotationError));
  }, Ms(20000));
}

}  // namespace
}  // namespace paneltest
