// The boot's home run by "Engine Version" (1: EM2, 5: EM3) x "RollBack
// Flag" (0, 4, 5) x "RotationLockFlag" (0, 1, 2), on a printer whose main
// pinch roller stands down (L down, as "MainPinStatus" says): the roller is
// initialised and raised, settled without moving (EM3 with 4 or 5) or not
// touched (EM2 with 4 or 5); the rotation lock is moved (0) or only its
// bookkeeping set (1: 5 locked, 2: 3 unlocked); EV_INIT_MECHA ends
// cleared in every case.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "firmware/control/event_set.h"
#include "firmware/mechanism/main_pinch.h"
#include "firmware/mechanism/rotation_lock.h"
#include "sim/machine.h"
#include "sim/mechanism/dc_mechanism.h"
#include "sim/mechanism/positioner_geometry.h"
#include "sim/panel/panel.h"
#include "sim/state_dir.h"
#include "tests/support/machine_test.h"
#include "tests/support/sample_printer.h"

namespace {

using testsupport::Ms;

constexpr sim::Nanos kReadyLimit = testsupport::kSettleToReady + Ms(20000);
// Main EEPROM cells.
constexpr uint32_t kRollBackFlagCell = 126;
constexpr uint32_t kRotationLockFlagCell = 197;
constexpr uint32_t kMainPinStatusCell = 384;

struct HomeCase {
  int engineVersion;
  uint8_t rollBackFlag;
  uint8_t lockFlag;
};

std::string Name(const ::testing::TestParamInfo<HomeCase>& info) {
  return "Engine" + std::to_string(info.param.engineVersion) + "RollBack" + std::to_string(info.param.rollBackFlag) +
         "Lock" + std::to_string(info.param.lockFlag);
}

std::vector<HomeCase> AllCases() {
  std::vector<HomeCase> cases;
  for (int engine : {1, 5}) {
    for (uint8_t rollBack : {0, 4, 5}) {
      for (uint8_t lock : {0, 1, 2}) cases.push_back({engine, rollBack, lock});
    }
  }
  return cases;
}

void PatchByte(const std::string& path, uint32_t offset, uint8_t value) {
  std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
  file.seekp(offset);
  file.put(static_cast<char>(value));
  ASSERT_TRUE(file.good()) << path;
}

class HomeRunMatrix : public testsupport::MachineTest, public ::testing::WithParamInterface<HomeCase> {
 protected:
  sim::DcMechanism& Dc() { return *m_machine->GetBoard().FindDevice<sim::DcMechanism>(); }
  // Starts of a motor's drive before the first start of another (the home
  // run's next step), or all of them when that never starts.
  uint32_t StartsBefore(const char* pszMotor, const char* pszNext) {
    uint32_t starts = 0;
    for (const sim::MechanismEvent& e : Dc().Trace().Events()) {
      if (e.kind != sim::MechanismEventKind::Motor || e.drive == sim::DriveState::Stop ||
          e.drive == sim::DriveState::Brake) {
        continue;
      }
      if (e.name == pszNext) break;
      if (e.name == pszMotor) ++starts;
    }
    return starts;
  }
};

TEST_P(HomeRunMatrix, MainPinchAndRotationLockFollowTheirFlags) {
  const HomeCase c = GetParam();
  const bool bEm2 = c.engineVersion == 1;
  sim::MachineOptions options;
  options.stateDir = testsupport::MakeTempDir();
  testsupport::SamplePrinter printer;
  printer.engineVersion = c.engineVersion;
  std::string error;
  ASSERT_TRUE(testsupport::ProvisionSamplePrinter(options.stateDir, printer, &error)) << error;
  const sim::StateDir state(options.stateDir);
  PatchByte(state.MainEepromPath(), kRollBackFlagCell, c.rollBackFlag);
  PatchByte(state.MainEepromPath(), kRotationLockFlagCell, c.lockFlag);
  // L down: EM3 packs position 3 and target 3; EM2 keeps the position.
  PatchByte(state.MainEepromPath(), kMainPinStatusCell, bEm2 ? 3 : 3 | 3 << 3);
  Boot(std::move(options));
  // The roller down (both switches off) before anything runs: EM3's cam
  // at theta -40 degrees, EM2's at +45 degrees.
  const int32_t lDown = bEm2 ? 60000 + 45000 : sim::positioner::kMainEm3Half - 40000;
  Dc().PlaceAxis(sim::Axis::MainPinch, lDown);

  sim::LcdController& lcd = *m_machine->GetBoard().FindDevice<sim::LcdController>();
  m_machine->RunUntil([&] { return lcd.Visible() == testsupport::kReadyLine; }, kReadyLimit);
  ASSERT_EQ(lcd.Visible(), testsupport::kReadyLine);

  const bool bRolledBack = c.rollBackFlag == 4 || c.rollBackFlag == 5;
  const uint32_t mainPinchRuns = StartsBefore("DcMotorMainPinch", "DcMotorLoadPinch");
  const int32_t lPinch = Dc().Position(sim::Axis::MainPinch);
  if (!bRolledBack) {
    EXPECT_GE(mainPinchRuns, 1u) << "initialised and raised";
    EXPECT_NE(lPinch, lDown);
  } else {
    EXPECT_EQ(mainPinchRuns, 0u) << (bEm2 ? "not touched" : "settled without moving");
    EXPECT_EQ(lPinch, lDown);
  }
  const uint32_t lockRuns = StartsBefore("DcMotorRotLock", "DcMotorPathSel");
  EXPECT_EQ(lockRuns != 0, c.lockFlag == 0) << "moved only while its state is unknown";

  uint32_t ulLock = 0, ulPinch = 99;
  bool bInitPending = true;
  ASSERT_TRUE(m_machine->RunStep(
      [&] {
        g_RotationLock.GetPosition(&ulLock);
        g_pProllMain->GetPosition(&ulPinch);
        bInitPending = (g_EventSet & (uint64_t{1} << EV_INIT_MECHA)) != 0;
      },
      Ms(3000)));
  EXPECT_FALSE(bInitPending);
  if (c.lockFlag != 0) {
    EXPECT_EQ(ulLock, c.lockFlag == 1 ? 5u : 3u) << "the lock's bookkeeping";
  }
  if (!bRolledBack || !bEm2) {
    EXPECT_EQ(ulPinch, bRolledBack ? 3u : 1u) << "up, or the stored L-down position the switches confirm";
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, HomeRunMatrix, ::testing::ValuesIn(AllCases()), Name);

}  // namespace
