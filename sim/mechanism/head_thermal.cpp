#include "sim/mechanism/head_thermal.h"

#include <cmath>

namespace sim {

namespace {

constexpr double kKelvin = 273.15;
constexpr double kNtcReferenceK = 298.15;
constexpr double kNtcBeta = 3950.0;
constexpr double kFullScale = 1023.0;
// The divider's pull-up against the NTC's resistance at 25 C, chosen so
// that 25 C reads 500 counts.
constexpr double kReadingAt25C = 500.0;
constexpr double kPullUpRatio = (kFullScale - kReadingAt25C) / kReadingAt25C;
constexpr double kCountsPerPercent = kFullScale / 100.0;

uint16_t ClampCounts(double counts) {
  if (!(counts >= 0.0)) return 0;
  if (counts >= kFullScale) return static_cast<uint16_t>(kFullScale);
  return static_cast<uint16_t>(std::lround(counts));
}

}  // namespace

HeadThermal::HeadThermal(SimClock& clock, const HeadClimate& climate)
    : m_clock(clock), m_ambientC(climate.ambientC), m_humidityPct(climate.humidityPct), m_stuckHot(climate.stuckHot) {
  m_headC.fill(climate.ambientC);
  m_since.fill(clock.Now());
}

void HeadThermal::Settle(uint32_t head) {
  const Nanos now = m_clock.Now();
  if (!m_stuckHot[head]) {
    const double seconds = static_cast<double>(now - m_since[head]) / 1e9;
    m_headC[head] = m_ambientC + (m_headC[head] - m_ambientC) * std::exp(-seconds / kCoolingTauS);
  }
  m_since[head] = now;
}

double HeadThermal::HeadC(uint32_t head) const {
  if (m_stuckHot[head & 1u]) return m_headC[head & 1u];
  const double seconds = static_cast<double>(m_clock.Now() - m_since[head & 1u]) / 1e9;
  return m_ambientC + (m_headC[head & 1u] - m_ambientC) * std::exp(-seconds / kCoolingTauS);
}

void HeadThermal::SetHeadC(uint32_t head, double celsius) {
  Settle(head & 1u);
  m_headC[head & 1u] = celsius;
}

void HeadThermal::SetStuckHot(uint32_t head, bool bStuck) {
  Settle(head & 1u);
  m_stuckHot[head & 1u] = bStuck;
}

void HeadThermal::SetAmbientC(double celsius) {
  Settle(0);
  Settle(1);
  m_ambientC = celsius;
}

void HeadThermal::AddStrobeTime(uint32_t head, Nanos onTime) {
  Settle(head & 1u);
  m_headC[head & 1u] += kKelvinPerStrobeS * static_cast<double>(onTime) / 1e9;
}

uint16_t HeadThermal::NtcReading(double celsius) {
  const double ratio = std::exp(kNtcBeta * (1.0 / (celsius + kKelvin) - 1.0 / kNtcReferenceK));
  return ClampCounts(kFullScale * ratio / (ratio + kPullUpRatio));
}

double HeadThermal::NtcCelsius(uint16_t raw) {
  const double counts = raw;
  const double ratio = kPullUpRatio * counts / (kFullScale - counts);
  return 1.0 / (std::log(ratio) / kNtcBeta + 1.0 / kNtcReferenceK) - kKelvin;
}

bool HeadThermal::Analog(uint32_t channel, uint16_t* pLevel) const {
  switch (channel) {
    case kChannelHeadL: *pLevel = NtcReading(HeadC(0)); return true;
    case kChannelHeadR: *pLevel = NtcReading(HeadC(1)); return true;
    case kChannelAmbient: *pLevel = NtcReading(m_ambientC); return true;
    case kChannelHumidity: *pLevel = ClampCounts(m_humidityPct * kCountsPerPercent); return true;
    default: return false;
  }
}

}  // namespace sim
