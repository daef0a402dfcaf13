#include "sim/mechanism/dc_axis.h"

#include <algorithm>

namespace sim {

namespace {

constexpr int64_t kNsPerSecond = 1000 * 1000 * 1000;

bool SameSwitch(const SensorBit& a, const SensorBit& b) { return a.word == b.word && a.bit == b.bit; }

// Positive remainder.
int64_t Wrap(int64_t value, int64_t length) {
  const int64_t r = value % length;
  return r < 0 ? r + length : r;
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

int64_t DcAxis::PositionAt(Nanos t) const {
  const __int128 travelled = static_cast<__int128>(Velocity()) * static_cast<__int128>(t - m_since) / kNsPerSecond;
  const __int128 p = m_position + travelled;
  const int64_t length = m_geometry.length;
  if (m_geometry.kind == AxisKind::Cyclic) {
    const __int128 r = p % length;
    return static_cast<int64_t>(r < 0 ? r + length : r);
  }
  return static_cast<int64_t>(std::clamp<__int128>(p, 0, length));
}

int32_t DcAxis::Position() const { return static_cast<int32_t>(PositionAt(m_clock.Now())); }

bool DcAxis::Moving() const { return Velocity() != 0 && !AtStopAhead(); }

bool DcAxis::AtStopAhead() const {
  if (m_geometry.kind == AxisKind::Cyclic) return false;
  const int64_t p = PositionAt(m_clock.Now());
  return (Velocity() > 0 && p >= m_geometry.length) || (Velocity() < 0 && p <= 0);
}

bool DcAxis::SensorActive(const SensorBit& sensor) const {
  const int64_t p = PositionAt(m_clock.Now());
  return std::any_of(m_geometry.windows.begin(), m_geometry.windows.end(), [&](const SensorWindow& w) {
    return SameSwitch(w.sensor, sensor) && w.from <= p && p <= w.to;
  });
}

void DcAxis::Settle() {
  m_position = PositionAt(m_clock.Now());
  m_since = m_clock.Now();
}

void DcAxis::Drive(int64_t velocity) {
  if (velocity == m_velocity) return;
  const bool bWasMoving = Moving();
  Settle();
  m_velocity = velocity;
  ScheduleNext();
  if (bWasMoving || Moving()) ReportMove();
}

void DcAxis::SetStuck(bool bStuck) {
  const bool bWasMoving = Moving();
  Settle();
  m_bStuck = bStuck;
  ScheduleNext();
  if (bWasMoving != Moving()) ReportMove();
}

// The next window edge or end stop ahead: entering a window at its near
// edge, leaving it one unit past its far edge.
void DcAxis::ScheduleNext() {
  if (m_event != 0) m_clock.Cancel(m_event);
  m_event = 0;
  const int64_t v = Velocity();
  if (v == 0 || AtStopAhead()) return;
  const bool bUp = v > 0;
  const int64_t length = m_geometry.length;
  const bool bCyclic = m_geometry.kind == AxisKind::Cyclic;
  int64_t best = bCyclic ? 0 : (bUp ? length - m_position : m_position);
  const auto consider = [&](int64_t edge) {
    int64_t d = bUp ? edge - m_position : m_position - edge;
    if (bCyclic) {
      d = Wrap(d, length);
      if (d == 0) d = length;
    } else if (edge < 0 || edge > length) {
      return;
    }
    if (d > 0 && (best == 0 || d < best)) best = d;
  };
  for (const SensorWindow& w : m_geometry.windows) {
    consider(bUp ? w.from : w.to);
    consider(bUp ? static_cast<int64_t>(w.to) + 1 : static_cast<int64_t>(w.from) - 1);
  }
  if (best == 0) return;  // a cyclic axis without switches: nothing to report on the way
  const int64_t speed = bUp ? v : -v;
  const Nanos dt = static_cast<Nanos>((static_cast<__int128>(best) * kNsPerSecond + speed - 1) / speed);
  const int64_t target = bUp ? m_position + best : m_position - best;
  m_event = m_clock.ScheduleIn(dt, [this, target] {
    m_event = 0;
    Arrive(target);
  });
}

void DcAxis::Arrive(int64_t position) {
  m_position = m_geometry.kind == AxisKind::Cyclic ? Wrap(position, m_geometry.length) : position;
  m_since = m_clock.Now();
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
