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
};

extern CHeadPreheatBoth g_PreheatBoth;
