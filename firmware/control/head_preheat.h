// Head pre-heat of both units while the printer is idle.
#pragma once

#include <cstdint>

class CHeadPreheatBoth {
 public:
  constexpr CHeadPreheatBoth() = default;
  // Pre-heat stopped, both heads off.
  int32_t Reset();
  // A new pre-heat run starts.
  int32_t Start();
  // One pre-heat step of an idle pass.
  int32_t Step();
  // Whether the pre-heat wants unit L and unit R heated (1) or not (0).
  int32_t GetHeatFlags(uint32_t* pulHeatL, uint32_t* pulHeatR) const;
};

extern CHeadPreheatBoth g_PreheatBoth;
