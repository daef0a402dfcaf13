// The EEPROM cells of the machine definition: every main cell (named
// g_Cell plus its address, or by its role) and the cells of the two head
// EEPROMs (g_HeadCellL/R plus the address). One name list per EEPROM, in
// the map's order, gives the declarations, the definitions and the tables.
#pragma once

#include <array>
#include <cstdint>

#include "firmware/devices/eeprom_cell.h"
#include "firmware/devices/eeprom_map.h"

// X(name) for every main cell, row by row of kMainEepromCells.
#define EEPROM_MAIN_CELL_NAMES(X) \
    X(g_CellSerialNo) X(g_Cell28) X(g_Cell29) X(g_Cell30) X(g_Cell31) X(g_Cell32) X(g_CellCisCalibSerial) \
    X(g_Cell58) X(g_Cell59) X(g_Cell60) X(g_Cell61) X(g_Cell62) X(g_Cell63) X(g_Cell64) X(g_Cell65) X(g_Cell66) \
    X(g_Cell67) X(g_Cell68) X(g_Cell80) X(g_Cell81) X(g_Cell82) X(g_Cell83) X(g_Cell84) X(g_Cell85) X(g_Cell86) \
    X(g_Cell87) X(g_Cell102) X(g_Cell103) X(g_Cell111) X(g_Cell112) X(g_Cell113) X(g_Cell114) X(g_Cell115) \
    X(g_Cell118) X(g_Cell119) X(g_Cell120) X(g_Cell121) X(g_Cell122) X(g_Cell123) X(g_Cell126) X(g_Cell127) \
    X(g_Cell128) X(g_Cell130) X(g_Cell132) X(g_Cell136) X(g_Cell140) X(g_Cell142) X(g_Cell144) X(g_Cell145) \
    X(g_Cell146) X(g_Cell147) X(g_Cell148) X(g_Cell149) X(g_Cell150) X(g_Cell151) X(g_Cell152) X(g_Cell153) \
    X(g_Cell154) X(g_Cell155) X(g_Cell158) X(g_Cell161) X(g_Cell164) X(g_Cell165) X(g_Cell166) X(g_Cell167) \
    X(g_Cell170) X(g_Cell171) X(g_Cell172) X(g_Cell173) X(g_Cell174) X(g_Cell175) X(g_Cell176) X(g_Cell178) \
    X(g_Cell179) X(g_Cell184) X(g_Cell185) X(g_Cell186) X(g_Cell187) X(g_Cell188) X(g_Cell189) X(g_Cell190) \
    X(g_Cell191) X(g_Cell192) X(g_Cell194) X(g_Cell195) X(g_Cell196) X(g_Cell197) X(g_Cell198) X(g_Cell200) \
    X(g_Cell209) X(g_Cell210) X(g_Cell211) X(g_Cell213) X(g_Cell214) X(g_Cell215) X(g_Cell216) X(g_Cell217) \
    X(g_Cell218) X(g_Cell219) X(g_Cell220) X(g_Cell221) X(g_Cell222) X(g_Cell223) X(g_Cell224) X(g_Cell226) \
    X(g_Cell228) X(g_Cell230) X(g_Cell232) X(g_Cell234) X(g_Cell236) X(g_Cell240) X(g_Cell242) X(g_Cell244) \
    X(g_Cell246) X(g_Cell248) X(g_Cell250) X(g_Cell252) X(g_Cell256) X(g_Cell260) X(g_Cell264) X(g_Cell268) \
    X(g_Cell272) X(g_Cell276) X(g_Cell280) X(g_Cell284) X(g_Cell288) X(g_Cell292) X(g_Cell296) X(g_Cell298) \
    X(g_Cell300) X(g_Cell302) X(g_Cell306) X(g_Cell310) X(g_Cell314) X(g_Cell318) X(g_Cell322) X(g_Cell326) \
    X(g_Cell327) X(g_Cell328) X(g_Cell329) X(g_Cell330) X(g_Cell331) X(g_Cell332) X(g_Cell333) X(g_Cell334) \
    X(g_Cell335) X(g_Cell336) X(g_Cell337) X(g_Cell338) X(g_Cell339) X(g_Cell340) X(g_Cell341) X(g_Cell342) \
    X(g_Cell343) X(g_Cell344) X(g_Cell345) X(g_Cell346) X(g_Cell347) X(g_Cell348) X(g_Cell352) X(g_Cell353) \
    X(g_Cell354) X(g_Cell355) X(g_Cell356) X(g_Cell357) X(g_Cell358) X(g_Cell359) X(g_Cell360) X(g_Cell361) \
    X(g_Cell362) X(g_Cell363) X(g_Cell364) X(g_Cell366) X(g_Cell368) X(g_Cell370) X(g_Cell372) X(g_Cell374) \
    X(g_Cell376) X(g_Cell378) X(g_Cell380) X(g_Cell381) X(g_Cell384) X(g_Cell441) X(g_Cell442) X(g_Cell443) \
    X(g_Cell444) X(g_Cell445) X(g_Cell446) X(g_Cell447) X(g_Cell448) X(g_Cell449) X(g_Cell450) X(g_Cell451) \
    X(g_Cell452) X(g_Cell453) X(g_Cell454) X(g_Cell455) X(g_Cell456) X(g_Cell457) X(g_Cell458) X(g_Cell459) \
    X(g_Cell460) X(g_Cell461) X(g_Cell462) X(g_Cell463) X(g_Cell464) X(g_Cell465) X(g_Cell466) X(g_Cell467) \
    X(g_Cell468) X(g_Cell469) X(g_Cell470) X(g_Cell471) X(g_Cell472) X(g_Cell473) X(g_Cell474) X(g_Cell475) \
    X(g_Cell476) X(g_Cell477) X(g_Cell478) X(g_Cell479) X(g_Cell480) X(g_Cell481) X(g_Cell482) X(g_Cell483) \
    X(g_Cell484) X(g_Cell485) X(g_Cell486) X(g_Cell487) X(g_Cell488) X(g_Cell489) X(g_Cell490) X(g_Cell491) \
    X(g_Cell492) X(g_Cell493) X(g_Cell494) X(g_Cell495) X(g_Cell496) X(g_Cell497) X(g_Cell498) X(g_Cell499) \
    X(g_Cell500) X(g_Cell501) X(g_Cell502) X(g_Cell503) X(g_Cell504) X(g_Cell505) X(g_Cell506) X(g_Cell507) \
    X(g_Cell508) X(g_Cell509) X(g_Cell510) X(g_Cell511)

