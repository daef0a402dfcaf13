#include "firmware/service/menu_records.h"

#include "firmware/control/app_startup.h"
#include "firmware/control/keys.h"
#include "firmware/control/lcd.h"
#include "firmware/devices/life_counter.h"
#include "firmware/devices/parameter.h"
#include "firmware/platform/time_base.h"

namespace {

constexpr char kBlankLine[] = "                ";
constexpr uint32_t kSwitchStoredMs = 500;

}  // namespace

void BlankLineAndWait(uint32_t ulMs) {
  g_Lcd.WriteText(kBlankLine, 0, CLcd::kVisibleColumns);
  g_MsTimer.WaitMs(ulMs);
}

const MenuDesc* ByRibbonControlType(const MenuDesc& type1, const MenuDesc& type0) {
  return g_ucRibbonControlType != 0 ? &type1 : &type0;
}

int32_t SelectedEntry(uint32_t ulEntries) {
  const uint32_t ulItem = GetMenuSelection();
  if (ulItem < 1 || ulItem > ulEntries) return -1;
  return static_cast<int32_t>(ulItem - 1);
}

void RunMenuAction(const MenuAction& action) {
  switch (action.kind) {
    case MENU_ACTION_NONE: break;
    case MENU_ACTION_RUN: action.pfnRun(); break;
    case MENU_ACTION_RUN_RESULT: action.pfnRunResult(); break;
    case MENU_ACTION_MENU: RunMenu(action.pMenu, 0); break;
    case MENU_ACTION_MENU_BY_TYPE: RunMenu(ByRibbonControlType(*action.pMenu, *action.pMenuType0), 0); break;
    case MENU_ACTION_PAGES: RunMenuPages(action.ppPages, 0); break;
    case MENU_ACTION_EDIT: EditParameter(action.pSetting); break;
    case MENU_ACTION_COUNTER_MENU: action.pCounter->MenuScreen(LIFE_COUNTER_MODE_DECIMAL); break;
    case MENU_ACTION_COUNTER_SHOW:
      action.pCounter->Show(LIFE_COUNTER_MODE_DECIMAL);
      WaitAnyKey();
      break;
  }
  if (action.pfnAfter != nullptr) action.pfnAfter();
}

void PreselectSwitch(const SwitchDesc& desc) {
  int32_t lValue = 0;
  desc.pSetting->GetValue(&lValue);
  uint32_t ulItem = desc.ulOtherItem;
  for (uint32_t i = 0; i < desc.ulEntries; ++i) {
    if (desc.pEntries[i].lValue == lValue) {
      ulItem = i + 1;
      break;
    }
  }
  SetMenuSelection(ulItem);
}

void StoreSwitch(const SwitchDesc& desc) {
  const int32_t i = SelectedEntry(desc.ulEntries);
  if (i < 0) return;
  const int32_t lValue = desc.pEntries[i].lValue;
  desc.pSetting->SetValue(lValue);
  BlankLineAndWait(kSwitchStoredMs);
  if (desc.pfnApply != nullptr) desc.pfnApply(lValue);
}

void EditSettingEntry(const SettingEntry* pEntries, uint32_t ulEntries) {
  const int32_t i = SelectedEntry(ulEntries);
  if (i < 0) return;
  EditParameter(pEntries[i].pSetting);
  if (pEntries[i].pfnAfter != nullptr) pEntries[i].pfnAfter();
}
