// Placeholder of the service menus: the start-up window ends at once in
// User Mode (or the mode a test asks for); the Menu key opens no menu yet;
// the action ends as a menu ends.
#include "firmware/control/event_set.h"
#include "firmware/control/idle_supervisor.h"
#include "firmware/platform/placeholder.h"
#include "firmware/platform/time_base.h"
#include "firmware/service/service_calls_placeholder.h"
#include "firmware/service/service_menus.h"

PlaceholderServiceCalls g_PlaceholderServiceCalls;

int32_t SelectStartupMode() {
  static bool s_bLogged;
  LogPlaceholderOnce(s_bLogged, "SelectStartupMode (service menus)");
  g_usServiceMode = g_PlaceholderServiceCalls.usStartupMode;
  return 0;
}

int32_t RunModeMenu() {
  static bool s_bLogged;
  LogPlaceholderOnce(s_bLogged, "RunModeMenu (service menus)");
  g_pCurEventMng->ClearEvent(EV_MENU_KEY);
  return g_IdleSupervisor.StartMenuKeyGuard();
}


