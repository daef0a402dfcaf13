// The ribbon drive's duties: the settings by side and index with their
// automatic duties (the rollback by take-up diameter, the print planes from
// the TABLE or 28 in single pass), the TABLE duty with the TABLE's tables
// missing, empty or clamped, and the motor model with its log line, its
// clamping and a print speed the TABLE lacks.
#include "firmware/mechanism/ribbon_duty.h"

#include <gtest/gtest.h>

#include <string>

#include "firmware/devices/settings.h"
#include "firmware/mechanism/ribbon_test_rig.h"

namespace ribbontest {
namespace {

class RibbonDuty : public RibbonTest {
 protected:
  // The take-up diameter of the current model (unit A's mark 8x10).
  void SetDiameter(uint32_t ulMm) {
    static uint32_t s_ulMm;
    s_ulMm = ulMm;
    InApp([] { SetTakeUpDiameter(*g_pRibbonRoll, s_ulMm); });
  }
};

TEST_F(RibbonDuty, EachPhaseHasItsIndexAndEachIndexItsTwoSettings) {
  // The default settings; the take-up of the mark 8x10 model measures 42
  // mm at construction, so the initial rollback takes row 10 of its table.
  struct Case {
    uint32_t ulIndex;
    uint32_t ulTakeUp, ulSupply;
  };
  const Case cases[] = {{RIBDUTY_ROLLUP, 80, 0},      {RIBDUTY_ROLLBACK, 32, 100}, {RIBDUTY_ROLLBACK_INIT, 63, 100},
                        {RIBDUTY_TENSION, 40, 100},   {RIBDUTY_INITIAL, 60, 100},  {RIBDUTY_CALIB, 60, 0},
                        {RIBDUTY_ROLLUP_AP, 80, 0}};
  PutTable(images::Bytes{});
  for (const Case& c : cases) {
    static uint32_t s_aulDuty[2];
    static int32_t s_alResult[2];
    InApp([&c] {
      s_aulDuty[0] = s_aulDuty[1] = 999;
      s_alResult[0] = g_pDonorMng->GetPhaseDuty(RIBBON_SIDE_TAKE_UP, c.ulIndex, &s_aulDuty[0]);
      s_alResult[1] = g_pDonorMng->GetPhaseDuty(RIBBON_SIDE_SUPPLY, c.ulIndex, &s_aulDuty[1]);
    });
    EXPECT_EQ(s_alResult[0], 0) << c.ulIndex;
    EXPECT_EQ(s_alResult[1], 0) << c.ulIndex;
    EXPECT_EQ(s_aulDuty[0], c.ulTakeUp) << "take-up of index " << c.ulIndex;
    EXPECT_EQ(s_aulDuty[1], c.ulSupply) << "supply of index " << c.ulIndex;
  }
  // Every phase's index; the print phases 1, 2, 3, 5 those of Y, M, C, L.
  const uint8_t aucIndex[RIBPH_COUNT] = {3, 7, 8, 9, 4, 10, 4, 4, 0, 4, 0, 4, 0, 4, 0,
                                         4, 1, 1, 1, 1, 2, 2, 2, 2, 4, 5, 6, 6, 6, 6};
  for (uint32_t ulPhase = 0; ulPhase <= RIBPH_COUNT; ++ulPhase) {
    uint32_t ulIndex = 99;
    EXPECT_EQ(CDonorMng::GetDutyIndex(ulPhase, &ulIndex), ulPhase < RIBPH_COUNT ? 0 : -1) << ulPhase;
    EXPECT_EQ(ulIndex, ulPhase < RIBPH_COUNT ? aucIndex[ulPhase] : 99u) << ulPhase;
  }
  // A setting that is not 0 is the duty, automatic index or not.
  static uint32_t s_ulDuty;
  InApp([] {
    g_ParamRollBackInitD.SetValueNoSave(45);
    g_pDonorMng->GetPhaseDuty(RIBBON_SIDE_TAKE_UP, RIBDUTY_ROLLBACK_INIT, &s_ulDuty);
  });
  EXPECT_EQ(s_ulDuty, 45u);
}

TEST_F(RibbonDuty, AnotherSideOrIndexIsRefusedAndLeavesTheDutyUnwritten) {
  struct Case {
    uint32_t ulSide, ulIndex;
  };
  for (const Case& c : {Case{2, RIBDUTY_TENSION}, Case{0xFFFFFFFFu, RIBDUTY_ROLLUP}, Case{1, RIBDUTY_COUNT},
                        Case{0, 0xFFFFFFFFu}}) {
    static int32_t s_lResult;
    static uint32_t s_ulDuty;
    InApp([&c] {
      s_ulDuty = 77;
      s_lResult = g_pDonorMng->GetPhaseDuty(c.ulSide, c.ulIndex, &s_ulDuty);
    });
    EXPECT_EQ(s_lResult, -1) << c.ulSide << "/" << c.ulIndex;
    EXPECT_EQ(s_ulDuty, 77u) << c.ulSide << "/" << c.ulIndex;
  }
}

TEST_F(RibbonDuty, TheInitialRollbackFollowsTheTakeUpDiameter) {
  struct Case {
    uint32_t ulMm;
    uint32_t ulDuty;
  };
  // Row diameter - 32, clamped to the table's 64 rows.
  for (const Case& c : {Case{31, 86}, Case{32, 86}, Case{48, 67}, Case{56, 40}, Case{67, 26}, Case{100, 25}}) {
    SetDiameter(c.ulMm);
    static uint32_t s_ulDuty;
    InApp([] { g_pDonorMng->GetPhaseDuty(RIBBON_SIDE_TAKE_UP, RIBDUTY_ROLLBACK_INIT, &s_ulDuty); });
    EXPECT_EQ(s_ulDuty, c.ulDuty) << c.ulMm << " mm";
  }
}

TEST_F(RibbonDuty, ThePrintDutiesComeFromTheTakeUpTablesOrAre28InSinglePass) {
  images::TableImageParams p = PrintDutyTable();
  // Plane Y: bytes 10.. by diameter from the base 30; plane M's table is
  // empty; plane C's has no table at all (ids from 98 on are unknown).
  p.tables[96] = {images::Bytes{10, 11, 12, 13, 14, 15, 16, 17, 18, 19}};
  p.tables[97] = {images::Bytes{}};
  p.tables.erase(98);
  p.tables.erase(99);
  p.tableCount = 98;
  PutTable(p);
  struct Case {
    const char* name;
    uint32_t ulSupply, ulPlane, ulDiameter;
    uint32_t ulDuty;
  };
  const Case cases[] = {
      {"below the base", 0, 0, 25, 10},
      {"at the base", 0, 0, 30, 10},
      {"in the table", 0, 0, 34, 14},
      {"past its end", 0, 0, 90, 19},
      {"the supply, whatever the byte", 1, 0, 34, 0},
      {"an empty table", 0, 1, 34, 0},
      {"a table the TABLE lacks", 0, 2, 34, 0},
  };
  for (const Case& c : cases) {
    static uint32_t s_ulDuty;
    InApp([&c] { s_ulDuty = g_pDonorMng->GetTableDuty(c.ulSupply, c.ulPlane, c.ulDiameter); });
    EXPECT_EQ(s_ulDuty, c.ulDuty) << c.name;
  }

  // Through the print indexes at the model's 42 mm: row 12.
  static uint32_t s_aulDuty[4];
  InApp([] {
    g_pDonorMng->GetPhaseDuty(RIBBON_SIDE_TAKE_UP, RIBDUTY_PRINT_Y, &s_aulDuty[0]);
    g_pDonorMng->GetPhaseDuty(RIBBON_SIDE_SUPPLY, RIBDUTY_PRINT_Y, &s_aulDuty[1]);
    g_ulSinglePass = 1;
    g_pDonorMng->GetPhaseDuty(RIBBON_SIDE_TAKE_UP, RIBDUTY_PRINT_C, &s_aulDuty[2]);
    g_pDonorMng->GetPhaseDuty(RIBBON_SIDE_SUPPLY, RIBDUTY_PRINT_C, &s_aulDuty[3]);
  });
  EXPECT_EQ(s_aulDuty[0], 19u);
  EXPECT_EQ(s_aulDuty[1], 0u);
  EXPECT_EQ(s_aulDuty[2], 28u) << "single pass";
  EXPECT_EQ(s_aulDuty[3], 0u) << "single pass leaves the supply alone";
}

TEST_F(RibbonDuty, WithoutATableImageOrItsBaseThereIsNoTableDuty) {
  static uint32_t s_ulDuty;
  PutTable(images::Bytes{});
  InApp([] { s_ulDuty = g_pDonorMng->GetTableDuty(0, 0, 40); });
  EXPECT_EQ(s_ulDuty, 0u) << "no TABLE image";
  images::TableImageParams p = PrintDutyTable();
  p.values[0][64] = 0;
  PutTable(p);
  InApp([] { s_ulDuty = g_pDonorMng->GetTableDuty(0, 0, 40); });
  EXPECT_EQ(s_ulDuty, 0u) << "base 0";
}

TEST_F(RibbonDuty, TheMotorModelGivesTheTakeUpDutyClampedAndLogged) {
  struct Case {
    uint32_t ulSpeed, ulTension, ulMm;
    uint32_t ulDuty;
  };
  const Case cases[] = {
      // V = 200 x 0.0846667 x 0.025 x 19.0986 = 8.085, Q = 1000:
      // (8.085 + 12.1 + 3.6433) / (1.1388 - 0.02) = 21.3.
      {5000, 500, 40, 21},
      {100, 500, 40, 100},       // 375 clamped
      {5000, 2000000, 40, 0},    // below 0 clamped
      {0, 500, 40, 100},         // speed 0: infinite
      {5000, 500, 0, 100},       // diameter 0: infinite
  };
  for (const Case& c : cases) {
    SetDiameter(c.ulMm);
    static int32_t s_lResult;
    static uint32_t s_ulDuty;
    InApp([&c] { s_lResult = CDonorMng::CalcDuty(c.ulSpeed, c.ulTension, &s_ulDuty); });
    EXPECT_EQ(s_lResult, 0);
    EXPECT_EQ(s_ulDuty, c.ulDuty) << c.ulSpeed << "/" << c.ulTension << "/" << c.ulMm;
    const std::string line = "[CalcDuty] PrintSpeed=" + std::to_string(c.ulSpeed) +
                             ", Tension=" + std::to_string(c.ulTension) + ", Diameter=" + std::to_string(c.ulMm) +
                             ", Duty=" + std::to_string(c.ulDuty);
    EXPECT_TRUE(m_machine->Logged(line)) << line;
  }
}

TEST_F(RibbonDuty, APrintPhaseStartsAtTheModelsDutyForItsPlanesSpeedAndTension) {
  PutTable(PrintDutyTable());
  // At 42 mm and the default tensions 5 (x 100): the speeds 5000, 2500,
  // 10000 of Y, M, C and the overcoat's 1000 (value 3, the glossy index).
  struct Case {
    uint32_t ulPhase;
    int32_t lResult;
    uint32_t ulDuty;
  };
  const Case cases[] = {{RIBPH_PRINT_Y, 0, 21}, {RIBPH_PRINT_M, 0, 28},   {RIBPH_PRINT_C, 0, 18},
                        {RIBPH_PRINT_L, 0, 49}, {RIBPH_TENSION, -1, 777}, {RIBPH_INIT_TO_L, -1, 777},
                        {RIBPH_COUNT, -1, 777}};
  for (const Case& c : cases) {
    static int32_t s_lResult;
    static uint32_t s_ulDuty;
    InApp([&c] {
      s_ulDuty = 777;
      s_lResult = g_pDonorMng->GetPrintTakeUpDuty(c.ulPhase, &s_ulDuty);
    });
    EXPECT_EQ(s_lResult, c.lResult) << c.ulPhase;
    EXPECT_EQ(s_ulDuty, c.ulDuty) << c.ulPhase;
  }
  // The overcoat's own tension; single pass runs Y, M, C at 5000.
  static uint32_t s_aulDuty[2];
  InApp([] {
    g_ParamTensionL.SetValueNoSave(0);
    g_pDonorMng->GetPrintTakeUpDuty(RIBPH_PRINT_L, &s_aulDuty[0]);
    g_ulSinglePass = 1;
    g_pDonorMng->GetPrintTakeUpDuty(RIBPH_PRINT_C, &s_aulDuty[1]);
  });
  // (38.5 + 3.6433) / 1.1388 without a load.
  EXPECT_EQ(s_aulDuty[0], 37u) << "tension 0";
  EXPECT_TRUE(m_machine->Logged("[CalcDuty] PrintSpeed=1000, Tension=0, Diameter=42, Duty=37"));
  EXPECT_EQ(s_aulDuty[1], 21u) << "single pass: speed 5000";
}

TEST_F(RibbonDuty, APrintSpeedTheTableLacksGivesFullDuty) {
  PutTable(images::Bytes{});
  static uint32_t s_ulDuty;
  InApp([] { g_pDonorMng->GetPrintTakeUpDuty(RIBPH_PRINT_M, &s_ulDuty); });
  EXPECT_EQ(s_ulDuty, 100u);
  EXPECT_TRUE(m_machine->Logged("[CalcDuty] PrintSpeed=0, Tension=500, Diameter=42, Duty=100"));
}

TEST_F(RibbonDuty, ThePrintLineAppliesOnlyTheStoredDuty) {
  PutTable(PrintDutyTable());
  static uint32_t s_ulRecorded;
  InApp([] {
    g_pDonorMng->SetRibbonPhase(RIBPH_PRINT_M, 1);  // starts at 28, keeps the table's 41
    g_pDonorMng->ApplyTakeUpDuty();
    s_ulRecorded = g_pDonorMng->GetTakeUpDuty();
  });
  EXPECT_EQ(TakeUpDuty(), kTableDuty + 1u);
  EXPECT_EQ(s_ulRecorded, kTableDuty + 1u);
  EXPECT_EQ(TakeUpLines(), kTakeUpLines[static_cast<int>(Drive::Forward)]) << "the direction stays";
}

}  // namespace
}  // namespace ribbontest
