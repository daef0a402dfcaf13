// Test rig of the steppers and the paper position: a booted printer (the
// whole machine definition, the firmware's own FPGA interrupt) whose
// application runs the jobs a test hands it, with the pin interrupts of the
// stepper and paper-step lines enabled and the motor drivers enabled, as
// the start-up leaves them; the FPGA's pulse times and the stepper drivers
// at hand.
#pragma once

#include <vector>

#include "firmware/control/panel_test_rig.h"
#include "firmware/devices/machine_ports.h"
#include "firmware/devices/ramp_table.h"
#include "firmware/devices/stepper.h"
#include "firmware/platform/ioctl.h"
#include "sim/fpga/fpga_main_block.h"
#include "sim/mechanism/stepper_drivers.h"

namespace steppertest {

using paneltest::Ms;

class StepperTest : public paneltest::PanelTest {
 protected:
  void SetUp() override {
    paneltest::PanelTest::SetUp();
    InApp([] {
      for (uint32_t ulPin = 1; ulPin <= 6; ++ulPin) IoctlSetGpioFallTrig(ulPin);
      g_PortMotorEnable.Set();
    });
    for (uint32_t c = 0; c < sim::FpgaMainBlock::kPulseChannels; ++c) {
      Fpga().AddPulseObserver(c, [this, c] { m_pulses[c].push_back(Fpga().LastPulseTime(c)); });
    }
  }
  sim::FpgaMainBlock& Fpga() { return *m_machine->GetBoard().FindDevice<sim::FpgaMainBlock>(); }
  sim::StepperDrivers& Drivers() { return *m_machine->GetBoard().FindDevice<sim::StepperDrivers>(); }

  // The intervals between the pulses of a channel, in 40 ns ticks.
  std::vector<uint32_t> Intervals(uint32_t ulChannel) const {
    std::vector<uint32_t> out;
    for (size_t i = 1; i < m_pulses[ulChannel].size(); ++i) {
      out.push_back(static_cast<uint32_t>((m_pulses[ulChannel][i] - m_pulses[ulChannel][i - 1]) / 40));
    }
    return out;
  }
  size_t Pulses(uint32_t ulChannel) const { return m_pulses[ulChannel].size(); }
  // Runs until the channel has pulsed n times in all.
  bool RunUntilPulses(uint32_t ulChannel, size_t n, sim::Nanos limit = Ms(2000)) {
    m_machine->RunUntil([&] { return m_pulses[ulChannel].size() >= n; }, limit);
    return m_pulses[ulChannel].size() >= n;
  }
  static int32_t StateOf(const CStpmtr& motor) {
    int32_t lState = -1;
    motor.GetState(&lState);
    return lState;
  }

  std::vector<sim::Nanos> m_pulses[sim::FpgaMainBlock::kPulseChannels];
};

// A ramp on its own storage.
struct TestRamp {
  std::vector<uint16_t> storage = std::vector<uint16_t>(CRampTable::kEntries, 0);
  CRampTable ramp{storage.data(), 0, 0, 0, 2};
  uint32_t Count() const {
    uint32_t ulCount = 0;
    ramp.GetCount(&ulCount);
    return ulCount;
  }
  const uint16_t* Table() const { return storage.data(); }
};

}  // namespace steppertest
