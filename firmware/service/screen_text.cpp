#include "firmware/service/screen_text.h"

#include "firmware/control/keys.h"
#include "firmware/control/lcd.h"
#include "firmware/control/menu.h"
#include "firmware/platform/time_base.h"

namespace {
constexpr uint32_t kNumberTextLength = 10;  // FormatDecimal's right-aligned text
}  // namespace

void ShowLine(const char* pszText) { g_Lcd.WriteText(pszText, 0, CLcd::kVisibleColumns); }

void BlankLine() { ShowLine("                "); }

void ShowLineFor(const char* pszText, uint32_t ulMs) {
  ShowLine(pszText);
  g_MsTimer.WaitMs(ulMs);
}

void WriteNumberAt(int32_t lValue, uint32_t ulColumn, uint32_t ulWidth) {
  if (ulWidth == 0 || ulWidth > kNumberTextLength) return;
  FormatDecimal(lValue, 0);
  g_Lcd.WriteText(g_pcNumberText + (kNumberTextLength - ulWidth), ulColumn, ulWidth);
}

void WriteDecimalPairAt(int32_t lMajor, int32_t lMinor, uint32_t ulColumn) {
  WriteNumberAt(lMajor, ulColumn, 3);
  const char acMinor[3] = {'.', static_cast<char>('0' + (lMinor >= 0 && lMinor <= 9 ? lMinor : 0)), 0};
  g_Lcd.WriteText(acMinor, ulColumn + 3, 2);
}

bool AskEnter(const char* pszQuestion) {
  ShowLine(pszQuestion);
  return WaitAnyKey() == KEY_ENTER;
}
