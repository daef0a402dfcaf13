// Feeds to a sensor on a printer running its main loop, the paper web
// moving under the steppers, on both engine variants (EM2 provisioned as
// "Engine Version" 1, so the web's roll and the firmware's sub stepper both
// turn the EM2 way): the web at rest, feeds on "Top L" both ways with and
// without extra lines and halting, the zero limit, the half-rate conversion
// of FeedUntilSensor, the coarse feed, the roll-limited feed's encoder
// limit, and the ramp loader on a TABLE of the test's own.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "firmware/control/debug_records.h"
#include "firmware/control/engine_variant.h"
#include "firmware/control/error_manager.h"
#include "firmware/devices/ramps.h"
#include "firmware/devices/settings.h"
#include "firmware/devices/sensors.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/mechanism/ribbon_watchdogs.h"
#include "firmware/mechanism/simple_positioners.h"
#include "firmware/mechanism/sensor_feeds.h"
#include "firmware/mechanism/step_machine.h"
#include "firmware/printengine/table_store.h"
#include "sim/fpga/fpga_main_block.h"
#include "sim/mechanism/stepper_drivers.h"
#include "sim/memory/nor_flash.h"
#include "tests/support/paper_web.h"
#include "tools/images/flash_map.h"
#include "tools/images/table_image.h"

