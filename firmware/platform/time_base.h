// The millisecond time base. Every wait in the application is a busy wait or
// a polled deadline on the kernel's system time (1 ms tick), read through
// IOCTL_GET_TIME. Differences are unsigned 32-bit subtractions of the later
// reading minus the earlier one, so the clock's wrap after 49.7 days is
// harmless for any shorter wait.
#pragma once

#include <cstdint>

// The system time in ms (IoctlGetTime); the clock of the flash time-outs.
uint32_t GetSystemTimeMs();

// The millisecond time base. It has no state: g_MsTimer is the object every
// caller names, and a tick of this base is one millisecond.
class CMsTimer {
 public:
  constexpr CMsTimer() = default;

  // The system time in ms. Restart returns the same.
  uint32_t NowMs() const;
  uint32_t Restart() const;

  // Milliseconds as ticks of this base; values travel as 16 bits.
  constexpr uint16_t MsToTicks(uint32_t ulMs) const { return static_cast<uint16_t>(ulMs & 0xFFFFu); }

  // This base cannot express microseconds, so every argument gives 0 ticks.
  // Callers that pass 2000, 500 or 1 us therefore wait no tick at all, and
  // the mechanism's step timings were tuned with those waits being zero; a
  // rounding conversion would add up to 2 ms to each such step. Kept as is.
  constexpr uint16_t UsToTicks(uint32_t) const { return 0; }

  // Elapsed ms between two readings, cut to 16 bits (wraps every 65.5 s).
  constexpr uint16_t ElapsedMs16(uint32_t ulStart, uint32_t ulNow) const {
    return static_cast<uint16_t>((ulNow - ulStart) & 0xFFFFu);
  }
  // Elapsed whole seconds between two readings, cut to 16 bits.
  constexpr uint16_t ElapsedSec(uint32_t ulStart, uint32_t ulNow) const {
    return static_cast<uint16_t>(((ulNow - ulStart) / 1000u) & 0xFFFFu);
  }

  // Busy-waits until at least ulMs & 0xFFFF ms have passed and returns the
  // time of the last reading; 0 returns after one reading. The wait is
  // 16 bits wide: WaitMs(70000) waits 4464 ms. The callers that pass more
  // than 65535 ms were timed on the printer with that shorter wait (their
  // sequences and their time-outs around them depend on it), so the width
  // stays.
  uint32_t WaitMs(uint32_t ulMs) const;

  // No operation: the system time runs from the kernel's start.
  void Start() const {}
  void Stop() const {}
};

extern CMsTimer g_MsTimer;
