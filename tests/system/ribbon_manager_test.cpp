// The ribbon manager on the virtual printer's ribbons, in the application
// task between two passes of the main loop: the boot builds the twelve roll
// models and the four managers (each braking its unit's ribbon motors) and
// the start-up picks unit L's colour-sensor manager and 8x12 roll; a wind
// by count of every phase family stops on its supply target, forward or
// back, also across the counters' wrap; a cut, ended or missing ribbon or a
// jammed supply encoder stalls the wind and a stalled take-up fails the
// tightening, each raising its unit's "Ribbon Empty" and leaving the
// printer in the no-ribbon state; the one-phase run and the pending drive
// steps with the managers' base steps.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
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

// ---- faults -------------------------------------------------------------------------------

enum class Action { Wind, Tighten };

struct FaultCase {
  const char* pszName;
  PrintUnit unit;
  sim::RibbonFault fault;
  Action action;
  bool bDuringWind;  // switched on once the wind is under way, else before it
  // Where the supply encoder stopped counting: the stall watch's 4000 ms
  // run from there.
  enum { kFromSwitch, kFromCore, kFromStart, kTightening } stalledFrom;
};

const FaultCase kFaults[] = {
    {"cut_during_a_wind_L", PrintUnit::L, sim::RibbonFault::Cut, Action::Wind, true, FaultCase::kFromSwitch},
    {"end_during_a_wind_L", PrintUnit::L, sim::RibbonFault::End, Action::Wind, true, FaultCase::kFromCore},
    {"take_up_stalled_while_tightening_L", PrintUnit::L, sim::RibbonFault::TakeUpStalled, Action::Tighten, false,
     FaultCase::kTightening},
    {"cut_during_a_wind_R", PrintUnit::R, sim::RibbonFault::Cut, Action::Wind, true, FaultCase::kFromSwitch},
    {"end_during_a_wind_R", PrintUnit::R, sim::RibbonFault::End, Action::Wind, true, FaultCase::kFromCore},
    {"take_up_stalled_while_tightening_R", PrintUnit::R, sim::RibbonFault::TakeUpStalled, Action::Tighten, false,
     FaultCase::kTightening},
    // No ribbon: the take-up spins free and the supply never turns.
    {"no_ribbon_at_a_wind_L", PrintUnit::L, sim::RibbonFault::NoRibbon, Action::Wind, false, FaultCase::kFromStart},
    {"supply_encoder_jammed_during_a_wind_R", PrintUnit::R, sim::RibbonFault::SupplyEncoderJammed, Action::Wind, true,
     FaultCase::kFromSwitch},
};

constexpr uint32_t kTightenIntervalMs = 100;

// What a faulted drive ended with, in the application task.
struct Drive {
  int32_t lResult = 9;
  sim::Nanos startedAt = 0;
  sim::Nanos endedAt = 0;
  CDonorMng* pManager = nullptr;
};

// Tightening as the slack take-up runs it: the tension phase's take-up,
// then StepTighten polled until it is done or fails.
Drive Tighten(sim::Machine& machine, uint32_t ulCounts) {
  Drive d;
  d.startedAt = machine.Now();
  g_pDonorMng->SetRibbonPhase(RIBPH_TENSION, 1);
  g_pDonorMng->StartTighten(kTightenIntervalMs, ulCounts);
  d.lResult = ribbontest::PollUntilDone([](uint32_t* pulDone) { return g_pDonorMng->StepTighten(pulDone); });
  d.endedAt = machine.Now();
  return d;
}

// The take-up motor's duties while it ran forward since a time, each once.
std::vector<int32_t> TakeUpDutiesSince(const sim::MechanismTrace& trace, const std::string& motor, sim::Nanos since) {
  std::vector<int32_t> duties;
  for (const sim::MechanismEvent& e : trace.Of(motor)) {
    if (e.at < since || e.drive != DriveState::Forward || e.value == 0) continue;
    if (duties.empty() || duties.back() != e.value) duties.push_back(e.value);
  }
  return duties;
}

class RibbonManager : public ribbontest::RibbonPrinter {};

class RibbonFaults : public ribbontest::RibbonPrinter, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(RibbonFaults, RaiseTheUnitsRibbonEmptyAndEndInTheNoRibbonState) {
  const FaultCase& c = GetParam();
  const uint32_t ulUnit = c.unit == PrintUnit::L ? 0 : 1;
  const uint32_t ulIndex = 0x1603 + ulUnit;
  const std::string line = ulUnit == 0 ? "Ribbon Empty L  " : "Ribbon Empty R  ";
  const std::string suffix = ulUnit == 0 ? "L" : "R";
  BootReady();
  if (!c.bDuringWind) m_machine->MechanismFaults().SetRibbonFault(c.unit, c.fault, true);
  const sim::RibbonTransport& model = Ribbon(c.unit);
  const uint64_t ullSupplyBefore = model.SupplyCount();

