// The CIS LED and offset tunings on blank paper, and the maintenance dumps.
#include "firmware/control/keys.h"
#include "firmware/control/lcd.h"
#include "firmware/devices/parameter.h"
#include "firmware/devices/settings.h"
#include "firmware/hal/kernel.h"
#include "firmware/sequences/sequence_words.h"
#include "firmware/platform/ioctl.h"
#include "firmware/platform/time_base.h"
#include "firmware/printengine/cis.h"

namespace {

constexpr uint32_t kLcdColumns = 16;
constexpr uint32_t kSettleMs = 100, kShowMs = 500, kKeyPollMs = 1;
// The tuning window and its targets.
constexpr uint32_t kWindowFirst = 140, kWindowLast = 149;
constexpr uint32_t kLedTarget = 128, kLastLedLevel = 153;
constexpr uint32_t kOffsetTarget = 52, kLastOffset = 254;
constexpr uint32_t kServiceMode = 0, kDiagnosisMode = 2;
constexpr uint32_t kEdgeAreaFirst = 20, kEdgeAreaLast = 319;

void Show(const char* pszText) { g_Lcd.WriteText(pszText, 0, kLcdColumns); }

void LogDashes() { syslog(LOG_EMERG, "--------------------------------"); }

}  // namespace

void CCis::ClearGainTable() {
  for (uint32_t w = 0; w < CIS_WORDS; ++w) IoctlWrite16(CIS_GAIN_TABLE + 2 * w, 0);
}

int32_t CCis::TuneFailed(const char* pszLog, uint32_t ulValue, uint32_t ulMode) {
  syslog(LOG_EMERG, pszLog, ulValue);
  Show("Tuning Error    ");
  if (ulMode == kServiceMode) {
    WaitAnyKey();
  } else {
    g_MsTimer.WaitMs(kShowMs);
  }
  return -1;
}

int32_t CCis::TuneCisLed(uint32_t ulMode) {
  ClearGainTable();
  SetEnable();
  Show("Tuning CIS LED  ");
  uint32_t ulLevel = 0;
  uint32_t ulRead = 0;
  bool bReached = false;
  while (!bReached && ulLevel <= kLastLedLevel) {
    IoctlWrite16(CIS_REG_LED, static_cast<uint16_t>(ulLevel));
    g_MsTimer.WaitMs(kSettleMs);
    ++ulLevel;
    CaptureCisLine(m_aucLine, CIS_CAPTURE_SAMPLES);
    for (uint32_t p = kWindowFirst; p <= kWindowLast && !bReached; ++p) {
      if (m_aucLine[p] >= kLedTarget) {
        bReached = true;
        ulRead = m_aucLine[p];
      }
    }
  }
  LedOff();
  if (ulMode == kDiagnosisMode) g_ucDiagResults[DIAG_CIS_LED] = static_cast<uint8_t>(ulLevel);
  if (!bReached) return TuneFailed("[CIS] Error: Tune LED = %d", ulLevel, ulMode);
  syslog(LOG_EMERG, "[CIS] Tune LED = %d (ReadValue = %d)", ulLevel, ulRead);
  if (m_ulSettingIndex < CIS_SETTINGS && m_apLed[m_ulSettingIndex] != nullptr) {
    m_apLed[m_ulSettingIndex]->SetValue(static_cast<int32_t>(ulLevel));
  }
  if (ulMode == kServiceMode) {
    Show("Tuning Complete ");
    g_MsTimer.WaitMs(kShowMs);
  }
  return 0;
}

int32_t CCis::TuneCisOffset(uint32_t ulMode) {
  ClearGainTable();
  SetEnable();
  IoctlWrite16(CIS_REG_LED, 0);
  g_MsTimer.WaitMs(kSettleMs);
  Show("Tuning Offset V ");
  uint32_t ulOffset = 0;
  bool bReached = false;
  while (!bReached && ulOffset <= kLastOffset) {
    IoctlWrite16(CIS_REG_OFFSET, static_cast<uint16_t>(ulOffset));
    g_MsTimer.WaitMs(kSettleMs);
    CaptureCisLine(m_aucLine, CIS_CAPTURE_SAMPLES);
    uint32_t ulBelow = 0;
    for (uint32_t p = kWindowFirst; p <= kWindowLast; ++p) ulBelow += m_aucLine[p] < kOffsetTarget ? 1u : 0u;
    bReached = ulBelow == kWindowLast - kWindowFirst + 1;
    if (!bReached) ++ulOffset;
  }
  LedOff();
  if (ulMode == kDiagnosisMode) g_ucDiagResults[DIAG_CIS_OFFSET] = static_cast<uint8_t>(ulOffset);
  if (!bReached) return TuneFailed("[CIS] Error: Tune Offset = %d", ulOffset, ulMode);
  syslog(LOG_EMERG, "[CIS] Tune Offset = %d", ulOffset);
  g_ParamCisOffsetV.SetValue(static_cast<int32_t>(ulOffset));
  if (ulMode == kServiceMode) {
    Show("Tuning Complete ");
    g_MsTimer.WaitMs(kShowMs);
  }
  return 0;
}

void CCis::LogLine(const uint8_t* pucValues, uint32_t ulFirst, uint32_t ulLast) {
  for (uint32_t p = ulFirst; p <= ulLast; ++p) syslog(LOG_EMERG, "%d", pucValues[p]);
}

void CCis::CheckDump() {
  Show("CIS CHECK START ");
  uint32_t ulCode = 0;
  bool bLit = false;
  do {
    if (g_KeyMng.WaitKey(kKeyPollMs, &ulCode) != 1) continue;
    if (ulCode != KEY_ENTER) continue;
    if (!bLit) LedOn();
    bLit = true;
    CaptureCisLine(m_aucLine, CIS_CAPTURE_SAMPLES);
    LogDashes();
    LogLine(m_aucLine, 0, CIS_PIXELS - 1);
    LogDashes();
    LedOff();
    bLit = false;
  } while (ulCode != KEY_CLEAR);
  LedOff();
  Show("CIS CHECK END   ");
  g_MsTimer.WaitMs(kShowMs);
}

void CCis::DumpEdgeArea() {
  CaptureLit();
  LogLine(m_aucLine, kEdgeAreaFirst, kEdgeAreaLast);
}
