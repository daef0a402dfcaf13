#include "firmware/control/menu.h"

#include "firmware/control/keys.h"
#include "firmware/control/lcd.h"
#include "firmware/devices/main_loop_stop.h"

constinit uint32_t g_ulMenuSelection = 0;
constinit uint32_t g_ulMenuAbort = 0;
constinit char g_acNumberText[11] = {};
constinit const char* g_pcNumberText = g_acNumberText;

uint32_t GetMenuSelection() { return g_ulMenuSelection; }
void SetMenuSelection(uint32_t ulValue) { g_ulMenuSelection = ulValue; }
void SelectFirstMenuItem() { g_ulMenuSelection = 1; }
void SetMenuAbort(uint32_t ulValue) { g_ulMenuAbort = ulValue; }

namespace {

constexpr uint32_t LineColumn(uint32_t ulLine) { return ulLine == 0 ? 0 : CLcd::kVisibleColumns; }

uint32_t CountItems(const MenuDesc* pMenu) {
  uint32_t n = 0;
  while (pMenu->ppszLabels[n + 1] != nullptr) ++n;
  return n;
}

uint32_t WaitMenuKey() {
  uint32_t ulKey = KEY_NONE;
  while (g_KeyMng.WaitKey(1, &ulKey) != 1 && g_ulMainLoopStop == 0) {
  }
  return ulKey;
}

bool Stopping() { return g_ulMenuAbort != 0 || g_ulMainLoopStop != 0; }

// One record as the engines run it.
struct MenuFrame {
  const MenuDesc* pMenu;
  uint32_t n;  // items
  uint32_t s;  // selection, 0 = title
  bool bTitle;

  void Load(const MenuDesc* p) {
    pMenu = p;
    n = CountItems(p);
    bTitle = p->ppszLabels[0] != nullptr;
    if (bTitle) {
      s = 0;
    } else {
      p->pHandlers[0]();
      s = g_ulMenuSelection;
    }
  }
  void Show(uint32_t ulLine) const {
    // A record without title and without items has no text to show: the
    // entry after the title is the list's terminator.
    const char* pszText = s <= n ? pMenu->ppszLabels[s] : nullptr;
    if (pszText != nullptr) g_Lcd.WriteText(pszText, LineColumn(ulLine), CLcd::kVisibleColumns);
  }
  void Next() {
    if (s != 0) s = s >= n ? 1 : s + 1;
  }
  void Previous() {
    if (s != 0) s = s <= 1 ? n : s - 1;
  }
  void Enter() {
    g_ulMenuSelection = s;
    if (n == 0) {
      pMenu->pHandlers[0]();
    } else if (s != 0) {
      pMenu->pHandlers[s]();
    } else {
      pMenu->pHandlers[0]();
      s = g_ulMenuSelection;
    }
  }
  // false: leave the engine.
  bool Clear() {
    if (s != 0 && bTitle) {
      s = 0;
      return true;
    }
    return false;
  }
};

}  // namespace

void RunMenu(const MenuDesc* pMenu, uint32_t ulLine) {
  g_ulMenuAbort = 0;
  MenuFrame f{};
  f.Load(pMenu);
  for (;;) {
    if (Stopping()) return;
    f.Show(ulLine);
    switch (WaitMenuKey()) {
      case KEY_MENU: f.Next(); break;
      case KEY_FEED: f.Previous(); break;
      case KEY_ENTER: f.Enter(); break;
      case KEY_CLEAR:
        if (!f.Clear()) return;
        break;
      default: break;
    }
  }
}

