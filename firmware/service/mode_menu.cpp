// The service mode at power-on and the Menu key's action.
//
// The mode is chosen once, in a one-second window of the start-up in which
// the operator holds a key chord; the key manager turns the chord into its
// code. At idle the Menu key opens the top menu of the mode, or the User
// Mode information pages.
#include "firmware/control/event_set.h"
#include "firmware/control/host_status_table.h"
#include "firmware/control/idle_supervisor.h"
#include "firmware/control/keys.h"
#include "firmware/control/lcd.h"
#include "firmware/control/app_startup.h"
#include "firmware/devices/main_loop_stop.h"
#include "firmware/devices/settings.h"
#include "firmware/platform/time_base.h"
#include "firmware/service/service_menu_trees.h"
#include "firmware/service/user_info_pages.h"
#include "firmware/service/service_menus.h"
#include "protocol/codes.h"

namespace {

enum ServiceMode : uint16_t {
  SVC_USER_MODE = 0,
  SVC_DIAGNOSTICS = 1,
  SVC_SYSTEM_SETUP = 2,
  SVC_MAINTENANCE = 3,
  SVC_DENSITY_SETUP = 4,
  SVC_FACTORY = 5,
};

// The start-up window ends when more than this has passed.
constexpr uint16_t kWindowMs = 999;
// A received code keeps what it showed on the LCD this long.
constexpr uint32_t kShowMs = 2000;
// Key masks of the abort check while a menu waits for a key: host commands
// and cover checks.
constexpr uint32_t kMenuCheckMask = 3;

// The top menu of each service mode; any other mode opens the User Mode
// pages.
struct ModeMenu {
  uint16_t usMode;
  void (*pfnRun)();
};
constexpr ModeMenu kModeMenus[] = {
    {SVC_DIAGNOSTICS, RunDiagnosticsMenu},   {SVC_FACTORY, RunDiagnosticsMenu},
    {SVC_SYSTEM_SETUP, RunSystemSetupMenu},  {SVC_MAINTENANCE, RunMaintenanceMenu},
    {SVC_DENSITY_SETUP, RunDensitySetupMenu},
};

void ShowText(const char* pszText) { g_Lcd.WriteText(pszText, 0, CLcd::kVisibleColumns); }

// "Allow Access OCP": the panel keys act at idle again. Only the colour-
// sensor ribbon control offers it.
void AllowPanelAccess() {
  if (g_ucRibbonControlType == 0) return;
  ShowText("Allow Access OCP");
  g_ParamKeyEnable.SetValue(1);
  SetStatusItem(SI_KEY_ENABLE, 1, 0);
}

void ActOnStartupCode(uint32_t ulCode) {
  if (ulCode == KEY_COMBO_USER_MODE) {
    RequestApplicationExit();
    return;
  }
  if (ulCode == KEY_COMBO_ALLOW_ACCESS) {
    AllowPanelAccess();
    return;
  }
  if (const ServiceModeChord* pChord = FindServiceModeChord(ulCode)) {
    ShowText(pChord->pszText);
    g_usServiceMode = pChord->usMode;
  }
}

}  // namespace

int32_t SelectStartupMode() {
  const uint32_t ulStart = g_MsTimer.NowMs();
  bool bOpen = true;
  while (bOpen) {
    if (g_MsTimer.ElapsedMs16(ulStart, g_MsTimer.NowMs()) > kWindowMs) {
      g_usServiceMode = SVC_USER_MODE;
      bOpen = false;
    }
    // The poll of the pass in which the window closes still counts.
    uint32_t ulCode = KEY_NONE;
    if (g_KeyMng.WaitKey(1, &ulCode) == 1) {
      bOpen = false;
      ActOnStartupCode(ulCode);
      g_MsTimer.WaitMs(kShowMs);
    }
  }
  return 0;
}

int32_t RunModeMenu() {
  SetStatusItem(SI_PRINTER_STATE, protocol::PRINTER_STATE_OPERATION, 1);
  g_KeyMng.SetCheckMask(kMenuCheckMask);
  void (*pfnRun)() = ShowInfoScreen;
  for (const ModeMenu& menu : kModeMenus) {
    if (menu.usMode == g_usServiceMode) pfnRun = menu.pfnRun;
  }
  pfnRun();
  g_KeyMng.SetCheckMask(0);
  g_pCurEventMng->ClearEvent(EV_MENU_KEY);
  g_IdleSupervisor.StartMenuKeyGuard();
  return 0;
}
