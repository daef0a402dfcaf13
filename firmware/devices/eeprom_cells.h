// The EEPROM cells of the machine definition: every main cell (named
// g_Cell plus its address, or by its role) and the cells of the two head
// EEPROMs (g_HeadCellL/R plus the address), built from the map's table.
#pragma once

#include <cstdint>

#include "firmware/devices/eeprom_cell.h"
#include "firmware/devices/eeprom_map.h"

extern CEepromCell
    g_CellSerialNo, g_Cell28, g_Cell29, g_Cell30, g_Cell31, g_Cell32, g_CellCisCalibSerial, g_Cell58,
    g_Cell59, g_Cell60, g_Cell61, g_Cell62, g_Cell63, g_Cell64, g_Cell65, g_Cell66, g_Cell67, g_Cell68,
    g_Cell80, g_Cell81, g_Cell82, g_Cell83, g_Cell84, g_Cell85, g_Cell86, g_Cell87, g_Cell102, g_Cell103,
    g_Cell111, g_Cell112, g_Cell113, g_Cell114, g_Cell115, g_Cell118, g_Cell119, g_Cell120, g_Cell121,
    g_Cell122, g_Cell123, g_Cell126, g_Cell127, g_Cell128, g_Cell130, g_Cell132, g_Cell136, g_Cell140,
    g_Cell142, g_Cell144, g_Cell145, g_Cell146, g_Cell147, g_Cell148, g_Cell149, g_Cell150, g_Cell151,
    g_Cell152, g_Cell153, g_Cell154, g_Cell155, g_Cell158, g_Cell161, g_Cell164, g_Cell165, g_Cell166,
    g_Cell167, g_Cell170, g_Cell171, g_Cell172, g_Cell173, g_Cell174, g_Cell175, g_Cell176, g_Cell178,
    g_Cell179, g_Cell184, g_Cell185, g_Cell186, g_Cell187, g_Cell188, g_Cell189, g_Cell190, g_Cell191,
    g_Cell192, g_Cell194, g_Cell195, g_Cell196, g_Cell197, g_Cell198, g_Cell200, g_Cell209, g_Cell210,
    g_Cell211, g_Cell213, g_Cell214, g_Cell215, g_Cell216, g_Cell217, g_Cell218, g_Cell219, g_Cell220,
    g_Cell221, g_Cell222, g_Cell223, g_Cell224, g_Cell226, g_Cell228, g_Cell230, g_Cell232, g_Cell234,
    g_Cell236, g_Cell240, g_Cell242, g_Cell244, g_Cell246, g_Cell248, g_Cell250, g_Cell252, g_Cell256,
    g_Cell260, g_Cell264, g_Cell268, g_Cell272, g_Cell276, g_Cell280, g_Cell284, g_Cell288, g_Cell292,
    g_Cell296, g_Cell298, g_Cell300, g_Cell302, g_Cell306, g_Cell310, g_Cell314, g_Cell318, g_Cell322,
    g_Cell326, g_Cell327, g_Cell328, g_Cell329, g_Cell330, g_Cell331, g_Cell332, g_Cell333, g_Cell334,
    g_Cell335, g_Cell336, g_Cell337, g_Cell338, g_Cell339, g_Cell340, g_Cell341, g_Cell342, g_Cell343,
    g_Cell344, g_Cell345, g_Cell346, g_Cell347, g_Cell348, g_Cell352, g_Cell353, g_Cell354, g_Cell355,
    g_Cell356, g_Cell357, g_Cell358, g_Cell359, g_Cell360, g_Cell361, g_Cell362, g_Cell363, g_Cell364,
    g_Cell366, g_Cell368, g_Cell370, g_Cell372, g_Cell374, g_Cell376, g_Cell378, g_Cell380, g_Cell381,
    g_Cell384, g_Cell441, g_Cell442, g_Cell443, g_Cell444, g_Cell445, g_Cell446, g_Cell447, g_Cell448,
    g_Cell449, g_Cell450, g_Cell451, g_Cell452, g_Cell453, g_Cell454, g_Cell455, g_Cell456, g_Cell457,
    g_Cell458, g_Cell459, g_Cell460, g_Cell461, g_Cell462, g_Cell463, g_Cell464, g_Cell465, g_Cell466,
    g_Cell467, g_Cell468, g_Cell469, g_Cell470, g_Cell471, g_Cell472, g_Cell473, g_Cell474, g_Cell475,
    g_Cell476, g_Cell477, g_Cell478, g_Cell479, g_Cell480, g_Cell481, g_Cell482, g_Cell483, g_Cell484,
    g_Cell485, g_Cell486, g_Cell487, g_Cell488, g_Cell489, g_Cell490, g_Cell491, g_Cell492, g_Cell493,
    g_Cell494, g_Cell495, g_Cell496, g_Cell497, g_Cell498, g_Cell499, g_Cell500, g_Cell501, g_Cell502,
    g_Cell503, g_Cell504, g_Cell505, g_Cell506, g_Cell507, g_Cell508, g_Cell509, g_Cell510, g_Cell511;
extern CHeadEepromCell
    g_HeadCellL64, g_HeadCellL65, g_HeadCellL66, g_HeadCellL67, g_HeadCellL68, g_HeadCellL69, g_HeadCellL70,
    g_HeadCellL71, g_HeadCellL72, g_HeadCellL76, g_HeadCellL77, g_HeadCellL78, g_HeadCellL79, g_HeadCellL80,
    g_HeadCellL81, g_HeadCellL96, g_HeadCellL100;
extern CHeadEepromCell
    g_HeadCellR64, g_HeadCellR65, g_HeadCellR66, g_HeadCellR67, g_HeadCellR68, g_HeadCellR69, g_HeadCellR70,
    g_HeadCellR71, g_HeadCellR72, g_HeadCellR76, g_HeadCellR77, g_HeadCellR78, g_HeadCellR79, g_HeadCellR80,
    g_HeadCellR81, g_HeadCellR96, g_HeadCellR100;

// In the map's order, as the map's tables.
extern CEepromCell* const g_apMainEepromCells[EEPROM_MAIN_CELL_COUNT];
extern CHeadEepromCell* const g_apHeadEepromCellsL[EEPROM_HEAD_CELL_COUNT];
extern CHeadEepromCell* const g_apHeadEepromCellsR[EEPROM_HEAD_CELL_COUNT];
// The 114 one-byte CIS backup cells (187-191, 220-223, 326-347, 352-363,
// 441-511), then two empty entries that end the table.
constexpr uint32_t CIS_BACKUP_CELL_COUNT = 114;
constexpr uint32_t CIS_BACKUP_TABLE_WORDS = CIS_BACKUP_CELL_COUNT + 2;
extern CEepromCell* const g_apCisBackupCells[CIS_BACKUP_TABLE_WORDS];

// The main cell at an address, or null.
CEepromCell* FindMainEepromCell(uint32_t ulAddress);

// The machine definition's steps: every main cell in the map's order, then
// the cells of the unit L head EEPROM and of unit R. (The settings and
// counters that sit on cells will interleave with these as they join.)
void ConstructMainEepromCells();
void ConstructHeadEepromCells();
