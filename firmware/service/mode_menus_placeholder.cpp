// Placeholder of the service-menu trees and the User Mode pages: each top
// menu is a menu of its first item alone, which does nothing on Enter, so
// the Menu key opens a menu that waits for keys and Clear leaves it.
#include "firmware/control/menu.h"
#include "firmware/platform/placeholder.h"
#include "firmware/service/mode_menus.h"

namespace {

const MenuHandler kHandlers[] = {SelectFirstMenuItem, [] {}};

#define PLACEHOLDER_MENU(name, text)                               \
  const char* const k##name##Labels[] = {nullptr, text, nullptr}; \
  const MenuDesc k##name = {k##name##Labels, kHandlers};

PLACEHOLDER_MENU(DiagnosticsMenu, "Diagnostics     ")
PLACEHOLDER_MENU(SystemSetupMenu, "PrintParam Set  ")
PLACEHOLDER_MENU(MaintenanceMenu, "MntPrintCounter ")
PLACEHOLDER_MENU(DensitySetupMenu, "Density         ")
PLACEHOLDER_MENU(InfoPage, "Test Print Mode ")
#undef PLACEHOLDER_MENU

void RunPlaceholder(const MenuDesc* pMenu) {
  static bool s_bLogged;
  LogPlaceholderOnce(s_bLogged, "service-menu trees and User Mode pages");
  RunMenu(pMenu, 0);
}

}  // namespace

void RunDiagnosticsMenu() { RunPlaceholder(&kDiagnosticsMenu); }
void RunSystemSetupMenu() { RunPlaceholder(&kSystemSetupMenu); }
void RunMaintenanceMenu() { RunPlaceholder(&kMaintenanceMenu); }
void RunDensitySetupMenu() { RunPlaceholder(&kDensitySetupMenu); }
void ShowInfoScreen() { RunPlaceholder(&kInfoPage); }
