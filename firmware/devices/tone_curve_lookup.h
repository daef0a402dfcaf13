// The USB side's way to a tone curve: the address of one curve of the
// tone-curve store, for the pieces the USB task sends after
// CMD_READ_TONE_CURVE. The curves are written by the application and read by
// the USB task without a lock.
#pragma once

#include <cstdint>

#include "firmware/hal/hw.h"

// Source 1 = the current flash bank (sent from its RAM mirror, which a bank
// write being erased or programmed leaves intact), 2 = RAM; curve 1..8. Stores the curve's
// address (1536 bytes) in *pulAddress and returns the lookup's result: -1
// for a curve that cannot be named, whose address is left as the caller set
// it.
int32_t GetToneCurve(uint32_t ulSource, uint32_t ulCurve, PhysAddr* pulAddress);
