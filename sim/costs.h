// What each kind of access costs on the target, in nanoseconds of virtual
// time. The firmware's timing behaviour (reads per millisecond, debounce
// counts, poll intervals) follows from this table; tests pin the figures
// derived from it. docs/ARCHITECTURE.md documents the table.
#pragma once

#include "sim/clock.h"

namespace sim::cost {

constexpr Nanos kKernelCall = 1000;       // a µITRON service call
constexpr Nanos kSocRegister = 40;        // SoC peripheral register
constexpr Nanos kFpgaAccess = 150;        // asynchronous FPGA access on the external memory bus
constexpr Nanos kFlashAccess = 120;       // asynchronous NOR flash access
constexpr Nanos kSdramWord = 20;          // SDRAM word
constexpr Nanos kOnChipRamWord = 10;      // low RAM and on-chip shared RAM word
constexpr Nanos kBulkCopyPerByte = 4;     // memcpy-like bulk copies between memories
constexpr Nanos kBulkPiece = 1000;        // bulk copies pass a switch point about every µs
constexpr Nanos kSharedWord = 10;         // a word shared with an interrupt handler
constexpr Nanos kClockRead = 60;          // reading a time base
constexpr Nanos kRelax = 10;              // one turn of a spin
constexpr Nanos kIrqMask = 10;            // setting or clearing the interrupt mask
constexpr Nanos kInterruptEntry = 500;    // entering and leaving an interrupt handler
constexpr Nanos kTickPeriod = kNsPerMs;   // the kernel's system tick

}  // namespace sim::cost
