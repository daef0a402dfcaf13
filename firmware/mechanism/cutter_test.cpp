// The cutter on the board with its three switches held by the test: the
// time-out boundary, the two on-phases of the destination switch, the
// centre stage of each cut mode, settling, stopping, refused modes and the
// arrival checks.
#include "firmware/mechanism/cutter.h"

#include <string>
#include <vector>

#include "firmware/devices/chop_motor.h"
#include "firmware/devices/dc_motor.h"
#include "firmware/devices/machine_actuators.h"
#include "firmware/mechanism/positioner_test_rig.h"
#include "sim/mechanism/dc_mechanism.h"

namespace paneltest {
namespace {

// "Cutter L", "Cutter C", "Cutter R": IN1 bits 12, 13, 14, read inverted.
constexpr uint32_t kCutterWord = 1, kLeftBit = 12, kCentreBit = 13, kRightBit = 14;

class CutterTest : public PositionerTest {
 protected:
  void SetUp() override {
    PositionerTest::SetUp();
    m_pLeft = &Hold(kCutterWord, kLeftBit);
    m_pCentre = &Hold(kCutterWord, kCentreBit);
    m_pRight = &Hold(kCutterWord, kRightBit);
    for (HeldBit* pBit : {m_pLeft, m_pCentre, m_pRight}) Set(*pBit, false);
  }
  // A switch the firmware reads as on is low on the input.
  static void Set(HeldBit& bit, bool bOn) { bit.level = bOn ? Bit::Off : Bit::On; }
  HeldBit& Left() { return *m_pLeft; }
  HeldBit& Centre() { return *m_pCentre; }
  HeldBit& Right() { return *m_pRight; }
  // The end switch of a side.
  HeldBit& End(uint32_t ulSide) { return ulSide == CUTTER_LEFT ? Left() : Right(); }

