// One part of the mechanism moved by a DC motor: a position that changes at
// the speed the motor is driven with, between two end stops (linear) or
// round a turn (cyclic), and switches whose input bits read active while
// the position lies inside their windows. Positions are in the axis's own
// units (micrometres of travel, millidegrees of a turn); speeds in units per
// second.
//
// The axis works on the board's clock: it schedules an event at the next
// window edge or end stop ahead of it, reports each sensor change there, and
// otherwise computes its position from the time the motion started. A
// linear axis driven into an end stop stays there (the motor stalls).
//
// Fault switches: a stuck axis does not move whatever its motor does; a
// slow one moves at its drive's speed times a factor; a blocked one stops
// where an obstacle stands, as at an end stop, and leaves it only the way
// it came.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "sim/clock.h"

namespace sim {

// A switch on an FPGA input word (0-3: IN0, IN1, IN2, IN3), and whether it
// reads 0 while it is active.
struct SensorBit {
  uint8_t word;
  uint8_t bit;
  bool bActiveLow;
};

// The switch reads active while from <= position <= to.
struct SensorWindow {
  int32_t from;
  int32_t to;
  SensorBit sensor;
};

enum class AxisKind : uint8_t { Linear, Cyclic };

struct AxisGeometry {
  AxisKind kind;
  // Linear: the end stops are 0 and length. Cyclic: one turn.
  int32_t length;
  int32_t start;
  // At full drive.
  uint32_t fullSpeed;
  std::span<const SensorWindow> windows;
};

class DcAxis {
 public:
  // Called when one of the axis's switches changes (once per switch, with
  // the first of its windows), and once for each at construction.
  using SensorSink = std::function<void(const SensorBit& sensor, bool bActive)>;
  // Called when the axis starts, stops, reaches a window edge or an end
  // stop (may be empty).
  using MoveSink = std::function<void(int32_t position)>;

  DcAxis(SimClock& clock, const AxisGeometry& geometry, SensorSink sensors, MoveSink moves);
  ~DcAxis();
  DcAxis(const DcAxis&) = delete;
  DcAxis& operator=(const DcAxis&) = delete;

  // Signed speed in units per second: positive towards higher positions; 0
  // stands.
  void Drive(int64_t velocity);
  void SetStuck(bool bStuck);
  bool Stuck() const { return m_bStuck; }
  // The speed of every drive times `factor` (1: as the geometry says).
  void SetSpeedFactor(double factor);
  double SpeedFactor() const { return m_speedFactor; }
  // An obstacle at `position`: the axis stops when it gets there from
  // either side and goes on only the other way. An axis standing on it
  // may leave either way.
  void SetBlockedAt(int32_t position);
  void ClearBlock();
  // Puts the axis where it stood when the board was last switched off
  // (within its end stops, or within one turn of a cyclic axis).
  void Place(int32_t position);

  int32_t Position() const;
  bool Moving() const;
  const AxisGeometry& Geometry() const { return m_geometry; }
  // Whether a switch of this axis is active now.
  bool SensorActive(const SensorBit& sensor) const;

 private:
  int64_t Velocity() const;
  // How far the axis can go from where its motion started, in the
  // direction it is driven: to the end stop or the obstacle (-1: without
  // limit), and that part of it which the obstacle sets.
  struct Limit {
    int64_t reach;
    int64_t blockReach;
  };
  Limit LimitAhead() const;
  // Where the axis is at time t, and whether it stands against its limit
  // or against the obstacle there.
  struct Reached {
    int64_t position;
    bool bAtLimit;
    bool bAtBlock;
  };
  Reached ReachedAt(Nanos t) const;
  int64_t PositionAt(Nanos t) const { return ReachedAt(t).position; }
  // Takes the position reached now as the start of the motion.
  void Settle();
  void TakePosition(int64_t position, bool bAtBlock);
  void ScheduleNext();
  void Arrive(int64_t position, bool bAtBlock);
  void ReportSensors(bool bAll);
  void ReportMove();
  bool AtStopAhead() const;
  // Runs a change of the axis's fault switches from the position reached.
  template <typename Change>
  void ChangeFaults(Change change);

  SimClock& m_clock;
  AxisGeometry m_geometry;
  SensorSink m_sensors;
  MoveSink m_moves;
  int64_t m_position;
  Nanos m_since = 0;
  int64_t m_velocity = 0;
  bool m_bStuck = false;
  double m_speedFactor = 1.0;
  bool m_bBlocked = false;
  int64_t m_block = 0;
  // The direction (+1 or -1) in which the axis ran into the obstacle and
  // still touches it; 0 while it does not.
  int m_blockedDirection = 0;
  SimClock::EventId m_event = 0;
  // Per window: whether it is the first of its switch, and the level last
  // reported for that switch (kept at its first window).
  std::vector<bool> m_first;
  std::vector<bool> m_active;
};

}  // namespace sim