namespace {

using namespace webtest;
using sim::EngineVariant;

constexpr uint32_t kMask = SEQ_CHECK_COVERS;
constexpr uint32_t kJam = 0x150D;
// The stepper drivers' energised bit.
constexpr uint8_t kEnergised = 0x02;

class SensorFeedsOnTheWeb : public WebPrinter, public ::testing::WithParamInterface<EngineVariant> {
 protected:
  void SetUp() override { BootWeb(GetParam()); }
  sim::StepperDrivers& Drivers() { return *m_machine->GetBoard().FindDevice<sim::StepperDrivers>(); }
};

TEST_P(SensorFeedsOnTheWeb, TheWebRestsThreadedOnPathLAndTheWatchesAreBuilt) {
  uint32_t aulState[4] = {};
  uint32_t ulPosRefA = 0;
  InLoop([&] {
    aulState[0] = Sensor(g_AdTopL);
    aulState[1] = Sensor(g_AdTopR);
    aulState[2] = Sensor(g_AdPosition);
    aulState[3] = Sensor(g_AdPaperEmpty);
    ulPosRefA = g_ulEngPosRefA;
  });
  EXPECT_EQ(aulState[0], 1u);
  EXPECT_EQ(aulState[1], 0u);
  EXPECT_EQ(aulState[2], 1u);
  EXPECT_EQ(aulState[3], 1u);
  // Model and firmware took the same variant.
  EXPECT_EQ(Mechanism().Variant(), GetParam());
  EXPECT_EQ(ulPosRefA, GetParam() == EngineVariant::EM2 ? 65364u : 65336u);
  EXPECT_EQ(g_pCurJamCheckRibbon, &g_JamCheckRibbonL);
  EXPECT_EQ(g_pCurLockCheckRibbon, &g_LockCheckRibbonL);
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

TEST_P(SensorFeedsOnTheWeb, FeedToSensorStopsTheExtraLinesAfterTopLChanged) {
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
    int32_t lMain = -1, lSub = -1;
    const int32_t lResult = Run([&] {
      const int32_t l = FeedToSensor(&g_AdTopL, c.direction, c.target, 3000, kJam, c.stopFlag, c.extraLines, kMask);
      lMain = StateOf(g_StpmtrMain);
      lSub = StateOf(g_StpmtrSub);
      return l;
    });
    EXPECT_EQ(lResult, 0);
    // Halted and energised, or left running for the caller.
    EXPECT_EQ(lMain == STPMTR_IDLE, c.stopFlag == 1);
    EXPECT_EQ(lSub == STPMTR_IDLE, c.stopFlag == 1);
    for (const sim::Stepper stepper : {sim::Stepper::Main, sim::Stepper::Sub}) {
      EXPECT_NE(Drivers().Control(stepper) & kEnergised, 0) << sim::Index(stepper);
    }
    StopSteppers();
    const double front = Web().Front();
    const double sign = c.direction == kForward ? 1.0 : -1.0;
    EXPECT_GT((front - before) * sign, 0.0);
    // The front passed Top by the extra lines (and the few steps that run
    // between the sensor's polls and the halt).
    const double past = (front - sim::PaperWeb::kTop) * sign;
    EXPECT_GE(past, static_cast<double>(c.extraLines) - 1.0);
    EXPECT_LE(past, static_cast<double>(c.extraLines) + 40.0);
    EXPECT_FALSE(IsErrorRaised(kJam));
  }
}

TEST_P(SensorFeedsOnTheWeb, AZeroLimitRaisesTheCallersIndexAfterOneStep) {
  const double before = Web().Front();
  EXPECT_EQ(Run([] { return FeedToSensor(&g_AdTopL, kBackward, 0, 0, kJam, 1, 0, kMask); }), -1);
  EXPECT_TRUE(IsErrorRaised(kJam));
  EXPECT_GT(before - Web().Front(), 0.0);
  EXPECT_LT(before - Web().Front(), 3.0);
}

TEST_P(SensorFeedsOnTheWeb, FeedUntilSensorInMode4ConvertsAtHalfRateAsMode1) {
  // Forward from the rest point "Top L" never clears: the limit of 200
  // lines passes, 400 steps at half rate ("Stp/Lx1000" 4000) in modes 1
  // and 4 alike; full steps in mode 1 carry the web 200 lines.
  for (uint32_t ulMode : {1u, 4u}) {
    SCOPED_TRACE(ulMode);
    InLoop([] { g_ErrorMng.ClearAllJams(); });
    const double before = Web().Front();
    uint32_t ulCountdown = 0;
    EXPECT_EQ(Run([&] {
                const int32_t lResult = FeedUntilSensor(&g_AdTopL, kForward, ulMode, 0, 200, kJam, 1, 0, kMask);
                ulCountdown = Countdown(g_StpmtrMain);
                return lResult;
              }),
              -1);
    EXPECT_TRUE(IsErrorRaised(kJam));
    StopSteppers();
    // 401 steps to the limit, a few more until the halt.
    EXPECT_GE(0x10000u + 400u - ulCountdown, 401u);
    EXPECT_LE(0x10000u + 400u - ulCountdown, 420u);
    if (ulMode == 1) {
      EXPECT_NEAR(Web().Front() - before, 205.0, 6.0);
    }
  }
}

TEST_P(SensorFeedsOnTheWeb, FeedToSensorCoarseFindsTopLBackwards) {
  EXPECT_EQ(Run([] { return FeedToSensorCoarse(&g_AdTopL, kBackward, 0, 3000, kJam, 1, 0, kMask); }), 0);
  EXPECT_NEAR(Web().Front(), sim::PaperWeb::kTop, 40.0);
  EXPECT_FALSE(IsErrorRaised(kJam));
}

// "Top R" never sees paper on path L: the roll, unwound by the sub stepper
// the variant's way, turns RollEnc past its limit before the sub stepper
// has run its own; also with the counter a few counts short of its 16-bit
// wrap, which the feed measures across.
TEST_P(SensorFeedsOnTheWeb, TheRollLimitedFeedPassesTheEncoderLimitWithTheRollTurning) {
  sim::FpgaMainBlock& fpga = *m_machine->GetBoard().FindDevice<sim::FpgaMainBlock>();
  for (const uint32_t ulShortOfWrap : {0u, 6u}) {
    SCOPED_TRACE(ulShortOfWrap);
    InLoop([] { g_ErrorMng.ClearAllJams(); });
    if (ulShortOfWrap != 0) {
      fpga.CountPulses(sim::PaperWebMechanism::kRollEncChannel, 0x10000u - ulShortOfWrap - fpga.Counter(sim::PaperWebMechanism::kRollEncChannel));
    }
    const uint64_t countsBefore = Web().RollEncCounts();
    EXPECT_EQ(Run([] { return FeedToSensorRollLimited(&g_AdTopR, kForward, 1, 300, kJam, 1, kMask); }), -1);
    EXPECT_TRUE(IsErrorRaised(kJam));
    EXPECT_GT(Web().RollEncCounts() - countsBefore, RollEncoderLimit(300));
    EXPECT_GT(Web().SlackMm(), 0.0) << "unwound into slack";
    EXPECT_LE(0xFFFFFFFFu - Countdown(g_StpmtrSub), RollSubStepLimit(RollEncoderLimit(300)));
  }
}

INSTANTIATE_TEST_SUITE_P(Variants, SensorFeedsOnTheWeb, ::testing::Values(EngineVariant::EM2, EngineVariant::EM3),
                         VariantName);

// ---- on EM3 only ----------------------------------------------------------------------------------

class FeedsOnTheWebEM3 : public WebPrinter {
 protected:
  void SetUp() override { BootWeb(EngineVariant::EM3); }
};

// Once "Top L" has changed the main stepper comes down over the extra lines
// and the feed waits for both steppers at constant speed. Without extra
// lines, or with the sub stepper running on its own (which the main
// stepper's deceleration does not take down), the steppers come down all
// the same: the main stepper at once, over its ramp.
TEST_F(FeedsOnTheWebEM3, TargetedFeedBothSteppersComeDownOverTheExtraLinesAfterTopLChanged) {
  struct Case {
    const char* name;
    uint32_t direction;
    uint32_t target;
    uint32_t limitLines;
    uint32_t extraLines;
    int32_t subIndependent;
    uint32_t stopFlag;
    int32_t result;
    int32_t stepperState;  // of both at the end
    // Where the front stands past "Top L" once halted.
    double minPast, maxPast;
  };
  const Case cases[] = {
      {"back to 0, 100 extra, halting", kBackward, 0, 3000, 100, 0, 1, 0, STPMTR_IDLE, 99.0, 120.0},
      {"forward to 1, no extra", kForward, 1, 3000, 0, 0, 1, 0, STPMTR_IDLE, 0.0, 150.0},
      {"back to 0, 100 extra, the sub on its own, running", kBackward, 0, 3000, 100, 1, 2, 0, STPMTR_CONSTANT,
       99.0, 250.0},
      // 300 lines further back, "Top L" never seeing paper again.
      {"back to 1: the limit passes", kBackward, 1, 300, 100, 0, 1, -1, STPMTR_IDLE, 400.0, 460.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    InLoop([] { g_ErrorMng.ClearAllJams(); });
    int32_t lMain = -1, lSub = -1;
    const int32_t lResult = Run(
        [&] {
          g_StpmtrSub.SetIndependent(c.subIndependent);
          const int32_t l = FeedToSensorTargeted(&g_AdTopL, c.direction, c.target, 2, 3, &g_Ramp27, &g_Ramp18,
                                                 c.limitLines, kJam, c.stopFlag, c.extraLines, kMask);
          lMain = StateOf(g_StpmtrMain);
          lSub = StateOf(g_StpmtrSub);
          g_StpmtrSub.SetIndependent(0);
          return l;
        },
        Ms(20000));
    EXPECT_EQ(lResult, c.result);
    EXPECT_EQ(IsErrorRaised(kJam), c.result == -1);
    EXPECT_EQ(lMain, c.stepperState);
    EXPECT_EQ(lSub, c.stepperState);
    StopSteppers();
    const double past = (Web().Front() - sim::PaperWeb::kTop) * (c.direction == kForward ? 1.0 : -1.0);
    EXPECT_GE(past, c.minPast);
    EXPECT_LE(past, c.maxPast);
  }
}

// The main stepper runs back at a constant rate, half steps, from where
// "Top L" clears `edge` steps away; a window check each pass, with the
// window some steps either side of that edge.
TEST_F(FeedsOnTheWebEM3, TheWindowChecksAtTheirEdgesOnTheWeb) {
  struct Case {
    const char* name;
    bool bHeld;  // CheckSensorHeldDuringFeed on state 1, else CheckSensorReachedInWindow on 0
    int32_t windowFromEdge;
    int32_t result;
    uint32_t flag;  // done or reached
    bool bPastWindow;
  };
  const Case cases[] = {
      {"reached inside the window", false, 40, 0, 1, false},
      {"not reached: the window passes", false, -40, -1, 0, true},
      {"held to the window's end", true, -40, 0, 1, true},
      {"left inside the window", true, 40, -1, 0, false},
  };
  constexpr uint32_t kStart = 0x100000;
  constexpr double kStepsPerLine = 4.0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    InLoop([] { g_ErrorMng.ClearAllJams(); });
    ASSERT_EQ(Run([] { return FeedToSensor(&g_AdTopL, kForward, 1, 3000, kJam, 1, 100, kMask); }), 0);
    const auto ulEdge = static_cast<uint32_t>(std::ceil((Web().Front() - sim::PaperWeb::kTop) * kStepsPerLine));
    const uint32_t ulWindow = ulEdge + static_cast<uint32_t>(c.windowFromEdge);
    int32_t lResult = 9;
    uint32_t ulFlag = 9, ulTravelled = 0;
    ASSERT_TRUE(InLoop([&] {
      g_StpmtrMain.SetCountdown(kStart);
      g_StpmtrMain.RunConstant(2000, kBackward, 2, 0);
      do {
        lResult = c.bHeld ? CheckSensorHeldDuringFeed(&g_AdTopL, 1, ulFlag, kStart, ulWindow, ulTravelled, kJam)
                          : CheckSensorReachedInWindow(&g_AdTopL, 0, ulFlag, kStart, ulWindow, ulTravelled, kJam);
      } while (lResult == 0 && ulFlag == 0);
      g_StpmtrMain.Halt();
    }));
    EXPECT_EQ(lResult, c.result);
    EXPECT_EQ(ulFlag, c.flag);
    EXPECT_EQ(IsErrorRaised(kJam), c.result == -1);
    const uint32_t ulEnd = c.bPastWindow ? ulWindow : ulEdge;
    EXPECT_GT(ulTravelled, ulEnd - 1);
    EXPECT_LE(ulTravelled, ulEnd + 8);
  }
}

// The traced feed's records {direction, direction, load-pinch position,
// "Printpath Flag", the raw reading}: kind 2 at each poll before "Top L"
// changed, kind 3 when it did, kind 4 at the limit; the kinds a run does
// not reach stay as cleared.
TEST_F(FeedsOnTheWebEM3, TheTracedFeedRecordsItsPollsTheChangeAndTheLimit) {
  struct Case {
    const char* name;
    uint32_t target;
    uint32_t limitLines;
    int32_t result;
    bool abRecorded[3];  // kinds 2, 3, 4
  };
  const Case cases[] = {
      {"back until Top L clears", 0, 3000, 0, {true, true, false}},
      {"back to 1: the limit passes", 1, 100, -1, {true, false, true}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DebugRecord record{};
    uint32_t ulPinch = 0;
    int32_t lPath = 0;
    const int32_t lResult = Run([&] {
      ClearDebugRecord();
      const int32_t l = FeedToSensorTraced(&g_AdTopL, kBackward, c.target, c.limitLines, kJam, 1, 0, kMask);
      record = g_DebugRecord;
      g_LoadPinch.GetPosition(&ulPinch);
      g_ParamPrintpathFlag.GetValue(&lPath);
      return l;
    });
    EXPECT_EQ(lResult, c.result);
    for (uint32_t k = 0; k < 3; ++k) {
      const uint32_t* pTrace = record.aulTrace[k];
      if (!c.abRecorded[k]) {
        EXPECT_EQ(std::vector<uint32_t>(pTrace, pTrace + 5), std::vector<uint32_t>(5, 0)) << "kind " << k + 2;
        continue;
      }
      EXPECT_EQ(std::vector<uint32_t>(pTrace, pTrace + 4),
                (std::vector<uint32_t>{kBackward, kBackward, ulPinch, static_cast<uint32_t>(lPath)}))
          << "kind " << k + 2;
    }
    // The last poll before the change saw paper, the change none.
    if (c.abRecorded[1]) {
      EXPECT_GT(record.aulTrace[0][4], record.aulTrace[1][4]);
    }
    if (c.abRecorded[2]) {
      EXPECT_EQ(record.aulTrace[2][4], record.aulTrace[0][4]);
    }
  }
}

// ---- the ramp loader on a TABLE of the test's own ----------------------------------------------

class RampTablesFromTable : public FeedsOnTheWebEM3 {
 protected:
  // The image in the TABLE area, then the start-up's check of it.
  void PutTable(const images::TableImageParams& params) {
    const images::Bytes image = images::BuildTableImage(params);
    sim::NorFlash& flash = *m_machine->GetBoard().FindDevice<sim::NorFlash>();
    const images::Bytes erased(images::kTableAreaBytes, 0xFF);
    flash.LoadImage(images::kAreaTable.offset, erased.data(), images::kTableAreaBytes);
    flash.LoadImage(images::kAreaTable.offset, image.data(), static_cast<uint32_t>(image.size()));
    int32_t lCheck = 9;
    InLoop([&] { lCheck = InitTableData(); });
    ASSERT_EQ(lCheck, 0);
  }
  // Start period, top period and ramp time of a ramp.
  static std::vector<uint32_t> Params(const CRampTable& ramp) {
    std::vector<uint32_t> params(3);
    for (uint32_t id = 1; id <= 3; ++id) ramp.GetParam(id, &params[id - 1]);
    return params;
  }
};

// The sample TABLE (both banks, every value 0 but the head's) with column 5
// filled: top period at 5, start periods at 13 and 21, ramp times at 29 and
// 37; bank 1 holds other numbers.
TEST_F(RampTablesFromTable, OneColumnOfTheSelectedBankSetsUpTwoRampsSharingTheirTopSpeed) {
  images::TableImageParams p = images::SampleTableParams();
  const uint32_t aulColumn[2][5] = {{400, 1600, 1200, 30, 50}, {500, 2000, 1000, 40, 20}};
  for (uint32_t bank = 0; bank < 2; ++bank) {
    for (uint32_t row = 0; row < 5; ++row) p.values[bank][5 + 8 * row] = aulColumn[bank][row];
  }
  PutTable(p);
  for (uint32_t bank = 0; bank < 2; ++bank) {
    SCOPED_TRACE(bank);
    int32_t lSelect = 9, lResult = 9;
    std::vector<uint32_t> a, b;
    uint32_t ulCountA = 0, ulCountB = 0;
    uint16_t* pusA = nullptr;
    uint16_t* pusB = nullptr;
    InLoop([&] {
      lSelect = SelectTableBank(bank);
      lResult = LoadRampTablesFromTable(5, &g_Ramp40, &g_Ramp41, kMask);
      a = Params(g_Ramp40);
      b = Params(g_Ramp41);
      g_Ramp40.GetCount(&ulCountA);
      g_Ramp41.GetCount(&ulCountB);
      g_Ramp40.GetTable(&pusA);
      g_Ramp41.GetTable(&pusB);
    });
    ASSERT_EQ(lSelect, 0);
    EXPECT_EQ(lResult, 0);
    const uint32_t* pCol = aulColumn[bank];
    EXPECT_EQ(a, (std::vector<uint32_t>{pCol[1], pCol[0], pCol[3]}));
    EXPECT_EQ(b, (std::vector<uint32_t>{pCol[2], pCol[0], pCol[4]}));
    // Both ramps end at the same top period, from their own start periods.
    ASSERT_GT(ulCountA, 0u);
    ASSERT_GT(ulCountB, 0u);
    EXPECT_EQ(pusA[ulCountA], pusB[ulCountB]);
    EXPECT_NE(pusA[0], pusB[0]);
  }
}

TEST_F(RampTablesFromTable, IndexesWhoseValuesPass255AndAnEmptyColumnSetUpNothing) {
  // Column 224's rows up to 248 hold periods; column 6 is empty.
  images::TableImageParams p = images::SampleTableParams();
  for (uint32_t index = 224; index < 256; index += 8) p.values[0][index] = 700;
  PutTable(p);
  struct Case {
    const char* name;
    uint32_t ulIndex;
    int32_t lResult;
  };
  const Case cases[] = {
      {"the last value at 256", 224, -2},
      {"index 256", 256, -2},
      {"the top period 0: the set-up refuses", 6, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int32_t lResult = 9;
    std::vector<uint32_t> before, after;
    InLoop([&] {
      before = Params(g_Ramp40);
      lResult = LoadRampTablesFromTable(c.ulIndex, &g_Ramp40, &g_Ramp41, kMask);
      after = Params(g_Ramp40);
    });
    EXPECT_EQ(lResult, c.lResult);
    EXPECT_EQ(after, before);
  }
}

}  // namespace
