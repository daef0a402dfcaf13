#include "firmware/control/error_manager.h"

#include <cstdio>

#include "firmware/control/error_history.h"
#include "firmware/control/event_states.h"
#include "firmware/control/host_status_table.h"
#include "firmware/control/lcd.h"
#include "firmware/control/power_save.h"
#include "firmware/devices/settings.h"
#include "firmware/printengine/media_config.h"
#include "firmware/sequences/event_actions.h"
#include "protocol/codes.h"

CErrorMng g_ErrorMng;

namespace {

constexpr uint32_t kLine = 16;
constexpr uint32_t kSuffixColumn = 14;

// The ready line by "Ribbon Status" (rows) and media size 1 and 2.
constexpr const char* kReadyText = "Ready           ";
constexpr const char* kMediaLines[4][2] = {
    {"8x10 YMC-YMC    ", "8x12 YMC-YMC    "},
    {"8x10 YMC-SP     ", "8x12 YMC-SP     "},
    {"8x10 YMC-***    ", "8x12 YMC-***    "},
    {"8x10 ***-YMC    ", "8x12 ***-YMC    "},
};

const char* ReadyLine(int32_t lRibbonStatus, uint32_t ulMediaSize) {
  if (lRibbonStatus < 0 || lRibbonStatus > 3 || ulMediaSize < 1 || ulMediaSize > 2) return kReadyText;
  return kMediaLines[lRibbonStatus][ulMediaSize - 1];
}

// The sorter's own texts by sub-code.
struct SorterText {
  uint32_t ulSubCode;
  const char* pszText;
};
constexpr SorterText kSorterTexts[] = {
    {1, "SORTER FULL     "},
    {2, "SRTR PAPER JAM  "},
    {3, "CAB DOOR OPEN   "},
};
constexpr uint32_t kSorterErrorFirst = 0x20;
constexpr uint32_t kSorterErrorLast = 0x24;

bool IsReadyState(const CEventMng* pState) {
  return pState == &g_EventMngReadyA || pState == &g_EventMngReadyB || pState == &g_EventMngReadyC;
}

int32_t SetItemsAndNotify(uint32_t ulMajor, uint32_t ulMinor) {
  SetStatusItem(SI_ERROR_MAJOR, ulMajor, 0);
  SetStatusItem(SI_ERROR_MINOR, ulMinor, 0);
  return NotifyStatusChange();
}

template <class Match>
int32_t FindRow(ErrorInfo* pRow, Match match) {
  for (const ErrorInfo* p = g_ErrorTable; p->ulIndex != ERROR_TABLE_END; ++p) {
    if (match(*p)) {
      *pRow = *p;
      return 0;
    }
  }
  *pRow = ErrorInfo{};
  return -1;
}

}  // namespace

bool CErrorMng::IsSet(uint32_t ulIndex) const {
  ulIndex &= 0xFFFFu;
  return (m_aulBits[ulIndex >> 5] & (1u << (ulIndex & 31u))) != 0;
}

int32_t CErrorMng::SetError(uint32_t ulIndex) {
  ulIndex &= 0xFFFFu;
  if (ulIndex == kNoIndex || IsSet(ulIndex)) return 0;
  ErrorInfo row;
  // An index without a row would select a state whose line cannot be
  // drawn: it is refused and nothing is raised.
  if (FindByIndex(ulIndex, &row) != 0) return -1;
  m_aulBits[ulIndex >> 5] |= 1u << (ulIndex & 31u);
  m_aulWordsInUse[ulIndex >> 10] |= 1u << ((ulIndex >> 5) & 31u);
  if (row.ulCode != 0 && row.ulHistory != 0 && g_ErrorHist.Add(static_cast<uint16_t>(row.ulCode)) != 0) return -2;
  return 0;
}

int32_t CErrorMng::ClearError(uint32_t ulIndex) {
  ulIndex &= 0xFFFFu;
  m_aulBits[ulIndex >> 5] &= ~(1u << (ulIndex & 31u));
  if (m_aulBits[ulIndex >> 5] == 0) m_aulWordsInUse[ulIndex >> 10] &= ~(1u << ((ulIndex >> 5) & 31u));
  return 0;
}

int32_t CErrorMng::IsErrorSet(uint32_t ulIndex, uint32_t* pulFlag) const {
  *pulFlag = IsSet(ulIndex) ? 1 : 0;
  return 0;
}

namespace {
// The lowest set bit of a word that is not 0.
uint32_t LowestBit(uint32_t ulWord) {
  uint32_t b = 0;
  while ((ulWord & (1u << b)) == 0) ++b;
  return b;
}
}  // namespace

int32_t CErrorMng::LowestActiveError(int32_t* plIndex) const {
  for (uint32_t s = 0; s < kWords / 32; ++s) {
    if (m_aulWordsInUse[s] == 0) continue;
    const uint32_t w = s * 32 + LowestBit(m_aulWordsInUse[s]);
    *plIndex = static_cast<int32_t>(w * 32 + LowestBit(m_aulBits[w]));
    return 0;
  }
  *plIndex = -1;
  return -1;
}

