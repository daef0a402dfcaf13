// The top menus the Menu key opens, one per service mode, and the User
// Mode information pages. Each runs its menu on the LCD (column 0) and
// returns when the operator leaves it with Clear or a handler ends the
// menu visit (SetMenuAbort).
#pragma once

void RunDiagnosticsMenu();
void RunSystemSetupMenu();
void RunMaintenanceMenu();
void RunDensitySetupMenu();
void ShowInfoScreen();
