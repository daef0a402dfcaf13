// The media configuration of the two print units.
#pragma once

#include <cstdint>

class CMediaConfig {
 public:
  constexpr CMediaConfig() = default;
  // Size code: 0 none, 1 the 8x10 family, 2 the 8x12 family.
  int32_t SetRibbonSize(uint32_t ulUnit, uint32_t ulSize);
  int32_t SetLoadMode(uint32_t ulMode);
  int32_t SelectPrintSizeTable();
  int32_t SendMediaInfo();
  // The effective media size of the two units.
  int32_t GetMediaSize(uint32_t* pulSize) const;

 private:
  uint32_t m_aulSize[2] = {};
  uint32_t m_ulLoadMode = 0;
};

extern CMediaConfig g_MediaConfig;
