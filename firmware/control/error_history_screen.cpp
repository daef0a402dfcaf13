// The error history's maintenance screen: the ten entries one at a time,
// by code or by the counter value, and the reset prompt.
#include "firmware/control/error_history.h"
#include "firmware/control/error_manager.h"
#include "firmware/control/keys.h"
#include "firmware/control/lcd.h"
#include "firmware/platform/number_text.h"

namespace {

constexpr uint32_t kLineColumns = 16;
constexpr uint32_t kTextColumn = 2;
constexpr uint32_t kTextColumns = 14;
constexpr uint32_t kSuffixColumn = 14;

uint32_t NextKey() {
  uint32_t ulKey = KEY_NONE;
  while (g_KeyMng.WaitKey(1, &ulKey) == 0 || ulKey == KEY_NONE) {
  }
  return ulKey;
}

void ShowCode(const ErrorHistRecord& record) {
  ErrorInfo row{};
  const uint32_t ulCode = static_cast<uint32_t>(record.ucCodeMajor) << 8 | record.ucCodeMinor;
  if (ulCode == 0 || CErrorMng::FindByCode(ulCode, &row) != 0) {
    g_Lcd.WriteText("No History    ", kTextColumn, kTextColumns);
    return;
  }
  g_Lcd.WriteText(row.pszText, kTextColumn, kTextColumns);
  if (row.pszSuffix[0] != ' ' && row.pszSuffix[1] != ' ') g_Lcd.WriteText(row.pszSuffix, kSuffixColumn, 2);
}

void ShowCount(const ErrorHistRecord& record) {
  g_Lcd.WriteText("Count:        ", kTextColumn, kTextColumns);
  char acDigits[12] = {};
  const uint32_t ulDigits = FormatUnsigned(acDigits, record.ulTotalCount);
  g_Lcd.WriteText(acDigits, kLineColumns - ulDigits, ulDigits);
}

void ResetPrompt() {
  g_Lcd.WriteText("Reset ?         ", 0, kLineColumns);
  if (NextKey() != KEY_ENTER) return;
  g_Lcd.WriteText("Data Updating...", 0, kLineColumns);
  g_ErrorHist.Clear();
}

}  // namespace

int32_t CErrorHist::BrowseScreen() {
  uint32_t ulEntry = 0;
  bool bCountView = false;
  for (;;) {
    const char acNumber[3] = {static_cast<char>('0' + ulEntry), ':', 0};
    g_Lcd.WriteText(acNumber, 0, 2);
    const ErrorHistRecord& record = g_ErrorHistTable.aRecords[ulEntry];
    if (bCountView) {
      ShowCount(record);
    } else {
      ShowCode(record);
    }
    switch (NextKey()) {
      case KEY_MENU: bCountView = !bCountView; break;
      case KEY_ENTER: ResetPrompt(); break;
      case KEY_CLEAR: return 0;
      case KEY_INC:
        if (!bCountView) ulEntry = (ulEntry + 1) % ERROR_HIST_RECORDS;
        break;
      case KEY_DEC:
        if (!bCountView) ulEntry = (ulEntry + ERROR_HIST_RECORDS - 1) % ERROR_HIST_RECORDS;
        break;
      default: break;
    }
  }
}
