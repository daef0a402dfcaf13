// What the mechanism did, time-stamped: every change of an actuator (a DC
// motor's drive or speed, a fan, a clutch, a colour LED, the motor supply)
// and every position an axis reports (starting, stopping, at a switch edge
// or an end stop). Writes of output bits that no actuator is wired to are
// recorded too: the FPGA keeps them, nothing acts on them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sim/clock.h"
#include "sim/mechanism/h_bridge.h"

namespace sim {

enum class MechanismEventKind : uint8_t {
  Motor,
  Fan,
  Clutch,
  ColorLed,
  MotorSupply,
  Axis,
  UnwiredBits,
  // The cutter carriage's crossings: where one starts and ends, the duty
  // at its start and each change of it on the way.
  CrossingStart,
  CrossingDuty,
  CrossingEnd,
  // The ribbon of a unit (ribbon_mechanism.h): a length or diameter, and a
  // switch (a fault switch, the leader or the core at the head).
  RibbonLength,
  RibbonSwitch,
  // The paper web (paper_web_mechanism.h): a place, length, diameter or
  // angle in thousandths of its unit.
  PaperWeb,
};

struct MechanismEvent {
  Nanos at;
  MechanismEventKind kind;
  // The actuator's or axis's name; for unwired bits the register's.
  std::string_view name;
  // Motor, crossing start and duty: the motor's drive. Otherwise Stop.
  DriveState drive;
  // Motor: speed in percent of full (0-100). Fan, clutch, LED, supply: 1 on,
  // 0 off. Axis, crossing start and end: position. Crossing duty: percent.
  // Unwired bits: the register's unwired bits as written. Ribbon length:
  // micrometres. Ribbon switch: 1 on, 0 off.
  int32_t value;

  // "<ms>.<us> ms <name> <what>", for logs and failure messages.
  std::string Text() const;
};

class MechanismTrace {
 public:
  void Add(const MechanismEvent& e) { m_events.push_back(e); }
  const std::vector<MechanismEvent>& Events() const { return m_events; }
  // The events of one actuator or axis, in time order.
  std::vector<MechanismEvent> Of(std::string_view name) const;
  // Whether an axis moved or a motor turned at or after `from`.
  bool AnythingMovedSince(Nanos from) const;
  void Clear() { m_events.clear(); }
  std::string Text() const;

 private:
  std::vector<MechanismEvent> m_events;
};

}  // namespace sim