  static Drive s_drive;
  auto pDone = std::make_shared<bool>(false);
  sim::Machine& machine = *m_machine;
  m_machine->AtNextPass([&machine, pDone, &c, ulUnit] {
    SelectUnit(ulUnit);
    if (c.action == Action::Wind) {
      s_drive.startedAt = machine.Now();
      const Wind w = WindByCount(machine, RIBPH_WIND_M, 1, 20000);
      s_drive.lResult = w.lResult;
      s_drive.endedAt = w.endedAt;
    } else {
      s_drive = Tighten(machine, 50);
    }
    s_drive.pManager = g_pDonorMng;
    SelectUnit(0);
    *pDone = true;
  });
  sim::Nanos faultAt = 0;
  if (c.bDuringWind) {
    ASSERT_EQ(m_machine->RunUntil([&] { return model.SupplyCount() > ullSupplyBefore + 200; }, Ms(5000)),
              sim::RunResult::ConditionMet);
    faultAt = m_machine->Now();
    m_machine->MechanismFaults().SetRibbonFault(c.unit, c.fault, true);
  }
  m_machine->RunUntil([&] { return *pDone; }, Ms(30000));
  ASSERT_TRUE(*pDone);
  EXPECT_EQ(s_drive.pManager, ulUnit == 0 ? static_cast<CDonorMng*>(&g_DonorMngColorSenL)
                                          : static_cast<CDonorMng*>(&g_DonorMngColorSenR));
  EXPECT_EQ(s_drive.lResult, -1);
  const double dEndedMs = static_cast<double>(s_drive.endedAt) / sim::kNsPerMs;
  // The stall watch counts whole milliseconds from the last count it saw,
  // a little before the encoder stopped.
  switch (c.stalledFrom) {
    case FaultCase::kFromSwitch:
      EXPECT_NEAR(dEndedMs - static_cast<double>(faultAt) / sim::kNsPerMs, 4000, 3);
      break;
    case FaultCase::kFromCore: {
      // The tape wound to the supply's core.
      const std::vector<sim::MechanismEvent> core = Mechanism().Trace().Of("RibbonCore" + suffix);
      ASSERT_FALSE(core.empty());
      EXPECT_TRUE(model.AtCore());
      EXPECT_NEAR(dEndedMs - static_cast<double>(core.front().at) / sim::kNsPerMs, 4000, 3);
      break;
    }
    case FaultCase::kFromStart:
      EXPECT_NEAR(static_cast<double>(s_drive.endedAt - s_drive.startedAt) / sim::kNsPerMs, 4000, 3);
      break;
    case FaultCase::kTightening:
      // 5 % more take-up duty after each interval without supply motion,
      // up to 20 above the tension duty; the next step fails.
      EXPECT_EQ(TakeUpDutiesSince(Mechanism().Trace(), "DcMotorRibDst" + suffix, s_drive.startedAt),
                (std::vector<int32_t>{40, 45, 50, 55, 60}));
      EXPECT_NEAR(static_cast<double>(s_drive.endedAt - s_drive.startedAt) / sim::kNsPerMs,
                  5 * (kTightenIntervalMs + 1), 3);
      break;
  }
  EXPECT_TRUE(IsErrorRaised(ulIndex));
  EXPECT_FALSE(IsErrorRaised(0x1603 + (1 - ulUnit))) << "the other unit's index";

  // Everything stopped; the printer in the no-ribbon state.
  m_machine->RunFor(Ms(100));
  EXPECT_EQ(model.Motion(), 0u);
  EXPECT_FALSE(model.Inputs().bClutch);
  ASSERT_TRUE(RunUntilShown(&g_EventMngNoRibbon, line));
  EXPECT_TRUE(Leds().IsOn(sim::PanelLed::Error));
  const protocol::ReplyHeader h = Status();
  EXPECT_EQ(h.printerState, protocol::PRINTER_STATE_ERROR);
  EXPECT_EQ(h.errorClass, 0x06);
  EXPECT_EQ(h.errorDetail, 0x0A + ulUnit);
}

INSTANTIATE_TEST_SUITE_P(Switches, RibbonFaults, ::testing::ValuesIn(kFaults),
                         positionertest::CaseName<::testing::TestParamInfo<FaultCase>>);

