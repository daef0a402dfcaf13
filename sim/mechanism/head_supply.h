// The heads' supply (THV) and its measurement line. The FPGA's THV control
// register (bit 0 supply on, bit 1 measurement on, bits 6-15 the step)
// sets the supply: 40000 - 20 x step mV while it is on, 0 when off; a new
// step is reached 1 ms after it was written. While the measurement bit is
// set, A/D channel 10 reads mV x 1024 / 49500 (at most 1023), else 0.
// Every change of more than one step while the supply is on is counted:
// the firmware walks the supply one step at a time.
// Switches: a supply that ignores its step (it keeps the voltage it had),
// a dead measurement line (channel 10 reads 0) or, more generally, one
// stuck at a reading.
#pragma once

#include <cstdint>

#include "sim/board.h"
#include "sim/clock.h"

namespace sim {

class FpgaMainBlock;

class HeadSupply final : public DeviceModel {
 public:
  static constexpr uint32_t kChannel = 10;
  static constexpr uint32_t kSupplyBit = 0x0001;
  static constexpr uint32_t kMeasureBit = 0x0002;
  static constexpr uint32_t kStepShift = 6;
  static constexpr uint32_t kStepMask = 0x3FF;
  static constexpr uint32_t kTopMilliVolt = 40000;
  static constexpr uint32_t kMilliVoltPerStep = 20;
  static constexpr uint32_t kFullScaleMilliVolt = 49500;
  static constexpr Nanos kSettle = 1000 * kNsPerUs;

  explicit HeadSupply(SimClock& clock) : m_clock(clock) {}
  // Follows the FPGA's THV control register.
  void Attach(FpgaMainBlock& fpga);
  // The register was written.
  void OnControl(uint16_t value);

  // The step last written, and whether the supply and measurement are on.
  uint32_t Step() const { return m_step; }
  bool SupplyOn() const { return m_bOn; }
  bool MeasureOn() const { return m_bMeasure; }
  // The supply's output now, and the step it follows (the one before a
  // write until the new one is reached; on or off).
  uint32_t MilliVolt() const;
  uint32_t OutputStep() const;
  // Changes of more than one step while on.
  uint32_t Jumps() const { return m_jumps; }
  uint32_t StepWrites() const { return m_writes; }

  void SetIgnoresStep(bool bIgnore) { m_bIgnoresStep = bIgnore; }
  void SetDeadMeasurement(bool bDead) { m_stuckReading = bDead ? 0 : -1; }
  // Channel 10 reads `raw` while the measurement is on; -1 ends it.
  void SetStuckReading(int32_t raw) { m_stuckReading = raw; }

  // The supply's voltage of a step.
  static constexpr uint32_t MilliVoltOf(uint32_t step) { return kTopMilliVolt - kMilliVoltPerStep * step; }
  // The channel's level at a voltage.
  static constexpr uint16_t RawOf(uint32_t milliVolt) {
    const uint32_t raw = milliVolt * 1024u / kFullScaleMilliVolt;
    return static_cast<uint16_t>(raw > 1023u ? 1023u : raw);
  }
  // The channel this model answers: true with the level set.
  bool Analog(uint32_t channel, uint16_t* pLevel) const;

 private:

  SimClock& m_clock;
  uint32_t m_step = 0;
  // The step the output follows: the previous one until m_settledAt.
  uint32_t m_outputStep = 0;
  uint32_t m_previousStep = 0;
  Nanos m_settledAt = 0;
  bool m_bOn = false;
  bool m_bMeasure = false;
  bool m_bIgnoresStep = false;
  int32_t m_stuckReading = -1;
  uint32_t m_jumps = 0;
  uint32_t m_writes = 0;
};

}  // namespace sim
