// The power and sleep controller model: module transitions as the firmware
// starts them, and the hang fault switch.
#include "sim/soc/psc.h"

#include <gtest/gtest.h>

#include <vector>

#include "sim/board.h"
#include "sim/testing/board_fixture.h"

namespace sim {
namespace {

class PscModel : public ::testing::Test {
 protected:
  void Run(Nanos dt) { RunBoardFor(board, dt); }
  uint32_t Read(uint32_t offset) { return psc.Read(offset, 4); }
  void Write(uint32_t offset, uint32_t value) { psc.Write(offset, 4, value); }

  Board board{BoardConfig{}};
  Psc1& psc = board.AddDevice<Psc1>(board);
};

TEST_F(PscModel, AModuleTakesItsNextStateAfterTheTransition) {
  std::vector<uint32_t> changed;
  psc.AddObserver([&](uint32_t module) { changed.push_back(module); });
  EXPECT_EQ(Read(PowerSleepController::kMdstat0 + 4) & 0x3Fu, PowerSleepController::kStateSwRstDisable);
  Write(PowerSleepController::kMdctl0 + 4, Read(PowerSleepController::kMdctl0 + 4) | 3u);
  EXPECT_FALSE(psc.ModuleEnabled(Psc1::kModuleUsb0));  // nothing happens before GO
  Write(PowerSleepController::kPtcmd, 1);
  EXPECT_EQ(Read(PowerSleepController::kPtstat), 1u);
  Run(PowerSleepController::kTransitionTime - 1);
  EXPECT_EQ(Read(PowerSleepController::kPtstat), 1u);
  EXPECT_FALSE(psc.ModuleEnabled(Psc1::kModuleUsb0));
  Run(1);
  EXPECT_EQ(Read(PowerSleepController::kPtstat), 0u);
  EXPECT_EQ(Read(PowerSleepController::kMdstat0 + 4), 0x1803u);  // enabled: clock on, reset released
  EXPECT_EQ(changed, std::vector<uint32_t>{Psc1::kModuleUsb0});
  // A GO with nothing to change completes at once.
  Write(PowerSleepController::kPtcmd, 1);
  EXPECT_EQ(Read(PowerSleepController::kPtstat), 0u);
  // Back to disable: reset released, clock off.
  Write(PowerSleepController::kMdctl0 + 4, 2);
  Write(PowerSleepController::kPtcmd, 1);
  Run(PowerSleepController::kTransitionTime);
  EXPECT_EQ(Read(PowerSleepController::kMdstat0 + 4), 0x0802u);
}

TEST_F(PscModel, TheBootLoaderLeavesGpioEnabledAndUsbToTheFirmware) {
  EXPECT_TRUE(psc.ModuleEnabled(Psc1::kModuleGpio));
  EXPECT_EQ(Read(PowerSleepController::kMdctl0 + 4 * Psc1::kModuleGpio) & 0x1Fu, 3u);
  EXPECT_FALSE(psc.ModuleEnabled(Psc1::kModuleUsb0));
}

TEST_F(PscModel, AHungModuleKeepsTheDomainBusy) {
  psc.HangModule(Psc1::kModuleUsb0);
  Write(PowerSleepController::kMdctl0 + 4, 3);
  Write(PowerSleepController::kPtcmd, 1);
  Run(10 * kNsPerMs);
  EXPECT_EQ(Read(PowerSleepController::kPtstat), 1u);
  EXPECT_FALSE(psc.ModuleEnabled(Psc1::kModuleUsb0));
}

TEST_F(PscModel, OtherRegistersReadBackAndOnlyWordsAreWritten) {
  EXPECT_EQ(Read(PowerSleepController::kRevId), PowerSleepController::kRevision);
  EXPECT_EQ(Read(PowerSleepController::kPdstat0), 1u);
  Write(PowerSleepController::kPdctl0, 0x00000101u);
  EXPECT_EQ(Read(PowerSleepController::kPdctl0), 0x00000101u);
  EXPECT_EQ(psc.Read(PowerSleepController::kPdctl0 + 1, 1), 0x01u);
  EXPECT_TRUE(board.Faults().empty());
  psc.Write(PowerSleepController::kMdctl0 + 4, 1, 3);
  EXPECT_EQ(board.Faults().size(), 1u);
  EXPECT_EQ(Read(PowerSleepController::kMdctl0 + 4), 0u);
}

// The DSP lives alone in power domain 1 of PSC0: its transition is started
// and reported by bit 1, the other modules move with domain 0, and its local
// reset is heard by the observers.
TEST(Psc0Model, TheDspModuleMovesWithDomainOneAndItsLocalReset) {
  Board board{BoardConfig{}};
  Psc0& psc = board.AddDevice<Psc0>(board);
  constexpr uint32_t kDsp = Psc0::kModuleDsp;
  constexpr uint32_t kMdctlDsp = PowerSleepController::kMdctl0 + 4 * kDsp;
  constexpr uint32_t kMdstatDsp = PowerSleepController::kMdstat0 + 4 * kDsp;
  std::vector<uint32_t> heard;
  psc.AddObserver([&](uint32_t module) { heard.push_back(module); });
  psc.Write(kMdctlDsp, 4, 3);
  psc.Write(PowerSleepController::kMdctl0, 4, 3);
  psc.Write(PowerSleepController::kPtcmd, 4, 1);
  EXPECT_EQ(psc.Read(PowerSleepController::kPtstat, 4), 1u);
  RunBoardFor(board, PowerSleepController::kTransitionTime);
  EXPECT_TRUE(psc.ModuleEnabled(0));
  EXPECT_FALSE(psc.ModuleEnabled(kDsp)) << "domain 0's GO leaves the DSP";
  psc.Write(PowerSleepController::kPtcmd, 4, 2);
  EXPECT_EQ(psc.Read(PowerSleepController::kPtstat, 4), 2u);
  RunBoardFor(board, PowerSleepController::kTransitionTime);
  EXPECT_EQ(psc.Read(PowerSleepController::kPtstat, 4), 0u);
  EXPECT_EQ(psc.Read(kMdstatDsp, 4), 0x1803u) << "enabled, local reset held";
  psc.Write(kMdctlDsp, 4, 0x103);
  EXPECT_TRUE(psc.LocalResetReleased(kDsp));
  EXPECT_EQ(psc.Read(kMdstatDsp, 4), 0x1903u);
  psc.Write(kMdctlDsp, 4, 0x103);  // no change, nothing heard
  EXPECT_EQ(heard, (std::vector<uint32_t>{0, kDsp, kDsp}));
}

TEST(Psc0Model, AStuckModuleEndsItsTransitionButKeepsItsState) {
  Board board{BoardConfig{}};
  Psc0& psc = board.AddDevice<Psc0>(board);
  psc.StickModule(Psc0::kModuleDsp);
  psc.Write(PowerSleepController::kMdctl0 + 4 * Psc0::kModuleDsp, 4, 3);
  psc.Write(PowerSleepController::kPtcmd, 4, 2);
  RunBoardFor(board, PowerSleepController::kTransitionTime);
  EXPECT_EQ(psc.Read(PowerSleepController::kPtstat, 4), 0u);
  EXPECT_FALSE(psc.ModuleEnabled(Psc0::kModuleDsp));
}

}  // namespace
}  // namespace sim
