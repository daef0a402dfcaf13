// Head-voltage tuning: a unit's list of THV objects tuned automatically
// (objects that share a THV power are measured once, by the first of them),
// the confirmation screen that tunes both units, and the head-voltage menu
// with its manual tunings.
#include "firmware/service/thv_tuning_menus.h"

#include "firmware/control/app_startup.h"
#include "firmware/control/error_manager.h"
#include "firmware/control/error_table.h"
#include "firmware/control/keys.h"
#include "firmware/control/lcd.h"
#include "firmware/control/menu.h"
#include "firmware/devices/parameter.h"
#include "firmware/platform/time_base.h"
#include "firmware/printengine/thv_control.h"
#include "firmware/service/service_menus.h"

namespace {

// The longest list the tuning keeps its flags for.
constexpr uint32_t kMaxListEntries = 256;
constexpr uint32_t kMessageMs = 3000;

bool ErrorSet(uint32_t ulIndex) {
  uint32_t ulFlag = 0;
  return g_ErrorMng.IsErrorSet(ulIndex, &ulFlag) == 0 && ulFlag != 0;
}

// Copies the tuned setting of `from` to `to`.
void CopySetting(const CThvCnt& from, const CThvCnt& to) {
  CParameter* pFrom = nullptr;
  CParameter* pTo = nullptr;
  int32_t lValue = 0;
  if (from.GetThvSetting(&pFrom) != 0 || to.GetThvSetting(&pTo) != 0) return;
  if (pFrom->GetValue(&lValue) != 0) return;
  pTo->SetValue(lValue);
}

// Why tuning may not start: -1 with the refusal shown, 0 to go on.
int32_t CheckTuningAllowed() {
  for (uint32_t ulIndex = erridx::kHeadResistanceFirst; ulIndex <= erridx::kHeadResistanceLast; ++ulIndex) {
    if (ErrorSet(ulIndex)) return -1;
  }
  if (ErrorSet(erridx::kFrontCover)) {
    g_Lcd.WriteText("Front Cover Open", 0, 16);
    g_MsTimer.WaitMs(kMessageMs);
    return -1;
  }
  return 0;
}

// The manual tunings of items 2-15, in item order.
CThvCnt* const kManualItems[] = {&g_ThvYL,  &g_ThvYR,  &g_ThvML,    &g_ThvMR,    &g_ThvCL,     &g_ThvCR,    &g_ThvSPL,
                                 &g_ThvSPR, &g_ThvOPL, &g_ThvOPR, &g_ThvMatteL, &g_ThvMatteR, &g_ThvPheatL, &g_ThvPheatR};
constexpr uint32_t kManualItemCount = sizeof(kManualItems) / sizeof(kManualItems[0]);

const char* const kThvMenuLabels[] = {
    nullptr,           "Auto Tuning     ", "THV Y L         ", "THV Y R         ", "THV M L         ",
    "THV M R         ", "THV C L         ", "THV C R         ", "THV SP L        ", "THV SP R        ",
    "THV OP L        ", "THV OP R        ", "THV MATTE L     ", "THV MATTE R     ", "THV PHEAT L     ",
    "THV PHEAT R     ", nullptr};
const MenuHandler kThvMenuHandlers[] = {SelectFirstMenuItem, RunThvMenuItem, RunThvMenuItem, RunThvMenuItem,
                                        RunThvMenuItem,      RunThvMenuItem, RunThvMenuItem, RunThvMenuItem,
                                        RunThvMenuItem,      RunThvMenuItem, RunThvMenuItem, RunThvMenuItem,
                                        RunThvMenuItem,      RunThvMenuItem, RunThvMenuItem, RunThvMenuItem};
const MenuDesc kThvMenu = {kThvMenuLabels, kThvMenuHandlers};

}  // namespace

int32_t AutoTuneThvList(CThvCnt* const* ppList, uint32_t ulHeadResistance) {
  bool abDone[kMaxListEntries] = {};
  uint16_t ausPower[kMaxListEntries] = {};
  uint32_t ulCount = 0;
  while (ulCount < kMaxListEntries && ppList[ulCount] != nullptr) {
    ausPower[ulCount] = ppList[ulCount]->GetPower();
    ++ulCount;
  }
  for (uint32_t i = 0; i < ulCount; ++i) {
    if (abDone[i]) continue;
    const int32_t lResult = ppList[i]->AutoTuneThv(static_cast<uint16_t>(ulHeadResistance));
    if (lResult != 0) return lResult;
    abDone[i] = true;
    for (uint32_t j = i + 1; j < ulCount; ++j) {
      if (abDone[j] || ausPower[j] != ausPower[i]) continue;
      CopySetting(*ppList[i], *ppList[j]);
      abDone[j] = true;
    }
  }
  return 0;
}

int32_t AutoTuneThvScreen() {
  int32_t lResult = CheckTuningAllowed();
  if (lResult == 0) {
    g_Lcd.WriteText("Tuning ?        ", 0, 16);
    if (WaitAnyKey() != KEY_ENTER) return 0;
    lResult = AutoTuneThvList(g_ThvTableL, g_usHeadResistanceL);
    if (lResult == 0) lResult = AutoTuneThvList(g_ThvTableR, g_usHeadResistanceR);
  }
  g_Lcd.WriteText(lResult != 0 ? "Auto Tuning NG  " : "Auto Tuning OK  ", 0, 16);
  g_MsTimer.WaitMs(kMessageMs);
  return lResult;
}

void RunThvMenuItem() {
  const uint32_t ulItem = GetMenuSelection();
  if (ulItem == 1) {
    AutoTuneThvScreen();
  } else if (ulItem >= 2 && ulItem - 2 < kManualItemCount) {
    kManualItems[ulItem - 2]->ManualTune();
  }
}

void RunThvMenu() { RunMenu(&kThvMenu, 0); }
