#include "firmware/devices/settings.h"

#include "firmware/devices/eeprom_cells.h"
#include "firmware/hal/global.h"

#define SETTING_DEFINE(name, ...) constinit CParameter name;
SETTINGS_ALL(SETTING_DEFINE)
#undef SETTING_DEFINE

#define SETTING_ROW(name, label, min, max, cell, head, headCell, def) \
  {&name, label, min, max, cell, head, headCell, def},
constexpr SettingSpec g_aSettingSpecs[SETTING_COUNT] = {SETTINGS_ALL(SETTING_ROW)};
#undef SETTING_ROW

namespace {

CHeadEepromCell* HeadCellOfUnit(uint32_t ulUnit, uint32_t ulAddress) {
  const int32_t lRow = FindHeadEepromRow(ulAddress);
  if (lRow < 0) return nullptr;
  return ulUnit == 0 ? g_apHeadEepromCellsL[lRow] : g_apHeadEepromCellsR[lRow];
}

void ConstructMainCellAt(uint32_t ulAddress) {
  const int32_t lRow = FindMainEepromRow(ulAddress);
  if (lRow >= 0) ConstructMainEepromCell(static_cast<uint32_t>(lRow));
}

void ConstructHeadCellAt(uint32_t ulUnit, uint32_t ulAddress) {
  const int32_t lRow = FindHeadEepromRow(ulAddress);
  if (lRow >= 0) ConstructHeadEepromCell(ulUnit, static_cast<uint32_t>(lRow));
}

void ConstructSetting(const SettingSpec& entry, bool bMainCellBuilt) {
  const CEepromCell* pMainCell = nullptr;
  if (entry.usMainCell != 0) {
    if (!bMainCellBuilt) ConstructMainCellAt(entry.usMainCell);
    pMainCell = FindMainEepromCell(entry.usMainCell);
  }
  const CHeadEepromCell* pHeadA = nullptr;
  const CHeadEepromCell* pHeadB = nullptr;
  switch (entry.eHeadCells) {
    case SETTING_HEAD_UNIT_L:
    case SETTING_HEAD_UNIT_R: {
      const uint32_t ulUnit = entry.eHeadCells == SETTING_HEAD_UNIT_L ? 0 : 1;
      ConstructHeadCellAt(ulUnit, entry.usHeadCell);
      pHeadA = HeadCellOfUnit(ulUnit, entry.usHeadCell);
      break;
    }
    case SETTING_HEAD_BOTH:
      ConstructHeadCellAt(0, entry.usHeadCell);
      ConstructHeadCellAt(1, entry.usHeadCell);
      pHeadA = HeadCellOfUnit(0, entry.usHeadCell);
      pHeadB = HeadCellOfUnit(1, entry.usHeadCell);
      break;
    case SETTING_HEAD_NONE:
      break;
  }
  hal::ConstructGlobal(*entry.pParam, entry.pszLabel, entry.lMin, entry.lMax, pMainCell, pHeadA, pHeadB, entry.lDefault);
}

}  // namespace

void ConstructSettings(SettingGroup group, bool bCellBlock) {
  const uint32_t ulEnd = static_cast<uint32_t>(group.usFirst) + group.usCount;
  if (ulEnd > SETTING_COUNT) return;
  if (bCellBlock) {
    // The block's cells in the map's order, then the settings on them.
    for (uint32_t ulRow = 0; ulRow < EEPROM_MAIN_CELL_COUNT; ++ulRow) {
      for (uint32_t i = group.usFirst; i < ulEnd; ++i) {
        if (g_aSettingSpecs[i].usMainCell == kMainEepromCells[ulRow].usAddress) ConstructMainEepromCell(ulRow);
      }
    }
  }
  for (uint32_t i = group.usFirst; i < ulEnd; ++i) ConstructSetting(g_aSettingSpecs[i], bCellBlock);
}

const SettingSpec* FindSettingSpec(const CParameter* pParam) {
  for (const SettingSpec& entry : g_aSettingSpecs) {
    if (entry.pParam == pParam) return &entry;
  }
  return nullptr;
}
