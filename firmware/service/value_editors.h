// The two-part editor of the settings with one decimal and the head-density
// menus.
#pragma once

#include <cstdint>

class CParameter;

// The head whose densities "Density         " edits: 1 unit L, 2 unit R.
extern uint16_t g_usDensityHead;

// Edits major.minor (minor one digit) within major min .0 to major max .0:
// Menu/Feed step the major, +/- the minor, Enter stores both and stays,
// Clear leaves with 0.
int32_t EditParamPair(CParameter* pMajor, CParameter* pMinor);

// "Density         ": the head choice "TPH1 Left" / "TPH2 Right", then the
// density menu of that head.
void RunDensityMenu();
