// The one way to end the application: a stop flag that the main loop, every
// menu and every key poll watch. It is only ever set, never cleared.
#pragma once

#include <cstdint>

// Non-zero ends the main loop and every menu loop, and makes key polls
// report the Clear key.
extern volatile uint32_t g_ulMainLoopStop;

// Both set g_ulMainLoopStop to 1 (a single word store, from any task): the
// first on every system-reset path, the second for the start-up key chord
// that ends the application.
void RequestSystemReset();
void RequestApplicationExit();

// Closes the USB device and switches the GPIO bank-0 pin interrupts off;
// run when the main loop ends.
int32_t ShutdownApplicationIo();
// Writes the low 16 bits of "ExitPrint1" to the exit-print comparator;
// returns 0.
int32_t ApplyExitPrintThreshold();
