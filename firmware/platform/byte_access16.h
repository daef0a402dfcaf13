// Byte reads and writes in memory that accepts only 16-bit accesses: the
// byte is the high half of the halfword at address & ~1 for an odd address,
// the low half for an even one. Every byte copy between RAM variables and
// the EEPROM cells goes through g_ByteAccess16.
#pragma once

#include <cstdint>

class CByteAccess16 {
 public:
  constexpr CByteAccess16() = default;

  // Replaces the addressed byte of its halfword; returns 0.
  int32_t WriteByte(void* pAddress, uint8_t ucValue) const;
  // The addressed byte of its halfword into *pulValue; returns 0.
  int32_t ReadByte(const void* pAddress, uint32_t* pulValue) const;
};

extern CByteAccess16 g_ByteAccess16;
