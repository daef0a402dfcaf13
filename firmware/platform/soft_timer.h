// Six soft timers: each a start time and a duration in ms, polled by their
// users. An id belongs to nobody: any code may restart any id, and users of
// one id must not overlap in time. The usual loop is StartSoftTimer (id,
// limit), then repeat { test the awaited condition; stop if met; stop with a
// time-out once IsSoftTimerRunning (id) is 0 }.
//
// The table is shared by both tasks without a lock (the USB task uses ids 2
// and 4, the application ids 1 and 6); a reader that sees a half-written
// entry at worst sees a wrong deadline once.
#pragma once

#include <cstdint>

enum SoftTimerId : uint32_t {
  SOFT_TIMER_WAIT = 1,       // DSP power-up and handshake, paper-roll steps, tag-reader exchanges
  SOFT_TIMER_USB_REPLY = 2,  // the USB task's wait for the application's answer
  SOFT_TIMER_3 = 3,          // reserved
  SOFT_TIMER_USB_SEND = 4,   // the USB task's chunked reply send
  SOFT_TIMER_5 = 5,          // reserved
  SOFT_TIMER_LONG = 6,       // FPGA configuration, paper-roll rotation guard
};
constexpr uint32_t SOFT_TIMER_COUNT = 6;

struct SoftTimer {
  uint32_t ulStart;     // system time in ms
  uint32_t ulDuration;  // ms
};

// Entry id - 1 for the ids 1-6. An entry never started holds zeros and
// reads as expired.
extern SoftTimer g_SoftTimers[SOFT_TIMER_COUNT];

// Starts timer id with a duration in ms: 0, or -1 for an id outside 1-6
// (nothing stored).
int32_t StartSoftTimer(uint32_t ulId, uint32_t ulMs);
// -1 while the duration has not elapsed since the start, 0 once it has, and
// 0 for a bad id.
int32_t IsSoftTimerRunning(uint32_t ulId);
// The ms left while running, else 0 (also for a bad id).
uint32_t GetSoftTimerRemaining(uint32_t ulId);
