// The shared positioner model on the board: the time-out boundary, the
// sequence of sensor levels, reads that bounce, and the simple positioners'
// start, arrival check, latch and repeated time-out with their switches set
// by the test.
#include "firmware/mechanism/positioner.h"

#include <vector>

#include "firmware/control/error_manager.h"
#include "firmware/devices/chop_motor.h"
#include "firmware/devices/dc_motor.h"
#include "firmware/devices/machine_actuators.h"
#include "firmware/devices/sensors.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/mechanism/simple_positioners.h"
#include "firmware/mechanism/positioner_test_rig.h"

namespace paneltest {
namespace {

// Head L's switches: up IN1 bit 0, down IN1 bit 1.
constexpr uint32_t kHeadWord = 1, kHeadUpBit = 0, kHeadDownBit = 1;

TEST_F(PositionerTest, ATimeOutNeedsOneMillisecondMoreThanItsLength) {
  struct Case {
    uint32_t ulTimeoutMs;
    uint32_t ulElapsedMs;
    bool bTimedOut;
  };
  InApp([] {
    for (const Case& c : {Case{2000, 2000, false}, Case{2000, 2001, true}, Case{1000, 1000, false},
                          Case{1000, 1001, true}, Case{2000, 0, false},
                          // A start time ahead of now is far in the past in unsigned arithmetic.
                          Case{2000, 0xFFFFFFFFu, true}}) {
      PositionerRecord rec(c.ulTimeoutMs);
      rec.ulStartMs = g_MsTimer.NowMs() - c.ulElapsedMs;
      EXPECT_EQ(rec.IsTimedOut(), c.bTimedOut) << c.ulTimeoutMs << " after " << c.ulElapsedMs;
    }
  });
}

TEST_F(PositionerTest, ARecordStartsWithEveryLevelUnusedAndFillsOnlyWhatAMoveUses) {
  InApp([] {
    PositionerRecord rec(2000);
    for (int32_t lLevel : rec.alLevel) EXPECT_EQ(lLevel, -1);
    EXPECT_EQ(rec.ulTimeoutMs, 2000u);
    rec.Follow(&g_SensorHeadLDn, kLevelsTurnOff);
    EXPECT_EQ(rec.alLevel[0], 1);
    EXPECT_EQ(rec.alLevel[1], 0);
    for (uint32_t i = 2; i < PositionerRecord::kLevelSlots; ++i) EXPECT_EQ(rec.alLevel[i], -1);
    EXPECT_EQ(rec.lLength, 2);
    EXPECT_EQ(rec.usStep, POS_STEP_FOLLOW);
  });
}

TEST_F(PositionerTest, TheSequenceAdvancesOnlyOnTheLevelItExpectsNext) {
  struct Case {
    const char* pszName;
    const PositionerLevels* pLevels;
    std::vector<Bit> reads;
    uint32_t ulCompleteAfter;  // reads until complete, 0: never
  };
  HeldBit& down = Hold(kHeadWord, kHeadDownBit);
  const std::vector<Case> cases = {
      {"three off then on", &kLevelsOffThenOn, {Bit::Off, Bit::Off, Bit::Off, Bit::On}, 4},
      {"on at the first poll counts for nothing",
       &kLevelsOffThenOn,
       {Bit::On, Bit::Off, Bit::Off, Bit::On, Bit::Off, Bit::On},
       6},
      {"bouncing reads leave the index",
       &kLevelsOffThenOn,
       {Bit::Off, Bit::Chatter, Bit::Chatter, Bit::Off, Bit::Chatter, Bit::On, Bit::Off, Bit::On},
       8},
      {"two on-phases", &kLevelsTwoOnPhases, {Bit::Off, Bit::On, Bit::Off, Bit::On}, 4},
      {"one long on-phase is not two", &kLevelsTwoOnPhases, {Bit::Off, Bit::On, Bit::On, Bit::On}, 0},
      {"turning off", &kLevelsTurnOff, {Bit::Off, Bit::On, Bit::On, Bit::Off}, 4},
  };
  InApp([&] {
    for (const Case& c : cases) {
      PositionerRecord rec(2000);
      rec.Follow(&g_SensorHeadLDn, *c.pLevels);
      uint32_t ulCompleteAfter = 0;
      for (uint32_t i = 0; i < c.reads.size() && ulCompleteAfter == 0; ++i) {
        down.level = c.reads[i];
        uint32_t ulComplete = 0;
        const int32_t lRead = rec.PollSequence(&ulComplete);
        if (c.reads[i] == Bit::Chatter) {
          EXPECT_NE(lRead, 0) << c.pszName;
        }
        if (ulComplete != 0) ulCompleteAfter = i + 1;
      }
      EXPECT_EQ(ulCompleteAfter, c.ulCompleteAfter) << c.pszName;
    }
  });
}

// Steps a move until it is done or fails, at most `limit` polls.
int32_t StepUntilDone(CHeadLift& head, int32_t* plDone, uint32_t ulLimit = 10000000) {
  int32_t lResult = 0;
  *plDone = 0;
  for (uint32_t i = 0; i < ulLimit && lResult == 0 && *plDone == 0; ++i) lResult = head.Step(plDone);
  return lResult;
}

TEST_F(PositionerTest, HeadUpWhileTheUpSwitchIsOnSetsTheDriveButMovesNothing) {
  HeldBit& up = Hold(kHeadWord, kHeadUpBit);
  Hold(kHeadWord, kHeadDownBit);
  up.level = Bit::On;
  InApp([] {
    uint32_t ulState = 99, ulPeriod = 0, ulDuty = 0, ulPosition = 0;
    EXPECT_EQ(g_HeadLiftL.StartMove(HEAD_POS_UP), 0);
    g_DcMotorHeadL.GetState(&ulState);
    EXPECT_EQ(ulState, static_cast<uint32_t>(DC_MOTOR_STOPPED));
    g_ChopMotorHeadL.GetPeriod(&ulPeriod);
    g_ChopMotorHeadL.GetDuty(&ulDuty);
    EXPECT_EQ(ulPeriod, 800u) << "U x100[uSec] 8 times 100";
    EXPECT_EQ(ulDuty, 100u);
    g_HeadLiftL.GetPosition(&ulPosition);
    EXPECT_EQ(ulPosition, static_cast<uint32_t>(HEAD_POS_UP));
    int32_t lDone = 0;
    EXPECT_EQ(g_HeadLiftL.Step(&lDone), 0) << "the next step verifies the position";
    EXPECT_EQ(lDone, 1);
    // Asked for the position it has, it starts nothing.
    EXPECT_EQ(g_HeadLiftL.StartMove(HEAD_POS_UP), 0);
    g_DcMotorHeadL.GetState(&ulState);
    EXPECT_EQ(ulState, static_cast<uint32_t>(DC_MOTOR_STOPPED));
  });
}

TEST_F(PositionerTest, RequestsWithoutASubMoveAreRefusedAndChangeNothing) {
  InApp([] {
    for (uint32_t ulRequest : {3u, 7u, 0xFFFFu}) {
      EXPECT_EQ(g_HeadLiftL.StartMove(ulRequest), -1) << ulRequest;
      EXPECT_EQ(g_LoadPinch.StartMove(ulRequest), -1) << ulRequest;
    }
    // Request 0 is the position every positioner has after power-on.
    EXPECT_EQ(g_LoadBar.StartMove(0), 0);
    EXPECT_EQ(g_EjectPinch.StartMove(4), -1);
    uint32_t ulState = 99;
    g_DcMotorHeadL.GetState(&ulState);
    EXPECT_EQ(ulState, static_cast<uint32_t>(DC_MOTOR_STOPPED));
    // Position 0 has no verification row: it fails without an error index.
    EXPECT_EQ(g_HeadLiftR.Verify(), -1);
    EXPECT_FALSE(ErrorSet(0x302));
    EXPECT_FALSE(ErrorSet(0x204));
  });
}

TEST_F(PositionerTest, ADownMoveEndsOnTheFourthMatchingPollThenBrakesAndChecksTheUpSwitch) {
  HeldBit& up = Hold(kHeadWord, kHeadUpBit);
  HeldBit& down = Hold(kHeadWord, kHeadDownBit);
  InApp([&] {
    down.level = Bit::On;  // on at the first poll: not yet arrived
    EXPECT_EQ(g_HeadLiftL.StartMove(HEAD_POS_DOWN), 0);
    uint32_t ulState = 0;
    g_DcMotorHeadL.GetState(&ulState);
    EXPECT_EQ(ulState, static_cast<uint32_t>(DC_MOTOR_FORWARD));
    int32_t lDone = 0;
    EXPECT_EQ(g_HeadLiftL.Step(&lDone), 0);
    down.level = Bit::Off;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(g_HeadLiftL.Step(&lDone), 0);
    EXPECT_EQ(lDone, 0);
    down.level = Bit::On;
    EXPECT_EQ(g_HeadLiftL.Step(&lDone), 0);
    EXPECT_EQ(lDone, 0) << "complete: the next step brakes";
    up.level = Bit::On;  // the other end's switch is on at arrival
    EXPECT_EQ(g_HeadLiftL.Step(&lDone), -1);
    EXPECT_EQ(lDone, 1);
    EXPECT_TRUE(ErrorSet(0x301));
    uint32_t ulPosition = 9;
    g_HeadLiftL.GetPosition(&ulPosition);
    EXPECT_EQ(ulPosition, 0u);
    g_DcMotorHeadL.GetState(&ulState);
    EXPECT_EQ(ulState, static_cast<uint32_t>(DC_MOTOR_STOPPED));
    // The latch holds: nothing starts, and the next step fails on position 0
    // without a new error.
    g_ErrorMng.ClearError(0x301);
    EXPECT_EQ(g_HeadLiftL.StartMove(HEAD_POS_UP), 0);
    g_DcMotorHeadL.GetState(&ulState);
    EXPECT_EQ(ulState, static_cast<uint32_t>(DC_MOTOR_STOPPED));
    EXPECT_EQ(g_HeadLiftL.Step(&lDone), -1);
    EXPECT_FALSE(ErrorSet(0x301));
  });
}

TEST_F(PositionerTest, AfterATimeOutTheNextStepPollsTheOldSequenceOnceAndTimesOutAgain) {
  // Head R's switches: up IN1 bit 4, down bit 5, both held off.
  Hold(kHeadWord, 4);
  Hold(kHeadWord, 5);
  InApp(
      [] {
        EXPECT_EQ(g_HeadLiftR.StartMove(HEAD_POS_DOWN), 0);
        int32_t lDone = 0;
        const uint32_t ulStart = g_MsTimer.NowMs();
        EXPECT_EQ(StepUntilDone(g_HeadLiftR, &lDone), -1);
        EXPECT_GT(g_MsTimer.NowMs() - ulStart, 2000u);
        EXPECT_LT(g_MsTimer.NowMs() - ulStart, 2050u) << "one poll after the time-out";
        EXPECT_EQ(lDone, 0);
        EXPECT_TRUE(ErrorSet(0x204)) << "head R down";
        g_ErrorMng.ClearError(0x204);
        // The old sequence is polled once more and times out at once.
        EXPECT_EQ(g_HeadLiftR.Step(&lDone), -1);
        EXPECT_TRUE(ErrorSet(0x204));
      },
      Ms(10000));
}

TEST_F(PositionerTest, TheEjectPinchRunsForwardOneStepAlongItsCycleAndReverseOtherwise) {
  // "EjectPin Mn" IN0 bit 4, "EjectPin Sb" bit 3.
  HeldBit& main = Hold(0, 4);
  Hold(0, 3);
  InApp([&] {
    struct Case {
      uint32_t ulRequest;
      uint32_t ulState;
      uint32_t ulDuty;
    };
    g_ParamEjectPinchDuty1.SetValueNoSave(31);
    g_ParamEjectPinchDuty2.SetValueNoSave(72);
    // From position 0 every request runs Reverse at the first duty.
    for (const Case& c : {Case{EJECT_PINCH_UP, DC_MOTOR_REVERSE, 31}, Case{EJECT_PINCH_CDOWN, DC_MOTOR_REVERSE, 31}}) {
      EXPECT_EQ(g_EjectPinch.StartMove(c.ulRequest), 0) << c.ulRequest;
      uint32_t ulState = 0, ulDuty = 0;
      g_DcMotorEjectPinch.GetState(&ulState);
      g_ChopMotorEjectPinch.GetDuty(&ulDuty);
      EXPECT_EQ(ulState, c.ulState) << c.ulRequest;
      EXPECT_EQ(ulDuty, c.ulDuty) << c.ulRequest;
      g_EjectPinch.Stop();
    }
    // FDown found at once by its switch; from there Up runs Forward at the
    // second duty.
    main.level = Bit::On;
    EXPECT_EQ(g_EjectPinch.StartMove(EJECT_PINCH_FDOWN), 0);
    uint32_t ulPosition = 0, ulState = 0, ulDuty = 0;
    g_EjectPinch.GetPosition(&ulPosition);
    EXPECT_EQ(ulPosition, static_cast<uint32_t>(EJECT_PINCH_FDOWN));
    EXPECT_EQ(g_EjectPinch.StartMove(EJECT_PINCH_UP), 0);
    g_DcMotorEjectPinch.GetState(&ulState);
    g_ChopMotorEjectPinch.GetDuty(&ulDuty);
    EXPECT_EQ(ulState, static_cast<uint32_t>(DC_MOTOR_FORWARD));
    EXPECT_EQ(ulDuty, 72u);
    g_EjectPinch.Stop();
  });
}

TEST_F(PositionerTest, TheUnitSwitchPointsAtTheHeadOfTheSelectedUnit) {
  InApp([] {
    SelectUnit(1);
    EXPECT_EQ(g_pCurHeadLift, &g_HeadLiftR);
    SelectUnit(0);
    EXPECT_EQ(g_pCurHeadLift, &g_HeadLiftL);
  });
}

}  // namespace
}  // namespace paneltest

