#include "sim/mechanism/head_supply.h"

#include "sim/fpga/fpga_main_block.h"

namespace sim {

void HeadSupply::Attach(FpgaMainBlock& fpga) {
  fpga.AddWriteObserver(FpgaMainBlock::kThvCtrl, FpgaMainBlock::kThvCtrl + 1,
                        [this](uint32_t, uint16_t value) { OnControl(value); });
}

void HeadSupply::OnControl(uint16_t value) {
  const uint32_t step = (value >> kStepShift) & kStepMask;
  const bool bOn = (value & kSupplyBit) != 0;
  m_bMeasure = (value & kMeasureBit) != 0;
  if (step != m_step) {
    ++m_writes;
    const uint32_t distance = step > m_step ? step - m_step : m_step - step;
    if (bOn && m_bOn && distance > 1) ++m_jumps;
    if (!m_bIgnoresStep) {
      const Nanos now = m_clock.Now();
      m_previousStep = now >= m_settledAt ? m_outputStep : m_previousStep;
      m_outputStep = step;
      m_settledAt = now + kSettle;
    }
    m_step = step;
  }
  m_bOn = bOn;
}

uint32_t HeadSupply::OutputStep() const { return m_clock.Now() >= m_settledAt ? m_outputStep : m_previousStep; }

uint32_t HeadSupply::MilliVolt() const { return m_bOn ? MilliVoltOf(OutputStep()) : 0; }

bool HeadSupply::Analog(uint32_t channel, uint16_t* pLevel) const {
  if (channel != kChannel) return false;
  if (!m_bMeasure) {
    *pLevel = 0;
  } else {
    *pLevel = m_stuckReading >= 0 ? static_cast<uint16_t>(m_stuckReading) : RawOf(MilliVolt());
  }
  return true;
}

}  // namespace sim
