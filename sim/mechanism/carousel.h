// The paper-roll carousel: the roll turns on one line left (2) - neutral
// (1) - right (3), driven by the paper-rotation motor (Forward towards 3),
// with its end stop beyond position 3 and a far stop beyond position 2.
// Its position is counted in "TurnEnc" counts, neutral's window starting at
// 0; it moves at kFullSpeed counts a second times the motor's duty.
//
// Every count of motor travel counts on "TurnEnc" (counter channel 4, and
// toggles IN2 bit 4); every count the carousel itself travels counts on
// "FaultChk" (channel 6); both count upwards in either direction. "UnitPosi"
// (IN1 bit 9) is on inside each position's window. At an end stop, or while
// the rotation lock's pin is engaged, the carousel stands still, the motor
// stalls and neither channel counts.
//
// The windows of each engine variant are laid out from its six turn counts:
// every turn, counted from the edge of the window it leaves, ends inside
// its target's window, with more than 24 counts (plus margin) to that
// window's edge in the direction of every turn that can follow; the homing
// end stop lies inside position 3's window. At power-on the carousel rests
// at neutral (where a turn from 3 ends), locked.
//
// Fault switches: blocked (the motor stalls, nothing counts), slipping
// (the motor turns and "TurnEnc" counts, the carousel stands and "FaultChk"
// does not count), the end stop missing (the carousel runs on past it) and
// a speed factor.
// "UnitPosi" stuck on or off is an input fault (input_faults.h).
#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "sim/clock.h"
#include "sim/mechanism/dc_axis.h"
#include "sim/mechanism/positioner_geometry.h"

namespace sim {

// The carousel positions, as the firmware's "Rotation Flag" names them.
enum class CarouselPosition : uint32_t { None = 0, Neutral = 1, Left = 2, Right = 3 };

// A position's "UnitPosi" window, in counts: on while from <= p <= to.
struct CountWindow {
  int32_t from;
  int32_t to;
  constexpr bool Holds(int32_t p) const { return from <= p && p <= to; }
};

struct CarouselLayout {
  CountWindow neutral;
  CountWindow left;
  CountWindow right;
  int32_t farStop;  // beyond position 2
  int32_t endStop;  // beyond position 3: where the homing stops
  int32_t rest;     // neutral at power-on

  const CountWindow& Window(CarouselPosition position) const;
  // The position whose window holds p; None between them.
  CarouselPosition At(int32_t p) const;
};
const CarouselLayout& CarouselLayoutOf(EngineVariant variant);

// One turn as the mechanism is designed for it: the counts from the edge of
// the window it leaves.
struct CarouselTurn {
  CarouselPosition from;
  CarouselPosition to;
  uint32_t counts;
};
// The six turns 1→3, 3→1, 1→2, 2→1, 2→3, 3→2 of the variant.
std::span<const CarouselTurn> CarouselTurnsOf(EngineVariant variant);

class Carousel {
 public:
  // Counts a second at full duty: fast enough that a homing at 50 % from
  // anywhere a turn leaves the carousel reaches the end stop within the
  // firmware's 10 s guard.
  static constexpr uint32_t kFullSpeed = 500;
  static constexpr uint32_t kTurnEncChannel = 4;
  static constexpr uint32_t kFaultChkChannel = 6;
  static constexpr SensorBit kUnitPosi{1, 9, false};
  // The "TurnEnc" slot, read active low: on for every odd count.
  static constexpr SensorBit kTurnEncSlot{2, 4, true};

  // A count on a counter channel.
  using CountSink = std::function<void(uint32_t channel)>;
  using SensorSink = std::function<void(const SensorBit& sensor, bool bActive)>;
  // The position where the carousel starts, stops, crosses a window edge or
  // changes speed.
  using MoveSink = std::function<void(int32_t position)>;

  Carousel(SimClock& clock, EngineVariant variant, CountSink counts, SensorSink sensors, MoveSink moves);
  ~Carousel();
  Carousel(const Carousel&) = delete;
  Carousel& operator=(const Carousel&) = delete;

  // The motor's signed speed as the fraction num / den of full speed;
  // positive turns towards 3.
  void Drive(int64_t num, int64_t den);
  // The rotation lock's pin engaged.
  void SetLocked(bool bLocked);

  // ---- fault switches ----
  void SetBlocked(bool bBlocked);
  void SetSlipping(bool bSlipping);
  void SetEndStopMissing(bool bMissing);
  // Every speed times percent / 100 (100: as designed). Where a turn ends
  // depends on the counts alone, so tests of many turns may run them
  // faster.
  void SetSpeedPercent(uint32_t percent);

  // ---- observation ----
  int32_t Position() const { return m_position; }
  // Where it stood when the board was last switched off (between its stops).
  void Place(int32_t position);
  CarouselPosition At() const { return m_layout.At(m_position); }
  bool UnitPosi() const { return m_layout.At(m_position) != CarouselPosition::None; }
  bool Locked() const { return m_bLocked; }
  // The motor turns (and "TurnEnc" counts); the carousel itself moves.
  bool MotorTurning() const;
  bool Moving() const { return MotorTurning() && !m_bSlipping; }
  // Counts of motor travel since power-on.
  uint64_t MotorCounts() const { return m_motorCounts; }
  const CarouselLayout& Layout() const { return m_layout; }

 private:
  int Direction() const { return m_num > 0 ? 1 : m_num < 0 ? -1 : 0; }
  bool AgainstStop(int direction) const;
  // The speed now as a fraction of full speed.
  unsigned __int128 SpeedNum() const;
  unsigned __int128 SpeedDen() const;
  // Takes the travel up to now into the progress of the next count.
  void Settle();
  void ScheduleNext();
  void Count();
  template <typename Fn>
  void Apply(Fn change);

  SimClock& m_clock;
  const CarouselLayout& m_layout;
  CountSink m_counts;
  SensorSink m_sensors;
  MoveSink m_moves;
  int32_t m_position;
  int64_t m_num = 0;
  int64_t m_den = 1;
  // Travel towards the next count, in nanoseconds at full speed.
  Nanos m_progress = 0;
  Nanos m_since;
  SimClock::EventId m_event = 0;
  uint64_t m_motorCounts = 0;
  uint32_t m_speedPercent = 100;
  bool m_bLocked = false;
  bool m_bBlocked = false;
  bool m_bSlipping = false;
  bool m_bEndStopMissing = false;
};

}  // namespace sim