namespace paneltest {
namespace {

TEST_F(PositionerTest, AChatteringUpSwitchFailsTheDownMovesCheckWithItsOwnIndex) {
  HeldBit& up = Hold(1, 0);
  HeldBit& down = Hold(1, 1);
  InApp([&] {
    down.level = Bit::On;
    ASSERT_EQ(g_HeadLiftL.StartMove(HEAD_POS_DOWN), 0);
    down.level = Bit::Off;
    int32_t lDone = 0;
    for (int i = 0; i < 3; ++i) ASSERT_EQ(g_HeadLiftL.Step(&lDone), 0);
    down.level = Bit::On;
    ASSERT_EQ(g_HeadLiftL.Step(&lDone), 0);
    up.level = Bit::Chatter;
    EXPECT_NE(g_HeadLiftL.Step(&lDone), 0);
    EXPECT_EQ(lDone, 1);
    EXPECT_TRUE(ErrorSet(0x30F)) << "\"HeadL Up\"'s own index";
    EXPECT_FALSE(ErrorSet(0x301)) << "not the arrival check's";
    uint32_t ulPosition = 9;
    g_HeadLiftL.GetPosition(&ulPosition);
    EXPECT_EQ(ulPosition, 0u);
  });
}

}  // namespace
}  // namespace paneltest
