// How the board's DC motors, fans, clutches and colour LEDs hang on the
// FPGA's outputs, and what each motor moves: the data the DC mechanism
// (dc_mechanism.h) is built from.
//
// The positioners' axes take their travel, speeds and switch windows from
// the engine variant's table of positioner_geometry.h (the cutter's is the
// same for both).
#pragma once

#include <cstdint>
#include <span>

#include "sim/mechanism/dc_axis.h"
#include "sim/mechanism/enum_index.h"
#include "sim/mechanism/positioner_geometry.h"

namespace sim {

// The DC motors in the order of their wiring table.
enum class DcMotor : uint32_t {
  LoadPinch,
  MainPinch,
  FeedPinch,
  PathSel,
  EjectPinch,
  Spare45,  // register 0x34 bits 4/5: built, driven by nothing
  RibDstL,
  RibDstR,
  RibSrcL,
  RibSrcR,
  HeadL,
  HeadR,
  RotLock,
  PaperRot,
  LoadBar,
  Cutter,
  Eject,
  Spare01,  // register 0x34 bits 0/1
  Spare23,  // register 0x34 bits 2/3
  Count
};

constexpr uint32_t kNoPwm = 0xFFFFFFFFu;

struct DcMotorWiring {
  const char* pszName;
  // Both lines lie in one FPGA register (offset in the main block).
  uint32_t reg;
  uint16_t maskA;
  uint16_t maskB;
  bool bInverted;
  // The PWM channel that sets its speed, kNoPwm for a motor without one.
  uint32_t pwmChannel;
};
extern const DcMotorWiring kDcMotorWiring[static_cast<uint32_t>(DcMotor::Count)];

// The register pair {period, duty} of a PWM channel, false for a channel
// the FPGA has no pair for.
bool PwmPairOffset(uint32_t channel, uint32_t* pPeriodOffset);

// Fans and clutches: single bits of FAN_CTRL, active high.
struct SwitchedLoadWiring {
  const char* pszName;
  uint16_t mask;
  bool bClutch;
};
extern const std::span<const SwitchedLoadWiring> kSwitchedLoads;
// FAN_CTRL bit 2: the load clutch, between the sub stepper and the load feed.
constexpr uint16_t kLoadClutchMask = 0x0004;
// FAN_CTRL bit 11 drives the Exit LED of the panel.
constexpr uint16_t kExitLedMask = 0x0800;

// The six colour LEDs on COLOR_CTRL bits 0-5: red, green, blue of unit L,
// then of unit R.
constexpr uint32_t kColorLedCount = 6;
extern const char* const kColorLedNames[kColorLedCount];

// The axes: the parts the DC motors move as positioners. The carousel and
// the exit rollers are models of their own (carousel.h, eject_rollers.h).
enum class Axis : uint32_t {
  HeadL,
  HeadR,
  LoadPinch,
  MainPinch,
  FeedPinch,
  EjectPinch,
  PathSel,
  RotLock,
  LoadBar,
  Cutter,
  Count
};

struct AxisWiring {
  const char* pszName;
  DcMotor motor;
  AxisGeometry geometry;
  // A positioner's axis: its row of the engine variant's table, in place
  // of `geometry`.
  const AxisGeometry PositionerGeometry::*pVariantRow = nullptr;
};
extern const AxisWiring kAxisWiring[static_cast<uint32_t>(Axis::Count)];
const AxisGeometry& AxisGeometryOf(Axis axis, EngineVariant variant);

}  // namespace sim
