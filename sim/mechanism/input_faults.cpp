#include "sim/mechanism/input_faults.h"

#include "sim/fpga/fpga_main_block.h"
#include "sim/mechanism/dc_mechanism.h"
#include "sim/mechanism/paper_web_mechanism.h"
#include "sim/mechanism/ribbon_mechanism.h"
#include "sim/mechanism/stepper_drivers.h"

namespace sim {

InputFaults::InputFaults(FpgaMainBlock& fpga, DcMechanism& mechanism, RibbonMechanism* pRibbons)
    : m_mechanism(mechanism), m_pRibbons(pRibbons) {
  fpga.SetInputOverride([this](uint32_t index, uint16_t value) { return Apply(index, value); });
}

void InputFaults::SetBitFault(const SensorBit& sensor, BitFault fault) {
  if (sensor.word >= kWords || sensor.bit >= 16) return;
  Fault& f = m_bits[sensor.word][sensor.bit];
  if (f.kind == BitFault::None && fault != BitFault::None) ++m_active;
  if (f.kind != BitFault::None && fault == BitFault::None) --m_active;
  f = Fault{fault, sensor.bActiveLow};
}

BitFault InputFaults::FaultOf(const SensorBit& sensor) const {
  if (sensor.word >= kWords || sensor.bit >= 16) return BitFault::None;
  return m_bits[sensor.word][sensor.bit].kind;
}

void InputFaults::ClearBitFaults() {
  for (auto& word : m_bits) word.fill(Fault{});
  m_active = 0;
}

uint16_t InputFaults::Apply(uint32_t index, uint16_t value) {
  if (m_active == 0 || index >= kWords) return value;
  for (uint32_t bit = 0; bit < 16; ++bit) {
    Fault& f = m_bits[index][bit];
    bool bLevel = false;
    switch (f.kind) {
      case BitFault::None: continue;
      case BitFault::StuckOn: bLevel = !f.bInverted; break;
      case BitFault::StuckOff: bLevel = f.bInverted; break;
      case BitFault::Chatter:
        f.bChatterLevel = !f.bChatterLevel;
        bLevel = f.bChatterLevel;
        break;
    }
    const auto mask = static_cast<uint16_t>(1u << bit);
    value = static_cast<uint16_t>(bLevel ? (value | mask) : (value & ~mask));
  }
  return value;
}

void InputFaults::SetMotorSupplyFailed(bool bFailed) {
  m_mechanism.SetSupplyFailed(bFailed);
  if (m_pSteppers != nullptr) m_pSteppers->SetSupplyFailed(bFailed);
}

void InputFaults::SetAxisStuck(Axis axis, bool bStuck) { m_mechanism.SetAxisStuck(axis, bStuck); }
void InputFaults::SetAxisSpeedFactor(Axis axis, double factor) { m_mechanism.SetAxisSpeedFactor(axis, factor); }
void InputFaults::SetAxisBlockedAt(Axis axis, int32_t position) { m_mechanism.SetAxisBlockedAt(axis, position); }
void InputFaults::ClearAxisBlock(Axis axis) { m_mechanism.ClearAxisBlock(axis); }

void InputFaults::SetRibbonFault(PrintUnit unit, RibbonFault fault, bool bOn) {
  if (m_pRibbons != nullptr) m_pRibbons->SetFault(unit, fault, bOn);
}

void InputFaults::SetBarcodeUnreadable(PrintUnit unit, uint32_t runs) {
  if (m_pRibbons != nullptr) m_pRibbons->SetBarcodeUnreadable(unit, runs);
}

void InputFaults::SetEncoderLoss(PrintUnit unit, uint32_t encoder, uint32_t keepOneIn) {
  if (m_pRibbons != nullptr) m_pRibbons->SetEncoderLoss(unit, encoder, keepOneIn);
}

void InputFaults::SetShortPanels(PrintUnit unit, bool bShort) {
  if (m_pRibbons != nullptr) m_pRibbons->SetShortPanels(unit, bShort);
}

void InputFaults::SetPaperFault(WebFault fault, bool bOn) {
  if (m_pWeb != nullptr) m_pWeb->SetFault(fault, bOn);
}

void InputFaults::DetachPaperRoll() {
  if (m_pWeb != nullptr) m_pWeb->Detach();
}

}  // namespace sim
