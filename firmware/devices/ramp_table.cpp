#include "firmware/devices/ramp_table.h"

#include <cmath>

#include "firmware/devices/settings.h"

namespace {

// The curve's constant for 2 pi, as the tables have always been built.
constexpr double kTwoPi = 6.28318;
// One tick of the 25 MHz pulse clock, in seconds.
constexpr double kTickSeconds = 4e-8;

// The rate factor of a line period's conversion, by excitation mode 1-5.
double ModeFactor(uint32_t ulMode, double dRate) {
  switch (ulMode) {
    case 2: return dRate / 2.0;
    case 4: return dRate + dRate;
    case 5: return dRate * 4.0;
    default: return dRate;
  }
}

}  // namespace

CRampTable::CRampTable(uint16_t* pusTable, uint32_t, uint32_t, uint32_t, uint32_t ulMode)
    : m_pusTable(pusTable), m_ulMode(ulMode) {}

int32_t CRampTable::LinePeriodToRate(uint32_t ulPeriodUs, uint32_t* pulRate) const {
  if (ulPeriodUs == 0) return -1;
  int32_t lStepsPerKiloLine = 0;
  g_ParamStpLx1000.GetValue(&lStepsPerKiloLine);
  const double dRate = 1000.0 / (static_cast<double>(ulPeriodUs) / static_cast<double>(lStepsPerKiloLine));
  const double dScaled = ModeFactor(m_ulMode, dRate);
  // A setting outside its range could give a rate no word holds.
  if (!(dScaled >= 0.0) || dScaled >= 4294967296.0) return -1;
  *pulRate = static_cast<uint32_t>(dScaled);
  return 0;
}

int32_t CRampTable::SetupByLinePeriod(uint32_t ulStartPeriod, uint32_t ulTopPeriod, uint32_t ulRampMs) {
  uint32_t ulStartRate = 0;
  uint32_t ulTopRate = 0;
  if (LinePeriodToRate(ulStartPeriod, &ulStartRate) != 0 || LinePeriodToRate(ulTopPeriod, &ulTopRate) != 0) return -1;
  m_ulStartPeriod = ulStartPeriod;
  m_ulTopPeriod = ulTopPeriod;
  m_ulStartRate = ulStartRate;
  m_ulTopRate = ulTopRate;
  m_ulRampMs = ulRampMs;
  return BuildRampTable();
}

int32_t CRampTable::SetupByRate(uint32_t ulStartRate, uint32_t ulTopRate, uint32_t ulRampMs) {
  m_ulStartRate = ulStartRate;
  m_ulTopRate = ulTopRate;
  m_ulRampMs = ulRampMs;
  return BuildRampTable();
}

int32_t CRampTable::SetParam(uint32_t ulId, uint32_t ulValue, uint32_t ulRebuild) {
  switch (ulId) {
    case 1:
    case 2: {
      uint32_t ulRate = 0;
      if (LinePeriodToRate(ulValue, &ulRate) != 0) return -1;
      (ulId == 1 ? m_ulStartPeriod : m_ulTopPeriod) = ulValue;
      (ulId == 1 ? m_ulStartRate : m_ulTopRate) = ulRate;
      break;
    }
    case 3: m_ulRampMs = ulValue; break;
    case 4: SetMode(ulValue); break;
    default: return -1;
  }
  return ulRebuild == 1 ? BuildRampTable() : 0;
}

int32_t CRampTable::SetMode(uint32_t ulMode) {
  m_ulMode = ulMode >= 1 && ulMode <= 5 ? ulMode : 2;
  return 0;
}

int32_t CRampTable::GetParam(uint32_t ulId, uint32_t* pulValue) const {
  switch (ulId) {
    case 1: *pulValue = m_ulStartPeriod; return 0;
    case 2: *pulValue = m_ulTopPeriod; return 0;
    case 3: *pulValue = m_ulRampMs; return 0;
    case 4: *pulValue = m_ulMode; return 0;
    default: return -1;
  }
}

int32_t CRampTable::GetCount(uint32_t* pulCount) const {
  *pulCount = m_ulCount;
  return 0;
}

int32_t CRampTable::GetTable(uint16_t** ppusTable) const {
  *ppusTable = m_pusTable;
  return 0;
}

int32_t CRampTable::GetTopRate(uint32_t* pulRate) const {
  *pulRate = m_ulTopRate;
  return 0;
}

int32_t CRampTable::Fill(uint16_t usValue, uint32_t ulStart, uint32_t ulCount) {
  if (m_pusTable == nullptr || ulStart > kEntries - 1 || ulCount > kEntries || ulStart + ulCount > kEntries) return -1;
  for (uint32_t i = ulStart; i < ulStart + ulCount; ++i) m_pusTable[i] = usValue;
  return 0;
}

int32_t CRampTable::BuildRampTable() {
  if (m_pusTable == nullptr || m_ulRampMs == 0 || m_ulTopRate == 0 || m_ulStartRate < kMinRate ||
      m_ulStartRate > m_ulTopRate) {
    return -1;
  }
  const double dSpan = static_cast<double>(m_ulTopRate - m_ulStartRate);
  uint32_t ulCount = 0;
  double dTau = 0.0;
  double dU = 0.0;
  do {
    dU = dTau * (1.0 / static_cast<double>(m_ulRampMs));
    const double dS = dU - (1.0 / kTwoPi) * std::sin(kTwoPi * dU);
    const double dRate = dS * dSpan + static_cast<double>(m_ulStartRate);
    dTau = dTau + 1000.0 / dRate;
    const double dTicks = (1.0 / dRate) / kTickSeconds;
    m_pusTable[ulCount] = static_cast<uint16_t>(static_cast<uint32_t>(dTicks) & 0xFFFFu);
    ++ulCount;
    // A ramp longer than the table ends with the table.
  } while (dU < 1.0 && ulCount < kEntries);
  Fill(m_pusTable[ulCount - 1], ulCount, kEntries - ulCount);
  m_ulCount = ulCount - 1;
  return 0;
}
