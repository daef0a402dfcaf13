// The head voltage against the board's supply model: the target step, the
// blocking and non-blocking walks and their timing, the measurement, the
// powers from the TABLE values, the manual tuning by keys, the front-cover
// wait and the automatic tuning with its bound. No walk may move the
// supply by more than one step at a time.
#include "firmware/printengine/thv_control.h"

#include <string>
#include <vector>

#include "firmware/control/control_test_rig.h"
#include "firmware/control/lcd.h"
#include "firmware/control/power_save.h"
#include "firmware/devices/settings.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/hal/hw.h"
#include "firmware/platform/fpga_regs.h"
#include "firmware/printengine/table_store.h"
#include "sim/fpga/fpga_main_block.h"
#include "sim/mechanism/head_supply.h"
#include "sim/mechanism/mechanism_inputs.h"
#include "sim/memory/nor_flash.h"
#include "tools/images/flash_map.h"
#include "tools/images/table_image.h"

namespace controltest {
namespace {

using sim::HeadSupply;

struct StepWrite {
  uint32_t ulStep;
  uint32_t ulAtMs;
};

class ThvControl : public ControlTest {
 protected:
  void SetUp() override {
    ControlTest::SetUp();
    Fpga().AddWriteObserver(sim::FpgaMainBlock::kThvCtrl, sim::FpgaMainBlock::kThvCtrl + 1,
                            [this](uint32_t, uint16_t value) {
                              const uint32_t ulStep = value >> 6;
                              if (m_writes.empty() || m_writes.back().ulStep != ulStep) {
                                m_writes.push_back({ulStep, static_cast<uint32_t>(m_machine->Now() / sim::kNsPerMs)});
                              }
                            });
    InApp([] {
      g_Lcd.Init();
      g_Lcd.PowerOn();
    });
    m_writes.clear();
  }
  void TearDown() override {
    EXPECT_EQ(Supply().Jumps(), 0u) << "the supply moved by more than one step at once";
    ControlTest::TearDown();
  }
  sim::FpgaMainBlock& Fpga() { return *m_machine->GetBoard().FindDevice<sim::FpgaMainBlock>(); }
  HeadSupply& Supply() { return *m_machine->GetBoard().FindDevice<HeadSupply>(); }
  sim::MechanismInputs& Mechanism() { return *m_machine->GetBoard().FindDevice<sim::MechanismInputs>(); }
  // Starts a job in the application task; Done() tells when it has run.
  void Launch(std::function<void()> job) {
    m_bDone = false;
    hostiftest::g_app.jobs.push_back([this, job = std::move(job)] {
      job();
      m_bDone = true;
    });
  }
  bool RunToDone(sim::Nanos limit) {
    m_machine->RunUntil([this] { return m_bDone; }, limit);
    return m_bDone;
  }
  bool RunUntilShown(const std::string& text, sim::Nanos limit = Ms(3000)) {
    m_machine->RunUntil([&] { return Lcd().Visible() == text; }, limit);
    return Lcd().Visible() == text;
  }
  void Tap(PanelKey key) {
    // Held across several passes of the screen's loop (a measurement and a
    // 10 ms poll each), released before the + and - keys repeat.
    Keys().Tap(key, Ms(250));
    m_machine->RunFor(Ms(600));
  }
  static void Set(CParameter& param, int32_t lValue) { param.SetValueNoSave(lValue); }
  static int32_t Value(const CParameter& param) {
    int32_t lValue = 0;
    param.GetValue(&lValue);
    return lValue;
  }

