// The top menus that the Menu key opens in the service modes, each in the
// variant of the ribbon control type in force when it opens, and the
// submenus that open from them.
#pragma once

#include <cstdint>

// Diagnostics and Factory Mode.
void RunDiagnosticsMenu();
void RunMaintenanceMenu();
void RunDensitySetupMenu();
void RunSystemSetupMenu();

// "Auto Diagnostics": the current state is asked for the auto-diagnosis and
// every open menu closes; the state's dispatch runs it afterwards.
void RequestAutoDiagnostics();

// "MechaParam Set  ": the mechanism-parameter list of the ribbon control
// type, and its CIS list.
void RunMechaParamMenu();
void RunCisMenu();
// "CIS Edge Check  ": the paper edge and the printed image's edge, each
// until a key.
void CisEdgeCheckScreen();

// The print-parameter lists (matte relative, matte gloss) and their item
// handlers.
void RunPrintParamMenu();
void RunPrintParamGlossMenu();
void RunPrintParamItem();
void RunPrintParamItemGloss();