TEST_F(RibbonManager, TighteningEndsOnceTheSupplyHasTurnedAtTheStartDuty) {
  BootReady();
  static Drive s_drive;
  sim::Machine& machine = *m_machine;
  ASSERT_TRUE(InLoop([&machine] {
    s_drive = Tighten(machine, 50);
    g_pDonorMng->StopRibbon(1, 1);
  }));
  EXPECT_EQ(s_drive.lResult, 0);
  EXPECT_GE(Fpga().Counter(0), 50);
  EXPECT_EQ(TakeUpDutiesSince(Mechanism().Trace(), "DcMotorRibDstL", s_drive.startedAt),
            (std::vector<int32_t>{40}));
  EXPECT_FALSE(IsErrorRaised(0x1603));
}

// ---- the one-phase run and the pending drive steps ----------------------------------------

TEST_F(RibbonManager, TheOnePhaseRunWindsOnceAndStopsAtOnceKeepingTheCounts) {
  BootReady();
  static uint32_t s_aulBefore[2], s_aulAfter[2];
  static int32_t s_lResult = 9;
  static sim::Nanos s_startedAt = 0;
  static bool s_bClutchBefore = false;
  sim::Machine& machine = *m_machine;
  sim::RibbonMechanism& ribbons = Ribbons();
  ASSERT_TRUE(InLoop([&machine, &ribbons] {
    // Some counts on both encoders, then the tension phase backwards: the
    // clutch engaged, the supply pulling against the held take-up.
    EXPECT_EQ(WindByCount(machine, RIBPH_WIND_M, 1, 300).lResult, 0);
    g_pDonorMng->SetRibbonPhase(RIBPH_TENSION, 2);
    SeqWaitMs(100, 0);
    s_bClutchBefore = ribbons.Unit(PrintUnit::L).Inputs().bClutch;
    s_aulBefore[0] = SlitCount(g_SlitRibEncSrcL);
    s_aulBefore[1] = SlitCount(g_SlitRibEncDstL);
    s_startedAt = machine.Now();
    s_lResult = RunRibbonPhaseOnce();
    s_aulAfter[0] = SlitCount(g_SlitRibEncSrcL);
    s_aulAfter[1] = SlitCount(g_SlitRibEncDstL);
  }));
  EXPECT_EQ(s_lResult, 0);
  EXPECT_TRUE(s_bClutchBefore);
  // The wind phase started once (the take-up forward at "RollUp Ds[%]")
  // and, the base step reporting the end at once, stopped: both motors
  // braked, the clutch released, the counts kept.
  EXPECT_EQ(TakeUpDutiesSince(Mechanism().Trace(), "DcMotorRibDstL", s_startedAt), (std::vector<int32_t>{80}));
  EXPECT_EQ(g_pDonorMng->GetRibbonPhase(), static_cast<uint32_t>(RIBPH_WIND_M));
  EXPECT_EQ(g_pDonorMng->GetTakeUpDuty(), 0u);
  EXPECT_EQ(Mechanism().Drive(DcMotor::RibSrcL), DriveState::Brake);
  EXPECT_EQ(Mechanism().Drive(DcMotor::RibDstL), DriveState::Brake);
  EXPECT_FALSE(Ribbon(PrintUnit::L).Inputs().bClutch);
  EXPECT_GE(s_aulBefore[0], 300u);
  EXPECT_GT(s_aulBefore[1], 300u);
  EXPECT_LE(s_aulAfter[0] - s_aulBefore[0], 1u);
  EXPECT_LE(s_aulAfter[1] - s_aulBefore[1], 1u);
  m_machine->RunFor(Ms(200));
  EXPECT_EQ(Fpga().Counter(0), s_aulAfter[0]);
  EXPECT_EQ(Fpga().Counter(2), s_aulAfter[1]);
}

TEST_F(RibbonManager, PendingDriveStepsClearEveryRibbonRequestAtTheFirstCall) {
  BootReady();
  static uint32_t s_aulPending[4];
  static int32_t s_alResult[4];
  ASSERT_TRUE(InLoop([] {
    CDonorMng* const apManagers[4] = {&g_DonorMngMarkSenL, &g_DonorMngMarkSenR, &g_DonorMngColorSenL,
                                      &g_DonorMngColorSenR};
    for (uint32_t i = 0; i < 4; ++i) {
      g_pDonorMng = apManagers[i];
      s_aulPending[i] = 0x0F;
      s_alResult[i] = RunPendingDriveSteps(&s_aulPending[i]);
    }
    SelectUnit(0);
  }));
  for (uint32_t i = 0; i < 4; ++i) {
    EXPECT_EQ(s_aulPending[i], 0u) << "manager " << i;
    EXPECT_EQ(s_alResult[i], 0) << "manager " << i;
  }
  EXPECT_EQ(g_pDonorMng, &g_DonorMngColorSenL);
}

}  // namespace