  std::vector<StepWrite> m_writes;
  bool m_bDone = false;
};

// ---- the target and the walks ----------------------------------------------------------

TEST_F(ThvControl, TheTargetIsTheSettingLessTheDensityPlusTheHumidityClampedToTheLimits) {
  struct Case {
    int32_t lSetting, lDensity, lHumid;
    uint16_t usTarget;
  };
  static constexpr Case kCases[] = {
      {700, 110, -5, 685},   // 700 - 10 - 5
      {285, 110, -5, 280},   // clamped to the minimum
      {1020, 90, 10, 1023},  // clamped to the maximum
      {776, 100, 0, 776},
  };
  for (const Case& c : kCases) {
    static uint16_t s_usTarget;
    InApp([&c] {
      Set(g_ParamThvYL, c.lSetting);
      Set(g_ParamDensityYmcL, c.lDensity);
      g_ThvYL.SetHumidCorrection(c.lHumid);
      s_usTarget = g_ThvYL.ComputeTargetStep();
    });
    EXPECT_EQ(s_usTarget, c.usTarget) << c.lSetting << " " << c.lDensity << " " << c.lHumid;
  }
  EXPECT_TRUE(m_machine->Logged("[ThvCnt] thv_value = 1020, density_value =   90(-10) "));
  EXPECT_TRUE(m_machine->Logged("[ThvCnt] CorrectValueHumid =   -5 "));
  EXPECT_TRUE(m_machine->Logged("[ThvCnt] target_value =  685"));
  // The pre-heat objects have no density setting.
  static uint16_t s_usPheat;
  InApp([] {
    Set(g_ParamThvPheatL, 500);
    s_usPheat = g_ThvPheatL.ComputeTargetStep();
  });
  EXPECT_EQ(s_usPheat, 500);
}

TEST_F(ThvControl, AWalkAlreadyAtItsTargetAnswersOneOnceThenZero) {
  static int32_t s_al[4];
  InApp([] {
    Set(g_ParamThvML, 776);
    s_al[0] = g_ThvML.StartStepToTarget();
    s_al[1] = g_ThvML.StepToTarget();
    s_al[2] = g_ThvML.StepToTarget();
    s_al[3] = g_ThvML.StepToTarget();
  });
  EXPECT_EQ(s_al[0], 0);
  EXPECT_EQ(s_al[1], 1);
  EXPECT_EQ(s_al[2], 0);
  EXPECT_EQ(s_al[3], 0);
  EXPECT_TRUE(m_writes.empty());
}

TEST_F(ThvControl, TheBlockingWalkStepsEvery2MsAndTheNonBlockingOneEvery4Ms) {
  struct Case {
    const char* pszWhat;
    uint32_t ulTo;
    bool bBlocking;
    uint32_t ulIntervalMs;
  };
  static constexpr Case kCases[] = {
      {"up", 780, true, 2},
      {"down", 772, true, 2},
      {"walk up", 781, false, 4},
      {"walk down", 770, false, 4},
  };
  for (const Case& c : kCases) {
    InApp([] { MoveThvTo(776); }, Ms(5000));
    m_writes.clear();
    InApp([&c] {
      if (c.bBlocking) {
        MoveThvTo(static_cast<uint16_t>(c.ulTo));
      } else {
        Set(g_ParamThvCL, static_cast<int32_t>(c.ulTo));
        Set(g_ParamDensityYmcL, 100);
        g_ThvCL.SetHumidCorrection(0);
        WalkThvToTarget(g_ThvCL);
      }
    });
    std::vector<uint32_t> steps;
    for (const StepWrite& w : m_writes) steps.push_back(w.ulStep);
    std::vector<uint32_t> expected;
    for (uint32_t s = 776; s != c.ulTo;) {
      s = s < c.ulTo ? s + 1 : s - 1;
      expected.push_back(s);
    }
    EXPECT_EQ(steps, expected) << c.pszWhat;
    for (size_t i = 1; i < m_writes.size(); ++i) {
      EXPECT_EQ(m_writes[i].ulAtMs - m_writes[i - 1].ulAtMs, c.ulIntervalMs) << c.pszWhat << " write " << i;
    }
    EXPECT_EQ(Supply().Step(), c.ulTo);
  }
}

// ---- the measurement -------------------------------------------------------------------

TEST_F(ThvControl, TheMeasurementAveragesTheRawReadingsIntoMillivolts) {
  struct Case {
    int32_t lRaw;  // -1: the supply's own reading
    uint32_t ulStep;
    uint32_t ulMilliVolt;
  };
  static constexpr Case kCases[] = {
      {1023, 776, 49451},
      {0, 776, 0},
      {-1, 776, (HeadSupply::RawOf(HeadSupply::MilliVoltOf(776)) * 49500u) >> 10},
      {-1, 900, (HeadSupply::RawOf(HeadSupply::MilliVoltOf(900)) * 49500u) >> 10},
  };
  for (const Case& c : kCases) {
    Supply().SetStuckReading(c.lRaw);
    static uint32_t s_ulMv;
    static uint32_t s_ulStep;
    s_ulStep = c.ulStep;
    InApp([] {
      MoveThvTo(static_cast<uint16_t>(s_ulStep));
      s_ulMv = g_ThvYL.MeasureThvMilliVolt();
    }, Ms(5000));
    EXPECT_EQ(s_ulMv, c.ulMilliVolt) << c.lRaw << " " << c.ulStep;
    EXPECT_FALSE(Supply().MeasureOn()) << "the measurement is switched off after it";
  }
  // Shown on the LCD, right-aligned before "mV".
  Supply().SetStuckReading(1023);
  InApp([] { g_ThvYL.ShowThvMilliVolt(); });
  EXPECT_EQ(Lcd().Visible(), "THV      49451mV");
  Supply().SetDeadMeasurement(true);
  static uint32_t s_ulDead;
  InApp([] { s_ulDead = g_ThvYL.MeasureThvMilliVolt(); });
  EXPECT_EQ(s_ulDead, 0u);
}

// ---- the powers from the TABLE values --------------------------------------------------

TEST_F(ThvControl, ThePowersComeFromTheTableUntilTheFirstValueOutOfRange) {
  struct Case {
    const char* pszWhat;
    uint32_t ulIndex;
    uint32_t ulValue;
    int32_t lResult;
    uint32_t ulLoaded;  // planes Y, M, C, OP, MATTE, SP, PHEAT that took their value
  };
  static constexpr Case kCases[] = {
      {"all in range, 2500 at the glossy overcoat", 43, 2500, 0, 7},
      {"2501 at the glossy overcoat", 43, 2501, -2, 3},
      {"499 at yellow", 40, 499, -2, 0},
      {"500 at the pre-heat", 176, 500, 0, 7},
  };
  static constexpr uint32_t kIndexes[] = {40, 41, 42, 43, 44, 45, 176};
  for (const Case& c : kCases) {
    images::TableImageParams params;
    params.values.assign(2, std::vector<uint32_t>(256, 0));
    for (uint32_t i = 0; i < 7; ++i) params.values[0][kIndexes[i]] = 1000 + i;
    params.values[0][c.ulIndex] = c.ulValue;
    const images::Bytes image = images::BuildTableImage(params);
    sim::NorFlash& flash = *m_machine->GetBoard().FindDevice<sim::NorFlash>();
    const images::Bytes erased(images::kTableAreaBytes, 0xFF);
    flash.LoadImage(images::kAreaTable.offset, erased.data(), images::kTableAreaBytes);
    flash.LoadImage(images::kAreaTable.offset, image.data(), static_cast<uint32_t>(image.size()));
    static int32_t s_lResult;
    static uint16_t s_ausPowers[14];
    InApp([] {
      for (CThvCnt* pThv : g_ThvTableL) if (pThv != nullptr) pThv->SetPower(CThvCnt::kDefaultPower);
      for (CThvCnt* pThv : g_ThvTableR) if (pThv != nullptr) pThv->SetPower(CThvCnt::kDefaultPower);
      g_ErrorMng.ClearError(0x0122);
      InitTableData();
      SelectTableBank(0);
      s_lResult = LoadThvPowerFromTable();
      for (uint32_t i = 0; i < 7; ++i) {
        s_ausPowers[i] = g_ThvTableL[i]->GetPower();
        s_ausPowers[7 + i] = g_ThvTableR[i]->GetPower();
      }
    }, Ms(5000));
    EXPECT_EQ(s_lResult, c.lResult) << c.pszWhat;
    EXPECT_EQ(IsErrorSet(0x0122), c.lResult != 0) << c.pszWhat;
    for (uint32_t i = 0; i < 7; ++i) {
      const uint32_t ulExpected = i < c.ulLoaded ? params.values[0][kIndexes[i]] : CThvCnt::kDefaultPower;
      EXPECT_EQ(s_ausPowers[i], ulExpected) << c.pszWhat << " L " << i;
      EXPECT_EQ(s_ausPowers[7 + i], ulExpected) << c.pszWhat << " R " << i;
    }
  }
  EXPECT_TRUE(m_machine->Logged("[THV_Power(OP(Glossy))] = 2500"));
  EXPECT_TRUE(m_machine->Logged("[THV_Power(Preheat)] = 500"));
}

// ---- the objects -----------------------------------------------------------------------

TEST_F(ThvControl, TheObjectsHoldTheirSettingsAndTheUnitSwitchPointsAtTheCurrentUnitsObjects) {
  static CParameter* s_apSettings[14];
  static CThvCnt* s_apCur[2][6];
  InApp([] {
    for (uint32_t i = 0; i < 7; ++i) {
      g_ThvTableL[i]->GetThvSetting(&s_apSettings[i]);
      g_ThvTableR[i]->GetThvSetting(&s_apSettings[7 + i]);
    }
    for (uint32_t u = 0; u < 2; ++u) {
      SelectUnit(u);
      CThvCnt* apCur[] = {g_pCurThvY, g_pCurThvM, g_pCurThvC, g_pCurThvOP, g_pCurThvMatte, g_pCurThvSP};
      for (uint32_t i = 0; i < 6; ++i) s_apCur[u][i] = apCur[i];
    }
    SelectUnit(0);
  });
  CParameter* const kSettings[] = {&g_ParamThvYL,     &g_ParamThvML,  &g_ParamThvCL,      &g_ParamThvOPL,
                                   &g_ParamThvMatteL, &g_ParamThvSPL, &g_ParamThvPheatL,  &g_ParamThvYR,
                                   &g_ParamThvMR,     &g_ParamThvCR,  &g_ParamThvOPR,     &g_ParamThvMatteR,
                                   &g_ParamThvSPR,    &g_ParamThvPheatR};
  for (uint32_t i = 0; i < 14; ++i) EXPECT_EQ(s_apSettings[i], kSettings[i]) << i;
  for (uint32_t i = 0; i < 6; ++i) {
    EXPECT_EQ(s_apCur[0][i], g_ThvTableL[i]) << i;
    EXPECT_EQ(s_apCur[1][i], g_ThvTableR[i]) << i;
  }
  EXPECT_EQ(g_ThvTableL[7], nullptr);
  EXPECT_EQ(g_ThvTableR[7], nullptr);
  EXPECT_EQ(g_ThvYL.GetPower(), CThvCnt::kDefaultPower);
}

// ---- manual tuning ---------------------------------------------------------------------

TEST_F(ThvControl, ManualTuningMovesByKeysWithinTheVoltageLimitsAndStoresOnlyOnEnter) {
  struct Case {
    const char* pszWhat;
    int32_t lRaw;  // the measurement's reading
    PanelKey key;
    uint32_t ulStepAfter;
  };
  // From 800: + lowers the step below 34601 mV, - raises it from 20250 mV.
  static constexpr Case kCases[] = {
      {"+ below the upper limit", 715, PanelKey::Inc, 799},  // 34562 mV
      {"+ at the upper limit", 716, PanelKey::Inc, 800},     // 34611 mV
      {"- at the lower limit", 419, PanelKey::Dec, 801},     // 20254 mV
      {"- below the lower limit", 418, PanelKey::Dec, 800},  // 20205 mV
  };
  for (const Case& c : kCases) {
    InApp([] { Set(g_ParamThvYL, 800); });
    Supply().SetStuckReading(c.lRaw);
    Launch([] { g_ThvYL.ManualTune(); });
    ASSERT_TRUE(RunUntilShown("THV      " + std::to_string((c.lRaw * 49500) >> 10) + "mV"))
        << c.pszWhat << ": " << Lcd().Visible();
    // The screen's polls see the keys up first (the key manager still
    // waits for the release after the last screen's Clear).
    m_machine->RunFor(Ms(200));
    Tap(c.key);
    EXPECT_EQ(Supply().Step(), c.ulStepAfter) << c.pszWhat;
    Tap(PanelKey::Clear);
    ASSERT_TRUE(RunToDone(Ms(5000))) << c.pszWhat;
    EXPECT_EQ(Supply().Step(), 800u) << c.pszWhat << ": back to the stored step";
    EXPECT_EQ(Value(g_ParamThvYL), 800) << c.pszWhat;
  }
  Supply().SetStuckReading(-1);
  // Enter stores the step shown; Clear then shows the stored value.
  InApp([] { Set(g_ParamThvYL, 800); });
  Launch([] { g_ThvYL.ManualTune(); });
  m_machine->RunFor(Ms(300));
  Tap(PanelKey::Inc);
  Tap(PanelKey::Inc);
  Tap(PanelKey::Enter);
  Tap(PanelKey::Dec);
  EXPECT_EQ(Supply().Step(), 799u);
  Tap(PanelKey::Clear);
  EXPECT_TRUE(RunUntilShown("Thv          798")) << Lcd().Visible();
  ASSERT_TRUE(RunToDone(Ms(5000)));
  EXPECT_EQ(Value(g_ParamThvYL), 798);
  EXPECT_EQ(Supply().Step(), 798u);
}

// ---- the front cover -------------------------------------------------------------------

TEST_F(ThvControl, TheFrontCoverWaitEndsOnClearOrWhenTheCoverCloses) {
  static int32_t s_lResult;
  // Closed: at once.
  InApp([] { s_lResult = g_ThvYL.WaitFrontCoverClosed(); });
  EXPECT_EQ(s_lResult, 0);
  // Open, then Clear.
  Mechanism().SetCoverOpen(sim::Cover::Front, true);
  Launch([] { s_lResult = g_ThvYL.WaitFrontCoverClosed(); });
  ASSERT_TRUE(RunUntilShown("Front Cover Open"));
  Tap(PanelKey::Clear);
  ASSERT_TRUE(RunToDone(Ms(1000)));
  EXPECT_EQ(s_lResult, -1);
  // Open, then closed: the cover's error and power-save request go.
  InApp([] {
    g_Lcd.WriteLine("                ");
    g_ErrorMng.SetError(0x0607);
    g_PowerSave.SetCoverRequest(1);
  });
  Launch([] { s_lResult = g_ThvYL.WaitFrontCoverClosed(); });
  ASSERT_TRUE(RunUntilShown("Front Cover Open"));
  Mechanism().SetCoverOpen(sim::Cover::Front, false);
  ASSERT_TRUE(RunToDone(Ms(1000)));
  EXPECT_EQ(s_lResult, 0);
  EXPECT_FALSE(IsErrorSet(0x0607));
  EXPECT_EQ(Lcd().Visible(), "Tuning...       ");
}

// ---- automatic tuning ------------------------------------------------------------------

// The measured millivolts of a step, as the firmware computes them.
uint32_t MeasuredAt(uint32_t ulStep) { return (HeadSupply::RawOf(HeadSupply::MilliVoltOf(ulStep)) * 49500u) >> 10; }

TEST_F(ThvControl, AutoTuningStopsAtTheFirstStepThatCrossesTheWantedVoltage) {
  constexpr uint32_t kWanted = 23237;  // sqrt(4000 x 1350 / 10000) V
  uint32_t ulExpected = 776;
  while (MeasuredAt(ulExpected) >= kWanted) ++ulExpected;
  static int32_t s_lResult;
  InApp([] { Set(g_ParamThvOPL, 700); });
  Launch([] { s_lResult = g_ThvOPL.AutoTuneThv(4000); });
  ASSERT_TRUE(RunToDone(Ms(30000)));
  EXPECT_EQ(s_lResult, 0);
  EXPECT_EQ(Value(g_ParamThvOPL), static_cast<int32_t>(ulExpected));
  EXPECT_EQ(Supply().Step(), ulExpected);
  EXPECT_TRUE(Supply().SupplyOn()) << "the supply stays on at the tuned step";
  EXPECT_LT(MeasuredAt(ulExpected), kWanted);
  EXPECT_GE(MeasuredAt(ulExpected - 1), kWanted);
}

TEST_F(ThvControl, AStuckSupplyEndsTheAutoTuningAtTheBoundWithNothingStored) {
  static int32_t s_lResult;
  InApp([] { Set(g_ParamThvSPR, 700); });
  Supply().SetIgnoresStep(true);
  Launch([] { s_lResult = g_ThvSPR.AutoTuneThv(4000); });
  ASSERT_TRUE(RunToDone(Ms(60000)));
  EXPECT_EQ(s_lResult, -1);
  EXPECT_EQ(Value(g_ParamThvSPR), 700) << "nothing stored";
  EXPECT_EQ(Supply().Step(), 1023u) << "the supply stays at the last step written";
}

TEST_F(ThvControl, AnOpenFrontCoverHoldsTheAutoTuningAndClearCancelsIt) {
  static int32_t s_lResult;
  InApp([] { Set(g_ParamThvYR, 700); });
  Mechanism().SetCoverOpen(sim::Cover::Front, true);
  Launch([] { s_lResult = g_ThvYR.AutoTuneThv(4000); });
  ASSERT_TRUE(RunUntilShown("Front Cover Open"));
  const uint32_t ulHeld = Supply().Step();
  m_machine->RunFor(Ms(500));
  EXPECT_EQ(Supply().Step(), ulHeld) << "no step while the cover is open";
  Tap(PanelKey::Clear);
  ASSERT_TRUE(RunToDone(Ms(1000)));
  EXPECT_EQ(s_lResult, -1);
  EXPECT_EQ(Value(g_ParamThvYR), 700) << "nothing stored";
}

TEST_F(ThvControl, RestoreAndPowerOffWalksToTheRestStepAndSwitchesTheSupplyOff) {
  InApp([] { MoveThvTo(790); }, Ms(5000));
  InApp([] { g_ThvYL.RestoreAndPowerOff(); }, Ms(5000));
  EXPECT_EQ(Supply().Step(), 776u);
  EXPECT_FALSE(Supply().SupplyOn());
  EXPECT_EQ(Supply().MilliVolt(), 0u);
}

}  // namespace
}  // namespace controltest
