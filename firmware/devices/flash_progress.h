// The LCD line of the flash-image writers: the step ("Erasing...     %",
// "Updating...     ", "Verifying...   %") over the whole line and its
// progress as two digits at column 13.
#pragma once

#include <cstdint>

constexpr uint32_t FLASH_PROGRESS_COLUMN = 13;

void ShowFlashStep(const char* pszText);
// Two decimal digits of the value at column 13.
void ShowFlashPercent(uint32_t ulPercent);
// The progress of a walk counted in hundredths of its total: shown when
// ulDone is a whole number of hundredths, up to 99 of them. A total below
// 100 has no whole hundredth: its percentage is shown at every call, up to
// 99.
void ShowFlashHundredths(uint32_t ulDone, uint32_t ulTotal);
