// The part of the mechanism that the FPGA's DC-motor, PWM, fan and colour
// outputs drive (wiring and geometry in dc_wiring.h):
// - each DC motor's H-bridge reads its line pair with its wiring polarity;
//   a motor with a PWM channel runs at duty / period of its pair (full speed
//   without a pair, or with a duty above the period);
// - nothing turns while the motor supply is off: the supply follows the
//   motor-enable output GP0[9], and the supply monitor (A/D channel 73)
//   reads kSupplyOnLevel only while it is on;
// - every driven motor moves its axis, whose switches drive input bits of
//   IN0 and IN1 at their wired levels; each run of the cutter carriage is a
//   crossing (cutter_crossings.h); the ribbon motors move the ribbon
//   (ribbon_mechanism.h), which follows the motors and the heads through
//   this model;
// - the paper-rotation motor turns the carousel (carousel.h), which counts
//   "TurnEnc" and "FaultChk" and which the rotation lock holds while its pin
//   is engaged; the eject motor turns the exit rollers (eject_rollers.h);
// - fans and clutches follow FAN_CTRL, the colour LEDs COLOR_CTRL; the
//   colour receivers read the ribbon panels (ribbon_colors.h);
// - the positioners' axes follow the engine variant's geometry
//   (positioner_geometry.h);
// - fault switches: an axis stuck, slow or blocked at a coordinate, an
//   encoder shaft jammed, a colour LED failed (the switch inputs' faults:
//   input_faults.h).
// Every change is in the trace. Writes of bits no actuator is wired to are
// kept by the FPGA and only traced.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "sim/board.h"
#include "sim/mechanism/cutter_crossings.h"
#include "sim/mechanism/carousel.h"
#include "sim/mechanism/dc_axis.h"
#include "sim/mechanism/dc_wiring.h"
#include "sim/mechanism/eject_rollers.h"
#include "sim/mechanism/mechanism_trace.h"
#include "sim/mechanism/ribbon_colors.h"

namespace sim {

class FpgaMainBlock;
class FpgaConfigPort;
class GpioController;
class MechanismInputs;

class DcMechanism final : public DeviceModel {
 public:
  static constexpr uint32_t kMotorEnablePin = 9;
  static constexpr uint32_t kSupplyChannel = 73;
  static constexpr uint16_t kSupplyOnLevel = 700;
  static constexpr uint16_t kSupplyOffLevel = 0;

  DcMechanism(Board& board, FpgaMainBlock& fpga, FpgaConfigPort& config, GpioController& gpio,
              MechanismInputs& inputs, uint32_t pcbRevision, EngineVariant variant = EngineVariant::EM3);
  DcMechanism(const DcMechanism&) = delete;
  DcMechanism& operator=(const DcMechanism&) = delete;

  // ---- observation ----
  const MechanismTrace& Trace() const { return m_trace; }
  MechanismTrace& Trace() { return m_trace; }
  DriveState Drive(DcMotor motor) const { return m_motors[Index(motor)].drive; }
  // Percent of full speed the motor's PWM sets (100 without a pair).
  uint32_t SpeedPercent(DcMotor motor) const { return m_motors[Index(motor)].percent; }
  int32_t Position(Axis axis) const { return m_axes[Index(axis)]->Position(); }
  bool Moving(Axis axis) const { return m_axes[Index(axis)]->Moving(); }
  EngineVariant Variant() const { return m_variant; }
  const AxisGeometry& Geometry(Axis axis) const { return m_axes[Index(axis)]->Geometry(); }
  bool SupplyOn() const { return m_bSupplyOn; }
  // FAN_CTRL bits of the fans and clutches that are on; COLOR_CTRL bits of
  // the lit LEDs.
  uint16_t LoadsOn() const { return m_loads; }
  uint16_t LedsOn() const { return m_leds; }
  // The cutter carriage's crossings so far; each is in the trace too
  // ("CutterCrossing": start, each duty, end).
  const std::vector<CutterCrossing>& Crossings() const { return m_cutter.All(); }
  bool CrossingComplete(const CutterCrossing& crossing) const { return m_cutter.Complete(crossing); }
  // The carousel (traced as "Carousel": its position) and the exit rollers
  // ("EjectRollers": their travel), with their fault switches.
  Carousel& GetCarousel() { return *m_carousel; }
  const Carousel& GetCarousel() const { return *m_carousel; }
  EjectRollers& GetEjectRollers() { return *m_ejectRollers; }
  const EjectRollers& GetEjectRollers() const { return *m_ejectRollers; }

