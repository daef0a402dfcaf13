#include "sim/mechanism/dc_axis.h"

#include <algorithm>
#include <cmath>

namespace sim {

namespace {

constexpr int64_t kNsPerSecond = 1000 * 1000 * 1000;

bool SameSwitch(const SensorBit& a, const SensorBit& b) { return a.word == b.word && a.bit == b.bit; }

// Positive remainder.
int64_t Wrap(int64_t value, int64_t length) {
  const int64_t r = value % length;
  return r < 0 ? r + length : r;
}

// The nearer of two limits, -1 standing for none.
int64_t Nearer(int64_t a, int64_t b) {
  if (a < 0) return b;
  if (b < 0) return a;
  return std::min(a, b);
}

}  // namespace

DcAxis::DcAxis(SimClock& clock, const AxisGeometry& geometry, SensorSink sensors, MoveSink moves)
    : m_clock(clock),
      m_geometry(geometry),
      m_sensors(std::move(sensors)),
      m_moves(std::move(moves)),
      m_position(geometry.start),
      m_since(clock.Now()),
      m_first(geometry.windows.size(), false),
      m_active(geometry.windows.size(), false) {
  const auto& windows = geometry.windows;
  for (size_t i = 0; i < windows.size(); ++i) {
    m_first[i] = std::none_of(windows.begin(), windows.begin() + static_cast<ptrdiff_t>(i),
                              [&](const SensorWindow& w) { return SameSwitch(w.sensor, windows[i].sensor); });
  }
  ReportSensors(true);
}

DcAxis::~DcAxis() {
  if (m_event != 0) m_clock.Cancel(m_event);
}

int64_t DcAxis::Velocity() const {
  if (m_bStuck) return 0;
  if (m_speedFactor == 1.0) return m_velocity;
  return std::llround(static_cast<double>(m_velocity) * m_speedFactor);
}

DcAxis::Limit DcAxis::LimitAhead() const {
  const int64_t v = Velocity();
  if (v == 0) return {-1, -1};
  const bool bUp = v > 0;
  const int direction = bUp ? 1 : -1;
  const int64_t length = m_geometry.length;
  const bool bCyclic = m_geometry.kind == AxisKind::Cyclic;
  const int64_t endReach = bCyclic ? -1 : (bUp ? length - m_position : m_position);
  int64_t blockReach = -1;
  if (m_bBlocked) {
    int64_t d = bUp ? m_block - m_position : m_position - m_block;
    if (bCyclic) d = Wrap(d, length);
    if (d == 0) {
      // Standing on the obstacle: against it only the way it came.
      d = m_blockedDirection == direction ? 0 : (bCyclic ? length : -1);
    }
    blockReach = d;
  }
  return {Nearer(endReach, blockReach), blockReach};
}

DcAxis::Reached DcAxis::ReachedAt(Nanos t) const {
  const int64_t v = Velocity();
  const __int128 travelled = static_cast<__int128>(v) * static_cast<__int128>(t - m_since) / kNsPerSecond;
  const __int128 distance = travelled < 0 ? -travelled : travelled;
  const Limit limit = LimitAhead();
  Reached r{0, false, false};
  __int128 moved = travelled;
  if (limit.reach >= 0 && distance >= limit.reach) {
    moved = v > 0 ? limit.reach : -limit.reach;
    r.bAtLimit = true;
    r.bAtBlock = limit.blockReach == limit.reach;
  }
  const __int128 p = m_position + moved;
  const int64_t length = m_geometry.length;
  if (m_geometry.kind == AxisKind::Cyclic) {
    const __int128 rem = p % length;
    r.position = static_cast<int64_t>(rem < 0 ? rem + length : rem);
  } else {
    r.position = static_cast<int64_t>(std::clamp<__int128>(p, 0, length));
  }
  return r;
}

int32_t DcAxis::Position() const { return static_cast<int32_t>(PositionAt(m_clock.Now())); }

bool DcAxis::Moving() const { return Velocity() != 0 && !AtStopAhead(); }

bool DcAxis::AtStopAhead() const { return Velocity() != 0 && ReachedAt(m_clock.Now()).bAtLimit; }

bool DcAxis::SensorActive(const SensorBit& sensor) const {
  const int64_t p = PositionAt(m_clock.Now());
  return std::any_of(m_geometry.windows.begin(), m_geometry.windows.end(), [&](const SensorWindow& w) {
    return SameSwitch(w.sensor, sensor) && w.from <= p && p <= w.to;
  });
}

void DcAxis::TakePosition(int64_t position, bool bAtBlock) {
  const int64_t v = Velocity();
  if (bAtBlock) {
    m_blockedDirection = v > 0 ? 1 : -1;
  } else if (position != m_block) {
    m_blockedDirection = 0;
  }
  m_position = position;
  m_since = m_clock.Now();
}

void DcAxis::Place(int32_t position) {
  const int32_t last = m_geometry.kind == AxisKind::Cyclic ? m_geometry.length - 1 : m_geometry.length;
  ChangeFaults([&] {
    m_position = std::clamp<int32_t>(position, 0, std::max<int32_t>(0, last));
    m_blockedDirection = 0;
  });
  ReportSensors(false);
}

void DcAxis::Settle() {
  const Reached r = ReachedAt(m_clock.Now());
  TakePosition(r.position, r.bAtBlock);
}

template <typename Change>
void DcAxis::ChangeFaults(Change change) {
  const bool bWasMoving = Moving();
  Settle();
  change();
  ScheduleNext();
  if (bWasMoving || Moving()) ReportMove();
}

void DcAxis::Drive(int64_t velocity) {
  if (velocity == m_velocity) return;
  ChangeFaults([&] { m_velocity = velocity; });
}

void DcAxis::SetStuck(bool bStuck) {
  const bool bWasMoving = Moving();
  Settle();
  m_bStuck = bStuck;
  ScheduleNext();
  if (bWasMoving != Moving()) ReportMove();
}

void DcAxis::SetSpeedFactor(double factor) {
  ChangeFaults([&] { m_speedFactor = factor < 0 ? 0 : factor; });
}

void DcAxis::SetBlockedAt(int32_t position) {
  ChangeFaults([&] {
    const int64_t length = m_geometry.length;
    m_bBlocked = true;
    m_block = m_geometry.kind == AxisKind::Cyclic ? Wrap(position, length) : std::clamp<int64_t>(position, 0, length);
    m_blockedDirection = 0;
  });
}

void DcAxis::ClearBlock() {
  ChangeFaults([&] {
    m_bBlocked = false;
    m_blockedDirection = 0;
  });
}

// The next window edge, end stop or obstacle ahead: entering a window at
// its near edge, leaving it one unit past its far edge.
void DcAxis::ScheduleNext() {
  if (m_event != 0) m_clock.Cancel(m_event);
  m_event = 0;
  const int64_t v = Velocity();
  if (v == 0) return;
  const Limit limit = LimitAhead();
  if (limit.reach == 0) return;  // against the end stop or the obstacle
  const bool bUp = v > 0;
  const int64_t length = m_geometry.length;
  const bool bCyclic = m_geometry.kind == AxisKind::Cyclic;
  int64_t best = limit.reach;  // -1: none
  const auto consider = [&](int64_t edge) {
    int64_t d = bUp ? edge - m_position : m_position - edge;
    if (bCyclic) {
      d = Wrap(d, length);
      if (d == 0) d = length;
    } else if (edge < 0 || edge > length) {
      return;
    }
    if (d > 0 && (best < 0 || d < best)) best = d;
  };
  for (const SensorWindow& w : m_geometry.windows) {
    consider(bUp ? w.from : w.to);
    consider(bUp ? static_cast<int64_t>(w.to) + 1 : static_cast<int64_t>(w.from) - 1);
  }
  if (best < 0) return;  // a cyclic axis without switches or obstacle: nothing to report on the way
  const bool bAtBlock = limit.blockReach >= 0 && best == limit.blockReach;
  const int64_t speed = bUp ? v : -v;
  const Nanos dt = static_cast<Nanos>((static_cast<__int128>(best) * kNsPerSecond + speed - 1) / speed);
  const int64_t target = bUp ? m_position + best : m_position - best;
  m_event = m_clock.ScheduleIn(dt, [this, target, bAtBlock] {
    m_event = 0;
    Arrive(target, bAtBlock);
  });
}

void DcAxis::Arrive(int64_t position, bool bAtBlock) {
  TakePosition(m_geometry.kind == AxisKind::Cyclic ? Wrap(position, m_geometry.length) : position, bAtBlock);
  ReportSensors(false);
  ReportMove();
  ScheduleNext();
}

void DcAxis::ReportMove() {
  if (m_moves) m_moves(static_cast<int32_t>(m_position));
}

void DcAxis::ReportSensors(bool bAll) {
  const auto& windows = m_geometry.windows;
  for (size_t i = 0; i < windows.size(); ++i) {
    if (!m_first[i]) continue;
    const SensorBit& sensor = windows[i].sensor;
    const bool bActive = SensorActive(sensor);
    if (bAll || bActive != m_active[i]) {
      m_active[i] = bActive;
      m_sensors(sensor, bActive);
    }
  }
}

}  // namespace sim
