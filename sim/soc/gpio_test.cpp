// The GPIO controller model: latch, directions and pads, edge detection with
// its status and bank interrupts, the pins other models hang on, and the
// faults it reports.
#include "sim/soc/gpio.h"

#include <gtest/gtest.h>

#include <vector>

#include "sim/board.h"
#include "sim/soc/psc.h"

namespace sim {
namespace {

constexpr uint32_t Reg(uint32_t pair, uint32_t reg) { return GpioController::kPairBase + pair * GpioController::kPairStride + reg; }

class GpioModel : public ::testing::Test {
 protected:
  GpioModel() {
    for (uint32_t bank = 0; bank < 2; ++bank) board.Intc().Attach(GpioController::kEventBank0 + bank, 5 + bank);
  }
  uint32_t Read(uint32_t offset) { return gpio.Read(offset, 4); }
  void Write(uint32_t offset, uint32_t value) { gpio.Write(offset, 4, value); }
  bool Pending(uint32_t bank) { return board.Intc().IsPending(GpioController::kEventBank0 + bank); }

  Board board{BoardConfig{}};
  Psc1& psc1 = board.AddDevice<Psc1>(board);
  GpioController& gpio = board.AddDevice<GpioController>(board);
};

TEST_F(GpioModel, AfterResetEveryPinIsAnInputAtTheBoardsPull) {
  EXPECT_EQ(Read(GpioController::kRevId), GpioController::kRevision);
  for (uint32_t pair = 0; pair < GpioController::kPairCount; ++pair) {
    EXPECT_EQ(Read(Reg(pair, GpioController::kDir)), 0xFFFFFFFFu) << pair;
    EXPECT_EQ(Read(Reg(pair, GpioController::kOutData)), 0u) << pair;
  }
  EXPECT_EQ(Read(Reg(0, GpioController::kInData)), 0xFFFFFFFFu);
  gpio.SetPull(5, false);
  EXPECT_EQ(Read(Reg(0, GpioController::kInData)), 0xFFFFFFDFu);
  EXPECT_FALSE(gpio.PinLevel(5));
}

// Pin p is bit p mod 32 of pair p / 32; bank 8 is the low half of pair 4.
TEST_F(GpioModel, SetAndClearChangeOneLatchBitAndAnOutputPadFollowsIt) {
  struct Case {
    uint32_t pin;
  };
  for (const Case c : {Case{0}, Case{14}, Case{31}, Case{32}, Case{127}, Case{143}}) {
    SCOPED_TRACE(c.pin);
    const uint32_t pair = c.pin / 32;
    const uint32_t bit = 1u << (c.pin % 32);
    Write(Reg(pair, GpioController::kSetData), bit);
    EXPECT_EQ(Read(Reg(pair, GpioController::kOutData)), bit);
    EXPECT_EQ(Read(Reg(pair, GpioController::kSetData)), bit) << "set and clear read the latch";
    gpio.SetPull(c.pin, false);
    EXPECT_FALSE(gpio.PinLevel(c.pin)) << "an input shows the pull, not the latch";
    Write(Reg(pair, GpioController::kDir), ~bit);
    EXPECT_TRUE(gpio.IsOutput(c.pin));
    EXPECT_TRUE(gpio.PinLevel(c.pin));
    EXPECT_EQ(Read(Reg(pair, GpioController::kInData)) & bit, bit);
    gpio.DriveInput(c.pin, false);
    EXPECT_TRUE(gpio.PinLevel(c.pin)) << "a driven output pin keeps the latch level";
    Write(Reg(pair, GpioController::kClrData), bit);
    EXPECT_EQ(Read(Reg(pair, GpioController::kOutData)), 0u);
    EXPECT_FALSE(gpio.PinLevel(c.pin));
    Write(Reg(pair, GpioController::kDir), 0xFFFFFFFFu);
    gpio.ReleaseInput(c.pin);
    gpio.SetPull(c.pin, true);
  }
}

TEST_F(GpioModel, AnEnabledEdgeSetsItsStatusBitAndRaisesTheBankInterruptWhenTheBankIsEnabled) {
  Write(Reg(0, GpioController::kSetFalTrig), 0x0000000Cu);  // pins 2, 3 falling
  Write(Reg(0, GpioController::kSetRisTrig), 0x00010000u);  // pin 16 (bank 1) rising
  EXPECT_EQ(Read(Reg(0, GpioController::kClrFalTrig)), 0x0000000Cu);
  EXPECT_EQ(Read(Reg(0, GpioController::kSetRisTrig)), 0x00010000u);

  // Bank interrupts disabled: the status is set all the same.
  gpio.DriveInput(2, false);
  EXPECT_EQ(Read(Reg(0, GpioController::kIntStat)), 0x4u);
  EXPECT_FALSE(Pending(0));

  Write(GpioController::kBinten, 0x1u);
  gpio.DriveInput(2, true);  // a rising edge: not enabled for pin 2
  gpio.DriveInput(4, false);  // a pin without a trigger
  EXPECT_FALSE(Pending(0));
  gpio.DriveInput(3, false);
  EXPECT_EQ(Read(Reg(0, GpioController::kIntStat)), 0xCu);
  EXPECT_TRUE(Pending(0));

  // Bank 1's edge is its own interrupt, raised only once its bank is enabled.
  gpio.DriveInput(16, false);
  gpio.DriveInput(16, true);
  EXPECT_EQ(Read(Reg(0, GpioController::kIntStat)), 0x1000Cu);
  EXPECT_FALSE(Pending(1));
  Write(GpioController::kBinten, 0x3u);
  gpio.DriveInput(16, false);
  gpio.DriveInput(16, true);
  EXPECT_TRUE(Pending(1));

  // Writing ones clears status bits; zeros leave them.
  Write(Reg(0, GpioController::kIntStat), 0x10004u);
  EXPECT_EQ(Read(Reg(0, GpioController::kIntStat)), 0x8u);
  // A disabled trigger detects nothing.
  Write(Reg(0, GpioController::kClrFalTrig), 0x8u);
  gpio.DriveInput(3, true);
  gpio.DriveInput(3, false);
  EXPECT_EQ(Read(Reg(0, GpioController::kIntStat)), 0x8u);
}

TEST_F(GpioModel, ObserversSeeEachPadChangeOnce) {
  std::vector<bool> seen;
  gpio.AddPinObserver(13, [&](bool bLevel) { seen.push_back(bLevel); });
  Write(Reg(0, GpioController::kClrData), 0x2000u);  // latch only: the pin is an input
  EXPECT_TRUE(seen.empty());
  Write(Reg(0, GpioController::kDir), ~0x2000u);      // now it drives the latch: low
  Write(Reg(0, GpioController::kClrData), 0x2000u);  // no change
  Write(Reg(0, GpioController::kSetData), 0x2000u);
  Write(Reg(0, GpioController::kOutData), 0x0u);
  EXPECT_EQ(seen, (std::vector<bool>{false, true, false}));
}

TEST_F(GpioModel, NarrowWritesAndAccessesWithItsModuleDisabledAreBoardFaults) {
  gpio.Write(Reg(0, GpioController::kSetData), 2, 1);
  ASSERT_EQ(board.Faults().size(), 1u);
  EXPECT_EQ(Read(Reg(0, GpioController::kOutData)), 0u);
  EXPECT_EQ(gpio.Read(GpioController::kRevId + 2, 2), GpioController::kRevision >> 16) << "narrow reads are lanes";

  // The module switched off in PSC1.
  psc1.Write(PowerSleepController::kMdctl0 + 4 * Psc1::kModuleGpio, 4, PowerSleepController::kStateSwRstDisable);
  psc1.Write(PowerSleepController::kPtcmd, 4, 1);
  board.Clock().AdvanceTo(board.Clock().Now() + PowerSleepController::kTransitionTime);
  board.Clock().RunDue();
  ASSERT_FALSE(psc1.ModuleEnabled(Psc1::kModuleGpio));
  Write(Reg(0, GpioController::kSetData), 1);
  EXPECT_EQ(board.Faults().size(), 2u);
  EXPECT_EQ(gpio.OutputLatch(0), 0u);
}

}  // namespace
}  // namespace sim
