#include "firmware/printengine/head_overheat.h"

#include "firmware/control/error_manager.h"
#include "firmware/platform/us_timer.h"

constinit CHeadOverheat g_HeadOverheatL;
constinit CHeadOverheat g_HeadOverheatR;

CHeadOverheat::CHeadOverheat(CAnalogSensor& sensor)
    : m_pSensor(&sensor), m_ulLimitTicks(g_UsTimer.MsToTicks(kLimitMs)) {}

int32_t CHeadOverheat::ReadLevel(uint32_t* pulLevel) const {
  uint32_t ulRaw = 0;
  const int32_t lResult = m_pSensor->Read(&ulRaw);
  *pulLevel = ulRaw >> 2;
  return lResult;
}

int32_t CHeadOverheat::Arm(uint32_t ulArmLevel, uint32_t ulReleaseLevel) {
  uint32_t ulLevel = 0;
  const int32_t lResult = ReadLevel(&ulLevel);
  if (lResult != 0) return lResult;
  if (ulLevel < ulArmLevel) {
    m_ulReleaseLevel = ulReleaseLevel;
    m_ulStartTick = g_UsTimer.NowUs();
    m_ulArmed = 1;
    m_ulRaised = 0;
  }
  return lResult;
}

int32_t CHeadOverheat::Check(uint32_t* pulDone) {
  if (m_ulArmed == 0) {
    *pulDone = 1;
    return 0;
  }
  if (m_ulArmed != 1) {
    m_ulArmed = 0;
    return -1;
  }
  *pulDone = 0;
  uint32_t ulLevel = 0;
  const int32_t lResult = ReadLevel(&ulLevel);
  if (lResult != 0) return lResult;
  if (ulLevel >= m_ulReleaseLevel) {
    *pulDone = 1;
    m_ulArmed = 0;
    return 0;
  }
  if (g_UsTimer.Elapsed(m_ulStartTick, g_UsTimer.NowUs()) > m_ulLimitTicks) {
    // Raised once per watch: every later check fails without raising it
    // again.
    if (m_ulRaised == 0) g_ErrorMng.SetError(kErrorIndex);
    m_ulRaised = 1;
    return -1;
  }
  return 0;
}

int32_t CHeadOverheat::Reset() {
  m_ulArmed = 0;
  m_ulRaised = 0;
  return 0;
}