bool CErrorMng::AnyInWords(uint32_t ulFirstWord, uint32_t ulLastWord) const {
  for (uint32_t w = ulFirstWord; w <= ulLastWord; ++w) {
    if (m_aulBits[w] != 0) return true;
  }
  return false;
}

int32_t CErrorMng::FindByIndex(uint32_t ulIndex, ErrorInfo* pRow) {
  return FindRow(pRow, [ulIndex](const ErrorInfo& r) { return r.ulIndex == ulIndex; });
}

int32_t CErrorMng::FindByCode(uint32_t ulCode, ErrorInfo* pRow) {
  return FindRow(pRow, [ulCode](const ErrorInfo& r) { return r.ulCode == ulCode; });
}

int32_t CErrorMng::ClearAllJams() {
  for (uint32_t i = erridx::kJamFirst; i <= erridx::kJamLast; ++i) ClearError(i);
  return 0;
}

int32_t CErrorMng::IsAnyJamSet() const {
  // The jams fill whole words but for the family's last number.
  static_assert(erridx::kJamFirst % 32 == 0 && erridx::kJamLast % 32 == 30, "the jams' words");
  constexpr uint32_t kLastWord = erridx::kJamLast >> 5;
  if (AnyInWords(erridx::kJamFirst >> 5, kLastWord - 1)) return 1;
  return (m_aulBits[kLastWord] & 0x7FFFFFFFu) != 0 ? 1 : 0;
}

int32_t CErrorMng::SetErrorUnlessJam(uint32_t ulIndex) {
  if (ulIndex < erridx::kJamFirst || ulIndex > erridx::kJamRange) return -2;
  if (IsAnyJamSet() != 0) return -1;
  return SetError(ulIndex);
}

int32_t CErrorMng::SetSubCode(uint32_t ulValue) {
  m_ulSubCode = ulValue;
  return 0;
}

int32_t CErrorMng::GetSubCode(uint32_t* pulValue) const {
  *pulValue = m_ulSubCode;
  return 0;
}

int32_t CErrorMng::ClearSubCode() {
  m_ulSubCode = 0;
  return 0;
}

int32_t CErrorMng::DrawReadyLine() {
  g_ulUnitsPrinted = 0;
  m_ulCodeMajor = 0;
  m_ulCodeMinor = 0;
  if (g_pCurEventMng != &g_EventMngReadyB) {
    uint32_t ulPowerSave = 0;
    g_PowerSave.GetState(&ulPowerSave);
    if (g_pCurEventMng == &g_EventMngReadyC && ulPowerSave == POWER_SAVE_ON) {
      g_Lcd.WriteText("Power Save      ", 0, kLine);
    } else {
      uint32_t ulMediaSize = 0;
      g_MediaConfig.GetMediaSize(&ulMediaSize);
      g_Lcd.WriteText(ReadyLine(SettingValue(g_ParamRibbonStatus), ulMediaSize), 0, kLine);
    }
    SetStatusItem(SI_PRINTER_STATE, protocol::PRINTER_STATE_READY, 0);
  }
  return SetItemsAndNotify(0, 0);
}

int32_t CErrorMng::DrawStatusLine() {
  if (IsReadyState(g_pCurEventMng)) return DrawReadyLine();
  int32_t lIndex = -1;
  LowestActiveError(&lIndex);
  ErrorInfo row;
  if (lIndex < 0 || FindByIndex(static_cast<uint32_t>(lIndex), &row) != 0) return -1;
  m_ulCodeMajor = row.ulCode >> 8;
  if (row.ulIndex == erridx::kPpaError) {
    m_ulCodeMinor = m_ulSubCode;
    DrawSorterError(row.pszText, m_ulSubCode);
  } else {
    m_ulCodeMinor = row.ulCode & 0xFFu;
    g_Lcd.WriteText(row.pszText, 0, kLine);
    if (row.pszSuffix[0] != ' ' && row.pszSuffix[1] != ' ') g_Lcd.WriteText(row.pszSuffix, kSuffixColumn, 2);
  }
  SetStatusItem(SI_PRINTER_STATE, protocol::PRINTER_STATE_ERROR, 0);
  return SetItemsAndNotify(m_ulCodeMajor, m_ulCodeMinor);
}

int32_t CErrorMng::DrawSorterError(const char* pszText, uint32_t ulSubCode) {
  for (const SorterText& t : kSorterTexts) {
    if (t.ulSubCode == ulSubCode) return g_Lcd.WriteText(t.pszText, 0, kLine);
  }
  if (ulSubCode >= kSorterErrorFirst && ulSubCode <= kSorterErrorLast) {
    g_Lcd.WriteText("SORTER ERROR  2 ", 0, 15);
    const char acDigit[2] = {"0123456789abcdef"[ulSubCode & 0xFu], 0};
    return g_Lcd.WriteText(acDigit, 15, 1);
  }
  g_Lcd.WriteText(pszText, 0, 13);
  char acNumber[12] = {};
  std::snprintf(acNumber, sizeof acNumber, "%3d", static_cast<int>(ulSubCode));
  return g_Lcd.WriteText(acNumber, 13, 3);
}