  // Each trace entry also as a console line "[mechanism] <entry>".
  void EchoToConsole(bool bEcho) { m_bEcho = bEcho; }
  // An entry of another model of the mechanism (the ribbon's).
  void Note(MechanismEventKind kind, std::string_view name, int32_t value, DriveState drive = DriveState::Stop);
  // Called whenever an axis starts, stops, reaches a switch edge or an end
  // stop, after the axis's own trace entry.
  void AddAxisObserver(std::function<void(Axis axis, int32_t position)> fn) { m_axisObservers.push_back(std::move(fn)); }
  // The FPGA outputs this model follows (DC-motor lines, FAN_CTRL, PWM
  // pairs, COLOR_CTRL).
  static bool IsActuatorOutput(uint32_t offset);
  // Calls fn after each write to one of those outputs (the FPGA's write
  // observers of their ranges).
  static void ObserveActuatorOutputs(FpgaMainBlock& fpga, const std::function<void(uint32_t offset, uint16_t value)>& fn);

  // ---- inputs and fault switches ----
  void SetRibbonPanel(PrintUnit unit, Panel panel) { m_colors.SetPanel(unit, panel); }
  void SetAxisStuck(Axis axis, bool bStuck) { m_axes[Index(axis)]->SetStuck(bStuck); }
  void SetAxisSpeedFactor(Axis axis, double factor) { m_axes[Index(axis)]->SetSpeedFactor(factor); }
  void SetAxisBlockedAt(Axis axis, int32_t position) { m_axes[Index(axis)]->SetBlockedAt(position); }
  void ClearAxisBlock(Axis axis) { m_axes[Index(axis)]->ClearBlock(); }
  // Where the axis stood when the board was last switched off.
  void PlaceAxis(Axis axis, int32_t position) { m_axes[Index(axis)]->Place(position); }
  // The 24 V motor supply failed: "24Vol" reads 0 and no motor turns,
  // whatever the motor-enable output says.
  void SetSupplyFailed(bool bFailed);
  // LEDs 1-6: a failed LED gives its receiver no light.
  void SetColorLedFailed(uint32_t led, bool bFailed) { m_colors.SetLedFailed(led, bFailed); }

 private:
  struct MotorState {
    DriveState drive = DriveState::Stop;
    uint32_t percent = 0;
    // Signed fraction of full speed the motor turns at now, numerator over
    // denominator.
    int64_t num = 0;
    int64_t den = 1;
  };

  void OnWrite(uint32_t offset, uint16_t value);
  void Refresh();
  void RefreshMotors();
  bool MotorInputsChanged();
  void DecodeMotors();
  void RefreshLoads();
  void RefreshLeds();
  void TraceUnwired(uint32_t offset, uint16_t value);
  MotorState Decode(const DcMotorWiring& w) const;
  void DriveAxis(DcAxis& axis, const MotorState& m);
  void FollowCutter();
  // The carousel is held while the rotation lock's pin is engaged.
  void FollowLock();
  void SetSensor(const SensorBit& sensor, bool bActive);
  bool Analog(uint32_t channel, uint16_t* pLevel) const;

  Board& m_board;
  FpgaMainBlock& m_fpga;
  GpioController& m_gpio;
  RibbonColors m_colors;
  EngineVariant m_variant;
  MechanismTrace m_trace;
  // The motors' inputs as last decoded: their registers' values, then the
  // supply (bit 0) and the FPGA's mode (bit 1).
  std::vector<uint16_t> m_motorInputs;
  uint8_t m_motorFlags = 0;
  bool m_bSupplyFailed = false;
  std::array<MotorState, Index(DcMotor::Count)> m_motors{};
  std::vector<std::unique_ptr<DcAxis>> m_axes;
  CutterCrossings m_cutter;
  std::unique_ptr<Carousel> m_carousel;
  std::unique_ptr<EjectRollers> m_ejectRollers;
  bool m_bSupplyOn = false;
  uint16_t m_loads = 0;
  uint16_t m_leds = 0;
  // The unwired bits last written to DCMOTOR0-2 and FAN_CTRL.
  std::array<uint16_t, 4> m_unwired{};
  bool m_bEcho = false;
  std::vector<std::function<void(Axis, int32_t)>> m_axisObservers;
};

}  // namespace sim