 private:
  HeldBit* m_pLeft = nullptr;
  HeldBit* m_pCentre = nullptr;
  HeldBit* m_pRight = nullptr;
};

uint32_t MotorState() {
  uint32_t ulState = 0;
  g_DcMotorCutter.GetState(&ulState);
  return ulState;
}
uint32_t Duty() {
  uint32_t ulDuty = 0;
  g_ChopMotorCutter.GetDuty(&ulDuty);
  return ulDuty;
}
uint32_t Position() {
  uint32_t ulPosition = 0;
  g_Cutter.GetPosition(&ulPosition);
  return ulPosition;
}

TEST_F(CutterTest, ACutTimesOutOnlyMoreThan1000MsAfterItStartedAndTheErrorFlagBlocksNothing) {
  Set(Left(), true);
  InApp(
      [&] {
        ASSERT_EQ(g_Cutter.SettlePosition(), 0);
        ASSERT_EQ(Position(), static_cast<uint32_t>(CUTTER_LEFT));
        const uint32_t ulStart = g_MsTimer.NowMs();
        ASSERT_EQ(g_Cutter.Cut(2), 0);
        ASSERT_EQ(g_MsTimer.NowMs(), ulStart);
        EXPECT_EQ(MotorState(), static_cast<uint32_t>(DC_MOTOR_FORWARD)) << "towards RIGHT";
        int32_t lDone = 0;
        // The destination switch never comes on. The wait ends at the tick.
        while (g_MsTimer.NowMs() - ulStart < 1000) {
        }
        EXPECT_EQ(g_Cutter.Step(&lDone), 0) << "1000 ms is no time-out";
        EXPECT_FALSE(ErrorSet(0x219));
        while (g_MsTimer.NowMs() - ulStart < 1001) {
        }
        EXPECT_EQ(g_Cutter.Step(&lDone), -1);
        EXPECT_EQ(lDone, 0);
        EXPECT_TRUE(ErrorSet(0x219)) << "towards RIGHT";
        EXPECT_FALSE(ErrorSet(0x21A));
        EXPECT_EQ(MotorState(), static_cast<uint32_t>(DC_MOTOR_STOPPED));
        EXPECT_EQ(Position(), 0u);
        EXPECT_EQ(g_Cutter.GetErrorFlag(), 1);
        // Stopped short of RIGHT: the next cut settles from the switches
        // again, and the one after it moves in spite of the error flag.
        g_Cutter.Stop();
        EXPECT_EQ(g_Cutter.Cut(1), 0);
        EXPECT_EQ(Position(), static_cast<uint32_t>(CUTTER_LEFT));
        EXPECT_EQ(MotorState(), static_cast<uint32_t>(DC_MOTOR_STOPPED));
        EXPECT_EQ(g_Cutter.Cut(1), 0);
        EXPECT_EQ(MotorState(), static_cast<uint32_t>(DC_MOTOR_FORWARD));
        EXPECT_EQ(Duty(), 100u);
        g_Cutter.Stop();
      },
      Ms(5000));
}

TEST_F(CutterTest, ACutTowardsLeftTimesOutWithItsOwnIndex) {
  Set(Right(), true);
  InApp(
      [&] {
        ASSERT_EQ(g_Cutter.SettlePosition(), 0);
        ASSERT_EQ(g_Cutter.Cut(3), 0);
        EXPECT_EQ(MotorState(), static_cast<uint32_t>(DC_MOTOR_REVERSE));
        EXPECT_EQ(Duty(), 50u);
        int32_t lDone = 0, lResult = 0;
        while (lResult == 0) lResult = g_Cutter.Step(&lDone);
        EXPECT_EQ(lResult, -1);
        EXPECT_TRUE(ErrorSet(0x21A));
        EXPECT_FALSE(ErrorSet(0x219));
        EXPECT_EQ(Duty(), 50u) << "the centre was never seen";
      },
      Ms(5000));
}

// Each mode polled with the destination switch off at odd and on at even
// polls and the centre switch on for one poll only.
struct ModeCase {
  uint32_t ulMode;
  uint32_t ulCentrePoll;  // 1-based
  uint32_t ulStartDuty;
  uint32_t ulRunDuty;
  uint32_t ulRunDutyFromPoll;  // 0: one duty throughout
  uint32_t ulDonePoll;
};

TEST_F(CutterTest, EachModeRunsItsDutiesAndEndsAfterTheSecondOnPhaseOfTheDestination) {
  const std::vector<ModeCase> cases = {
      // Centre, then the run duty, then off, on, off, on, then the brake.
      {1, 1, 100, 42, 2, 7},
      // The centre comes later; an on-phase seen before the sequence's
      // first off counts for nothing.
      {3, 3, 50, 22, 4, 9},
      {1, 2, 100, 42, 3, 9},
      // No centre stage: the destination is followed from the first poll.
      {2, 1, 50, 50, 0, 5},
  };
  Set(Left(), true);
  InApp(
      [&] {
        ASSERT_EQ(g_Cutter.SettlePosition(), 0);
        // The carriage crosses back and forth, one case per crossing.
        for (const ModeCase& c : cases) {
          const uint32_t ulFrom = Position();
          const uint32_t ulTo = ulFrom == CUTTER_LEFT ? CUTTER_RIGHT : CUTTER_LEFT;
          ASSERT_EQ(g_Cutter.Cut(c.ulMode), 0);
          EXPECT_EQ(Duty(), c.ulStartDuty) << c.ulMode;
          const uint32_t ulDrive = ulTo == CUTTER_RIGHT ? DC_MOTOR_FORWARD : DC_MOTOR_REVERSE;
          EXPECT_EQ(MotorState(), ulDrive);
          Set(End(ulFrom), false);
          int32_t lDone = 0, lResult = 0;
          uint32_t ulPoll = 0;
          while (lResult == 0 && lDone == 0 && ulPoll < 20) {
            ++ulPoll;
            Set(Centre(), ulPoll == c.ulCentrePoll);
            Set(End(ulTo), ulPoll % 2 == 0);
            lResult = g_Cutter.Step(&lDone);
            const bool bRun = c.ulRunDutyFromPoll != 0 && ulPoll >= c.ulRunDutyFromPoll;
            EXPECT_EQ(Duty(), bRun ? c.ulRunDuty : c.ulStartDuty) << "mode " << c.ulMode << " poll " << ulPoll;
            if (lDone == 0) {
              EXPECT_EQ(MotorState(), ulDrive) << "mode " << c.ulMode << " poll " << ulPoll;
            }
          }
          EXPECT_EQ(lResult, 0) << c.ulMode;
          EXPECT_EQ(ulPoll, c.ulDonePoll) << "mode " << c.ulMode;
          EXPECT_EQ(MotorState(), static_cast<uint32_t>(DC_MOTOR_STOPPED));
          EXPECT_EQ(Position(), ulTo);
        }
      },
      Ms(5000));
  EXPECT_EQ(m_machine->GetBoard().FindDevice<sim::DcMechanism>()->Drive(sim::DcMotor::Cutter), sim::DriveState::Brake);
}

TEST_F(CutterTest, OneLongOnPhaseOfTheDestinationDoesNotEndTheCut) {
  Set(Right(), true);
  InApp([&] {
    ASSERT_EQ(g_Cutter.SettlePosition(), 0);
    ASSERT_EQ(g_Cutter.Cut(2), 0);
    Set(Right(), false);
    int32_t lDone = 0;
    EXPECT_EQ(g_Cutter.Step(&lDone), 0);
    Set(Left(), true);  // its pre-flag, held
    for (int i = 0; i < 50; ++i) EXPECT_EQ(g_Cutter.Step(&lDone), 0);
    EXPECT_EQ(lDone, 0);
    EXPECT_EQ(MotorState(), static_cast<uint32_t>(DC_MOTOR_REVERSE));
    g_Cutter.Stop();
  });
}

TEST_F(CutterTest, StopDuringACutForgetsPositionAndSettlingButNotAfterACompletedCut) {
  Set(Left(), true);
  InApp([&] {
    ASSERT_EQ(g_Cutter.SettlePosition(), 0);
    ASSERT_EQ(g_Cutter.Cut(2), 0);
    EXPECT_EQ(g_Cutter.Stop(), 0);
    EXPECT_EQ(MotorState(), static_cast<uint32_t>(DC_MOTOR_STOPPED));
    EXPECT_EQ(Position(), 0u);
    // Settling reads the switches again: now the carriage is at RIGHT.
    Set(Left(), false);
    Set(Right(), true);
    EXPECT_EQ(g_Cutter.SettlePosition(), 0);
    EXPECT_EQ(Position(), static_cast<uint32_t>(CUTTER_RIGHT));
    // A cut that finds its destination already on makes no motion.
    Set(Right(), false);
    Set(Left(), true);
    EXPECT_EQ(g_Cutter.Cut(1), 0);
    EXPECT_EQ(MotorState(), static_cast<uint32_t>(DC_MOTOR_STOPPED));
    EXPECT_EQ(Position(), static_cast<uint32_t>(CUTTER_LEFT));
    // A completed cut back to RIGHT; Stop afterwards keeps all as it is.
    ASSERT_EQ(g_Cutter.Cut(2), 0);
    int32_t lDone = 0;
    Set(Left(), false);
    for (bool bOn : {false, true, false, true}) {
      Set(Right(), bOn);
      ASSERT_EQ(g_Cutter.Step(&lDone), 0);
    }
    ASSERT_EQ(g_Cutter.Step(&lDone), 0);
    ASSERT_EQ(lDone, 1);
    EXPECT_EQ(g_Cutter.Stop(), 0);
    EXPECT_EQ(Position(), static_cast<uint32_t>(CUTTER_RIGHT));
    // Still settled: both switches on are not even read.
    Set(Left(), true);
    EXPECT_EQ(g_Cutter.SettlePosition(), 0);
    EXPECT_FALSE(ErrorSet(0x30D));
  });
}

TEST_F(CutterTest, ACutModeOutsideOneToThreeIsRefusedBeforeAnythingElse) {
  InApp([&] {
    // Neither end switch on: settling would drive the carriage home.
    for (uint32_t ulMode : {0u, 4u, 0xFFFFFFFFu}) {
      EXPECT_EQ(g_Cutter.Cut(ulMode), -1) << ulMode;
      EXPECT_EQ(MotorState(), static_cast<uint32_t>(DC_MOTOR_STOPPED)) << ulMode;
      EXPECT_EQ(Position(), 0u);
    }
    // Not settled by the refused cuts: settling runs now and drives home.
    EXPECT_EQ(g_Cutter.SettlePosition(), 0);
    EXPECT_EQ(MotorState(), static_cast<uint32_t>(DC_MOTOR_REVERSE)) << "to LEFT";
    EXPECT_EQ(Duty(), 50u);
    g_Cutter.Stop();
    // At a known side with the destination already on: refused as well.
    Set(Left(), true);
    ASSERT_EQ(g_Cutter.SettlePosition(), 0);
    Set(Right(), true);
    EXPECT_EQ(g_Cutter.Cut(7), -1);
    EXPECT_EQ(Position(), static_cast<uint32_t>(CUTTER_LEFT));
  });
}

// Settling by the end switches, each from power-on.
struct SettleCase {
  const char* pszName;
  bool bLeft;
  bool bRight;
  uint32_t ulPosition;
  uint32_t ulMotorState;
  bool bBothEndsError;
};

class CutterSettling : public CutterTest, public ::testing::WithParamInterface<SettleCase> {};

TEST_P(CutterSettling, TakesTheSideOfTheEndSwitchOrDrivesHome) {
  const SettleCase& c = GetParam();
  Set(Left(), c.bLeft);
  Set(Right(), c.bRight);
  InApp([&] {
    EXPECT_EQ(g_Cutter.SettlePosition(), 0);
    EXPECT_EQ(Position(), c.ulPosition);
    EXPECT_EQ(MotorState(), c.ulMotorState);
    EXPECT_EQ(ErrorSet(0x30D), c.bBothEndsError);
    if (c.ulMotorState != DC_MOTOR_STOPPED) {
      EXPECT_EQ(Duty(), 50u) << "home in mode 2";
    }
    // Settled once: the switches are not read again.
    g_ErrorMng.ClearError(0x30D);
    Set(Left(), true);
    Set(Right(), true);
    EXPECT_EQ(g_Cutter.SettlePosition(), 0);
    EXPECT_FALSE(ErrorSet(0x30D));
    EXPECT_EQ(Position(), c.ulPosition);
    g_Cutter.Stop();
  });
}

INSTANTIATE_TEST_SUITE_P(Table, CutterSettling,
                         ::testing::Values(SettleCase{"at_LEFT", true, false, CUTTER_LEFT, DC_MOTOR_STOPPED, false},
                                           SettleCase{"at_RIGHT", false, true, CUTTER_RIGHT, DC_MOTOR_STOPPED, false},
                                           // Taken as RIGHT while it is driven to LEFT.
                                           SettleCase{"between", false, false, CUTTER_RIGHT, DC_MOTOR_REVERSE, false},
                                           SettleCase{"both_on", true, true, 0, DC_MOTOR_STOPPED, true}),
                         [](const auto& test) { return std::string(test.param.pszName); });

// The arrival checks: the other end switch and the centre must be off. A
// cut that finds its destination switch on already arrives at once.
enum class CentreSwitch { Off, On, Bouncing };
struct VerifyCase {
  const char* pszName;
  uint32_t ulFrom;
  bool bOtherEndOn;
  CentreSwitch eCentre;
  int32_t lResult;
  uint32_t ulIndex;  // 0: none
};

TEST_F(CutterTest, AnArrivalIsCheckedAgainstTheOtherEndAndTheCentre) {
  const std::vector<VerifyCase> cases = {
      {"at RIGHT", CUTTER_LEFT, false, CentreSwitch::Off, 0, 0},
      {"at RIGHT with LEFT on", CUTTER_LEFT, true, CentreSwitch::Off, -1, 0x30B},
      {"at LEFT with RIGHT on", CUTTER_RIGHT, true, CentreSwitch::Off, -1, 0x30C},
      {"at LEFT with the centre on", CUTTER_RIGHT, false, CentreSwitch::On, -1, 0x30A},
      {"centre bouncing", CUTTER_LEFT, false, CentreSwitch::Bouncing, -1, 0x31B},
  };
  InApp([&] {
    for (const VerifyCase& c : cases) {
      const uint32_t ulTo = c.ulFrom == CUTTER_LEFT ? CUTTER_RIGHT : CUTTER_LEFT;
      // Forgets the side the last case arrived at (no target was taken).
      g_Cutter.Stop();
      Set(End(c.ulFrom), true);
      Set(End(ulTo), false);
      Set(Centre(), false);
      ASSERT_EQ(g_Cutter.SettlePosition(), 0) << c.pszName;
      ASSERT_EQ(Position(), c.ulFrom) << c.pszName;
      Set(End(ulTo), true);
      Set(End(c.ulFrom), c.bOtherEndOn);
      if (c.eCentre == CentreSwitch::Bouncing) {
        Centre().level = Bit::Chatter;
      } else {
        Set(Centre(), c.eCentre == CentreSwitch::On);
      }
      EXPECT_EQ(g_Cutter.Cut(2), c.lResult) << c.pszName;
      EXPECT_EQ(Position(), ulTo) << c.pszName;
      EXPECT_EQ(MotorState(), static_cast<uint32_t>(DC_MOTOR_STOPPED)) << c.pszName;
      for (uint32_t ulIndex : {0x30Au, 0x30Bu, 0x30Cu, 0x31Bu}) {
        EXPECT_EQ(ErrorSet(ulIndex), ulIndex == c.ulIndex) << c.pszName << " " << ulIndex;
        g_ErrorMng.ClearError(ulIndex);
      }
    }
    // Position 0 has no check: -1 and nothing raised.
    g_Cutter.Stop();
    EXPECT_EQ(Position(), 0u);
    EXPECT_EQ(g_Cutter.Verify(), -1);
    for (uint32_t ulIndex : {0x30Au, 0x30Bu, 0x30Cu}) EXPECT_FALSE(ErrorSet(ulIndex)) << ulIndex;
  });
}

}  // namespace
}  // namespace paneltest
