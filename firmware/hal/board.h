// Board-support calls of the kernel port.
#pragma once

#include <cstdint>

// Starts the upper half of timer 0, free-running at 24 MHz.
void BoardStartUsCounter();
// Microseconds since the counter was started (wraps at 32 bits).
uint32_t BoardReadUsCounter();
// Busy wait of at least ulUs microseconds on the free-running counter.
void BoardWaitUs(uint32_t ulUs);
// Lets the watchdog restart the board; does not return.
[[noreturn]] void BoardWatchdogRestart();

// A board may run an application entry of its own in place of the
// firmware's (a test rig that exercises one layer); the target never does.
using BoardApplicationEntry = void (*)();
BoardApplicationEntry BoardApplicationOverride();

// Called by the main loop before each of its passes. A test board may run
// a step of its own in the application task there; the target does
// nothing.
void BoardIdlePass();
