// The ribbon manager on the virtual printer's ribbons, in the application
// task between two passes of the main loop: the boot builds the twelve roll
// models and the four managers (each braking its unit's ribbon motors) and
// the start-up picks unit L's colour-sensor manager and 8x12 roll; a wind
// by count of every phase family stops on its supply target, forward or
// back, also across the counters' wrap; a cut or ended ribbon stalls the
// wind and a stalled take-up fails the tightening, each raising its unit's
// "Ribbon Empty" and leaving the printer in the no-ribbon state; the
// one-phase run and the pending drive steps with the managers' base steps.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "firmware/control/event_states.h"
#include "firmware/devices/drive_steps.h"
#include "firmware/devices/machine_actuators.h"
#include "firmware/mechanism/donor_mng_color.h"
#include "firmware/mechanism/donor_mng_mark.h"
#include "firmware/mechanism/ribbon_phases.h"
#include "firmware/mechanism/ribbon_roll.h"
#include "firmware/mechanism/unit_moves.h"
#include "firmware/platform/sftprn.h"
#include "sim/bus_trace.h"
#include "sim/mechanism/input_faults.h"
#include "tests/support/positioners.h"
#include "tests/support/ribbon.h"

namespace {

using ribbontest::Wind;
using ribbontest::WindByCount;
using sim::DcMotor;
using sim::DriveState;
using sim::PrintUnit;
using sim::SpoolCommand;
using testsupport::Ms;

constexpr uint32_t kDcMotor0 = 0x64000030u, kDcMotor1 = 0x64000032u;
constexpr uint32_t kCntClear = 0x6400000Au;
constexpr uint32_t kCntEnable = 0x64000008u;

uint32_t SlitCount(CSlit& slit) {
  uint32_t ulCount = 0;
  EXPECT_EQ(slit.ReadCount(&ulCount), 0);
  return ulCount;
}

// ---- the boot --------------------------------------------------------------------------------

class RibbonBoot : public ribbontest::RibbonPrinter {};

TEST_F(RibbonBoot, BuildsTheModelsAndManagersBrakesTheRibbonMotorsAndEveryEncoderCounts) {
  sim::MachineOptions options;
  options.bTraceDispatches = true;
  BootNewPrinter(std::move(options));
  sim::BusTrace& trace = m_machine->GetBoard().GetBus().Trace();
  trace.Start();
  ASSERT_EQ(m_machine->RunUntil([this] { return m_machine->Logged("Main Loop ..."); },
                                testsupport::kStartUp + testsupport::kFirstBootFormat + Ms(10000)),
            sim::RunResult::ConditionMet);
  trace.Stop();

  // The twelve models in their order, each built on its type's row (a model
  // not built has none), L then R.
  const CRibbonRoll* apModels[RIBBON_ROLL_MODELS] = {
      &g_RibbonRolls.mark8x10L,    &g_RibbonRolls.mark8x10R,    &g_RibbonRolls.mark8x12L,
      &g_RibbonRolls.mark8x12R,    &g_RibbonRolls.color8x10K1L, &g_RibbonRolls.color8x10K1R,
      &g_RibbonRolls.color8x12K1L, &g_RibbonRolls.color8x12K1R, &g_RibbonRolls.color8x10K2L,
      &g_RibbonRolls.color8x10K2R, &g_RibbonRolls.color8x12K2L, &g_RibbonRolls.color8x12K2R};
  for (uint32_t i = 0; i < RIBBON_ROLL_MODELS; ++i) {
    EXPECT_EQ(&apModels[i]->Type(), &g_aRibbonTypes[i / 2]) << "model " << i;
    EXPECT_TRUE(IsRibbonRollModel(apModels[i])) << "model " << i;
    if (i > 0) {
      EXPECT_LT(apModels[i - 1], apModels[i]);
    }
  }
  // The start-up's choice: unit L's colour-sensor manager and 8x12 kind-1
  // roll.
  EXPECT_EQ(g_pDonorMng, &g_DonorMngColorSenL);
  EXPECT_EQ(g_pRibbonRoll, &g_RibbonRolls.color8x12K1L);
  uint32_t ulSize = 0, ulKind = 0;
  EXPECT_EQ(g_pDonorMng->GetRibbonSize(&ulSize), 0);
  g_pDonorMng->GetRibbonKind(&ulKind);
  EXPECT_EQ(ulSize, 2u);
  EXPECT_EQ(ulKind, 1u);
  for (CDonorMng* pManager : std::vector<CDonorMng*>{&g_DonorMngMarkSenL, &g_DonorMngMarkSenR, &g_DonorMngColorSenL,
                                                     &g_DonorMngColorSenR}) {
    uint32_t ulState = 9;
    pManager->GetState(&ulState);
    EXPECT_EQ(ulState, 0u);
    EXPECT_EQ(pManager->GetTakeUpDuty(), 0u);
  }

  // The construction: after the slits and before the application task,
  // the managers in their order (mark L, mark R, colour L, colour R) each
  // write the two lines of its own unit's supply and take-up motors.
  sim::Nanos appStart = 0;
  for (const auto& d : m_machine->GetBoard().GetKernel().Dispatches()) {
    if (d.task == APP_TASK) {
      appStart = d.at;
      break;
    }
  }
  const std::vector<sim::BusAccess> clears = trace.In(kCntClear, kCntClear + 1, sim::BusTrace::Kind::Writes);
  ASSERT_FALSE(clears.empty());
  std::vector<uint32_t> registers;
  for (const sim::BusAccess& a : trace.In(kDcMotor0, kDcMotor1 + 1, sim::BusTrace::Kind::Writes)) {
    if (a.at > clears.front().at && a.at < appStart) registers.push_back(a.addr);
  }
  std::vector<uint32_t> expected;
  for (uint32_t ulRegister : {kDcMotor0, kDcMotor1, kDcMotor0, kDcMotor1}) expected.insert(expected.end(), 4, ulRegister);
  EXPECT_EQ(registers, expected);
  // Braked since, and nothing turned (a motor passes through a running
  // state at 0 % only between the two line writes): the supply spools
  // held, the take-up spools (polarity 0: braked is coasting) standing, the
  // clutches off.
  for (DcMotor motor : {DcMotor::RibSrcL, DcMotor::RibDstL, DcMotor::RibSrcR, DcMotor::RibDstR}) {
    EXPECT_EQ(Mechanism().Drive(motor), DriveState::Brake) << static_cast<int>(motor);
  }
  for (PrintUnit unit : {PrintUnit::L, PrintUnit::R}) {
    const sim::RibbonTransport& r = Ribbon(unit);
    EXPECT_EQ(r.Inputs().supply.command, SpoolCommand::Hold);
    EXPECT_EQ(r.Inputs().takeUp.command, SpoolCommand::Coast);
    EXPECT_FALSE(r.Inputs().bClutch);
    EXPECT_EQ(r.SupplyCount(), 0u);
    EXPECT_EQ(r.TakeUpCount(), 0u);
    EXPECT_EQ(r.TapePosition(), 0.0);
  }

  // Every ribbon encoder counts: a short wind on each unit, read through
  // the firmware's slits, is what the model turned.
  EXPECT_EQ(Fpga().Register(kCntEnable - 0x64000000u) & 0x0F, 0);
  static uint32_t s_aulCounts[4];
  ASSERT_TRUE(InLoop([] {
    for (uint32_t ulUnit : {0u, 1u}) {
      SelectUnit(ulUnit);
      g_pDonorMng->SetRibbonPhase(RIBPH_WIND_M, 1);
      SeqWaitMs(300, 0);
      g_pDonorMng->StopRibbon(1, 1);
    }
    SelectUnit(0);
    s_aulCounts[0] = SlitCount(g_SlitRibEncSrcL);
    s_aulCounts[1] = SlitCount(g_SlitRibEncSrcR);
    s_aulCounts[2] = SlitCount(g_SlitRibEncDstL);
    s_aulCounts[3] = SlitCount(g_SlitRibEncDstR);
  }));
  const uint64_t aullModel[4] = {Ribbon(PrintUnit::L).SupplyCount(), Ribbon(PrintUnit::R).SupplyCount(),
                                 Ribbon(PrintUnit::L).TakeUpCount(), Ribbon(PrintUnit::R).TakeUpCount()};
  for (uint32_t i = 0; i < 4; ++i) {
    EXPECT_GT(aullModel[i], 50u) << "channel " << i;
    EXPECT_EQ(s_aulCounts[i], aullModel[i] & 0xFFFFu) << "channel " << i;
  }
}

// ---- winds by count --------------------------------------------------------------------------

struct WindCase {
  const char* pszName;
  uint32_t ulPhase;
  uint32_t ulDirection;
  uint32_t ulDriveMode;
  uint32_t ulStartCount;  // the supply counter's count before the wind
  // The spools' commands while the phase runs, with their duties.
  SpoolCommand takeUp;
  uint32_t ulTakeUpPercent;
  SpoolCommand supply;
  uint32_t ulSupplyPercent;
  bool bClutch;
  bool bBack;  // the tape runs back onto the supply
};

constexpr uint32_t kWindCounts = 400;

const WindCase kWinds[] = {
    {"tension", RIBPH_TENSION, 1, 2, 0, SpoolCommand::Forward, 40, SpoolCommand::Coast, 0, false, false},
    {"init_to_L", RIBPH_INIT_TO_L, 1, 2, 0, SpoolCommand::Forward, 60, SpoolCommand::Coast, 0, false, false},
    {"wind_M", RIBPH_WIND_M, 1, 2, 0, SpoolCommand::Forward, 80, SpoolCommand::Coast, 0, false, false},
    {"slow_wind_Y", RIBPH_SLOW_WIND_Y, 1, 2, 0, SpoolCommand::Forward, 60, SpoolCommand::Coast, 0, false, false},
    {"calibration", RIBPH_CALIB, 1, 2, 0, SpoolCommand::Forward, 60, SpoolCommand::Coast, 0, false, false},
    {"roll_up_AP_C", RIBPH_ROLLUP_AP_C, 1, 2, 0, SpoolCommand::Forward, 80, SpoolCommand::Coast, 0, false, false},
    // Both motors forward: the supply runs free in drive mode 2 and pays
    // out at its own pace in drive mode 1.
    {"initial_forward", RIBPH_INITIAL, 1, 2, 0, SpoolCommand::Forward, 60, SpoolCommand::Forward, 100, false, false},
    {"initial_forward_drive_mode_1", RIBPH_INITIAL, 1, 1, 0, SpoolCommand::Forward, 60, SpoolCommand::Forward, 100,
     false, false},
    // Any other direction: both reverse, the supply through its clutch.
    {"slow_wind_M_reversed", RIBPH_SLOW_WIND_M, 2, 2, 0, SpoolCommand::Reverse, 60, SpoolCommand::Reverse, 100, true,
     true},
    {"initial_reversed", RIBPH_INITIAL, 2, 2, 0, SpoolCommand::Reverse, 60, SpoolCommand::Reverse, 100, true, true},
    {"rollback_M", RIBPH_ROLLBACK_M, 2, 2, 0, SpoolCommand::Reverse, 32, SpoolCommand::Reverse, 100, true, true},
    // "RolBackID[%]" 0: the duty by the take-up diameter, which a roll not
    // yet measured gives as 0 (the table's first entry).
    {"rollback_init_C", RIBPH_ROLLBACK_INIT_C, 2, 2, 0, SpoolCommand::Reverse, 86, SpoolCommand::Reverse, 100, true,
     true},
    // Targets past the 16-bit counters' wrap.
    {"wind_Y_across_the_wrap", RIBPH_WIND_Y, 1, 2, 65400, SpoolCommand::Forward, 80, SpoolCommand::Coast, 0, false,
     false},
    {"rollback_L_across_the_wrap", RIBPH_ROLLBACK_L, 2, 2, 65400, SpoolCommand::Reverse, 32, SpoolCommand::Reverse,
     100, true, true},
};

class RibbonWind : public ribbontest::RibbonPrinter, public ::testing::WithParamInterface<WindCase> {};

TEST_P(RibbonWind, StopsOnItsSupplyTarget) {
  const WindCase& c = GetParam();
  sim::MachineOptions options;
  options.ribbonDriveMode = c.ulDriveMode;
  BootReady(std::move(options));
  // The supply counter brought to the case's count (the firmware reads
  // only the counter).
  Fpga().CountPulses(0, c.ulStartCount);
  const sim::RibbonTransport& model = Ribbon(PrintUnit::L);
  const double dTapeBefore = model.TapePosition();
  const double dSupplyBefore = model.SupplyLength();
  const double dSupplyDiameter = model.SupplyDiameter();
  const uint64_t ullSupplyCountBefore = model.SupplyCount();

  static Wind s_wind;
  static sim::RibbonInputs s_inputs;
  sim::Machine& machine = *m_machine;
  sim::RibbonMechanism& ribbons = Ribbons();
  ASSERT_TRUE(InLoop([&] {
    s_wind = WindByCount(machine, c.ulPhase, c.ulDirection, kWindCounts,
                         [&] { s_inputs = ribbons.Unit(PrintUnit::L).Inputs(); });
  }));
  EXPECT_EQ(s_wind.lResult, 0);
  EXPECT_EQ(s_wind.ulTarget, (c.ulStartCount + kWindCounts) & 0xFFFFu);
  EXPECT_EQ(s_inputs.takeUp.command, c.takeUp);
  EXPECT_DOUBLE_EQ(s_inputs.takeUp.turnsPerSecond, c.ulTakeUpPercent / 50.0);
  EXPECT_EQ(s_inputs.supply.command, c.supply);
  if (c.supply == SpoolCommand::Forward || c.supply == SpoolCommand::Reverse) {
    EXPECT_DOUBLE_EQ(s_inputs.supply.turnsPerSecond, c.ulSupplyPercent / 50.0);
  }
  EXPECT_EQ(s_inputs.bClutch, c.bClutch);

  // Stopped within one count of the target, and nothing moves after the
  // stop; the clutch released.
  m_machine->RunFor(Ms(500));
  const uint32_t ulCount = Fpga().Counter(0);
  EXPECT_EQ(ulCount, s_wind.ulStopCount);
  const int32_t lPast = static_cast<int16_t>(static_cast<uint16_t>(ulCount - s_wind.ulTarget));
  EXPECT_GE(lPast, 0);
  EXPECT_LE(lPast, 1);
  EXPECT_EQ(model.SupplyCount() - ullSupplyCountBefore, kWindCounts + static_cast<uint32_t>(lPast));
  EXPECT_EQ(model.Motion(), 0u);
  EXPECT_FALSE(model.Inputs().bClutch);

  // The tape moved the supply's counts along the supply spool's
  // circumference, forward or back.
  const double dTravel = model.TapePosition() - dTapeBefore;
  const double dExpected = kWindCounts / sim::RibbonTransport::kSupplyCountsPerTurn * sim::kRibbonPi * dSupplyDiameter;
  EXPECT_NEAR(std::fabs(dTravel), dExpected, dExpected * 0.02);
  EXPECT_EQ(dTravel < 0, c.bBack) << dTravel;
  EXPECT_EQ(model.SupplyLength() > dSupplyBefore, c.bBack);
}

INSTANTIATE_TEST_SUITE_P(Phases, RibbonWind, ::testing::ValuesIn(kWinds), positionertest::CaseName<
                                                                              ::testing::TestParamInfo<WindCase>>);

}  // namespace
