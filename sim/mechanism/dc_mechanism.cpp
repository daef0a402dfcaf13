#include "sim/mechanism/dc_mechanism.h"

#include <algorithm>
#include <iterator>
#include <tuple>

#include "sim/fpga/fpga_config_port.h"
#include "sim/fpga/fpga_main_block.h"
#include "sim/mechanism/mechanism_inputs.h"
#include "sim/mechanism/positioner_geometry.h"
#include "sim/soc/gpio.h"

namespace sim {

namespace {

// The actuators' output registers.
constexpr uint32_t kDcMotor1 = FpgaMainBlock::kDcMotor0 + 2, kDcMotor2 = FpgaMainBlock::kDcMotor0 + 4;
constexpr uint32_t kOutputRegisters[] = {FpgaMainBlock::kDcMotor0, kDcMotor1, kDcMotor2, FpgaMainBlock::kFanCtrl};
constexpr const char* kOutputNames[] = {"DCMOTOR0", "DCMOTOR1", "DCMOTOR2", "FAN_CTRL"};
constexpr uint16_t kColorLedMask = 0x003F;

// The bits of an output register that no motor, fan or clutch (nor the
// panel's Exit LED) is wired to.
uint16_t UnwiredMask(uint32_t offset) {
  uint32_t wired = offset == FpgaMainBlock::kFanCtrl ? kExitLedMask : 0u;
  for (const DcMotorWiring& w : kDcMotorWiring) {
    if (w.reg == offset) wired |= w.maskA | w.maskB;
  }
  if (offset == FpgaMainBlock::kFanCtrl) {
    for (const SwitchedLoadWiring& w : kSwitchedLoads) wired |= w.mask;
  }
  return static_cast<uint16_t>(~wired);
}

}  // namespace

namespace {
// The ranges of the actuator outputs: the DC-motor lines and FAN_CTRL,
// COLOR_CTRL, the PWM pairs.
constexpr MapRange kActuatorOutputs[] = {{FpgaMainBlock::kDcMotor0, FpgaMainBlock::kFanCtrl},
                                         {FpgaMainBlock::kColorCtrl, FpgaMainBlock::kColorCtrl},
                                         {FpgaMainBlock::kPwmBase, FpgaMainBlock::kPwmBase + 0x32}};
}  // namespace

bool DcMechanism::IsActuatorOutput(uint32_t offset) {
  for (const MapRange& r : kActuatorOutputs) {
    if (offset >= r.first && offset <= r.last) return true;
  }
  return false;
}

void DcMechanism::ObserveActuatorOutputs(FpgaMainBlock& fpga,
                                         const std::function<void(uint32_t offset, uint16_t value)>& fn) {
  for (const MapRange& r : kActuatorOutputs) fpga.AddWriteObserver(r.first, r.last, fn);
}

DcMechanism::DcMechanism(Board& board, FpgaMainBlock& fpga, FpgaConfigPort& config, GpioController& gpio,
                         MechanismInputs& inputs, uint32_t pcbRevision, EngineVariant variant)
    : m_board(board),
      m_fpga(fpga),
      m_gpio(gpio),
      m_colors(pcbRevision),
      m_variant(variant),
      m_cutter(positioner::kCutterTravel, positioner::kCutterEndZone) {
  SimClock& clock = board.Clock();
  m_carousel = std::make_unique<Carousel>(
      clock, variant, [this](uint32_t channel) { m_fpga.CountPulses(channel); },
      [this](const SensorBit& s, bool bActive) { SetSensor(s, bActive); },
      [this](int32_t position) { Note(MechanismEventKind::Axis, "Carousel", position); });
  m_ejectRollers = std::make_unique<EjectRollers>(
      clock, [this](int32_t travel) { Note(MechanismEventKind::Axis, "EjectRollers", travel); });
  for (uint32_t a = 0; a < Index(Axis::Count); ++a) {
    m_axes.push_back(std::make_unique<DcAxis>(
        clock, AxisGeometryOf(static_cast<Axis>(a), variant),
        [this](const SensorBit& s, bool bActive) { SetSensor(s, bActive); },
        [this, name = kAxisWiring[a].pszName, axis = static_cast<Axis>(a)](int32_t position) {
          Note(MechanismEventKind::Axis, name, position);
          if (axis == Axis::Cutter) FollowCutter();
          if (axis == Axis::RotLock) FollowLock();
          for (const auto& fn : m_axisObservers) fn(axis, position);
        }));
  }
  FollowLock();
  // The motors as the registers hold them now, without a trace entry.
  for (uint32_t i = 0; i < Index(DcMotor::Count); ++i) m_motors[i] = Decode(kDcMotorWiring[i]);
  ObserveActuatorOutputs(m_fpga, [this](uint32_t offset, uint16_t value) { OnWrite(offset, value); });
  config.AddModeObserver([this](bool) { Refresh(); });
  m_gpio.AddPinObserver(kMotorEnablePin, [this](bool) { Refresh(); });
  inputs.AddAnalogSource([this](uint32_t channel, uint16_t* pLevel) { return Analog(channel, pLevel); });
  Refresh();
}

void DcMechanism::Note(MechanismEventKind kind, std::string_view name, int32_t value, DriveState drive) {
  const MechanismEvent e{m_board.Clock().Now(), kind, name, drive, value};
  m_trace.Add(e);
  if (m_bEcho) m_board.ConsoleLine("[mechanism] " + e.Text());
}

void DcMechanism::OnWrite(uint32_t offset, uint16_t value) {
  TraceUnwired(offset, value);
  Refresh();
}

void DcMechanism::TraceUnwired(uint32_t offset, uint16_t value) {
  static_assert(std::size(kOutputRegisters) == std::tuple_size_v<decltype(m_unwired)>);
  for (size_t i = 0; i < std::size(kOutputRegisters); ++i) {
    if (kOutputRegisters[i] != offset) continue;
    const auto bits = static_cast<uint16_t>(value & UnwiredMask(offset));
    if (bits != m_unwired[i]) Note(MechanismEventKind::UnwiredBits, kOutputNames[i], bits);
    m_unwired[i] = bits;
  }
}

void DcMechanism::SetSupplyFailed(bool bFailed) {
  m_bSupplyFailed = bFailed;
  Refresh();
}

void DcMechanism::Refresh() {
  const bool bSupply = !m_bSupplyFailed && m_gpio.IsOutput(kMotorEnablePin) && m_gpio.PinLevel(kMotorEnablePin);
  if (bSupply != m_bSupplyOn) {
    m_bSupplyOn = bSupply;
    Note(MechanismEventKind::MotorSupply, "MotorSupply", bSupply ? 1 : 0);
  }
  RefreshMotors();
  RefreshLoads();
  RefreshLeds();
}

namespace {

// The registers the motors' states are decoded from: each motor's line
// register and the registers of its PWM pair.
const std::vector<uint32_t>& MotorInputRegisters() {
  static const std::vector<uint32_t> kRegisters = [] {
    std::vector<uint32_t> registers;
    for (const DcMotorWiring& w : kDcMotorWiring) {
      registers.push_back(w.reg);
      uint32_t pairOffset = 0;
      if (w.pwmChannel != kNoPwm && PwmPairOffset(w.pwmChannel, &pairOffset)) {
        registers.push_back(pairOffset);
        registers.push_back(pairOffset + 2);
      }
    }
    std::sort(registers.begin(), registers.end());
    registers.erase(std::unique(registers.begin(), registers.end()), registers.end());
    return registers;
  }();
  return kRegisters;
}

}  // namespace

bool DcMechanism::MotorInputsChanged() {
  const std::vector<uint32_t>& registers = MotorInputRegisters();
  bool bChanged = m_motorInputs.size() != registers.size();
  m_motorInputs.resize(registers.size());
  for (size_t i = 0; i < registers.size(); ++i) {
    const uint16_t value = m_fpga.Register(registers[i]);
    if (value != m_motorInputs[i]) {
      m_motorInputs[i] = value;
      bChanged = true;
    }
  }
  const auto flags = static_cast<uint8_t>((m_bSupplyOn ? 1u : 0u) | (m_fpga.Configured() ? 2u : 0u));
  if (flags != m_motorFlags) {
    m_motorFlags = flags;
    bChanged = true;
  }
  return bChanged;
}

void DcMechanism::DecodeMotors() {
  for (uint32_t i = 0; i < Index(DcMotor::Count); ++i) {
    const MotorState now = Decode(kDcMotorWiring[i]);
    MotorState& last = m_motors[i];
    if (now.drive != last.drive || now.percent != last.percent) {
      Note(MechanismEventKind::Motor, kDcMotorWiring[i].pszName, static_cast<int32_t>(now.percent), now.drive);
    }
    last = now;
  }
  for (size_t a = 0; a < m_axes.size(); ++a) DriveAxis(*m_axes[a], m_motors[Index(kAxisWiring[a].motor)]);
}

void DcMechanism::RefreshMotors() {
  // Every write to an output register refreshes the mechanism; the same
  // inputs give every motor the state it has and every axis the velocity
  // it has, so the motors are decoded again only when an input changed.
  if (MotorInputsChanged()) DecodeMotors();
  FollowCutter();
  const MotorState& rotation = m_motors[Index(DcMotor::PaperRot)];
  m_carousel->Drive(rotation.num, rotation.den);
  const MotorState& eject = m_motors[Index(DcMotor::Eject)];
  m_ejectRollers->Drive(eject.num, eject.den);
}

// One entry per fan or clutch that changed.
void DcMechanism::RefreshLoads() {
  const uint16_t fanCtrl = m_fpga.Register(FpgaMainBlock::kFanCtrl);
  uint16_t now = 0;
  for (const SwitchedLoadWiring& w : kSwitchedLoads) {
    now = static_cast<uint16_t>(now | (fanCtrl & w.mask));
    if (((fanCtrl ^ m_loads) & w.mask) != 0) {
      const MechanismEventKind kind = w.bClutch ? MechanismEventKind::Clutch : MechanismEventKind::Fan;
      Note(kind, w.pszName, (fanCtrl & w.mask) != 0 ? 1 : 0);
    }
  }
  m_loads = now;
}

// One entry per colour LED that changed.
void DcMechanism::RefreshLeds() {
  const auto now = static_cast<uint16_t>(m_fpga.Register(FpgaMainBlock::kColorCtrl) & kColorLedMask);
  for (uint32_t led = 0; led < kColorLedCount; ++led) {
    const uint32_t bit = 1u << led;
    if (((now ^ m_leds) & bit) != 0) Note(MechanismEventKind::ColorLed, kColorLedNames[led], (now & bit) != 0 ? 1 : 0);
  }
  m_leds = now;
}

DcMechanism::MotorState DcMechanism::Decode(const DcMotorWiring& w) const {
  MotorState m;
  const uint16_t lines = m_fpga.Register(w.reg);
  m.drive = DecodeHBridge((lines & w.maskA) != 0, (lines & w.maskB) != 0, w.bInverted);
  uint32_t duty = 1, period = 1;
  uint32_t pairOffset = 0;
  if (w.pwmChannel != kNoPwm && PwmPairOffset(w.pwmChannel, &pairOffset)) {
    period = m_fpga.Register(pairOffset);
    duty = m_fpga.Register(pairOffset + 2);
    // A duty at or above the period drives the bridge all the time.
    if (duty >= period) duty = period = (duty == 0 ? 0 : 1);
  }
  m.percent = period == 0 ? 0 : duty * 100 / period;
  const bool bTurning = Turns(m.drive) && m_bSupplyOn && m_fpga.Configured() && period != 0;
  m.num = bTurning ? (m.drive == DriveState::Forward ? duty : -static_cast<int64_t>(duty)) : 0;
  m.den = period == 0 ? 1 : period;
  return m;
}

void DcMechanism::DriveAxis(DcAxis& axis, const MotorState& m) {
  axis.Drive(static_cast<int64_t>(axis.Geometry().fullSpeed) * m.num / m.den);
}

void DcMechanism::FollowCutter() {
  const DcAxis& axis = *m_axes[Index(Axis::Cutter)];
  const MotorState& motor = m_motors[Index(DcMotor::Cutter)];
  const int32_t position = axis.Position();
  static constexpr std::string_view kName = "CutterCrossing";
  switch (m_cutter.Update(m_board.Clock().Now(), position, axis.Moving(), motor.percent)) {
    case CutterCrossings::Change::Started:
      Note(MechanismEventKind::CrossingStart, kName, position, motor.drive);
      Note(MechanismEventKind::CrossingDuty, kName, static_cast<int32_t>(motor.percent), motor.drive);
      break;
    case CutterCrossings::Change::Duty:
      Note(MechanismEventKind::CrossingDuty, kName, static_cast<int32_t>(motor.percent), motor.drive);
      break;
    case CutterCrossings::Change::Ended:
      Note(MechanismEventKind::CrossingEnd, kName, position);
      break;
    case CutterCrossings::Change::None:
      break;
  }
}

void DcMechanism::FollowLock() {
  m_carousel->SetLocked(m_axes[Index(Axis::RotLock)]->SensorActive(positioner::kLockSub));
}

void DcMechanism::SetSensor(const SensorBit& sensor, bool bActive) {
  const bool bLevel = bActive != sensor.bActiveLow;
  const auto mask = static_cast<uint16_t>(1u << sensor.bit);
  const uint16_t word = m_fpga.InputWord(sensor.word);
  m_fpga.SetInputWord(sensor.word, static_cast<uint16_t>(bLevel ? (word | mask) : (word & ~mask)));
}

bool DcMechanism::Analog(uint32_t channel, uint16_t* pLevel) const {
  if (channel == kSupplyChannel) {
    *pLevel = m_bSupplyOn ? kSupplyOnLevel : kSupplyOffLevel;
    return true;
  }
  return m_colors.Analog(channel, m_fpga.Register(FpgaMainBlock::kColorCtrl), pLevel);
}

}  // namespace sim
