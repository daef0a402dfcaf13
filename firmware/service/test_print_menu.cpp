// "Test Print Mode ": nine one-item pages, one per pattern, unless an error
// is active.
#include "firmware/control/error_manager.h"
#include "firmware/control/lcd.h"
#include "firmware/platform/time_base.h"
#include "firmware/service/test_prints.h"

namespace {

constexpr uint32_t kFailedMs = 3000;

#define PAGE(name, text, handler)                                        \
  const char* const k##name##Labels[] = {nullptr, text, nullptr};        \
  const MenuHandler k##name##Handlers[] = {SelectFirstMenuItem, handler}; \
  const MenuDesc k##name##Page = {k##name##Labels, k##name##Handlers};

PAGE(Default, "Default Pattern ", PrintDefaultPattern)
PAGE(Gray, "Gray Pattern    ", PrintGrayPattern)
PAGE(Cross, "Cross Pattern   ", PrintCrossPattern)
PAGE(Level8, "8Level Pattern  ", PrintLevel8Menu)
PAGE(Letter, "8Lv With Letter ", Print8LevelLetter)
PAGE(Regi, "Regi Pattern    ", PrintRegiPattern)
PAGE(H, "H Pattern       ", PrintHPattern)
PAGE(Ams, "AMS Pattern     ", PrintAmsPattern)
PAGE(TargetB, "Target B Pattern", PrintTargetBPattern)
#undef PAGE

const MenuDesc* const kTestPrintPages[] = {&kDefaultPage, &kGrayPage,    &kCrossPage, &kLevel8Page,  &kLetterPage,
                                           &kRegiPage,    &kHPage,       &kAmsPage,   &kTargetBPage, nullptr};

const char* const kVariantLabels[] = {nullptr,           "8Level Gloss    ", "8Level Matte    ", "8Level Gloss&Txt",
                                     "8Level Matte&Txt", nullptr};
const MenuHandler kVariantHandlers[] = {SelectFirstMenuItem, Print8LevelPattern, Print8LevelPattern,
                                       Print8LevelPattern, Print8LevelPattern};
const MenuDesc kLevel8Menu = {kVariantLabels, kVariantHandlers};

}  // namespace

void RunTestPrintMenu() {
  int32_t lIndex = -1;
  if (g_ErrorMng.LowestActiveError(&lIndex) == 0) {
    g_Lcd.WriteText("TestPrint Failed", 0, CLcd::kVisibleColumns);
    g_MsTimer.WaitMs(kFailedMs);
    return;
  }
  RunMenuPages(kTestPrintPages, 0);
}

void PrintLevel8Menu() { RunMenu(&kLevel8Menu, 0); }
