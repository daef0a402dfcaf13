// The microsecond time base on the FPGA's 32-bit down-counter (run bit 0 of
// FPGA_TIMER_CTRL, one count per microsecond). It has no state of its own:
// g_UsTimer is the object every caller names. Readings are the counter
// inverted, i.e. microseconds since the last load; differences are unsigned
// 32-bit subtractions, harmless across the wrap for any wait shorter than
// 71.6 minutes.
#pragma once

#include <cstdint>

#include "firmware/platform/global_build.h"

class CUsTimer {
 public:
  constexpr CUsTimer() = default;
  // The machine definition's construction, after the FPGA is configured and
  // g_FpgaMain built: starts the counter.
  explicit CUsTimer(GlobalBuild) { Start(); }

  // Loads 0xFFFFFFFF and lets the counter run.
  void Start() const;
  // Clears the run bit.
  void Stop() const;
  // Stop, load, run.
  void Restart() const;

  // Microseconds since the last load.
  uint32_t NowUs() const;

  constexpr uint32_t MsToTicks(uint32_t ulMs) const { return 1000u * ulMs; }
  constexpr uint32_t UsToTicks(uint32_t ulUs) const { return ulUs; }
  constexpr uint32_t Elapsed(uint32_t ulStart, uint32_t ulNow) const { return ulNow - ulStart; }

  // Busy-waits until at least ulUs & 0xFFFF microseconds have passed and
  // returns the time of the last reading.
  uint32_t WaitUs(uint32_t ulUs) const;
};

extern CUsTimer g_UsTimer;
