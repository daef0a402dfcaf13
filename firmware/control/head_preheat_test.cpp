// The head pre-heat against the board's head-drive block and thermistors:
// the switch, the heating levels of both kinds, the holding time, the
// supply chosen for both heads, the switch-off when no head needs heat,
// the time-out and the strobe count's limit.
#include "firmware/control/head_preheat.h"

#include "firmware/control/app_startup.h"
#include "firmware/control/control_test_rig.h"
#include "firmware/devices/settings.h"
#include "firmware/platform/fpga_regs.h"
#include "firmware/platform/head_drive.h"
#include "firmware/platform/us_timer.h"
#include "sim/bus_trace.h"
#include "sim/fpga/fpga_main_block.h"
#include "sim/fpga/head_drive_block.h"
#include "sim/mechanism/head_supply.h"
#include "sim/mechanism/mechanism_inputs.h"
#include "sim/soc/gpio.h"

#include <vector>

namespace controltest {
namespace {

using sim::Thermistor;

// Ambient index 125: heating level 110, duty 20 %.
constexpr uint16_t kAmbientRaw = 500;
constexpr uint32_t kTableLevel = 110;

uint16_t Raw(uint32_t ulLevel) { return static_cast<uint16_t>(ulLevel << 2); }

// Moves the microsecond time base on: the FPGA's down-counter is loaded
// as if the milliseconds had passed.
void PassMs(uint32_t ulMs) {
  const uint32_t ulNow = g_UsTimer.NowUs() + g_UsTimer.MsToTicks(ulMs);
  g_FpgaMain.LoadUsCounter(0xFFFFFFFFu - ulNow);
}

class HeadPreheat : public ControlTest {
 protected:
  void SetUp() override {
    ControlTest::SetUp();
    Therm(Thermistor::Ambient, kAmbientRaw);
    InApp([] { g_HeadDrive.Init(); });
  }
  // A pre-heat walks the supply one step per 4 ms: jobs get the time of
  // the longest walk.
  void InApp(std::function<void()> job, sim::Nanos limit = Ms(5000)) { ControlTest::InApp(std::move(job), limit); }
  void Therm(Thermistor t, uint16_t raw) { Mechanism().SetThermistor(t, raw); }
  void Heads(uint32_t ulLevelL, uint32_t ulLevelR) {
    Therm(Thermistor::HeadL, Raw(ulLevelL));
    Therm(Thermistor::HeadR, Raw(ulLevelR));
  }
  sim::MechanismInputs& Mechanism() { return *m_machine->GetBoard().FindDevice<sim::MechanismInputs>(); }
  sim::HeadDriveBlock& Drive() { return *m_machine->GetBoard().FindDevice<sim::HeadDriveBlock>(); }
  sim::GpioController& Gpio() { return *m_machine->GetBoard().FindDevice<sim::GpioController>(); }
  // Head power outputs: set = off.
  bool PowerOn(uint32_t ulHead) { return !Gpio().PinLevel(sim::HeadDriveBlock::kHeadPowerPins[ulHead]); }
  uint32_t ThvStep() {
    return m_machine->GetBoard().FindDevice<sim::FpgaMainBlock>()->Register(sim::FpgaMainBlock::kThvCtrl) >> 6;
  }
  static void Set(CParameter& param, int32_t lValue) { param.SetValueNoSave(lValue); }
};

TEST_F(HeadPreheat, TheSwitchOffMakesBothStartsTouchNothing) {
  Heads(200, 200);
  static int32_t s_alResults[2];
  static uint32_t s_aulStates[2];
  InApp([] {
    Set(g_ParamPreheatSW, 0);
    g_PreheatBoth.Reset();
    s_alResults[0] = g_PreheatL.Start();
    s_alResults[1] = g_PreheatBoth.Start();
    s_aulStates[0] = g_PreheatL.GetState();
    s_aulStates[1] = g_PreheatBoth.GetState();
  });
  const size_t bursts = Drive().Bursts().size();
  EXPECT_EQ(s_alResults[0] | s_alResults[1], 0);
  EXPECT_EQ(s_aulStates[0] | s_aulStates[1], 0u);
  EXPECT_EQ(bursts, 0u);
  EXPECT_FALSE(PowerOn(0) || PowerOn(1));
}

// A head reading equal to the level: the per-unit kind heats it (not below
// the level), the both-heads kind does not (not above it).
TEST_F(HeadPreheat, AReadingAtTheLevelIsHeatedOnlyByThePerUnitKind) {
  struct Case {
    uint32_t level;
    uint32_t unitState;  // CHeadPreheat after Start on unit L
    uint32_t bothHeatL;
  };
  static const Case kCases[] = {
      {kTableLevel - 1, CHeadPreheat::IDLE, 0},
      {kTableLevel, CHeadPreheat::HEATING, 0},
      {kTableLevel + 1, CHeadPreheat::HEATING, 1},
  };
  for (const Case& c : kCases) {
    Heads(c.level, 0);
    static uint32_t s_ulState, s_ulHeatL, s_ulHeatR;
    InApp([] {
      g_PreheatL.Start();
      s_ulState = g_PreheatL.GetState();
      g_PreheatL.Stop();
      g_PreheatBoth.Reset();
      g_PreheatBoth.Start();
      g_PreheatBoth.GetHeatFlags(&s_ulHeatL, &s_ulHeatR);
      g_PreheatBoth.Reset();
    });
    EXPECT_EQ(s_ulState, c.unitState) << c.level;
    EXPECT_EQ(s_ulHeatL, c.bothHeatL) << c.level;
    EXPECT_EQ(s_ulHeatR, 0u) << c.level;
  }
}

TEST_F(HeadPreheat, TheLevelSettingOverridesTheTable) {
  struct Case {
    int32_t off;
    uint32_t levelL, levelR;
    uint32_t heatL, heatR;
  };
  static const Case kCases[] = {
      {0, 1, 0, 1, 0},       // above 0 heats
      {255, 255, 255, 0, 0},  // nothing reads above 255
      {-1, 111, 110, 1, 0},  // the table's 110
  };
  for (const Case& c : kCases) {
    Heads(c.levelL, c.levelR);
    static int32_t s_lOff;
    static uint32_t s_ulHeatL, s_ulHeatR;
    s_lOff = c.off;
    InApp([] {
      Set(g_ParamPreheatOff, s_lOff);
      g_PreheatBoth.Reset();
      g_PreheatBoth.Start();
      g_PreheatBoth.GetHeatFlags(&s_ulHeatL, &s_ulHeatR);
      g_PreheatBoth.Reset();
    });
    EXPECT_EQ(s_ulHeatL, c.heatL) << c.off;
    EXPECT_EQ(s_ulHeatR, c.heatR) << c.off;
  }
}

TEST_F(HeadPreheat, BothHeadsWalkTheSupplyOfTheWantedHeadOrOfTheLowerHeadValue) {
  struct Case {
    uint32_t levelL, levelR;
    uint16_t resistanceL, resistanceR;
    uint32_t thv;
  };
  constexpr uint32_t kThvL = 300, kThvR = 400;
  static const Case kCases[] = {
      {200, 0, 5000, 4000, kThvL},     // only L wanted
      {0, 200, 4000, 5000, kThvR},     // only R wanted
      {200, 200, 5000, 5000, kThvR},   // equal head values
      {200, 200, 4000, 5000, kThvL},   // L lower
      {200, 200, 5000, 4000, kThvR},   // R lower
      {0, 0, 4000, 5000, kThvL},       // neither: by the head values too
  };
  for (const Case& c : kCases) {
    Heads(c.levelL, c.levelR);
    static const Case* s_pCase;
    s_pCase = &c;
    InApp([] {
      Set(g_ParamThvPheatL, kThvL);
      Set(g_ParamThvPheatR, kThvR);
      g_usHeadResistanceL = s_pCase->resistanceL;
      g_usHeadResistanceR = s_pCase->resistanceR;
      g_PreheatBoth.Reset();
      g_PreheatBoth.Start();
    });
    EXPECT_EQ(ThvStep(), c.thv) << c.levelL << " " << c.levelR << " " << c.resistanceL << " " << c.resistanceR;
  }
  EXPECT_EQ(m_machine->GetBoard().FindDevice<sim::HeadSupply>()->Jumps(), 0u) << "one step at a time";
}

TEST_F(HeadPreheat, BothHeadsRestartFinishedRunsAndSwitchBothOffWhenNoHeadIsWanted) {
  Heads(200, 200);
  InApp([] { g_PreheatBoth.Step(); });
  ASSERT_EQ(Drive().Bursts().size(), 1u);
  const sim::HeadDriveBlock::Burst first = Drive().Bursts()[0];
  EXPECT_TRUE(first.heads[0].bStrobe && first.heads[0].bPowered);
  EXPECT_TRUE(first.heads[1].bStrobe && first.heads[1].bPowered);
  // 20 x 100 periods of 500 us, 20 % on (the both-heads count).
  EXPECT_EQ(first.strobeCount, 2000);
  EXPECT_EQ(first.period, 25000u);
  EXPECT_EQ(first.offTime, 20000u);

  // The same wanted heads: a step while the run lasts leaves it, a step
  // after it restarts it.
  InApp([] { g_PreheatBoth.Step(); });
  EXPECT_EQ(Drive().Bursts().size(), 1u);
  m_machine->RunFor(Ms(1000));
  InApp([] { g_PreheatBoth.Step(); });
  EXPECT_EQ(Drive().Bursts().size(), 2u);

  Heads(0, 0);
  static uint32_t s_ulHeatL, s_ulHeatR;
  InApp([] {
    g_PreheatBoth.Step();
    g_PreheatBoth.GetHeatFlags(&s_ulHeatL, &s_ulHeatR);
  });
  EXPECT_EQ(s_ulHeatL + s_ulHeatR, 0u);
  EXPECT_FALSE(PowerOn(0) || PowerOn(1));
  EXPECT_TRUE(Drive().Bursts().back().bStopped);
  EXPECT_EQ(Drive().Bursts().size(), 2u);
}

// The head power is cut 5 ms after a run still going is stopped, at once
// when no run was going.
TEST_F(HeadPreheat, TheHeadPowerGoesOffAfterTheLastPeriodOfARunningBurst) {
  constexpr PhysAddr kRunClear = HD_CONTROL;
  constexpr PhysAddr kPowerSet = 0x01E260B4u;  // bank 8's output data
  struct Case {
    const char* what;
    bool bRunning;
    sim::Nanos atLeast, below;
  };
  static const Case kCases[] = {
      {"run going", true, Ms(5), Ms(6)},
      {"run finished", false, 0, Ms(1)},
  };
  for (const Case& c : kCases) {
    Heads(200, 200);
    InApp([] { g_PreheatBoth.Start(); });
    if (!c.bRunning) m_machine->RunFor(Ms(1100));
    sim::BusTrace& trace = m_machine->GetBoard().GetBus().Trace();
    trace.Clear();
    trace.Start();
    InApp([] { g_PreheatBoth.Reset(); });
    trace.Stop();
    const std::vector<sim::BusAccess> stops = trace.In(kRunClear, kRunClear, sim::BusTrace::Kind::Writes);
    const std::vector<sim::BusAccess> cuts = trace.In(kPowerSet, kPowerSet, sim::BusTrace::Kind::Writes);
    ASSERT_FALSE(stops.empty() || cuts.empty()) << c.what;
    const sim::Nanos gap = cuts.front().at - stops.front().at;
    EXPECT_GE(gap, c.atLeast) << c.what;
    EXPECT_LT(gap, c.below) << c.what;
    EXPECT_FALSE(PowerOn(0) || PowerOn(1)) << c.what;
  }
}

TEST_F(HeadPreheat, OneHeadHoldsForTheDefaultZeroSecondsOnceItIsWarm) {
  Heads(0, 200);
  static uint32_t s_aulDone[3], s_aulState[3];
  InApp([] {
    g_PreheatR.Step(&s_aulDone[0]);
    s_aulState[0] = g_PreheatR.GetState();
  });
  ASSERT_EQ(Drive().Bursts().size(), 1u);
  EXPECT_TRUE(Drive().Bursts()[0].heads[1].bPowered);
  EXPECT_FALSE(Drive().Bursts()[0].heads[0].bStrobe);
  // 200 x 100 periods: the per-unit count.
  EXPECT_EQ(Drive().Bursts()[0].strobeCount, 20000);
  Heads(0, 0);
  InApp([] {
    g_PreheatR.Step(&s_aulDone[1]);
    s_aulState[1] = g_PreheatR.GetState();
    g_PreheatR.Step(&s_aulDone[2]);
    s_aulState[2] = g_PreheatR.GetState();
  });
  EXPECT_EQ(std::vector<uint32_t>(s_aulDone, s_aulDone + 3), (std::vector<uint32_t>{0, 0, 1}));
  EXPECT_EQ(std::vector<uint32_t>(s_aulState, s_aulState + 3),
            (std::vector<uint32_t>{CHeadPreheat::HEATING, CHeadPreheat::HOLDING, CHeadPreheat::IDLE}));
  EXPECT_FALSE(PowerOn(1));
}

TEST_F(HeadPreheat, AHeadStillColdAfterTheTimeOutRaisesItsErrorAndIsSwitchedOff) {
  Heads(200, 0);
  static int32_t s_alResults[2];
  InApp([] {
    uint32_t ulDone = 0;
    g_PreheatL.Start();
    PassMs(PREHEAT_TIMEOUT_MS - 100);
    s_alResults[0] = g_PreheatL.Step(&ulDone);
    PassMs(200);
    s_alResults[1] = g_PreheatL.Step(&ulDone);
  });
  EXPECT_EQ(s_alResults[0], 0);
  EXPECT_EQ(s_alResults[1], -1);
  EXPECT_TRUE(IsErrorSet(ERRIDX_PREHEAT_TIMEOUT));
  EXPECT_FALSE(PowerOn(0));
}

TEST_F(HeadPreheat, TheStrobeCountStopsAtTheLargestSixteenBitCount) {
  struct Case {
    int32_t setting;
    uint16_t count;
  };
  static const Case kCases[] = {{655, 65500}, {656, 65535}, {1200, 65535}, {0, 0}};
  for (const Case& c : kCases) {
    Heads(0, 200);
    static int32_t s_lSetting;
    s_lSetting = c.setting;
    InApp([] {
      Set(g_ParamPreheatCount2, s_lSetting);
      g_PreheatR.Start();
      g_PreheatR.Stop();
    });
    EXPECT_EQ(Drive().Register(sim::HeadDriveBlock::kStrobeCount), c.count) << c.setting;
  }
}

}  // namespace
}  // namespace controltest
