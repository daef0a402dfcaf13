// The stepper drivers: their control bytes on the bus and the FPGA's sub
// register, and the shaft travel each pulse gives by step mode, direction,
// excitation, motor enable and the stall switch.
#include "sim/mechanism/stepper_drivers.h"

#include <gtest/gtest.h>

#include "sim/fpga/fpga_config_port.h"
#include "sim/fpga/fpga_main_block.h"
#include "sim/soc/gpio.h"
#include "sim/soc/psc.h"
#include "sim/testing/board_fixture.h"

namespace sim {
namespace {

constexpr uint32_t kMotorEnable = 1u << StepperDrivers::kMotorEnablePin;

class StepperDriverModel : public ::testing::Test {
 protected:
  StepperDriverModel() {
    GpioWrite(GpioController::kDir, ~kMotorEnable);
    MotorEnable(true);
  }
  void GpioWrite(uint32_t reg, uint32_t value) { gpio.Write(GpioController::kPairBase + reg, 4, value); }
  void MotorEnable(bool bOn) { GpioWrite(bOn ? GpioController::kSetData : GpioController::kClrData, kMotorEnable); }
  void SetControl(Stepper stepper, uint8_t value) {
    switch (stepper) {
      case Stepper::Main: board.GetBus().Find(StepperDrivers::kMainControl, 1)->device->Write(0, 1, value); break;
      case Stepper::Exit: board.GetBus().Find(StepperDrivers::kExitControl, 1)->device->Write(0, 1, value); break;
      default: block.Write(FpgaMainBlock::kSubstepCtrl, 2, value); break;
    }
  }
  // n pulses of the stepper's channel at 100 us.
  void Pulse(Stepper stepper, uint32_t n) {
    const uint32_t channel = Index(stepper);
    block.Write(FpgaMainBlock::kPulsePeriod[channel], 2, 2500);
    block.Write(FpgaMainBlock::kPulsePeriod[channel] + 2, 2, 0);
    block.Write(FpgaMainBlock::kPulseCtrl, 2, static_cast<uint16_t>(1u << (2 * channel)));
    RunBoardFor(board, n * 100 * kNsPerUs + 50 * kNsPerUs);
    block.Write(FpgaMainBlock::kPulseCtrl, 2, static_cast<uint16_t>(2u << (2 * channel)));
    block.Write(FpgaMainBlock::kPulseCtrl, 2, 0);
  }

  Board board{BoardConfig{}};
  Psc1& psc1 = board.AddDevice<Psc1>(board);
  GpioController& gpio = board.AddDevice<GpioController>(board);
  FpgaConfigPort& port = board.AddDevice<FpgaConfigPort>(board, gpio);
  FpgaMainBlock& block = board.AddDevice<FpgaMainBlock>(board, gpio, port, 0);
  StepperDrivers& drivers = board.AddDevice<StepperDrivers>(board, block, gpio);
};

TEST_F(StepperDriverModel, EachPulseTurnsTheShaftByItsStepModeInItsDirection) {
  struct Case {
    Stepper stepper;
    uint8_t control;
    int64_t eighthsPerPulse;
  };
  const Case cases[] = {
      {Stepper::Main, 0x13, 8},  {Stepper::Main, 0x52, -4}, {Stepper::Sub, 0x33, 2},   {Stepper::Sub, 0x72, -1},
      {Stepper::Exit, 0x53, 4},  {Stepper::Main, 0x11, 0},  // not energised
      {Stepper::Sub, 0x03, 0},   // step-mode pattern 000, as after construction
      {Stepper::Exit, 0x23, 0},  // pattern 010
      {Stepper::Main, 0x97, 8},  // bit 7 and the current bit change nothing
  };
  for (const Case& c : cases) {
    SetControl(c.stepper, c.control);
    EXPECT_EQ(drivers.Control(c.stepper), c.control);
    const int64_t before = drivers.ShaftEighths(c.stepper);
    Pulse(c.stepper, 10);
    EXPECT_EQ(drivers.ShaftEighths(c.stepper) - before, 10 * c.eighthsPerPulse)
        << "stepper " << Index(c.stepper) << " control 0x" << std::hex << int{c.control};
  }
  EXPECT_TRUE(board.Faults().empty());
}

TEST_F(StepperDriverModel, NoTravelWithoutMotorEnableOrWhileStalled) {
  SetControl(Stepper::Main, 0x53);
  MotorEnable(false);
  Pulse(Stepper::Main, 5);
  EXPECT_EQ(drivers.ShaftEighths(Stepper::Main), 0);
  MotorEnable(true);
  drivers.SetStalled(Stepper::Main, true);
  Pulse(Stepper::Main, 5);
  EXPECT_EQ(drivers.ShaftEighths(Stepper::Main), 0);
  drivers.SetStalled(Stepper::Main, false);
  Pulse(Stepper::Main, 5);
  EXPECT_EQ(drivers.ShaftEighths(Stepper::Main), 20);
  EXPECT_EQ(drivers.ShaftEighths(Stepper::Sub), 0) << "the other shafts stay";
}

TEST_F(StepperDriverModel, AWordWriteToADriverIsABoardFault) {
  board.GetBus().Find(StepperDrivers::kExitControl, 2)->device->Write(0, 2, 0x1234);
  ASSERT_EQ(board.Faults().size(), 1u);
  EXPECT_EQ(drivers.Control(Stepper::Exit), 0);
  EXPECT_EQ(drivers.ControlWrites(Stepper::Exit), 0u);
}

}  // namespace
}  // namespace sim
