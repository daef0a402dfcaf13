// The four top menus, the counter menus and the model-number menus.
#include "firmware/service/service_menu_trees.h"

#include "firmware/control/error_history.h"
#include "firmware/control/event_set.h"
#include "firmware/control/host_status_table.h"
#include "firmware/devices/eeprom.h"
#include "firmware/devices/life_counters.h"
#include "firmware/service/device_check_menus.h"
#include "firmware/service/head_info_screens.h"
#include "firmware/service/menu_records.h"
#include "firmware/service/reset_screens.h"
#include "firmware/service/test_prints.h"
#include "firmware/service/thv_tuning_menus.h"
#include "firmware/service/value_editors.h"

namespace {

// SetMenuAbort's value that closes every menu for the auto-diagnosis.
constexpr uint32_t kAbortForAutoDiag = 3;

int32_t BrowseErrorLog() { return g_ErrorHist.BrowseScreen(); }
void HeadInfoL() { RunHeadInfoMenu(g_HeadEepromL); }
void HeadInfoR() { RunHeadInfoMenu(g_HeadEepromR); }

// ---- counter menus ----------------------------------------------------------------------

constexpr auto Refresh = RefreshCounterItems;

constexpr MenuEntry kHeadCounterEntries[] = {
    {"Total Counter L ", CounterShow(g_CounterHeadPrintsL, Refresh)},
    {"Total Counter R ", CounterShow(g_CounterHeadPrintsR, Refresh)},
    {"Total Length L  ", CounterShow(g_CounterHeadLengthL, Refresh)},
    {"Total Length R  ", CounterShow(g_CounterHeadLengthR, Refresh)},
    {"Load Counter    ", Run(LoadCounterScreen, Refresh)},
};
constexpr MenuRecord kHeadCounterMenu{kHeadCounterEntries, DispatchItem<kHeadCounterEntries>};

constexpr MenuEntry kPrintCounterEntries[] = {
    {"Total Counter L ", CounterShow(g_CounterTotalL, Refresh)},
    {"Total Counter R ", CounterShow(g_CounterTotalR, Refresh)},
    {"Mnt Counter L   ", CounterMenu(g_CounterMntL, Refresh)},
    {"Mnt Counter R   ", CounterMenu(g_CounterMntR, Refresh)},
};
constexpr MenuRecord kPrintCounterMenu{kPrintCounterEntries, DispatchItem<kPrintCounterEntries>};

constexpr MenuEntry kPrintLengthEntries[] = {
    {"Total Length L  ", CounterShow(g_CounterTotalLengthL, Refresh)},
    {"Total Length R  ", CounterShow(g_CounterTotalLengthR, Refresh)},
    {"Mnt Length L    ", CounterMenu(g_CounterMntLengthL, Refresh)},
    {"Mnt Length R    ", CounterMenu(g_CounterMntLengthR, Refresh)},
};
constexpr MenuRecord kPrintLengthMenu{kPrintLengthEntries, DispatchItem<kPrintLengthEntries>};

// ---- model-number menus: one item, Enter does nothing -----------------------------------

constexpr MenuEntry kModelM7300Entries[] = {{"Model :M-7300   ", DoNothing()}};
constexpr MenuRecord kModelM7300Menu{kModelM7300Entries, DispatchItem<kModelM7300Entries>};
constexpr MenuEntry kModelKt3318Entries[] = {{"Model: KT-3318-5", DoNothing()}};
constexpr MenuRecord kModelKt3318Menu{kModelKt3318Entries, DispatchItem<kModelKt3318Entries>};

// ---- entries shared by the top menus ----------------------------------------------------

constexpr MenuEntry kDiagnostics{"Diagnostics     ", Run(RunDeviceCheckMenu)};
constexpr MenuEntry kAutoDiagnostics{"Auto Diagnostics", Run(RequestAutoDiagnostics)};
constexpr MenuEntry kToneTableReset{"Tone Table Reset", Run(ToneCurveResetScreen)};
constexpr MenuEntry kLamiImageReset{"Lami Image Reset", Run(LamiImageResetScreen)};
constexpr MenuEntry kTestPrintMode{"Test Print Mode ", Run(RunTestPrintMenu)};
constexpr MenuEntry kStatusPrint{"Status Print    ", Run(PrintStatusSheet)};
constexpr MenuEntry kErrorLog{"Error Log       ", Run(BrowseErrorLog)};
constexpr MenuEntry kSerialNumber{"Serial Number   ", Run(SerialNumberScreen)};
constexpr MenuEntry kModelKt3318{"Model Number    ", Open(kModelKt3318Menu)};

// ---- Diagnostics and Factory Mode -------------------------------------------------------

constexpr MenuEntry kDiagnosticsEntries1[] = {kDiagnostics,    kAutoDiagnostics, kToneTableReset,
                                              kLamiImageReset, kTestPrintMode,   kStatusPrint};
constexpr MenuRecord kDiagnosticsMenu1{kDiagnosticsEntries1, DispatchItem<kDiagnosticsEntries1>};
constexpr MenuEntry kDiagnosticsEntries0[] = {kDiagnostics, kAutoDiagnostics, kToneTableReset, kTestPrintMode};
constexpr MenuRecord kDiagnosticsMenu0{kDiagnosticsEntries0, DispatchItem<kDiagnosticsEntries0>};

// ---- Maintenance ------------------------------------------------------------------------

constexpr MenuEntry kMntPrintCounter{"MntPrintCounter ", CounterMenu(g_CounterMainte, Refresh)};
constexpr MenuEntry kCutCounter{"Cut Counter     ", CounterMenu(g_CounterCut, Refresh)};
constexpr MenuEntry kTotalCounter{"Total Counter   ", CounterShow(g_CounterTotal)};
constexpr MenuEntry kHeadCounter{"Head Counter    ", Open(kHeadCounterMenu)};
constexpr MenuEntry kCarouselCounter{"Carousel Counter", CounterMenu(g_CounterCarousel, Refresh)};
constexpr MenuEntry kPrintCounter{"Print Counter   ", Open(kPrintCounterMenu)};
constexpr MenuEntry kPrintLength{"Print Length    ", Open(kPrintLengthMenu)};
constexpr MenuEntry kMfgDate{"Mfg.Date        ", Run(MfgDateScreen)};
constexpr MenuEntry kCisCalibSerial{"Cis Calib S/N   ", Run(CisCalibSerialScreen)};
constexpr MenuEntry kCisCalibBackup{"Cis Calib Backup", Run(CisCalibBackupScreen)};

constexpr MenuEntry kMaintenanceEntries1[] = {
    kMntPrintCounter, kCutCounter,     kTotalCounter, kHeadCounter,
    kCarouselCounter, kPrintCounter,   kPrintLength,  kToneTableReset,
    kLamiImageReset,  kErrorLog,       kSerialNumber, {"Model Number    ", Open(kModelM7300Menu)},
    kMfgDate,         kCisCalibSerial, kCisCalibBackup,
};
constexpr MenuRecord kMaintenanceMenu1{kMaintenanceEntries1, DispatchItem<kMaintenanceEntries1>};
constexpr MenuEntry kMaintenanceEntries0[] = {
    kMntPrintCounter, kCutCounter,   kTotalCounter, kHeadCounter,
    kCarouselCounter, kPrintCounter, kPrintLength,  kToneTableReset,
    kErrorLog,        kSerialNumber, kModelKt3318,  {"Parameter Reset ", Run(ParameterResetScreen)},
    kMfgDate,         kCisCalibSerial, kCisCalibBackup,
};
constexpr MenuRecord kMaintenanceMenu0{kMaintenanceEntries0, DispatchItem<kMaintenanceEntries0>};

// ---- DensitySetupMode -------------------------------------------------------------------

constexpr MenuEntry kDensitySetupEntries[] = {
    {"Density         ", Run(RunDensityMenu)},
    kModelKt3318,
    kSerialNumber,
    kTestPrintMode,
    {"TPH1 Information", Run(HeadInfoL)},
    {"TPH2 Information", Run(HeadInfoR)},
    {"THV Auto Tuning ", Run(AutoTuneThvScreen)},
    {"Load Density    ", Run(LoadDensityScreen)},
};
constexpr MenuRecord kDensitySetupMenu{kDensitySetupEntries, DispatchItem<kDensitySetupEntries>};

// ---- System Setup -----------------------------------------------------------------------

constexpr MenuEntry kMechaParamSet{"MechaParam Set  ", Run(RunMechaParamMenu)};
constexpr MenuEntry kSystemSetupEntries1[] = {
    {"PrintParam Set  ", Run(RunPrintParamGlossMenu)}, kMechaParamSet, kTestPrintMode, kStatusPrint};
constexpr MenuRecord kSystemSetupMenu1{kSystemSetupEntries1, DispatchItem<kSystemSetupEntries1>};
constexpr MenuEntry kSystemSetupEntries0[] = {
    {"PrintParam Set  ", Run(RunPrintParamMenu)}, kMechaParamSet, kTestPrintMode};
constexpr MenuRecord kSystemSetupMenu0{kSystemSetupEntries0, DispatchItem<kSystemSetupEntries0>};

}  // namespace

void RequestAutoDiagnostics() {
  g_pCurEventMng->SetEvent(EV_AUTO_DIAG);
  SetMenuAbort(kAbortForAutoDiag);
}

void RunDiagnosticsMenu() { RunMenu(ByRibbonControlType(kDiagnosticsMenu1, kDiagnosticsMenu0), 0); }
void RunMaintenanceMenu() { RunMenu(ByRibbonControlType(kMaintenanceMenu1, kMaintenanceMenu0), 0); }
void RunDensitySetupMenu() { RunMenu(&kDensitySetupMenu, 0); }
void RunSystemSetupMenu() { RunMenu(ByRibbonControlType(kSystemSetupMenu1, kSystemSetupMenu0), 0); }
