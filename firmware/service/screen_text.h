// Small pieces shared by the service screens: whole-line texts, numbers at
// a column, and the one-key confirmation.
#pragma once

#include <cstdint>

// Writes the 16 characters of the line.
void ShowLine(const char* pszText);
void BlankLine();
// The line's text, held ulMs.
void ShowLineFor(const char* pszText, uint32_t ulMs);
// The value right-aligned in ulWidth characters (1-10) from the column.
void WriteNumberAt(int32_t lValue, uint32_t ulColumn, uint32_t ulWidth);
// major.minor: the major right-aligned in three characters, a point and
// the minor as one digit (five characters) from the column.
void WriteDecimalPairAt(int32_t lMajor, int32_t lMinor, uint32_t ulColumn);
// Shows the question and waits for one key: true for Enter.
bool AskEnter(const char* pszQuestion);
