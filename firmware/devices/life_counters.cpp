#include "firmware/devices/life_counters.h"

#include "firmware/devices/eeprom_cells.h"
#include "firmware/hal/global.h"

#define LIFE_COUNTER_DEFINE(name, ...) constinit CLifeCounter name;
LIFE_COUNTERS_ALL(LIFE_COUNTER_DEFINE)
#undef LIFE_COUNTER_DEFINE

void ConstructLifeCounters(uint32_t ulFirst, uint32_t ulCount) {
  for (uint32_t i = ulFirst; i < ulFirst + ulCount && i < LIFE_COUNTER_COUNT; ++i) {
    const LifeCounterSpec& entry = g_aLifeCounterSpecs[i];
    const int32_t lMainRow = FindMainEepromRow(entry.usMainCell);
    const CEepromCell* pMainCell = nullptr;
    if (lMainRow >= 0) {
      ConstructMainEepromCell(static_cast<uint32_t>(lMainRow));
      pMainCell = g_apMainEepromCells[lMainRow];
    }
    const CHeadEepromCell* pHeadCell = nullptr;
    const int32_t lHeadRow = FindHeadEepromRow(entry.usHeadCell);
    if (entry.ucHeadUnit != LIFE_COUNTER_HEAD_NONE && lHeadRow >= 0) {
      ConstructHeadEepromCell(entry.ucHeadUnit, static_cast<uint32_t>(lHeadRow));
      pHeadCell = entry.ucHeadUnit == 0 ? g_apHeadEepromCellsL[lHeadRow] : g_apHeadEepromCellsR[lHeadRow];
    }
    hal::ConstructGlobal(*entry.pCounter, entry.pszLabel, pMainCell, pHeadCell);
  }
}
