#include "firmware/devices/eeprom_cells.h"

#include "firmware/devices/eeprom.h"
#include "firmware/hal/global.h"

#define EEPROM_DEFINE_MAIN_CELL(name) constinit CEepromCell name;
#define EEPROM_DEFINE_HEAD_CELL(name) constinit CHeadEepromCell name;
#define EEPROM_ADDRESS_OF(name) &name,
EEPROM_MAIN_CELL_NAMES(EEPROM_DEFINE_MAIN_CELL)
EEPROM_HEAD_CELL_NAMES_L(EEPROM_DEFINE_HEAD_CELL)
EEPROM_HEAD_CELL_NAMES_R(EEPROM_DEFINE_HEAD_CELL)

constexpr CEepromCell* const g_apMainEepromCells[EEPROM_MAIN_CELL_COUNT] = {
    EEPROM_MAIN_CELL_NAMES(EEPROM_ADDRESS_OF)};
constexpr CHeadEepromCell* const g_apHeadEepromCellsL[EEPROM_HEAD_CELL_COUNT] = {
    EEPROM_HEAD_CELL_NAMES_L(EEPROM_ADDRESS_OF)};
constexpr CHeadEepromCell* const g_apHeadEepromCellsR[EEPROM_HEAD_CELL_COUNT] = {
    EEPROM_HEAD_CELL_NAMES_R(EEPROM_ADDRESS_OF)};

namespace {

constexpr uint32_t CountCisBackupRows() {
  uint32_t count = 0;
  for (const EepromCellSpec& cell : kMainEepromCells) count += (cell.usMarks & EEPROM_CELL_CIS_BACKUP) != 0 ? 1 : 0;
  return count;
}
static_assert(CountCisBackupRows() == CIS_BACKUP_CELL_COUNT, "the map marks every CIS backup cell once");

// The marked rows in the map's order; the two end entries stay empty.
constexpr std::array<CEepromCell*, CIS_BACKUP_TABLE_WORDS> CollectCisBackupCells() {
  std::array<CEepromCell*, CIS_BACKUP_TABLE_WORDS> apCells{};
  uint32_t count = 0;
  for (uint32_t i = 0; i < EEPROM_MAIN_CELL_COUNT; ++i) {
    if ((kMainEepromCells[i].usMarks & EEPROM_CELL_CIS_BACKUP) != 0) apCells[count++] = g_apMainEepromCells[i];
  }
  return apCells;
}

}  // namespace

constexpr std::array<CEepromCell*, CIS_BACKUP_TABLE_WORDS> g_apCisBackupCells = CollectCisBackupCells();

int32_t FindMainEepromRow(uint32_t ulAddress) {
  for (uint32_t i = 0; i < EEPROM_MAIN_CELL_COUNT; ++i) {
    if (kMainEepromCells[i].usAddress == ulAddress) return static_cast<int32_t>(i);
  }
  return -1;
}

int32_t FindHeadEepromRow(uint32_t ulAddress) {
  for (uint32_t i = 0; i < EEPROM_HEAD_CELL_COUNT; ++i) {
    if (kHeadEepromCells[i].usAddress == ulAddress) return static_cast<int32_t>(i);
  }
  return -1;
}

CEepromCell* FindMainEepromCell(uint32_t ulAddress) {
  const int32_t lRow = FindMainEepromRow(ulAddress);
  return lRow < 0 ? nullptr : g_apMainEepromCells[lRow];
}

void ConstructMainEepromCell(uint32_t ulRow) {
  if (ulRow >= EEPROM_MAIN_CELL_COUNT) return;
  const EepromCellSpec& cell = kMainEepromCells[ulRow];
  hal::ConstructGlobal(*g_apMainEepromCells[ulRow], cell.usAddress, cell.usSize, cell.aucDefault,
                       EEPROM_CELL_INIT_BIT, cell.usVersion);
}

void ConstructHeadEepromCell(uint32_t ulUnit, uint32_t ulRow) {
  if (ulRow >= EEPROM_HEAD_CELL_COUNT) return;
  const EepromCellSpec& cell = kHeadEepromCells[ulRow];
  CHeadEepromCell* const pCell = ulUnit == 0 ? g_apHeadEepromCellsL[ulRow] : g_apHeadEepromCellsR[ulRow];
  CHeadEeprom* const pEeprom = ulUnit == 0 ? &g_HeadEepromL : &g_HeadEepromR;
  hal::ConstructGlobal(*pCell, pEeprom, cell.usAddress, cell.usSize, cell.aucDefault, EEPROM_CELL_INIT_BIT,
                       cell.usVersion);
}
