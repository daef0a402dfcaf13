#include "sim/mechanism/eject_rollers.h"

#include <algorithm>

namespace sim {

namespace {

constexpr int64_t kNsPerSecond = 1000 * 1000 * 1000;

}  // namespace

EjectRollers::EjectRollers(SimClock& clock, MoveSink moves)
    : m_clock(clock), m_moves(std::move(moves)), m_since(clock.Now()) {}

int64_t EjectRollers::Speed() const {
  if (m_bStalled) return 0;
  return static_cast<int64_t>(kFullSpeed) * m_num / m_den;
}

int64_t EjectRollers::Travel() const {
  const __int128 elapsed = m_clock.Now() - m_since;
  return m_travel + static_cast<int64_t>(static_cast<__int128>(Speed()) * elapsed / kNsPerSecond);
}

template <typename Fn>
void EjectRollers::Apply(Fn change) {
  const int64_t speed = Speed();
  m_travel = Travel();
  m_since = m_clock.Now();
  change();
  if (Speed() != speed) m_moves(static_cast<int32_t>(m_travel));
}

void EjectRollers::Drive(int64_t num, int64_t den) {
  if (den <= 0) den = 1;
  num = std::clamp(num, -den, den);
  Apply([&] {
    m_num = num;
    m_den = den;
  });
}

void EjectRollers::SetStalled(bool bStalled) {
  Apply([&] { m_bStalled = bStalled; });
}

}  // namespace sim
