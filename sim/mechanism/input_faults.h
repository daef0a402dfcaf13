// The mechanism's fault switches, for tests that make the firmware's
// sequences fail on purpose. Each takes precedence over what the models
// drive:
// - a switch input stuck on or stuck off, as the firmware reads it after
//   its invert: SensorBit::bActiveLow names an input the firmware inverts,
//   so stuck on drives it low;
// - a chattering input: every read of its word finds it at the other
//   level, so no two samples of a debounced port read agree, whatever the
//   time between them (a polling loop may skip ahead in time, which a
//   toggle over time alone would alias with), and the port reports the
//   input unstable (and, across a millisecond, failed);
// - per axis of the DC mechanism: stuck (it does not move), slow (its
//   drive's speed times a factor) and blocked at a coordinate (it stops
//   there as at an end stop);
// - per unit's ribbon (ribbon_transport.h): cut, end, no ribbon, supply
//   encoder jammed, take-up stalled; the barcode unreadable for some runs
//   or always, an encoder that loses counts, panels shorter than the
//   donor check's barcode window;
// - the paper web (paper_web.h): paper jammed, RollEnc jammed, roll
//   stalled, and the roll letting go of the web now;
// - the 24 V motor supply failed.
// Reached through Board::FindDevice<InputFaults>() or
// Machine::MechanismFaults().
#pragma once

#include <array>
#include <cstdint>

#include "sim/board.h"
#include "sim/clock.h"
#include "sim/mechanism/dc_axis.h"
#include "sim/mechanism/dc_wiring.h"
#include "sim/mechanism/paper_web.h"
#include "sim/mechanism/ribbon_colors.h"
#include "sim/mechanism/ribbon_transport.h"

namespace sim {

class DcMechanism;
class FpgaMainBlock;
class PaperWebMechanism;
class RibbonMechanism;
class StepperDrivers;

enum class BitFault : uint8_t { None, StuckOn, StuckOff, Chatter };

class InputFaults final : public DeviceModel {
 public:
  static constexpr uint32_t kWords = 4;  // IN0, IN1, IN2, IN3

  InputFaults(FpgaMainBlock& fpga, DcMechanism& mechanism, RibbonMechanism* pRibbons = nullptr);
  InputFaults(const InputFaults&) = delete;
  InputFaults& operator=(const InputFaults&) = delete;

  // ---- switch inputs ----
  void SetBitFault(const SensorBit& sensor, BitFault fault);
  BitFault FaultOf(const SensorBit& sensor) const;
  void ClearBitFaults();

  // ---- axes ----
  void SetAxisStuck(Axis axis, bool bStuck);
  void SetAxisSpeedFactor(Axis axis, double factor);
  void SetAxisBlockedAt(Axis axis, int32_t position);
  void ClearAxisBlock(Axis axis);

  // ---- the 24 V motor supply: failed, "24Vol" reads 0 and no DC motor
  // or stepper moves ----
  void AttachSteppers(StepperDrivers* pSteppers) { m_pSteppers = pSteppers; }
  void SetMotorSupplyFailed(bool bFailed);

  // ---- ribbons (none on a board without a ribbon mechanism) ----
  void SetRibbonFault(PrintUnit unit, RibbonFault fault, bool bOn);
  // runs: RibbonMechanism::kAlways for good, 0 readable.
  void SetBarcodeUnreadable(PrintUnit unit, uint32_t runs);
  // encoder 0 supply, 1 take-up; keepOneIn 1 is a sound encoder.
  void SetEncoderLoss(PrintUnit unit, uint32_t encoder, uint32_t keepOneIn);
  void SetShortPanels(PrintUnit unit, bool bShort);

  // ---- the paper web (none on a board without one) ----
  void AttachPaperWeb(PaperWebMechanism* pWeb) { m_pWeb = pWeb; }
  void SetPaperFault(WebFault fault, bool bOn);
  void DetachPaperRoll();

  // The input word `index` as read, given what the models drive.
  uint16_t Apply(uint32_t index, uint16_t value);

 private:
  struct Fault {
    BitFault kind = BitFault::None;
    bool bInverted = false;
    bool bChatterLevel = false;  // the level the last read of a chattering input found
  };

  DcMechanism& m_mechanism;
  RibbonMechanism* m_pRibbons;
  StepperDrivers* m_pSteppers = nullptr;
  PaperWebMechanism* m_pWeb = nullptr;
  std::array<std::array<Fault, 16>, kWords> m_bits{};
  uint32_t m_active = 0;  // bits with a fault, to keep reads without one cheap
};

}  // namespace sim
