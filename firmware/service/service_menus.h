// The service menus as the printer states use them.
#pragma once

#include <cstdint>

// The Menu key's action: runs the top menu of the current service mode.
int32_t RunModeMenu();
// Start-up: the one-second window in which a held key combination selects
// the service mode g_usServiceMode (without one: User Mode, 0). 0.
int32_t SelectStartupMode();

// The ribbon size chosen in the user menu: the index into the current
// unit's row of ribbon-roll models that "Engine Version" 1 uses in place
// of the barcode.
extern uint32_t g_ulDonorSelect;

class CThvCnt;

// The key test on the panel: +, -, Menu, Enter, Advance and Clear asked for
// in turn, 3000 ms each, then the result shown for 3000 ms. 0, or -1 when a
// key was missed.
int32_t CheckKeyTest();
// The head-voltage auto tuning of each setting of a unit's list at the
// head's resistance: 0, or -1 at the first failure.
int32_t AutoTuneThvList(CThvCnt* const* ppList, uint32_t ulHeadResistance);
