// The stored pattern: each object loads the flash data into its plane; the
// rows come from the one reader all three share.
#include "firmware/service/ams_pattern_data.h"
#include "firmware/service/self_print.h"

CSelfPrintAMS::CSelfPrintAMS(GlobalBuild) {
  TakePlane(++s_usInstances);
  g_pAmsPatternAddr = AMS_PATTERN_FLASH;
}

void CSelfPrintAMS::Draw() {
  if (m_pDrawer != nullptr) g_AmsPatternData.Load(g_pAmsPatternAddr, m_pDrawer);
}

void CSelfPrintAMS::Reset() { g_AmsPatternData.Reset(); }

uint16_t CSelfPrintAMS::NextRow() { return g_AmsPatternData.NextRow(); }

uint16_t CSelfPrintAMS::RowOf(uint16_t usLine) { return g_AmsPatternData.RowOf(usLine); }
