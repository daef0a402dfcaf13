// The exit rollers on the eject motor: the roller surface travels at
// kFullSpeed micrometres a second times the motor's duty, outwards (towards
// the exit) under Forward and inwards under Reverse. The travel is signed
// and counts from power-on; every change of speed or direction reports
// where the travel stands. The sheets the rollers carry belong to the paper
// path.
//
// Fault switch: stalled (the rollers do not turn, whatever the motor does).
#pragma once

#include <cstdint>
#include <functional>

#include "sim/clock.h"

namespace sim {

class EjectRollers {
 public:
  // Micrometres of roller surface a second at full duty.
  static constexpr uint32_t kFullSpeed = 150000;

  // The travel where the rollers start, stop or change speed.
  using MoveSink = std::function<void(int32_t travel)>;

  EjectRollers(SimClock& clock, MoveSink moves);

  // The motor's signed speed as the fraction num / den of full speed;
  // positive carries the sheet out.
  void Drive(int64_t num, int64_t den);
  void SetStalled(bool bStalled);

  // Micrometres since power-on, outwards positive.
  int64_t Travel() const;
  // Micrometres a second now, outwards positive.
  int64_t Speed() const;
  bool Turning() const { return Speed() != 0; }

 private:
  template <typename Fn>
  void Apply(Fn change);

  SimClock& m_clock;
  MoveSink m_moves;
  int64_t m_travel = 0;  // at m_since
  Nanos m_since;
  int64_t m_num = 0;
  int64_t m_den = 1;
  bool m_bStalled = false;
};

}  // namespace sim
