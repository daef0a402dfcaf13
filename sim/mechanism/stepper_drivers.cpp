#include "sim/mechanism/stepper_drivers.h"

#include <string>

#include "sim/board_devices.h"
#include "sim/fpga/fpga_main_block.h"
#include "sim/mechanism/input_faults.h"
#include "sim/mechanism/ribbon_mechanism.h"
#include "sim/soc/gpio.h"

namespace sim {

namespace {

// The pulse channel of each driver: main 0, sub 1, exit 2.
constexpr uint32_t kChannel[] = {0, 1, 2};
constexpr const char* kNames[] = {"main", "sub", "exit"};

}  // namespace

StepperDrivers::StepperDrivers(Board& board, FpgaMainBlock& fpga, GpioController& gpio)
    : m_board(board), m_gpio(gpio), m_mainLatch(*this, Stepper::Main), m_exitLatch(*this, Stepper::Exit) {
  Bus& bus = board.GetBus();
  bus.MapDevice(kMainControl, kMainControl + kControlSpan - 1, RegionKind::Other, &m_mainLatch, "stepper-main");
  bus.MapDevice(kExitControl, kExitControl + kControlSpan - 1, RegionKind::Other, &m_exitLatch, "stepper-exit");
  fpga.AddWriteObserver(FpgaMainBlock::kSubstepCtrl, FpgaMainBlock::kSubstepCtrl, [this](uint32_t, uint16_t value) {
    Latched(Stepper::Sub, static_cast<uint8_t>(value & 0xFFu));
  });
  for (uint32_t i = 0; i < Index(Stepper::Count); ++i) {
    fpga.AddPulseObserver(kChannel[i], [this, i] { OnPulse(static_cast<Stepper>(i)); });
  }
}

uint32_t StepperDrivers::EighthsPerPulse(uint8_t control) {
  switch (control & kStepModeMask) {
    case 0x10: return 8;
    case 0x50: return 4;
    case 0x30: return 2;
    case 0x70: return 1;
    default: return 0;
  }
}

void StepperDrivers::Latched(Stepper stepper, uint8_t value) {
  Driver& driver = m_drivers[Index(stepper)];
  driver.control = value;
  ++driver.writes;
  driver.history.push_back({m_board.Clock().Now(), value});
}

void StepperDrivers::OnPulse(Stepper stepper) {
  Driver& driver = m_drivers[Index(stepper)];
  if (driver.bStalled || (driver.control & kEnergised) == 0) return;
  if (m_bSupplyFailed || !m_gpio.IsOutput(kMotorEnablePin) || !m_gpio.PinLevel(kMotorEnablePin)) return;
  int64_t step = EighthsPerPulse(driver.control);
  if (step == 0) return;
  if ((driver.control & kDirection) == 0) step = -step;
  driver.eighths += step;
  for (const auto& fn : driver.observers) fn(step);
}

uint32_t StepperDrivers::Latch::Read(uint32_t, uint32_t) { return m_owner.Control(m_stepper); }

void StepperDrivers::Latch::Write(uint32_t offset, uint32_t width, uint32_t value) {
  if (width != 1) {
    m_owner.m_board.ReportFault(std::string("stepper driver ") + kNames[Index(m_stepper)] + ": a " +
                                std::to_string(width) + "-byte write at offset " + std::to_string(offset));
    return;
  }
  m_owner.Latched(m_stepper, static_cast<uint8_t>(value));
}

void InstallStepperDrivers(Board& board) {
  FpgaMainBlock* pFpga = board.FindDevice<FpgaMainBlock>();
  GpioController* pGpio = board.FindDevice<GpioController>();
  if (pFpga == nullptr || pGpio == nullptr) return;
  // The paper web (paper_web_mechanism.h) couples the ribbons to the main
  // shaft's travel.
  StepperDrivers& drivers = board.AddDevice<StepperDrivers>(board, *pFpga, *pGpio);
  if (InputFaults* pFaults = board.FindDevice<InputFaults>()) pFaults->AttachSteppers(&drivers);
}

}  // namespace sim
