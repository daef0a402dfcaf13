// The ribbon manager: every ribbon phase in both directions on unit L's
// motor lines, PWM duties and clutch; the print phases' log field and
// single pass; stopping with the clutch kept; targets, the stall watch and
// tightening, each across the encoders' 16-bit wrap where it matters; the
// line conversion by the object's unit and the ribbon size.
#include "firmware/mechanism/donor_mng.h"

#include <gtest/gtest.h>

#include <vector>

#include "firmware/control/error_manager.h"
#include "firmware/devices/machine_actuators.h"
#include "firmware/devices/print_log.h"
#include "firmware/mechanism/donor_mng_color.h"
#include "firmware/mechanism/donor_mng_mark.h"
#include "firmware/mechanism/ribbon_test_rig.h"

namespace ribbontest {
namespace {

using paneltest::NowMs;

constexpr uint32_t kRibbonEmptyL = 0x1603;

bool RibbonEmptySet() {
  uint32_t ulFlag = 0;
  g_ErrorMng.IsErrorSet(kRibbonEmptyL, &ulFlag);
  return ulFlag != 0;
}

// ---- the phases on unit L's registers --------------------------------------------------------

// Before each phase the take-up stands braked at 7 %, the supply braked at
// 9 %, the clutch off: a motor the phase leaves alone keeps them.
constexpr uint32_t kTakeUpBefore = 7;
constexpr uint32_t kSupplyBefore = 9;

struct Motors {
  Drive eTakeUp;
  uint32_t ulTakeUpDuty;
  Drive eSupply;
  uint32_t ulSupplyDuty;
  bool bClutch;
};
// The duties of the default settings with the take-up at 42 mm; the print
// phases start at the motor model's duty for their plane's TABLE speed.
constexpr Motors TakeUpOnly(uint32_t ulDuty) { return {Drive::Forward, ulDuty, Drive::Stop, kSupplyBefore, false}; }
constexpr Motors BothReverse(uint32_t ulTakeUp, uint32_t ulSupply) {
  return {Drive::Reverse, ulTakeUp, Drive::Reverse, ulSupply, true};
}
constexpr Motors BothForward(uint32_t ulTakeUp, uint32_t ulSupply) {
  return {Drive::Forward, ulTakeUp, Drive::Forward, ulSupply, false};
}
constexpr Motors Print(Drive eTakeUp, uint32_t ulDuty) {
  return {eTakeUp, ulDuty, Drive::Brake, kSupplyBefore, false};
}

struct PhaseCase {
  uint32_t ulPhase;
  Motors forward;  // direction 1
  Motors reverse;  // direction 2
};
// clang-format off
const PhaseCase kPhaseCases[] = {
    {RIBPH_TENSION, TakeUpOnly(40), {Drive::Stop, kTakeUpBefore, Drive::Reverse, 100, true}},
    {RIBPH_PRINT_Y, Print(Drive::Forward, 21), Print(Drive::Reverse, 21)},
    {RIBPH_PRINT_M, Print(Drive::Forward, 28), Print(Drive::Reverse, 28)},
    {RIBPH_PRINT_C, Print(Drive::Forward, 18), Print(Drive::Reverse, 18)},
    {RIBPH_INIT_TO_L, TakeUpOnly(60), BothReverse(60, 100)},
    {RIBPH_PRINT_L, Print(Drive::Forward, 49), Print(Drive::Reverse, 49)},
    {RIBPH_INIT_TO_Y, TakeUpOnly(60), BothReverse(60, 100)},
    {RIBPH_INIT_TO_Y_SHORT, TakeUpOnly(60), BothReverse(60, 100)},
    {RIBPH_WIND_Y, TakeUpOnly(80), BothReverse(80, 0)},
    {RIBPH_SLOW_WIND_Y, TakeUpOnly(60), BothReverse(60, 100)},
    {RIBPH_WIND_M, TakeUpOnly(80), BothReverse(80, 0)},
    {RIBPH_SLOW_WIND_M, TakeUpOnly(60), BothReverse(60, 100)},
    {RIBPH_WIND_C, TakeUpOnly(80), BothReverse(80, 0)},
    {RIBPH_SLOW_WIND_C, TakeUpOnly(60), BothReverse(60, 100)},
    {RIBPH_WIND_L, TakeUpOnly(80), BothReverse(80, 0)},
    {RIBPH_SLOW_WIND_L, TakeUpOnly(60), BothReverse(60, 100)},
    {RIBPH_ROLLBACK_Y, BothForward(32, 100), BothReverse(32, 100)},
    {RIBPH_ROLLBACK_M, BothForward(32, 100), BothReverse(32, 100)},
    {RIBPH_ROLLBACK_C, BothForward(32, 100), BothReverse(32, 100)},
    {RIBPH_ROLLBACK_L, BothForward(32, 100), BothReverse(32, 100)},
    // The initial rollback's take-up by its 42 mm: row 10 of the table.
    {RIBPH_ROLLBACK_INIT_Y, BothForward(63, 100), BothReverse(63, 100)},
    {RIBPH_ROLLBACK_INIT_M, BothForward(63, 100), BothReverse(63, 100)},
    {RIBPH_ROLLBACK_INIT_C, BothForward(63, 100), BothReverse(63, 100)},
    {RIBPH_ROLLBACK_INIT_L, BothForward(63, 100), BothReverse(63, 100)},
    {RIBPH_INITIAL, BothForward(60, 100), BothReverse(60, 100)},
    {RIBPH_CALIB, TakeUpOnly(60), BothReverse(60, 0)},
    {RIBPH_ROLLUP_AP_Y, TakeUpOnly(80), BothReverse(80, 0)},
    {RIBPH_ROLLUP_AP_M, TakeUpOnly(80), BothReverse(80, 0)},
    {RIBPH_ROLLUP_AP_C, TakeUpOnly(80), BothReverse(80, 0)},
    {RIBPH_ROLLUP_AP_L, TakeUpOnly(80), BothReverse(80, 0)},
};
// clang-format on
static_assert(sizeof(kPhaseCases) / sizeof(kPhaseCases[0]) == RIBPH_COUNT);

class RibbonPhases : public RibbonTest {
 protected:
  void SetUp() override {
    RibbonTest::SetUp();
    PutTable(PrintDutyTable());
  }
  // Sets the phase from the state before; its result.
  int32_t RunPhase(uint32_t ulPhase, uint32_t ulDirection) {
    static uint32_t s_ulPhase, s_ulDirection;
    static int32_t s_lResult;
    s_ulPhase = ulPhase;
    s_ulDirection = ulDirection;
    InApp([] {
      g_ChopMotorRibDstL.SetDuty(kTakeUpBefore);
      g_ChopMotorRibDstL.Brake();
      g_ChopMotorRibSrcL.SetDuty(kSupplyBefore);
      g_ChopMotorRibSrcL.Brake();
      g_ClutchRibRvsL.Off();
      s_lResult = g_pDonorMng->SetRibbonPhase(s_ulPhase, s_ulDirection);
    });
    return s_lResult;
  }
  void ExpectMotors(const Motors& m) {
    EXPECT_EQ(TakeUpLines(), kTakeUpLines[static_cast<int>(m.eTakeUp)]) << "take-up lines";
    EXPECT_EQ(TakeUpDuty(), m.ulTakeUpDuty) << "take-up duty";
    EXPECT_EQ(SupplyLines(), kSupplyLines[static_cast<int>(m.eSupply)]) << "supply lines";
    EXPECT_EQ(SupplyDuty(), m.ulSupplyDuty) << "supply duty";
    EXPECT_EQ(ClutchOn(), m.bClutch) << "reverse clutch";
  }
};

TEST_F(RibbonPhases, EveryPhaseDrivesItsMotorsInBothDirections) {
  for (const PhaseCase& c : kPhaseCases) {
    for (uint32_t ulDirection : {1u, 2u}) {
      SCOPED_TRACE(testing::Message() << "phase " << c.ulPhase << " direction " << ulDirection);
      EXPECT_EQ(RunPhase(c.ulPhase, ulDirection), 0);
      ExpectMotors(ulDirection == 1 ? c.forward : c.reverse);
      EXPECT_EQ(g_pDonorMng->GetRibbonPhase(), c.ulPhase);
    }
  }
  // Any direction but 1 is reverse.
  EXPECT_EQ(RunPhase(RIBPH_ROLLBACK_M, 0), 0);
  ExpectMotors(BothReverse(32, 100));
}

TEST_F(RibbonPhases, APhaseBeyond29IsRefusedBeforeAnythingMoves) {
  for (uint32_t ulPhase : {30u, 0xFFFFFFFFu}) {
    EXPECT_EQ(RunPhase(ulPhase, 1), -1) << ulPhase;
    ExpectMotors({Drive::Brake, kTakeUpBefore, Drive::Brake, kSupplyBefore, false});
  }
}

TEST_F(RibbonPhases, APrintPhaseLogsItsTableDutyAndRunsAt28InSinglePass) {
  // Plane M: the table duty at 42 mm is 41; the take-up starts at the
  // model's 28 for speed 2500.
  static uint32_t s_ulLogged, s_ulPrintDuty;
  auto logged = [this] {
    InApp([] {
      g_PrintLog.SelectBlock(0);
      g_PrintLog.Append();
      PhysAddr ulRecord = 0;
      g_PrintLog.GetRecordAddress(0, &ulRecord);
      // Sub-record 0 from byte 128, the phase duties from its byte 28,
      // one byte per plane.
      s_ulLogged = HwRead8(ulRecord + PRINT_LOG_SUB_RECORD_FIRST + 28 + 1);
      s_ulPrintDuty = g_pDonorMng->GetPrintTakeUpDuty();
      g_PrintLog.ClearLogArea();
    });
    return s_ulLogged;
  };
  EXPECT_EQ(RunPhase(RIBPH_PRINT_M, 1), 0);
  ExpectMotors(Print(Drive::Forward, 28));
  EXPECT_EQ(logged(), 41u);
  EXPECT_EQ(s_ulPrintDuty, 41u) << "kept for the print line";

  g_ulSinglePass = 1;
  EXPECT_EQ(RunPhase(RIBPH_PRINT_M, 1), 0);
  ExpectMotors(Print(Drive::Forward, 28));
  EXPECT_EQ(logged(), 28u) << "the print duty of single pass";
  g_ulSinglePass = 1;
  EXPECT_EQ(RunPhase(RIBPH_PRINT_L, 2), 0);
  ExpectMotors(Print(Drive::Reverse, 28));
}

TEST_F(RibbonPhases, WithKeepClutchAStopBrakesOnlyTheTakeUpAndStillClearsTheEncoders) {
  EXPECT_EQ(RunPhase(RIBPH_TENSION, 2), 0);
  ExpectMotors({Drive::Stop, kTakeUpBefore, Drive::Reverse, 100, true});
  static uint32_t s_aulCount[2];
  InApp([] {
    g_pDonorMng->SetKeepClutch(1);
    g_pDonorMng->StopRibbon(0, 1);
    g_SlitRibEncSrcL.GetLastCount(&s_aulCount[0]);  // read again by the clear
    g_SlitRibEncDstL.GetLastCount(&s_aulCount[1]);
  });
  EXPECT_EQ(TakeUpLines(), kTakeUpLines[static_cast<int>(Drive::Brake)]);
  EXPECT_EQ(SupplyLines(), kSupplyLines[static_cast<int>(Drive::Reverse)]) << "the supply keeps running";
  EXPECT_TRUE(ClutchOn());
  EXPECT_EQ(s_aulCount[0], 0u);
  EXPECT_EQ(s_aulCount[1], 0u);
  EXPECT_EQ(g_pDonorMng->GetTakeUpDuty(), 0u);
  EXPECT_EQ(g_pDonorMng->GetSupplyDuty(), 0u);

  // Without it the same stop brakes both and releases the clutch; a stop
  // that keeps the encoders and the clutch leaves the clutch on.
  EXPECT_EQ(RunPhase(RIBPH_TENSION, 2), 0);
  InApp([] {
    g_pDonorMng->SetKeepClutch(0);
    g_pDonorMng->StopRibbon(1, 0);
  });
  EXPECT_EQ(SupplyLines(), kSupplyLines[static_cast<int>(Drive::Brake)]);
  EXPECT_TRUE(ClutchOn());
  InApp([] { g_pDonorMng->StopRibbon(1, 1); });
  EXPECT_FALSE(ClutchOn());
}

// ---- counts, time and duty on quiet channels ---------------------------------------------------

TEST_F(QuietRibbon, TargetsAreReachedAcrossTheEncodersWrap) {
  struct Step {
    uint32_t ulPulses;          // added to the supply counter
    uint32_t ulCount;           // the 16-bit count then
    uint32_t ulDone;
    int32_t lRemaining;
  };
  // A target 20 counts past 65530 is count 14.
  const Step steps[] = {{0, 65530, 0, 20}, {5, 65535, 0, 15}, {8, 7, 0, 7}, {7, 14, 1, 0}, {6, 20, 1, -6}};
  Fpga().CountPulses(kSupplyCounter, 65530);
  static uint32_t s_ulTarget;
  InApp([] {
    g_pDonorMng->SetTarget(20);
    s_ulTarget = g_pDonorMng->GetSupplyTarget();
  });
  EXPECT_EQ(s_ulTarget, 14u);
  for (const Step& s : steps) {
    Fpga().CountPulses(kSupplyCounter, s.ulPulses);
    static uint32_t s_ulDone;
    static int32_t s_lRemaining, s_lResult;
    InApp([] {
      s_ulDone = 9;
      s_lResult = g_pDonorMng->IsAtTarget(0, &s_ulDone);
      g_pDonorMng->GetRemainingCount(&s_lRemaining);
    });
    EXPECT_EQ(Fpga().Counter(kSupplyCounter), s.ulCount);
    EXPECT_EQ(s_lResult, 0) << s.ulCount;
    EXPECT_EQ(s_ulDone, s.ulDone) << s.ulCount;
    EXPECT_EQ(s_lRemaining, s.lRemaining) << s.ulCount;
  }

  // The take-up's target the same way on its own counter.
  Fpga().CountPulses(kTakeUpCounter, 65534);
  static uint32_t s_aulDone[2];
  InApp([] {
    g_pDonorMng->SetTakeUpTarget(3);
    g_pDonorMng->IsAtTakeUpTarget(0, &s_aulDone[0]);
  });
  Fpga().CountPulses(kTakeUpCounter, 3);
  InApp([] { g_pDonorMng->IsAtTakeUpTarget(0, &s_aulDone[1]); });
  EXPECT_EQ(s_aulDone[0], 0u);
  EXPECT_EQ(s_aulDone[1], 1u) << "at 1, past the wrap";
}

TEST_F(QuietRibbon, AFastWindEndsOnlyASearchWhoseTargetThePassHasPassed) {
  // Target 14 from 65530: not passed, so the wind keeps it.
  Fpga().CountPulses(kSupplyCounter, 65530);
  static uint32_t s_aulState[2], s_aulTarget[2];
  InApp([] {
    g_pDonorMng->SetTarget(20);
    g_pDonorMng->SetRibbonPhase(RIBPH_WIND_Y, 1);
    g_pDonorMng->GetState(&s_aulState[0]);
    s_aulTarget[0] = g_pDonorMng->GetSupplyTarget();
  });
  EXPECT_EQ(s_aulState[0], CDonorMng::kSearchIdle);
  EXPECT_EQ(s_aulTarget[0], 14u);
  // At 20 the target lies behind: the search ends one count further.
  Fpga().CountPulses(kSupplyCounter, 26);
  InApp([] {
    g_pDonorMng->SetRibbonPhase(RIBPH_WIND_M, 1);
    g_pDonorMng->GetState(&s_aulState[1]);
    s_aulTarget[1] = g_pDonorMng->GetSupplyTarget();
  });
  EXPECT_EQ(s_aulState[1], CDonorMng::kSearchStopping);
  EXPECT_EQ(s_aulTarget[1], 21u);
}

TEST_F(QuietRibbon, AnAskedEndStopsOneCountFurtherWhateverThePhase) {
  Fpga().CountPulses(kSupplyCounter, 65535);
  static uint32_t s_ulState, s_ulTarget;
  InApp([] {
    g_pDonorMng->SetAdvanceMark(1);
    g_pDonorMng->SetRibbonPhase(RIBPH_ROLLBACK_Y, 2);
    g_pDonorMng->GetState(&s_ulState);
    s_ulTarget = g_pDonorMng->GetSupplyTarget();
    g_pDonorMng->SetTarget(40000);
  });
  EXPECT_EQ(s_ulState, CDonorMng::kSearchStopping);
  EXPECT_EQ(s_ulTarget, 0u) << "65535 + 1";
  EXPECT_EQ(g_pDonorMng->GetSupplyTarget(), (65535u + 32767u) & 0xFFFFu) << "a target at most 32767 ahead";
}

TEST_F(QuietRibbon, AStallIsMoreThan4000MsWithoutSupplyMotion) {
  static uint32_t s_aulStalled[3];
  static bool s_abError[3];
  static int32_t s_lAtTarget;
  InApp(
      [] {
        // At the start of a millisecond, so the phase's time is t0.
        const uint32_t ulTick = NowMs();
        while (NowMs() == ulTick) CpuRelax();
        g_pDonorMng->SetRibbonPhase(RIBPH_TENSION, 1);
        const uint32_t ulStart = NowMs();
        while (NowMs() - ulStart < 4000) CpuRelax();
        g_pDonorMng->CheckStall(&s_aulStalled[0]);
        s_abError[0] = RibbonEmptySet();
        while (NowMs() - ulStart < 4001) CpuRelax();
        g_pDonorMng->CheckStall(&s_aulStalled[1]);
        s_abError[1] = RibbonEmptySet();
        uint32_t ulDone = 0;
        s_lAtTarget = g_pDonorMng->IsAtTarget(1, &ulDone);
      },
      Ms(6000));
  EXPECT_EQ(s_aulStalled[0], 0u) << "exactly 4000 ms";
  EXPECT_FALSE(s_abError[0]);
  EXPECT_EQ(s_aulStalled[1], 1u) << "4001 ms";
  EXPECT_TRUE(s_abError[1]) << "Ribbon Empty L";
  EXPECT_EQ(s_lAtTarget, -1) << "a wind that requires motion fails";

  // Motion starts the watch again.
  Fpga().CountPulses(kSupplyCounter, 1);
  InApp(
      [] {
        g_ErrorMng.ClearError(kRibbonEmptyL);
        g_pDonorMng->CheckStall(&s_aulStalled[2]);
        const uint32_t ulStart = NowMs();
        while (NowMs() - ulStart < 3000) CpuRelax();
        uint32_t ulDone = 0;
        s_lAtTarget = g_pDonorMng->IsAtTarget(1, &ulDone);
        s_abError[2] = RibbonEmptySet();
      },
      Ms(4000));
  EXPECT_EQ(s_aulStalled[2], 0u);
  EXPECT_EQ(s_lAtTarget, 0);
  EXPECT_FALSE(s_abError[2]);
}

// The tightening loop of a sequence: steps until done or failed, noting
// every duty the take-up is given.
struct Tightening {
  int32_t lResult = 0;
  uint32_t ulDone = 0;
  std::vector<uint32_t> duties;
};
Tightening g_tightening;

void Tighten(uint32_t ulCounts) {
  g_tightening = {};
  g_pDonorMng->SetRibbonPhase(RIBPH_TENSION, 1);  // take-up at 40 %
  g_pDonorMng->StartTighten(100, ulCounts);
  uint32_t ulDuty = g_pDonorMng->GetTakeUpDuty();
  g_tightening.duties.push_back(ulDuty);
  while (g_tightening.lResult == 0 && g_tightening.ulDone == 0) {
    g_tightening.lResult = g_pDonorMng->StepTighten(&g_tightening.ulDone);
    if (g_pDonorMng->GetTakeUpDuty() != ulDuty) {
      ulDuty = g_pDonorMng->GetTakeUpDuty();
      g_tightening.duties.push_back(ulDuty);
    }
  }
}

TEST_F(QuietRibbon, TighteningRaisesTheDutyBy5PerIntervalAndFailsAbove20More) {
  InApp([] { Tighten(50); }, Ms(2000));
  EXPECT_EQ(g_tightening.lResult, -1);
  EXPECT_EQ(g_tightening.ulDone, 0u);
  // The last raise would be 65: StopOnFault records 0.
  EXPECT_EQ(g_tightening.duties, (std::vector<uint32_t>{40, 45, 50, 55, 60, 0}));
  EXPECT_TRUE(RibbonEmptySet());
  EXPECT_EQ(QuietLines(), 0x000Fu) << "both motors braked";
  EXPECT_FALSE(ClutchOn());
  uint32_t ulState = 9;
  g_pDonorMng->GetState(&ulState);
  EXPECT_EQ(ulState, CDonorMng::kSearchIdle);
}

TEST_F(QuietRibbon, TighteningEndsWhenTheSupplyHasTurnedItsCountsPastTheWrap) {
  Fpga().CountPulses(kSupplyCounter, 65530);
  Start([] { Tighten(50); });
  m_machine->RunUntil([this] { return QuietTakeUpDuty() == 45; }, Ms(1000));
  ASSERT_EQ(QuietTakeUpDuty(), 45u);
  // 15 counts, across the wrap to count 9: not yet 50.
  Fpga().CountPulses(kSupplyCounter, 15);
  RunFor(Ms(50));
  EXPECT_EQ(g_tightening.ulDone, 0u);
  Fpga().CountPulses(kSupplyCounter, 35);
  ASSERT_TRUE(Finish(Ms(50)));
  EXPECT_EQ(g_tightening.lResult, 0);
  EXPECT_EQ(g_tightening.ulDone, 1u);
  EXPECT_EQ(g_tightening.duties, (std::vector<uint32_t>{40, 45}));
  EXPECT_FALSE(RibbonEmptySet());
}

// ---- conversions -------------------------------------------------------------------------------

TEST_F(RibbonTest, LinesBecomeCountsByTheObjectsUnitsMeasuredSheetOrByTheModel) {
  struct Case {
    CDonorMng* pManager;
    uint32_t ulLines;
    uint32_t ulCounts;
  };
  // Unit L measured 200 counts over 1000 lines: 10 lines are 2 counts, 11
  // lines 2.2, rounded up. Unit R measured nothing: the model's 1000 counts
  // per 17532-line print, 11 lines 0.63 up to 1.
  const Case cases[] = {{&g_DonorMngColorSenL, 10, 2}, {&g_DonorMngColorSenL, 11, 3},
                        {&g_DonorMngColorSenL, 0, 0},  {&g_DonorMngColorSenR, 17532, 1000},
                        {&g_DonorMngColorSenR, 11, 1}, {&g_DonorMngMarkSenL, 10, 1}};
  for (const Case& c : cases) {
    static uint32_t s_ulCounts;
    InApp([&c] {
      g_DonorMngColorSenL.SetLastPrintCounts(200, 1000);
      g_pRibbonRoll->SetCountScale0(1000);
      s_ulCounts = 99;
      c.pManager->LengthToCounts(c.ulLines, &s_ulCounts);
    });
    EXPECT_EQ(s_ulCounts, c.ulCounts) << c.ulLines;
  }
}

TEST_F(RibbonTest, TheRibbonSizeIsThatOfTheCurrentModelOrNone) {
  CRibbonRoll* const pEnd = RibbonRollEnd();
  struct Case {
    CRibbonRoll* pRoll;
    int32_t lResult;
    uint32_t ulSize;
  };
  const Case cases[] = {{&g_RibbonRolls.mark8x10L, 0, 1},    {&g_RibbonRolls.mark8x12R, 0, 2},
                        {&g_RibbonRolls.color8x10K2R, 0, 1}, {&g_RibbonRolls.color8x12K1L, 0, 2},
                        {pEnd, -1, 0},                       {nullptr, -1, 0}};
  for (const Case& c : cases) {
    static int32_t s_lResult;
    static uint32_t s_ulSize;
    InApp([&c] {
      CRibbonRoll* const pSaved = g_pRibbonRoll;
      g_pRibbonRoll = c.pRoll;
      s_ulSize = 9;
      s_lResult = g_pDonorMng->GetRibbonSize(&s_ulSize);
      g_pRibbonRoll = pSaved;
    });
    EXPECT_EQ(s_lResult, c.lResult);
    EXPECT_EQ(s_ulSize, c.ulSize);
  }
}

}  // namespace
}  // namespace ribbontest
