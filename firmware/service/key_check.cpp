// The key test of the panel: each of the six keys asked for in turn; a
// missed key is named by its tag after "Err:".
#include "firmware/control/keys.h"
#include "firmware/control/lcd.h"
#include "firmware/platform/time_base.h"
#include "firmware/service/service_menus.h"

namespace {

struct KeyPrompt {
  const char* pszPrompt;
  uint32_t ulKey;
  const char* pszTag;  // two characters
};

constexpr KeyPrompt kKeyPrompts[] = {
    {"Press + Key     ", KEY_INC, "+ "},    {"Press - Key     ", KEY_DEC, "- "},
    {"Press Menu Key  ", KEY_MENU, "Me"},   {"Press Enter Key ", KEY_ENTER, "En"},
    {"Press AdvanceKey", KEY_FEED, "Ad"},   {"Press Clear Key ", KEY_CLEAR, "Cl"},
};
constexpr uint32_t kPromptCount = sizeof(kKeyPrompts) / sizeof(kKeyPrompts[0]);
constexpr uint32_t kPromptMs = 3000;
constexpr uint32_t kResultMs = 3000;
constexpr uint32_t kFirstTagColumn = 4;

// True when the expected key arrived before a wait ran out; a wrong key
// starts a new wait.
bool AskForKey(const KeyPrompt& prompt) {
  g_Lcd.WriteText(prompt.pszPrompt, 0, 16);
  for (;;) {
    uint32_t ulKey = KEY_NONE;
    if (g_KeyMng.WaitKey(kPromptMs, &ulKey) != 1) return false;
    if (ulKey == prompt.ulKey) return true;
  }
}

}  // namespace

int32_t CheckKeyTest() {
  uint32_t ulPassed = 0;
  for (const KeyPrompt& prompt : kKeyPrompts) {
    if (AskForKey(prompt)) ulPassed |= 1;
    ulPassed <<= 1;
  }
  constexpr uint32_t kAllPassed = ((1u << kPromptCount) - 1) << 1;
  int32_t lResult = 0;
  if (ulPassed == kAllPassed) {
    g_Lcd.WriteText("Key OK !        ", 0, 16);
  } else {
    g_Lcd.WriteText("Err:            ", 0, 16);
    uint32_t ulColumn = kFirstTagColumn;
    for (uint32_t i = 0; i < kPromptCount; ++i) {
      if ((ulPassed >> (kPromptCount - i)) & 1) continue;
      g_Lcd.WriteText(kKeyPrompts[i].pszTag, ulColumn, 2);
      ulColumn += 2;
    }
    lResult = -1;
  }
  g_MsTimer.WaitMs(kResultMs);
  return lResult;
}