void RunMenuPages(const MenuDesc* const* ppPages, uint32_t ulLine) {
  g_ulMenuAbort = 0;
  uint32_t m = 0;
  while (ppPages[m] != nullptr) ++m;
  if (m == 0) return;
  uint32_t p = 0;
  MenuFrame f{};
  f.Load(ppPages[p]);
  for (;;) {
    if (Stopping()) return;
    f.Show(ulLine);
    switch (WaitMenuKey()) {
      case KEY_MENU:
        p = p + 1 >= m ? 0 : p + 1;
        f.Load(ppPages[p]);
        break;
      case KEY_FEED:
        p = p == 0 ? m - 1 : p - 1;
        f.Load(ppPages[p]);
        break;
      case KEY_INC: f.Next(); break;
      case KEY_DEC: f.Previous(); break;
      case KEY_ENTER: f.Enter(); break;
      case KEY_CLEAR:
        if (!f.Clear()) return;
        break;
      default: break;
    }
  }
}

void FormatUnsigned(uint32_t ulValue, uint32_t ulFill) {
  const char cLead = ulFill == 1 ? '0' : ' ';
  for (int32_t i = 9; i >= 0; --i) {
    const bool bDigit = i == 9 || ulValue != 0;
    g_acNumberText[i] = bDigit ? static_cast<char>('0' + ulValue % 10) : cLead;
    ulValue /= 10;
  }
  g_acNumberText[10] = '\0';
  g_pcNumberText = g_acNumberText;
}

void FormatDecimal(int32_t lValue, uint32_t ulFill) {
  if (lValue >= 0) {
    FormatUnsigned(static_cast<uint32_t>(lValue), ulFill);
    return;
  }
  if (lValue < -999999999) {
    // Nine digit positions cannot show it; negating INT_MIN would overflow.
    for (uint32_t i = 0; i < 10; ++i) g_acNumberText[i] = '-';
  } else {
    uint32_t ulValue = 0u - static_cast<uint32_t>(lValue);
    int32_t lFirst = 9;
    for (int32_t i = 9; i >= 1; --i) {
      const bool bDigit = i == 9 || ulValue != 0;
      if (bDigit) lFirst = i;
      g_acNumberText[i] = bDigit || ulFill == 1 ? static_cast<char>('0' + ulValue % 10) : ' ';
      ulValue /= 10;
    }
    if (ulFill == 1) {
      // Zero-filled: position 0 carries the sign.
      g_acNumberText[0] = '-';
    } else {
      g_acNumberText[0] = ' ';
      g_acNumberText[lFirst - 1] = '-';
    }
  }
  g_acNumberText[10] = '\0';
  g_pcNumberText = g_acNumberText;
}

void FormatHex(uint32_t ulValue) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  g_acNumberText[0] = ' ';
  g_acNumberText[1] = ' ';
  for (uint32_t i = 0; i < 8; ++i) g_acNumberText[2 + i] = kDigits[(ulValue >> (28 - 4 * i)) & 0xFu];
  g_acNumberText[10] = '\0';
  g_pcNumberText = g_acNumberText;
}

uint32_t BcdToBinary(uint32_t ulValue) {
  return (ulValue & 0xFu) + 10 * ((ulValue >> 4) & 0xFu) + 100 * ((ulValue >> 8) & 0xFu) +
         1000 * ((ulValue >> 12) & 0xFu);
}

uint32_t BcdRepack(uint32_t ulValue) { return ulValue & 0xFFFFu; }

char ToUpperChar(const char* pc) { return (*pc >= 'a' && *pc <= 'z') ? static_cast<char>(*pc - 'a' + 'A') : *pc; }

uint32_t HexDigitValue(const char* pc) {
  if (*pc >= '0' && *pc <= '9') return static_cast<uint32_t>(*pc - '0');
  if (*pc >= 'A' && *pc <= 'F') return static_cast<uint32_t>(*pc - 'A' + 10);
  return 0;
}

int32_t CompareTextPrefix(const char* pszFirst, const char* pszSecond) {
  for (uint32_t i = 0; pszFirst[i] != '\0'; ++i) {
    if (pszFirst[i] != pszSecond[i]) return -1;
  }
  return 0;
}

uint32_t TrimmedLength(const char* psz) {
  uint32_t ulLength = 0;
  while (psz[ulLength] != '\0') ++ulLength;
  while (ulLength > 1 && psz[ulLength - 1] == ' ') --ulLength;
  return ulLength;
}
