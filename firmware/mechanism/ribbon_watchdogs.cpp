#include "firmware/mechanism/ribbon_watchdogs.h"

#include "firmware/control/error_manager.h"
#include "firmware/devices/machine_actuators.h"
#include "firmware/devices/slit.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/hal/global.h"
#include "firmware/platform/time_base.h"

constinit CJamCheckRibbon g_JamCheckRibbonL;
constinit CJamCheckRibbon g_JamCheckRibbonR;
constinit CLockCheckRibbon g_LockCheckRibbonL;
constinit CLockCheckRibbon g_LockCheckRibbonR;

int32_t CJamCheck::Check() {
  const uint32_t ulNow = g_MsTimer.NowMs();
  uint32_t ulChanged = 0;
  m_pEncoder->HasChanged(&ulChanged);
  if (ulChanged != 0) {
    if (ulNow - m_ulTimeStamp > m_ulTimeOutMs) OnFault();
  } else {
    m_ulTimeStamp = ulNow;
    m_pEncoder->GetLastCount(&m_ulLastCount);
  }
  return 0;
}

int32_t CJamCheck::OnFault() { return 0; }

int32_t CJamCheck::Restart() {
  m_ulTimeStamp = g_MsTimer.NowMs();
  m_ulMoveCount = 0;
  m_pEncoder->ReadCount(&m_ulLastCount);
  return 0;
}

CJamCheckRibbon::CJamCheckRibbon(CSlit* pEncoder) : CJamCheck(pEncoder) {
  m_ulTimeOutMs = g_MsTimer.MsToTicks(kTimeOutMs);
  m_ulErrorIndex = 0;
  Restart();
}

int32_t CJamCheckRibbon::Start(uint32_t ulRestartEncoder, uint32_t ulErrorIndex) {
  if (ulRestartEncoder != 0) {
    m_pEncoder->Clear();
    m_pEncoder->Start();
    m_pEncoder->ReadCount(&m_ulLastCount);
  }
  m_ulStallStamp = g_MsTimer.NowMs();
  m_ulErrorIndex = ulErrorIndex;
  return 0;
}

int32_t CJamCheckRibbon::CheckStall() {
  const uint32_t ulNow = g_MsTimer.NowMs();
  uint32_t ulCount = m_ulLastCount;
  m_pEncoder->ReadCount(&ulCount);
  if (ulCount == m_ulLastCount) {
    if (ulNow - m_ulStallStamp > m_ulTimeOutMs) {
      OnFault();
      return -1;
    }
    return 0;
  }
  m_ulLastCount = ulCount;
  m_ulStallStamp = ulNow;
  return 0;
}

int32_t CJamCheckRibbon::OnFault() {
  if (m_ulErrorIndex != 0) g_ErrorMng.SetError(m_ulErrorIndex);
  return 0;
}

CLockCheckRibbon::CLockCheckRibbon(CSlit* pEncoder) : CJamCheck(pEncoder) {
  m_ulTimeOutMs = g_MsTimer.MsToTicks(kTimeOutMs);
  Restart();
}

int32_t CLockCheckRibbon::CheckLocked(uint32_t& ulLocked) {
  ulLocked = 0;
  const uint32_t ulNow = g_MsTimer.NowMs();
  uint32_t ulChanged = 0;
  m_pEncoder->HasChanged(&ulChanged);
  if (ulChanged == 0) {
    if (ulNow - m_ulTimeStamp > m_ulTimeOutMs) ulLocked = 1;
    return 0;
  }
  m_ulTimeStamp = ulNow;
  ++m_ulMoveCount;
  if (m_ulMoveCount > kMaxMovingPolls) {
    g_ErrorMng.SetError(g_ulCurErrRibbonEmpty);
    return -1;
  }
  return 0;
}

void ConstructRibbonWatchdogs() {
  hal::ConstructGlobal(g_JamCheckRibbonL, &g_SlitRibEncSrcL);
  hal::ConstructGlobal(g_LockCheckRibbonL, &g_SlitRibEncSrcL);
  hal::ConstructGlobal(g_JamCheckRibbonR, &g_SlitRibEncSrcR);
  hal::ConstructGlobal(g_LockCheckRibbonR, &g_SlitRibEncSrcR);
}