// X(name) for every cell of one head EEPROM, row by row of kHeadEepromCells.
#define EEPROM_HEAD_CELL_NAMES_L(X) \
  X(g_HeadCellL64) X(g_HeadCellL65) X(g_HeadCellL66) X(g_HeadCellL67) X(g_HeadCellL68) X(g_HeadCellL69) X(g_HeadCellL70) X(g_HeadCellL71) X(g_HeadCellL72) X(g_HeadCellL76) X(g_HeadCellL77) X(g_HeadCellL78) X(g_HeadCellL79) X(g_HeadCellL80) X(g_HeadCellL81) X(g_HeadCellL96) X(g_HeadCellL100)
#define EEPROM_HEAD_CELL_NAMES_R(X) \
  X(g_HeadCellR64) X(g_HeadCellR65) X(g_HeadCellR66) X(g_HeadCellR67) X(g_HeadCellR68) X(g_HeadCellR69) X(g_HeadCellR70) X(g_HeadCellR71) X(g_HeadCellR72) X(g_HeadCellR76) X(g_HeadCellR77) X(g_HeadCellR78) X(g_HeadCellR79) X(g_HeadCellR80) X(g_HeadCellR81) X(g_HeadCellR96) X(g_HeadCellR100)

#define EEPROM_DECLARE_MAIN_CELL(name) extern CEepromCell name;
#define EEPROM_DECLARE_HEAD_CELL(name) extern CHeadEepromCell name;
EEPROM_MAIN_CELL_NAMES(EEPROM_DECLARE_MAIN_CELL)
EEPROM_HEAD_CELL_NAMES_L(EEPROM_DECLARE_HEAD_CELL)
EEPROM_HEAD_CELL_NAMES_R(EEPROM_DECLARE_HEAD_CELL)
#undef EEPROM_DECLARE_MAIN_CELL
#undef EEPROM_DECLARE_HEAD_CELL

// In the map's order, as the map's tables.
extern CEepromCell* const g_apMainEepromCells[EEPROM_MAIN_CELL_COUNT];
extern CHeadEepromCell* const g_apHeadEepromCellsL[EEPROM_HEAD_CELL_COUNT];
extern CHeadEepromCell* const g_apHeadEepromCellsR[EEPROM_HEAD_CELL_COUNT];
// The 114 one-byte CIS backup cells (the map's marked rows, in its order),
// then two empty entries that end the table.
constexpr uint32_t CIS_BACKUP_CELL_COUNT = 114;
constexpr uint32_t CIS_BACKUP_TABLE_WORDS = CIS_BACKUP_CELL_COUNT + 2;
extern const std::array<CEepromCell*, CIS_BACKUP_TABLE_WORDS> g_apCisBackupCells;

// The map row of a main or head cell address, or -1.
int32_t FindMainEepromRow(uint32_t ulAddress);
int32_t FindHeadEepromRow(uint32_t ulAddress);
// The main cell at an address, or null.
CEepromCell* FindMainEepromCell(uint32_t ulAddress);

// Builds one cell from its map row (the machine definition builds each cell
// right before the setting or counter that sits on it).
void ConstructMainEepromCell(uint32_t ulRow);
void ConstructHeadEepromCell(uint32_t ulUnit, uint32_t ulRow);
