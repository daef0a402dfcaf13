// The rotation lock's compound moves and the path selector's find, with
// their switches and photo sensors held by the test.
#include <string>
#include <vector>

#include "firmware/devices/dc_motor.h"
#include "firmware/devices/machine_actuators.h"
#include "firmware/devices/settings.h"
#include "firmware/hal/global.h"
#include "firmware/mechanism/path_select.h"
#include "firmware/mechanism/positioner_test_rig.h"
#include "firmware/mechanism/rotation_lock.h"

namespace paneltest {
namespace {

// "Lock Main" IN0 bit 1, "Lock Sub" bit 2, "PathPosi L" bit 5, "PathPosi R" bit 6.
constexpr uint32_t kLockMainBit = 1, kLockSubBit = 2, kPathLBit = 5, kPathRBit = 6;

uint32_t MotorState(const CDcMotor& motor) {
  uint32_t ulState = 0;
  motor.GetState(&ulState);
  return ulState;
}

// One motion of a move as the test sees it: the motor direction and the
// time it started.
struct Motion {
  uint32_t ulState;
  uint32_t ulAtMs;
};

// Steps `step` until done or failure, noting each motor start; the switch
// `watched` follows the levels `react` gives for the motion under way.
template <typename StepFn, typename ReactFn>
int32_t Follow(StepFn step, const CDcMotor& motor, std::vector<Motion>* pMotions, uint32_t* pulDoneCount, ReactFn react) {
  int32_t lResult = 0, lDone = 0;
  uint32_t ulLastState = MotorState(motor);
  const uint32_t ulStart = g_MsTimer.NowMs();
  while (lResult == 0 && lDone == 0 && g_MsTimer.NowMs() - ulStart < 10000) {
    const uint32_t ulState = MotorState(motor);
    if (ulState != ulLastState && ulState != DC_MOTOR_STOPPED) pMotions->push_back({ulState, g_MsTimer.NowMs()});
    ulLastState = ulState;
    react(pMotions->size(), g_MsTimer.NowMs() - (pMotions->empty() ? ulStart : pMotions->back().ulAtMs));
    lResult = step(&lDone);
    if (lDone != 0) ++*pulDoneCount;
  }
  return lResult;
}

TEST_F(PositionerTest, ALockDrivesInPausesFromTheBrakeAndBacksOffReportingDoneOnce) {
  HeldBit& main = Hold(0, kLockMainBit);
  Hold(0, kLockSubBit);
  InApp(
      [&] {
        g_RotationLock.SetPosition(ROT_LOCK_UNLOCKED);
        EXPECT_EQ(g_RotationLock.StartMove(ROT_LOCK_LOCKED), 0);
        std::vector<Motion> motions{{MotorState(g_DcMotorRotLock), g_MsTimer.NowMs()}};
        uint32_t ulDone = 0, ulDuty = 0;
        g_ChopMotorRotLock.GetDuty(&ulDuty);
        EXPECT_EQ(ulDuty, 60u) << "lock[%]";
        uint32_t ulBrakeMs = 0;
        const int32_t lResult = Follow([](int32_t* p) { return g_RotationLock.Step(p); }, g_DcMotorRotLock, &motions,
                                       &ulDone, [&](size_t motion, uint32_t ulSinceMs) {
                                         // The drive in finds the lock after 500 ms, the
                                         // back-off leaves it after 50 ms.
                                         if (motion == 1) main.level = ulSinceMs >= 500 ? Bit::On : Bit::Off;
                                         if (motion == 1 && main.level == Bit::On && ulBrakeMs == 0) {
                                           ulBrakeMs = g_MsTimer.NowMs();
                                         }
                                         if (motion == 2) main.level = ulSinceMs >= 50 ? Bit::Off : Bit::On;
                                       });
        EXPECT_EQ(lResult, 0);
        EXPECT_EQ(ulDone, 1u);
        ASSERT_EQ(motions.size(), 2u);
        EXPECT_EQ(motions[0].ulState, static_cast<uint32_t>(DC_MOTOR_FORWARD));
        EXPECT_EQ(motions[1].ulState, static_cast<uint32_t>(DC_MOTOR_REVERSE));
        // The pause counts from the brake, not from the start of the move.
        EXPECT_GE(motions[1].ulAtMs - ulBrakeMs, 200u);
        EXPECT_LT(motions[1].ulAtMs - ulBrakeMs, 220u);
        g_ChopMotorRotLock.GetDuty(&ulDuty);
        EXPECT_EQ(ulDuty, 100u) << "the second Unlock[%]";
        uint32_t ulPosition = 0;
        g_RotationLock.GetPosition(&ulPosition);
        EXPECT_EQ(ulPosition, static_cast<uint32_t>(ROT_LOCK_LOCKED));
        // Locked and asked to lock: nothing starts.
        EXPECT_EQ(g_RotationLock.StartMove(ROT_LOCK_LOCKED), 0);
        EXPECT_EQ(MotorState(g_DcMotorRotLock), static_cast<uint32_t>(DC_MOTOR_STOPPED));
        EXPECT_EQ(g_RotationLock.SaveLockFlag(), 0);
        EXPECT_EQ(SettingValue(g_ParamRotationLockFlag), 1);
      },
      Ms(10000));
}

TEST_F(PositionerTest, AReleaseBacksOffOnlyAfterItsFirstDriveRanOutOfTime) {
  struct Case {
    const char* pszName;
    bool bFindsTheEnd;     // the first drive sees "Lock Main" turn on
    bool bBackOffLeaves;   // the back-off sees it turn off
    bool bSubOn;           // "Lock Sub" at the end
    int32_t lResult;
    size_t motions;
    uint32_t ulError;      // 0: none
  };
  const std::vector<Case> cases = {
      {"found at once", true, true, false, 0, 1, 0},
      {"back-off", false, true, false, 0, 2, 0},
      {"back-off stuck", false, false, false, -1, 2, 0x21F},
      {"pin still in", true, true, true, -1, 1, 0x306},
  };
  HeldBit& main = Hold(0, kLockMainBit);
  HeldBit& sub = Hold(0, kLockSubBit);
  for (const Case& c : cases) {
    InApp(
        [&] {
          // A failed case leaves the latch set: each case starts from a
          // freshly built lock.
          hal::ConstructGlobal(g_RotationLock, kGlobalBuild);
          main.level = c.bFindsTheEnd ? Bit::Off : Bit::On;
          sub.level = c.bSubOn ? Bit::On : Bit::Off;
          EXPECT_EQ(g_RotationLock.StartMove(ROT_LOCK_RELEASE), 0);
          std::vector<Motion> motions{{MotorState(g_DcMotorRotLock), g_MsTimer.NowMs()}};
          uint32_t ulDone = 0;
          const int32_t lResult = Follow([](int32_t* p) { return g_RotationLock.Step(p); }, g_DcMotorRotLock,
                                         &motions, &ulDone, [&](size_t motion, uint32_t ulSinceMs) {
                                           if (motion == 1 && c.bFindsTheEnd) main.level = ulSinceMs >= 100 ? Bit::On : Bit::Off;
                                           if (motion == 2 && c.bBackOffLeaves) main.level = ulSinceMs >= 100 ? Bit::Off : Bit::On;
                                         });
          EXPECT_EQ(lResult, c.lResult) << c.pszName;
          EXPECT_EQ(motions.size(), c.motions) << c.pszName;
          EXPECT_EQ(motions[0].ulState, static_cast<uint32_t>(DC_MOTOR_REVERSE)) << c.pszName;
          if (motions.size() > 1) {
            EXPECT_EQ(motions[1].ulState, static_cast<uint32_t>(DC_MOTOR_FORWARD)) << c.pszName;
          }
          if (c.ulError != 0) {
            EXPECT_TRUE(ErrorSet(c.ulError)) << c.pszName;
            g_ErrorMng.ClearError(c.ulError);
          }
          uint32_t ulPosition = 9;
          g_RotationLock.GetPosition(&ulPosition);
          EXPECT_EQ(ulPosition, c.lResult == 0 ? static_cast<uint32_t>(ROT_LOCK_UNLOCKED) : 0u) << c.pszName;
        },
        Ms(20000));
  }
}

TEST_F(PositionerTest, RequestsThePathSelectorHasNoMoveForClearTheFlagAndAreRefused) {
  InApp([] {
    for (uint32_t ulRequest : {2u, 5u}) {
      g_ParamPrintpathFlag.SetValue(3);
      EXPECT_EQ(g_PathSelect.StartMove(ulRequest), -1) << ulRequest;
      EXPECT_EQ(SettingValue(g_ParamPrintpathFlag), 0) << ulRequest;
      EXPECT_EQ(MotorState(g_DcMotorPathSel), static_cast<uint32_t>(DC_MOTOR_STOPPED));
    }
  });
}

TEST_F(PositionerTest, TheFindActsOnTheClassificationOfSwitchesAndTops) {
  struct Case {
    bool bR, bL, bTopL, bTopR, bPaper;
    uint32_t ulMotor;     // the motor after the start
    uint32_t ulPosition;  // right after the start
    int32_t lFlag;
    bool bBoth;  // 775 raised
  };
  const std::vector<Case> cases = {
      // No paper at the tops, no paper at all: the sweep starts towards 4.
      {false, false, false, false, false, DC_MOTOR_REVERSE, 0, 0, false},
      {false, false, false, false, true, DC_MOTOR_FORWARD, 0, 0, false},
      {true, false, false, false, true, DC_MOTOR_STOPPED, 3, 3, false},
      {false, true, false, false, true, DC_MOTOR_STOPPED, 4, 4, false},
      // Already at the end the sweep starts from: no motion, the next step brakes.
      {false, true, false, false, false, DC_MOTOR_STOPPED, 4, 0, false},
      {false, false, false, true, true, DC_MOTOR_REVERSE, 0, 0, false},
      {false, false, true, false, true, DC_MOTOR_FORWARD, 0, 0, false},
      {false, false, true, true, true, DC_MOTOR_STOPPED, 0, 0, false},
      {true, true, true, true, true, DC_MOTOR_STOPPED, 0, 0, false},
      {false, true, false, true, true, DC_MOTOR_STOPPED, 4, 4, false},
      {true, false, true, false, true, DC_MOTOR_STOPPED, 3, 3, false},
      {true, true, false, false, true, DC_MOTOR_STOPPED, 0, 0, true},
      {true, true, true, false, true, DC_MOTOR_STOPPED, 0, 0, true},
      {false, true, true, false, true, DC_MOTOR_STOPPED, 0, 0, false},
      {true, false, false, true, true, DC_MOTOR_STOPPED, 0, 0, false},
  };
  HeldBit& r = Hold(0, kPathRBit);
  HeldBit& l = Hold(0, kPathLBit);
  InApp([&] {
    LightPhotoSensors();
    for (const Case& c : cases) {
      const std::string name = std::to_string(c.bR) + std::to_string(c.bL) + std::to_string(c.bTopL) +
                               std::to_string(c.bTopR) + " paper " + std::to_string(c.bPaper);
      hal::ConstructGlobal(g_PathSelect, kGlobalBuild);
      r.level = c.bR ? Bit::On : Bit::Off;
      l.level = c.bL ? Bit::On : Bit::Off;
      SetPaperSeen(sim::PhotoSensor::TopL, c.bTopL);
      SetPaperSeen(sim::PhotoSensor::TopR, c.bTopR);
      SetPaperSeen(sim::PhotoSensor::PaperEmpty, c.bPaper);
      g_ParamPrintpathFlag.SetValue(4);
      EXPECT_EQ(g_PathSelect.StartMove(PATH_SEL_FIND), 0) << name;
      EXPECT_EQ(MotorState(g_DcMotorPathSel), c.ulMotor) << name;
      uint32_t ulPosition = 9;
      g_PathSelect.GetPosition(&ulPosition);
      EXPECT_EQ(ulPosition, c.ulPosition) << name;
      EXPECT_EQ(SettingValue(g_ParamPrintpathFlag), c.lFlag) << name;
      EXPECT_EQ(ErrorSet(0x307), c.bBoth) << name;
      g_ErrorMng.ClearError(0x307);
      g_PathSelect.Stop();
    }
  });
}

TEST_F(PositionerTest, TheSweepIsDoneOnlyAfterItsSecondDriveAndWritesEachEnd) {
  HeldBit& r = Hold(0, kPathRBit);
  HeldBit& l = Hold(0, kPathLBit);
  SetPaperSeen(sim::PhotoSensor::TopL, false);
  SetPaperSeen(sim::PhotoSensor::TopR, false);
  SetPaperSeen(sim::PhotoSensor::PaperEmpty, false);
  InApp(
      [&] {
        LightPhotoSensors();
        EXPECT_EQ(g_PathSelect.StartMove(PATH_SEL_FIND), 0);
        std::vector<Motion> motions{{MotorState(g_DcMotorPathSel), g_MsTimer.NowMs()}};
        std::vector<int32_t> flags;
        uint32_t ulDone = 0;
        const int32_t lResult = Follow(
            [&](int32_t* p) {
              const int32_t lStep = g_PathSelect.Step(p);
              const int32_t lFlag = SettingValue(g_ParamPrintpathFlag);
              if (flags.empty() || flags.back() != lFlag) flags.push_back(lFlag);
              return lStep;
            },
            g_DcMotorPathSel, &motions, &ulDone, [&](size_t motion, uint32_t ulSinceMs) {
              // Each drive reaches its end after 300 ms and leaves the other.
              l.level = (motion == 1 && ulSinceMs >= 300) || (motion == 2 && ulSinceMs < 30) ? Bit::On : Bit::Off;
              r.level = motion == 2 && ulSinceMs >= 300 ? Bit::On : Bit::Off;
            });
        EXPECT_EQ(lResult, 0);
        EXPECT_EQ(ulDone, 1u);
        ASSERT_EQ(motions.size(), 2u);
        EXPECT_EQ(motions[0].ulState, static_cast<uint32_t>(DC_MOTOR_REVERSE));
        EXPECT_EQ(motions[1].ulState, static_cast<uint32_t>(DC_MOTOR_FORWARD));
        EXPECT_EQ(flags, (std::vector<int32_t>{0, 4, 3}));
        uint32_t ulPosition = 0;
        g_PathSelect.GetPosition(&ulPosition);
        EXPECT_EQ(ulPosition, static_cast<uint32_t>(PATH_SEL_PATH_L));
      },
      Ms(10000));
}

}  // namespace
}  // namespace paneltest
