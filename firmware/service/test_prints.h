// The test prints: launchers that turn a pattern into an internal print
// job (pickers first, then the job, its images drawn into large buffers),
// the "Test Print Mode" pages, and the status sheet. Application task only;
// a launcher returns after queuing, and the main loop prints the job once
// the menus have closed.
#pragma once

#include <cstdint>

#include "firmware/control/menu.h"

class CSelfPrint;

// Set to 1 by the pickers' Enter handlers; a launcher goes on after a
// picker only when it is 1.
extern uint16_t g_usTestPrintConfirm;
// The copies chosen in the "Print Number" picker (1 at start-up).
extern uint16_t g_usTestPrintCount;
// The level chosen in the "Gray Level" picker.
extern uint16_t g_usTestGrayLevel;

// The launchers (item handlers).
void PrintDefaultPattern();
void PrintGrayPattern();
void PrintCrossPattern();
// Gloss or matte, with or without the imprint texts, by the item chosen.
void Print8LevelPattern();
void Print8LevelLetter();
void PrintRegiPattern();
void PrintHPattern();
// Always on the 8x10 size (3024 lines), whatever the loaded media.
void PrintAmsPattern();
void PrintTargetBPattern();
// The user test print: the standard pattern, or the steps with text on a
// colour-sensor ribbon.
void PrintDefaultTestPrint();
// Prints the status sheet as a one-image internal job (print mode 0):
// returns 0 (the host's diagnosis answers by its own rule).
int32_t PrintStatusSheet();

// "Test Print Mode ": "TestPrint Failed" for 3000 ms while an error is
// active, else the nine pattern pages.
void RunTestPrintMenu();
// The "8Level Pattern  " page: its four variants.
void PrintLevel8Menu();

// The pickers: one-page lists run by the launchers.
extern const MenuDesc* const g_apPrintNumberPages[];
extern const MenuDesc* const g_apGrayLevelPages[];
constexpr uint32_t PRINT_NUMBER_ITEMS = 41;
constexpr uint32_t GRAY_LEVEL_ITEMS = 9;
extern const uint16_t g_ausPrintNumbers[PRINT_NUMBER_ITEMS];
extern const uint16_t g_ausGrayLevels[GRAY_LEVEL_ITEMS];
void PrintNumberTitle();
void PrintNumberItem();
void GrayLevelTitle();
void GrayLevelItem();
