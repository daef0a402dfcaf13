// Placeholder of the device-check menus, the value editors, the head and
// firmware information screens, the reset and backup screens and the
// head-voltage screens that the service menus open: each says once that it
// is not built yet and returns as a screen left with Clear would.
#include "firmware/platform/placeholder.h"
#include "firmware/service/device_check_menus.h"
#include "firmware/service/head_info_screens.h"
#include "firmware/service/reset_screens.h"
#include "firmware/service/thv_tuning_menus.h"
#include "firmware/service/value_editors.h"

#define SERVICE_SCREEN_PLACEHOLDER(name)             \
  void name() {                                      \
    static bool s_bLogged;                           \
    LogPlaceholderOnce(s_bLogged, #name " (service screens)"); \
  }

SERVICE_SCREEN_PLACEHOLDER(RunDeviceCheckMenu)
SERVICE_SCREEN_PLACEHOLDER(ToneCurveResetScreen)
SERVICE_SCREEN_PLACEHOLDER(LamiImageResetScreen)
SERVICE_SCREEN_PLACEHOLDER(ParameterResetScreen)
SERVICE_SCREEN_PLACEHOLDER(CisCalibBackupScreen)
SERVICE_SCREEN_PLACEHOLDER(SerialNumberScreen)
SERVICE_SCREEN_PLACEHOLDER(CisCalibSerialScreen)
SERVICE_SCREEN_PLACEHOLDER(MfgDateScreen)
SERVICE_SCREEN_PLACEHOLDER(LoadDensityScreen)
SERVICE_SCREEN_PLACEHOLDER(LoadCounterScreen)
SERVICE_SCREEN_PLACEHOLDER(RunDensityMenu)
SERVICE_SCREEN_PLACEHOLDER(RunThvMenu)
#undef SERVICE_SCREEN_PLACEHOLDER

CHeadEeprom* g_pMenuHeadEeprom;

void RunHeadInfoMenu(CHeadEeprom& eeprom) {
  static bool s_bLogged;
  LogPlaceholderOnce(s_bLogged, "RunHeadInfoMenu (service screens)");
  g_pMenuHeadEeprom = &eeprom;
}

int32_t AutoTuneThvScreen() {
  static bool s_bLogged;
  LogPlaceholderOnce(s_bLogged, "AutoTuneThvScreen (service screens)");
  return 0;
}
