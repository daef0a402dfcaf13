// Test rig of the DC mechanism: a board with the GPIO, the FPGA, the
// mechanism's inputs and the DC mechanism, driven by register writes as the
// firmware drives them, in virtual time.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>

#include "sim/board.h"
#include "sim/fpga/fpga_config_port.h"
#include "sim/fpga/fpga_main_block.h"
#include "sim/mechanism/dc_mechanism.h"
#include "sim/mechanism/mechanism_inputs.h"
#include "sim/soc/gpio.h"
#include "sim/soc/psc.h"
#include "sim/testing/board_fixture.h"

namespace sim {

constexpr Nanos kSecond = 1000 * kNsPerMs;
constexpr uint32_t kEnable = 1u << DcMechanism::kMotorEnablePin;

enum class Op { Forward, Reverse, Stop, Brake };

// The line levels the firmware writes for each operation with polarity 0;
// polarity 1 inverts both.
struct Lines {
  bool a;
  bool b;
};
constexpr Lines LinesFor(Op op, bool bInverted) {
  const Lines l = op == Op::Forward ? Lines{true, false}
                  : op == Op::Reverse ? Lines{false, true}
                  : op == Op::Stop    ? Lines{true, true}
                                      : Lines{false, false};
  return bInverted ? Lines{!l.a, !l.b} : l;
}

class DcMechanismTest : public ::testing::Test {
 protected:
  explicit DcMechanismTest(uint32_t pcbRevision = 2, EngineVariant variant = EngineVariant::EM3)
      : m_pcbRevision(pcbRevision), m_variant(variant) {
    Build();
  }

  void Build() {
    m_board = std::make_unique<Board>(BoardConfig{});
    Board& b = *m_board;
    b.AddDevice<Psc1>(b);
    gpio = &b.AddDevice<GpioController>(b);
    config = &b.AddDevice<FpgaConfigPort>(b, *gpio);
    fpga = &b.AddDevice<FpgaMainBlock>(b, *gpio, *config, m_pcbRevision);
    inputs = &b.AddDevice<MechanismInputs>(*fpga, *gpio, 0u, true);
    mech = &b.AddDevice<DcMechanism>(b, *fpga, *config, *gpio, *inputs, m_pcbRevision, m_variant);
  }

  void Write(uint32_t offset, uint16_t value) { fpga->Write(offset, 2, value); }
  uint16_t Read(uint32_t offset) { return static_cast<uint16_t>(fpga->Read(offset, 2)); }
  void Run(Nanos dt) { RunBoardFor(*m_board, dt); }
  Nanos Now() { return m_board->Clock().Now(); }

  // The motor-enable output, as the board set-up leaves it (an output, low)
  // and then driven high or low.
  void MotorEnable(bool bOn) {
    if (!gpio->IsOutput(DcMechanism::kMotorEnablePin)) {
      gpio->Write(GpioController::kPairBase + GpioController::kClrData, 4, kEnable);
      gpio->Write(GpioController::kPairBase + GpioController::kDir, 4, ~kEnable);
    }
    gpio->Write(GpioController::kPairBase + (bOn ? GpioController::kSetData : GpioController::kClrData), 4, kEnable);
  }
  // Drives a motor's lines as the firmware's operation does, leaving the
  // other bits of its register alone.
  void Drive(DcMotor motor, Op op) {
    const DcMotorWiring& w = kDcMotorWiring[Index(motor)];
    const Lines l = LinesFor(op, w.bInverted);
    uint16_t reg = fpga->Register(w.reg);
    reg = static_cast<uint16_t>(l.a ? (reg | w.maskA) : (reg & ~w.maskA));
    reg = static_cast<uint16_t>(l.b ? (reg | w.maskB) : (reg & ~w.maskB));
    Write(w.reg, reg);
  }
  void Pwm(DcMotor motor, uint16_t period, uint16_t duty) {
    uint32_t offset = 0;
    ASSERT_TRUE(PwmPairOffset(kDcMotorWiring[Index(motor)].pwmChannel, &offset));
    Write(offset, period);
    Write(offset + 2, duty);
  }
  bool InputBit(uint32_t word, uint32_t bit) { return ((Read(word == 3 ? 0x2A : 2 * word) >> bit) & 1u) != 0; }
  uint16_t Adc(uint32_t channel) {
    Write(FpgaMainBlock::kAdcMux, static_cast<uint16_t>(channel >> 4));
    Write(FpgaMainBlock::kAdcChannel, static_cast<uint16_t>(channel & 0xFu));
    Run(FpgaMainBlock::kAdcConversion);
    return Read(FpgaMainBlock::kAdcData);
  }
  uint16_t Counter(uint32_t channel) { return fpga->Counter(channel); }

  uint32_t m_pcbRevision;
  EngineVariant m_variant;
  std::unique_ptr<Board> m_board;
  GpioController* gpio = nullptr;
  FpgaConfigPort* config = nullptr;
  FpgaMainBlock* fpga = nullptr;
  MechanismInputs* inputs = nullptr;
  DcMechanism* mech = nullptr;
};

}  // namespace sim
