// The menu engines and the number text of the service screens. Menus are
// data: a record pairs a null-terminated list of 16-character texts (entry
// 0 the title, or null for a record without one) with a list of handlers
// (entry 0 the title handler). Both engines run on the one-line LCD with the
// panel keys.
#pragma once

#include <cstdint>

using MenuHandler = void (*)();

struct MenuDesc {
  const char* const* ppszLabels;
  const MenuHandler* pHandlers;
};

// The item chosen with Enter (1-based, 0 = the title), or the item to start
// on when a title handler sets it.
extern uint32_t g_ulMenuSelection;
// Non-zero ends the running menu and every menu around it.
extern uint32_t g_ulMenuAbort;
// The result of FormatDecimal and FormatHex: 10 characters and a
// terminator.
extern char g_acNumberText[11];
extern const char* g_pcNumberText;

// Runs the record until Clear leaves it, g_ulMenuAbort becomes non-zero or
// the application stops. Line 0 writes at column 0, line 1 at column 16 of
// the LCD buffer.
void RunMenu(const MenuDesc* pMenu, uint32_t ulLine);
// Runs a null-terminated list of records as pages: Menu and Feed turn the
// page, + and - step through the items.
void RunMenuPages(const MenuDesc* const* ppPages, uint32_t ulLine);

uint32_t GetMenuSelection();
void SetMenuSelection(uint32_t ulValue);
void SelectFirstMenuItem();
void SetMenuAbort(uint32_t ulValue);

// fill 1: leading zeros, else leading blanks; 10 characters right-aligned.
// Values below -999 999 999 do not fit the nine digit positions: they are
// shown as ten '-' characters.
void FormatDecimal(int32_t lValue, uint32_t ulFill);
// The same for an unsigned value: all ten positions are digits or fill.
void FormatUnsigned(uint32_t ulValue, uint32_t ulFill);
// Two blanks and 8 upper-case hexadecimal digits.
void FormatHex(uint32_t ulValue);

uint32_t BcdToBinary(uint32_t ulValue);
uint32_t BcdRepack(uint32_t ulValue);
char ToUpperChar(const char* pc);
uint32_t HexDigitValue(const char* pc);
int32_t CompareTextPrefix(const char* pszFirst, const char* pszSecond);
uint32_t TrimmedLength(const char* psz);
