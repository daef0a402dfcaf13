#include "sim/mechanism/carousel.h"

#include <algorithm>
#include <iterator>

namespace sim {

namespace {

constexpr Nanos kNsPerSecond = 1000 * kNsPerMs;
// One count at full speed.
constexpr Nanos kCountTime = kNsPerSecond / Carousel::kFullSpeed;

using P = CarouselPosition;

// The design counts, "Engine Version" 1 (EM2) and the others (EM3).
constexpr CarouselTurn kTurnsEm2[] = {{P::Neutral, P::Right, 376}, {P::Right, P::Neutral, 630},
                                      {P::Neutral, P::Left, 736},  {P::Left, P::Neutral, 270},
                                      {P::Left, P::Right, 1350},   {P::Right, P::Left, 1710}};
constexpr CarouselTurn kTurnsEm3[] = {{P::Neutral, P::Right, 676}, {P::Right, P::Neutral, 330},
                                      {P::Neutral, P::Left, 436},  {P::Left, P::Neutral, 570},
                                      {P::Left, P::Right, 1650},   {P::Right, P::Left, 1410}};

// The far stop lies this far beyond position 2's window.
constexpr int32_t kFarStopBeyond = 200;

// A turn from 3 leaves 3's window one count below it and ends the 3→1
// count further: neutral's rest.
constexpr CarouselLayout Layout(CountWindow neutral, CountWindow left, CountWindow right, int32_t endStop,
                                uint32_t countRightToNeutral) {
  return {neutral, left, right, left.from - kFarStopBeyond, endStop,
          right.from - 1 - static_cast<int32_t>(countRightToNeutral)};
}

// Laid out from the turn counts (carousel_test.cpp walks every turn).
constexpr CarouselLayout kLayoutEm2 = Layout({0, 760}, {-800, -214}, {974, 1200}, 1200, kTurnsEm2[1].counts);
constexpr CarouselLayout kLayoutEm3 = Layout({0, 240}, {-1000, -390}, {450, 1300}, 1300, kTurnsEm3[1].counts);
static_assert(kLayoutEm2.neutral.Holds(kLayoutEm2.rest) && kLayoutEm3.neutral.Holds(kLayoutEm3.rest));
static_assert(kLayoutEm2.right.Holds(kLayoutEm2.endStop) && kLayoutEm3.right.Holds(kLayoutEm3.endStop));

}  // namespace

const CountWindow& CarouselLayout::Window(CarouselPosition position) const {
  switch (position) {
    case P::Left: return left;
    case P::Right: return right;
    default: return neutral;
  }
}

CarouselPosition CarouselLayout::At(int32_t p) const {
  if (neutral.Holds(p)) return P::Neutral;
  if (left.Holds(p)) return P::Left;
  if (right.Holds(p)) return P::Right;
  return P::None;
}

const CarouselLayout& CarouselLayoutOf(EngineVariant variant) {
  return variant == EngineVariant::EM2 ? kLayoutEm2 : kLayoutEm3;
}

std::span<const CarouselTurn> CarouselTurnsOf(EngineVariant variant) {
  if (variant == EngineVariant::EM2) return kTurnsEm2;
  return kTurnsEm3;
}

Carousel::Carousel(SimClock& clock, EngineVariant variant, CountSink counts, SensorSink sensors, MoveSink moves)
    : m_clock(clock),
      m_layout(CarouselLayoutOf(variant)),
      m_counts(std::move(counts)),
      m_sensors(std::move(sensors)),
      m_moves(std::move(moves)),
      m_position(m_layout.rest),
      m_since(clock.Now()) {
  m_sensors(kUnitPosi, UnitPosi());
  m_sensors(kTurnEncSlot, false);
}

Carousel::~Carousel() {
  if (m_event != 0) m_clock.Cancel(m_event);
}

bool Carousel::AgainstStop(int direction) const {
  if (direction > 0) return !m_bEndStopMissing && m_position >= m_layout.endStop;
  return direction < 0 && m_position <= m_layout.farStop;
}

bool Carousel::MotorTurning() const {
  if (m_num == 0 || m_bBlocked) return false;
  // A slipping coupling lets the motor turn whatever holds the carousel.
  return m_bSlipping || (!m_bLocked && !AgainstStop(Direction()));
}

unsigned __int128 Carousel::SpeedNum() const {
  return static_cast<unsigned __int128>(m_num < 0 ? -m_num : m_num) * m_speedPercent;
}

unsigned __int128 Carousel::SpeedDen() const { return static_cast<unsigned __int128>(m_den) * 100u; }

void Carousel::Settle() {
  const Nanos now = m_clock.Now();
  if (MotorTurning()) {
    const auto travel = static_cast<unsigned __int128>(now - m_since) * SpeedNum() / SpeedDen();
    m_progress = static_cast<Nanos>(std::min<unsigned __int128>(m_progress + travel, kCountTime));
  }
  m_since = now;
}

void Carousel::ScheduleNext() {
  if (m_event != 0) m_clock.Cancel(m_event);
  m_event = 0;
  if (!MotorTurning()) return;
  const auto speed = SpeedNum();
  const auto left = static_cast<unsigned __int128>(kCountTime - m_progress) * SpeedDen();
  const auto dt = static_cast<Nanos>((left + speed - 1) / speed);
  m_event = m_clock.ScheduleIn(dt, [this] {
    m_event = 0;
    Settle();
    m_progress = 0;
    Count();
    ScheduleNext();
  });
}

void Carousel::Count() {
  ++m_motorCounts;
  m_counts(kTurnEncChannel);
  m_sensors(kTurnEncSlot, (m_motorCounts & 1u) != 0);
  if (m_bSlipping) return;
  const bool bWasOn = UnitPosi();
  m_position += Direction();
  m_counts(kFaultChkChannel);
  const bool bOn = UnitPosi();
  if (bOn != bWasOn) m_sensors(kUnitPosi, bOn);
  if (bOn != bWasOn || !MotorTurning()) m_moves(m_position);
}

template <typename Fn>
void Carousel::Apply(Fn change) {
  Settle();
  const bool bWasMoving = Moving();
  const int directionBefore = Direction();
  change();
  // A motor that stops or reverses starts its next count afresh.
  if (!MotorTurning() || Direction() != directionBefore) m_progress = 0;
  ScheduleNext();
  if (bWasMoving || Moving()) m_moves(m_position);
}

void Carousel::Place(int32_t position) {
  Apply([&] {
    m_position = std::max(std::min(position, std::max(m_layout.farStop, m_layout.endStop)),
                          std::min(m_layout.farStop, m_layout.endStop));
  });
  m_sensors(kUnitPosi, UnitPosi());
}

void Carousel::Drive(int64_t num, int64_t den) {
  if (den <= 0) den = 1;
  // No faster than full speed.
  num = std::clamp(num, -den, den);
  if (num * m_den == m_num * den && (num == 0) == (m_num == 0)) return;
  Apply([&] {
    m_num = num;
    m_den = den;
  });
}

void Carousel::SetLocked(bool bLocked) {
  if (bLocked == m_bLocked) return;
  Apply([&] { m_bLocked = bLocked; });
}

void Carousel::SetBlocked(bool bBlocked) {
  Apply([&] { m_bBlocked = bBlocked; });
}

void Carousel::SetSlipping(bool bSlipping) {
  Apply([&] { m_bSlipping = bSlipping; });
}

void Carousel::SetSpeedPercent(uint32_t percent) {
  Apply([&] { m_speedPercent = percent == 0 ? 1 : percent; });
}

void Carousel::SetEndStopMissing(bool bMissing) {
  Apply([&] { m_bEndStopMissing = bMissing; });
}

}  // namespace sim
