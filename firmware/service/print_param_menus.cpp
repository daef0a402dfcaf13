// "PrintParam Set  ": the two print-parameter lists (matte relative for
// mark-sensor ribbon control, matte gloss for colour-sensor ribbon control)
// and their four on/off switch menus.
#include "firmware/control/power_save.h"
#include "firmware/devices/settings.h"
#include "firmware/service/menu_records.h"
#include "firmware/service/service_menu_trees.h"
#include "firmware/service/thv_tuning_menus.h"

namespace {

// The power-save minutes take the stored value at once.
int32_t ApplyPowerSaveTime() {
  int32_t lMinutes = 0;
  g_ParamPowerSaveTime.GetValue(&lMinutes);
  return g_PowerSave.SetMinutes(static_cast<uint32_t>(lMinutes));
}

// ---- the switch menus: item 1 ON (1), item 2 OFF (0) ------------------------------------

constexpr uint32_t kOffItem = 2;

#define ON_OFF_SWITCH(name, setting, on, off)                                          \
  constexpr SwitchEntry k##name##Entries[] = {{on, 1}, {off, 0}};                      \
  constexpr SwitchDesc k##name##Switch = MakeSwitch(setting, k##name##Entries, kOffItem); \
  constexpr MenuRecord k##name##Menu{k##name##Entries, SwitchItem<k##name##Switch>, SwitchTitle<k##name##Switch>};

ON_OFF_SWITCH(Preheat, g_ParamPreheatSW, "Preheat     : ON", "Preheat     :OFF")
ON_OFF_SWITCH(TProtectL, g_ParamTProtectLSW, "TProtectL   : ON", "TProtectL   :OFF")
ON_OFF_SWITCH(HeatControl, g_ParamHeatControl, "Heat Control :ON", "Heat Control:OFF")
ON_OFF_SWITCH(HumidCorrect, g_ParamHumidCorrect, "HumidCorrect :ON", "HumidCorrect:OFF")
#undef ON_OFF_SWITCH

// ---- entries from "THV Setting     " on, common to both lists -------------------------

constexpr MenuEntry kThvSetting{"THV Setting     ", Run(RunThvMenu)};
constexpr MenuEntry kHeatControlSw{"Heat Control SW ", Open(kHeatControlMenu)};
constexpr MenuEntry kHumidControlSw{"Humid Conrtol SW", Open(kHumidCorrectMenu)};
constexpr MenuEntry kOpLevel{"OP Level        ", Edit(g_ParamOpLevel)};
constexpr MenuEntry kPreheatOffLevel{"Preheat OffLevel", Edit(g_ParamPreheatOff)};
constexpr MenuEntry kPreheatOnLevel{"Preheat OnLevel ", Edit(g_ParamPreheatOn)};
constexpr MenuEntry kPreheatKeepTime{"Preheat KeepTime", Edit(g_ParamPreheatKeep)};
// The per-unit pre-heat's strobe count.
constexpr MenuEntry kPreheatCounter{"Preheat Counter ", Edit(g_ParamPreheatCount2)};
constexpr MenuEntry kPreheatOnOffSw{"Preheat OnOff SW", Open(kPreheatMenu)};
constexpr MenuEntry kTProtectOnLv{"TProtect On Lv  ", Edit(g_ParamTProtectOn)};
constexpr MenuEntry kTProtectOffLv{"TProtect OffLv  ", Edit(g_ParamTProtectOff)};
constexpr MenuEntry kTProtectLLv{"TProtectL Lv    ", Edit(g_ParamTProtectLLv)};
constexpr MenuEntry kTProtectLOnOffSw{"TProtectLOnOffSW", Open(kTProtectLMenu)};
constexpr MenuEntry kHeadSideFanOnLv{"HeadSideFanOn Lv", Edit(g_ParamFanOn)};
constexpr MenuEntry kHeadSideFanOffLv{"HeadSideFanOffLv", Edit(g_ParamFanOff)};
constexpr MenuEntry kPowerSaveTime{"Power Save Time ", Edit(g_ParamPowerSaveTime, ApplyPowerSaveTime)};

#define PRINT_PARAM_COMMON_ENTRIES                                                                        \
  kThvSetting, kHeatControlSw, kHumidControlSw, kOpLevel, kPreheatOffLevel, kPreheatOnLevel,              \
      kPreheatKeepTime, kPreheatCounter, kPreheatOnOffSw, kTProtectOnLv, kTProtectOffLv, kTProtectLLv,    \
      kTProtectLOnOffSw, kHeadSideFanOnLv, kHeadSideFanOffLv, kPowerSaveTime

constexpr MenuEntry kPrintParamEntries[] = {
    {"Matte Relative1 ", Edit(g_ParamMatteRel1)},
    {"Matte Relative2 ", Edit(g_ParamMatteRel2)},
    {"Matte Relative3 ", Edit(g_ParamMatteRel3)},
    {"Matte Relative4 ", Edit(g_ParamMatteRel4)},
    {"Matte Adjustment", Edit(g_ParamMatteAdjust)},
    PRINT_PARAM_COMMON_ENTRIES,
};
constexpr MenuEntry kPrintParamGlossEntries[] = {
    {"Matte Gloss     ", Edit(g_ParamMatteGloss)},
    {"Matte DeGloss B ", Edit(g_ParamDeGlossBlk)},
    {"Matte DeGloss W ", Edit(g_ParamDeGlossWht)},
    PRINT_PARAM_COMMON_ENTRIES,
};
#undef PRINT_PARAM_COMMON_ENTRIES

constexpr MenuRecord kPrintParamMenu{kPrintParamEntries, RunPrintParamItem};
constexpr MenuRecord kPrintParamGlossMenu{kPrintParamGlossEntries, RunPrintParamItemGloss};

}  // namespace

void RunPrintParamItem() { DispatchItem<kPrintParamEntries>(); }
void RunPrintParamItemGloss() { DispatchItem<kPrintParamGlossEntries>(); }
void RunPrintParamMenu() { RunMenu(&kPrintParamMenu, 0); }
void RunPrintParamGlossMenu() { RunMenu(&kPrintParamGlossMenu, 0); }
