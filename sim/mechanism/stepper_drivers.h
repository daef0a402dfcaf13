// The three stepper drivers behind the FPGA's pulse channels: each driver
// latches its control byte (the main and exit drivers on their own bus
// addresses, the sub driver on the FPGA's FPGA_SUBSTEP_CTRL register) and
// turns its shaft at each pulse of its channel: by one step of its step
// mode, counted in eighth steps, forward while the direction bit is set,
// and only while it is energised and the motor-enable output (GP0[9]) is
// on. Shaft observers see each pulse's travel (the ribbon under a lowered
// head follows the main shaft); the paper path these shafts move is not
// modelled yet.
//
// Control byte: bit 0 direction, bit 1 energised, bit 2 drive current,
// bits 4-6 step mode (001 full, 101 half, 011 quarter, 111 eighth step;
// any other pattern moves nothing). A write of another width than a byte
// to a driver's address is a board fault.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "sim/board.h"
#include "sim/bus.h"
#include "sim/mechanism/mechanism_inputs.h"

namespace sim {

class FpgaMainBlock;
class GpioController;

enum class Stepper : uint32_t { Main, Sub, Exit, Count };

struct ControlWrite {
  Nanos at;
  uint8_t value;
};

class StepperDrivers final : public DeviceModel {
 public:
  static constexpr PhysAddr kMainControl = 0x66000000u;
  static constexpr PhysAddr kExitControl = 0x66800000u;
  static constexpr PhysAddr kControlSpan = 0x10;
  static constexpr uint32_t kMotorEnablePin = 9;
  static constexpr uint8_t kDirection = 0x01, kEnergised = 0x02, kCurrent = 0x04, kStepModeMask = 0x70;

  StepperDrivers(Board& board, FpgaMainBlock& fpga, GpioController& gpio);
  StepperDrivers(const StepperDrivers&) = delete;
  StepperDrivers& operator=(const StepperDrivers&) = delete;

  uint8_t Control(Stepper stepper) const { return m_drivers[Index(stepper)].control; }
  // Writes of the control byte so far.
  uint32_t ControlWrites(Stepper stepper) const { return m_drivers[Index(stepper)].writes; }
  // Each write of the control byte, time-stamped.
  const std::vector<ControlWrite>& ControlHistory(Stepper stepper) const { return m_drivers[Index(stepper)].history; }
  // Signed shaft travel in eighth steps.
  int64_t ShaftEighths(Stepper stepper) const { return m_drivers[Index(stepper)].eighths; }
  // Eighth steps one pulse turns with a step-mode pattern (0: none).
  static uint32_t EighthsPerPulse(uint8_t control);
  // A fault switch: a stalled shaft does not turn.
  void SetStalled(Stepper stepper, bool bStalled) { m_drivers[Index(stepper)].bStalled = bStalled; }
  // A fault switch: the 24 V motor supply failed, no shaft turns.
  void SetSupplyFailed(bool bFailed) { m_bSupplyFailed = bFailed; }
  // Called at each pulse that turns the shaft, with the eighth steps it
  // turned (negative: backwards).
  void AddShaftObserver(Stepper stepper, std::function<void(int64_t eighths)> fn) {
    m_drivers[Index(stepper)].observers.push_back(std::move(fn));
  }

 private:
  // A driver's latch on the bus.
  class Latch final : public BusDevice {
   public:
    Latch(StepperDrivers& owner, Stepper stepper) : m_owner(owner), m_stepper(stepper) {}
    uint32_t Read(uint32_t offset, uint32_t width) override;
    void Write(uint32_t offset, uint32_t width, uint32_t value) override;
    uint32_t BusWidth() const override { return 1; }

   private:
    StepperDrivers& m_owner;
    Stepper m_stepper;
  };

  struct Driver {
    uint8_t control = 0;
    uint32_t writes = 0;
    std::vector<ControlWrite> history;
    int64_t eighths = 0;
    bool bStalled = false;
    std::vector<std::function<void(int64_t)>> observers;
  };

  void Latched(Stepper stepper, uint8_t value);
  void OnPulse(Stepper stepper);

  Board& m_board;
  GpioController& m_gpio;
  std::array<Driver, Index(Stepper::Count)> m_drivers{};
  bool m_bSupplyFailed = false;
  Latch m_mainLatch;
  Latch m_exitLatch;
};

}  // namespace sim
