// NOR flash erase and program (16-bit device, AMD command set, at
// 0x60000000-0x607FFFFF): the command sequences go out as write batches
// (IOCTL_WRITE_BATCH) and completion is polled with a 10-second time-out.
#pragma once

#include <cstdint>

#include "firmware/hal/hw.h"
#include "firmware/platform/ioctl_word.h"

// Erases the sector holding the address (up to four attempts): 0, or -1
// (also at once for an address outside the flash).
int32_t FlashEraseSector(PhysAddr ulAddress);

// Programs (ulLength + 1) / 2 halfwords from the source to the address
// onwards: 0, or -1 at the first failing word (also at once for a
// destination outside the flash). With ulDirect = 1 the source word carries
// a host pointer read as memory; otherwise a physical address read halfword
// by halfword through IoctlRead16 (a source in flash or another window).
// Words of all ones are skipped: programming them would change no bit.
int32_t FlashProgram(PhysAddr ulAddress, IoctlWord source, uint32_t ulLength, uint32_t ulDirect);

// One attempt each; the base is always the flash base.
int32_t FlashEraseOnce(PhysAddr ulBase, uint32_t ulOffset);
int32_t FlashProgramWordOnce(PhysAddr ulBase, uint32_t ulOffset, uint16_t usValue);

// The status read and the reset write.
uint16_t FlashReadWord(PhysAddr ulAddress);
void FlashWriteWord(PhysAddr ulAddress, uint16_t usValue);
