// The H-bridge driver of a brushed DC motor: two input lines, and the wiring
// polarity that tells which level of the pair is the driver's "high". With
// the pair normalised (both lines inverted when the polarity is set) the
// driver reads (1, 0) as forward, (0, 1) as reverse, (1, 1) as stop and
// (0, 0) as brake; only forward and reverse turn the motor.
#pragma once

#include <cstdint>

namespace sim {

enum class DriveState : uint8_t { Stop, Forward, Reverse, Brake };

constexpr DriveState DecodeHBridge(bool bLineA, bool bLineB, bool bInverted) {
  const bool a = bLineA != bInverted;
  const bool b = bLineB != bInverted;
  if (a && !b) return DriveState::Forward;
  if (!a && b) return DriveState::Reverse;
  return a ? DriveState::Stop : DriveState::Brake;
}

constexpr bool Turns(DriveState s) { return s == DriveState::Forward || s == DriveState::Reverse; }

const char* ToString(DriveState s);

}  // namespace sim
