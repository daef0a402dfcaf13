// The confirmation screens that reset tone curves, lamination images and
// parameters, back up and restore the EEPROM, and keep the EEPROM backup
// held with the CIS calibration data.
#include "firmware/service/reset_screens.h"

#include "firmware/control/error_manager.h"
#include "firmware/control/error_table.h"
#include "firmware/control/keys.h"
#include "firmware/control/menu.h"
#include "firmware/devices/eeprom.h"
#include "firmware/devices/lami_image.h"
#include "firmware/devices/main_loop_stop.h"
#include "firmware/devices/parameter.h"
#include "firmware/devices/settings.h"
#include "firmware/platform/fpga_regs.h"
#include "firmware/platform/time_base.h"
#include "firmware/printengine/cis.h"
#include "firmware/printengine/tone_curve.h"
#include "firmware/service/screen_text.h"

namespace {

constexpr const char* kResetQuestion = "RESET ?             ";
constexpr uint32_t kToneCurves = 8;
constexpr uint32_t kCurveSourceFlash = 1;
constexpr uint16_t kAllCellsToDefault = 0xFFFF;
constexpr uint32_t kSwitchWaitMs = 500;

void RestartSystem() {
  ShowLine("System reset... ");
  RequestSystemReset();
}

// "Eeprom Backup" of each item, stored in the backup EEPROM first and then
// in the board's.
constexpr int32_t kBackupValues[] = {1, 0};

void PreselectBackup() {
  int32_t lValue = 0;
  g_ParamEepromBackup.GetValue(&lValue);
  SetMenuSelection(lValue != 0 ? 1 : 2);
}

void StoreBackupSwitch() {
  const uint32_t ulItem = GetMenuSelection();
  if (ulItem < 1 || ulItem > 2) return;
  g_FpgaMain.SelectExternalEeprom(1);
  g_ParamEepromBackup.SetValue(kBackupValues[ulItem - 1]);
  g_FpgaMain.SelectExternalEeprom(0);
  g_ParamEepromBackup.SetValue(kBackupValues[ulItem - 1]);
  BlankLine();
  g_MsTimer.WaitMs(kSwitchWaitMs);
}

const char* const kBackupLabels[] = {nullptr, "EEP Back Up  :ON", "EEP Back Up :OFF", nullptr};
const MenuHandler kBackupHandlers[] = {PreselectBackup, StoreBackupSwitch, StoreBackupSwitch};
const MenuDesc kBackupMenu = {kBackupLabels, kBackupHandlers};

void DropPendingKeys() {
  uint32_t ulKey = KEY_NONE;
  while (g_KeyMng.WaitKey(1, &ulKey) == 1) {
  }
}

}  // namespace

void ToneCurveResetScreen() {
  if (!AskEnter(kResetQuestion)) return;
  ShowLine("ToneCurve reset ");
  for (uint32_t ulCurve = 1; ulCurve <= kToneCurves; ++ulCurve) {
    g_ToneCurve.RebuildToneCurve(ulCurve);
    PhysAddr ulAddress = 0;
    if (g_ToneCurve.GetCurveAddress(kCurveSourceFlash, ulCurve, &ulAddress) == 0) {
      g_ToneCurve.LoadCurve(ulCurve, ulAddress);
    }
  }
}

void LamiImageResetScreen() {
  if (!AskEnter(kResetQuestion)) return;
  ShowLine("Resetting ...   ");
  CopyLamiImage();
  g_ErrorMng.ClearError(erridx::kLamiImageCheck);
  if (CheckLamiImages() == 0) LoadLamiImage();
}

void ParameterResetScreen() {
  if (AskEnter(kResetQuestion)) g_Eeprom.WriteInitFlags(kAllCellsToDefault);
}

void EepromUndoScreen() {
  if (!AskEnter("OK ?                ")) return;
  g_Eeprom.RestoreFromSecondDevice();
  RestartSystem();
}

void RunEepromBackupMenu() { RunMenu(&kBackupMenu, 0); }

void CisCalibBackupScreen() {
  int32_t lProgress = 0;
  g_ParamCisWrProgress.GetValue(&lProgress);
  if (!AskEnter(lProgress == 1 ? "Backup Complete " : "Backup No Data  ")) return;
  bool bRestore = true;
  for (;;) {
    ShowLine(bRestore ? "Backup OK?      " : "Erase OK?       ");
    const uint32_t ulKey = WaitAnyKey();
    if (ulKey == KEY_ENTER && bRestore) {
      g_Cis.RestoreEepromBackup();
      g_ParamCisWrProgress.SetValue(1);
      RestartSystem();
      return;
    }
    if (ulKey == KEY_ENTER) {
      g_ParamCisWrProgress.SetValue(0);
      return;
    }
    if (ulKey != KEY_MENU) return;
    bRestore = !bRestore;
    DropPendingKeys();
  }
}
