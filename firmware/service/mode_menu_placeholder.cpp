// Placeholder of the service menus: the Menu key opens no menu yet; the
// action ends as a menu ends.
#include "firmware/control/event_set.h"
#include "firmware/control/idle_supervisor.h"
#include "firmware/platform/placeholder.h"
#include "firmware/service/service_menus.h"

int32_t RunModeMenu() {
  static bool s_bLogged;
  LogPlaceholderOnce(s_bLogged, "RunModeMenu (service menus)");
  g_pCurEventMng->ClearEvent(EV_MENU_KEY);
  return g_IdleSupervisor.StartMenuKeyGuard();
}
