// The head-voltage tuning screen and menu. The list tuning
// (AutoTuneThvList) is declared with the service menus.
#pragma once

#include <cstdint>

// "THV Auto Tuning " / "Auto Tuning     ": both units tuned after a
// "Tuning ?" confirmation. 0 (tuned, or not started) or the failing result.
int32_t AutoTuneThvScreen();
// Item handler of the head-voltage menu: item 1 tunes automatically, items
// 2-15 open the manual tuning of one THV object.
void RunThvMenuItem();
// "THV Setting     ": the fifteen-item head-voltage menu.
void RunThvMenu();
