// "CIS Setting     ": the CIS list of the mechanism parameters and its edge
// check screen.
#include "firmware/control/lcd.h"
#include "firmware/devices/settings.h"
#include "firmware/printengine/cis.h"
#include "firmware/printengine/print_geometry.h"
#include "firmware/service/menu_records.h"
#include "firmware/service/service_menu_trees.h"

namespace {

// The mode of the service screen's tunings.
constexpr uint32_t kServiceTuning = 0;
// The edge's last four digits, zero-filled, at column 12.
constexpr uint32_t kEdgeColumn = 12;
constexpr uint32_t kEdgeDigits = 4;

int32_t TuneOffset() { return g_Cis.TuneCisOffset(kServiceTuning); }
int32_t TuneLed() { return g_Cis.TuneCisLed(kServiceTuning); }
int32_t Calibrate() { return g_Cis.CisCalibrationDialog(); }
void CheckDump() { g_Cis.CheckDump(); }

int32_t SetCalibData() {
  g_Lcd.WriteText("CisCalibData Set", 0, CLcd::kVisibleColumns);
  return g_Cis.SetCalibData();
}

// The LED setting of each CIS setting block, by the block's index.
CParameter* const kCisLedSettings[] = {&g_ParamCisLedV, &g_ParamCisLedVCB, &g_ParamCisLedVDA, &g_ParamCisLedVDB};

void EditCisLedVoltage() {
  uint32_t ulIndex = 0;
  g_Cis.GetSettingIndex(&ulIndex);
  if (ulIndex < sizeof kCisLedSettings / sizeof kCisLedSettings[0]) EditParameter(kCisLedSettings[ulIndex]);
}

void ShowEdge(const char* pszLabel, uint32_t ulEdge) {
  g_Lcd.WriteText(pszLabel, 0, CLcd::kVisibleColumns);
  FormatDecimal(static_cast<int32_t>(ulEdge), 1);
  g_Lcd.WriteText(g_pcNumberText + 10 - kEdgeDigits, kEdgeColumn, kEdgeDigits);
  WaitAnyKey();
  BlankLineAndWait(0);
}

int32_t RecalcGeometry() { return g_PrintGeometry.Calc(); }
void ApplyCisSwitch(int32_t) { RecalcGeometry(); }

constexpr SwitchEntry kConfigEntries[] = {{"Config:CisOffset", 1}, {"Config:      OFF", 0}};
constexpr SwitchDesc kConfigSwitch = MakeSwitch(g_ParamConfigMode, kConfigEntries, 2);
constexpr MenuRecord kConfigMenu{kConfigEntries, SwitchItem<kConfigSwitch>, SwitchTitle<kConfigSwitch>};

constexpr SwitchEntry kCisSwEntries[] = {{"Cis SW      : ON", 1}, {"Cis SW      :OFF", 0}};
constexpr SwitchDesc kCisSwSwitch = MakeSwitch(g_ParamCisSW, kCisSwEntries, 2, ApplyCisSwitch);
constexpr MenuRecord kCisSwMenu{kCisSwEntries, SwitchItem<kCisSwSwitch>, SwitchTitle<kCisSwSwitch>};

constexpr MenuEntry kCisEntries[] = {
    {"CIS OffsetV Tune", Run(TuneOffset)},
    {"CIS LED Tune    ", Run(TuneLed)},
    {"CIS Calibration ", Run(Calibrate)},
    {"CIS Set Calib   ", Run(SetCalibData)},
    {"CIS Read        ", Run(CheckDump)},
    {"CIS LED Vol     ", Run(EditCisLedVoltage)},
    {"CIS Edge Check  ", Run(CisEdgeCheckScreen)},
    {"CIS Config Mode ", Open(kConfigMenu)},
    {"CIS SW          ", Open(kCisSwMenu)},
};
constexpr MenuRecord kCisMenu{kCisEntries, DispatchItem<kCisEntries>};

}  // namespace

void CisEdgeCheckScreen() {
  // An edge the detector misses comes back as 0.
  uint32_t ulPaperEdge = 0;
  uint32_t ulImageEdge = 0;
  g_Cis.DetectPaperImageEdge(&ulPaperEdge, &ulImageEdge);
  ShowEdge("PAPER EDGE=     ", ulPaperEdge);
  ShowEdge("IMAGE EDGE=     ", ulImageEdge);
}

void RunCisMenu() { RunMenu(&kCisMenu, 0); }
