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

}  // namespace
}  // namespace sim
