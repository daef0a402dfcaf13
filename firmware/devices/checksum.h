// The 16-bit ones'-complement checksums that protect every image the printer
// keeps in flash or receives from the host.
//
// Two summing rules exist and both are binding, because stored images were
// made for the rule that checks them:
// - OnesComplementSum16 folds the carry back after every halfword (tables,
//   DSP program, tone curves, lamination images, CIS gain blocks);
// - CheckImageSum16 adds into a 32-bit accumulator that wraps, and folds only
//   at the end (MAIN image, CIS calibration image).
// Halfwords are little-endian: the low byte sits at the even address.
#pragma once

#include <cstdint>

#include "firmware/hal/hw.h"

// How a range given by physical address is read.
enum ChecksumReadMode : uint32_t {
  // Through block reads of the bus, 256 bytes at a time: flash, device
  // windows and RAM alike.
  CHECKSUM_READ_BLOCK = 0,
  // Directly from plain RAM (receive buffer, SDRAM staging areas).
  CHECKSUM_READ_DIRECT = 1,
};

// The ones'-complement sum of byteLength / 2 little-endian halfwords from
// the address, complemented, into *pusOut (an odd last byte is ignored; an
// empty range gives 0xFFFF). Mode CHECKSUM_READ_DIRECT reads plain RAM
// directly; every other mode reads through the bus. Returns 0.
int32_t OnesComplementSum16(PhysAddr ulAddress, uint32_t ulByteLength, uint16_t* pusOut, uint32_t ulMode);

// 0 when OnesComplementSum16 of the range equals usExpected, -1 otherwise.
int32_t VerifyChecksum16(PhysAddr ulAddress, uint32_t ulByteLength, uint16_t usExpected, uint32_t ulMode);

// The same two for the firmware's own RAM objects (the CIS gain image, a
// bank being assembled), given by pointer.
int32_t OnesComplementSum16(const void* pData, uint32_t ulByteLength, uint16_t* pusOut);
int32_t VerifyChecksum16(const void* pData, uint32_t ulByteLength, uint16_t usExpected);

// 0 when the range folds to 0xFFFF under the image rule, -1 otherwise: the
// halfwords are added into a wrapping 32-bit accumulator, an odd last byte
// is added as a value 0..255, then the accumulator is folded twice. Always
// reads through the bus.
int32_t CheckImageSum16(PhysAddr ulAddress, uint32_t ulByteLength);

// Building blocks of the rules, over bytes already in memory.
// Adds ulHalfwords little-endian halfwords to a folded accumulator, folding
// after each one; the result stays at or below 0xFFFF.
uint32_t AddOnesComplement16(uint32_t ulAcc, const uint8_t* pucBytes, uint32_t ulHalfwords);
// Adds ulHalfwords little-endian halfwords to a wrapping 32-bit accumulator.
uint32_t AddWrapping16(uint32_t ulAcc, const uint8_t* pucBytes, uint32_t ulHalfwords);
// The image rule's final double fold and complement: 0 when the sum is 0xFFFF.
uint16_t FoldImageSum(uint32_t ulAcc);
