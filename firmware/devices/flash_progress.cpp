#include "firmware/devices/flash_progress.h"

#include "firmware/control/lcd.h"
#include "firmware/platform/number_text.h"

void ShowFlashStep(const char* pszText) { g_Lcd.WriteText(pszText, 0, CLcd::kVisibleColumns); }

void ShowFlashPercent(uint32_t ulPercent) {
  char acDigits[3];
  FormatDec(acDigits, ulPercent, 2);
  g_Lcd.WriteText(acDigits, FLASH_PROGRESS_COLUMN, 2);
}

void ShowFlashHundredths(uint32_t ulDone, uint32_t ulTotal) {
  const uint32_t ulStep = ulTotal / 100;
  if (ulStep == 0) {
    // ulDone <= ulTotal < 100: the product cannot overflow.
    const uint32_t ulPercent = ulTotal == 0 ? 100 : ulDone * 100 / ulTotal;
    if (ulPercent <= 99) ShowFlashPercent(ulPercent);
  } else if (ulDone % ulStep == 0 && ulDone / ulStep <= 99) {
    ShowFlashPercent(ulDone / ulStep);
  }
}
