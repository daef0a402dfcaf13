#include "firmware/platform/byte_access16.h"

constinit CByteAccess16 g_ByteAccess16;

// The processor is little-endian, so the high half of the halfword at an
// odd address's even neighbour is the byte at that odd address, and the low
// half of an even address's halfword is the byte at it. Variables of this
// firmware lie in memory that takes byte accesses, so the addressed byte is
// accessed alone: a read-modify-write of the whole halfword would rewrite
// the neighbour byte (losing a change an interrupt handler made to it in
// between) and would reach past a one-byte variable.
int32_t CByteAccess16::WriteByte(void* pAddress, uint8_t ucValue) const {
  *static_cast<uint8_t*>(pAddress) = ucValue;
  return 0;
}

int32_t CByteAccess16::ReadByte(const void* pAddress, uint32_t* pulValue) const {
  *pulValue = *static_cast<const uint8_t*>(pAddress);
  return 0;
}
