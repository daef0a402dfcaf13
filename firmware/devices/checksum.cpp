#include "firmware/devices/checksum.h"

namespace {

// Ranges are read in blocks of 128 halfwords, one block read each.
constexpr uint32_t kBlockBytes = 256;

// Brings one block of the range into pucBuffer, or points straight at it in
// plain RAM; returns where the bytes are.
const uint8_t* FetchBlock(PhysAddr ulAddress, uint32_t ulBytes, uint8_t* pucBuffer, uint32_t ulMode) {
  if (ulMode == CHECKSUM_READ_DIRECT) {
    return static_cast<const uint8_t*>(PhysToHost(ulAddress, ulBytes));
  }
  HwReadBlock(ulAddress, pucBuffer, ulBytes);
  return pucBuffer;
}

}  // namespace

uint32_t AddOnesComplement16(uint32_t ulAcc, const uint8_t* pucBytes, uint32_t ulHalfwords) {
  for (uint32_t i = 0; i < ulHalfwords; ++i) {
    const uint32_t ulHalf = static_cast<uint32_t>(pucBytes[2 * i]) | (static_cast<uint32_t>(pucBytes[2 * i + 1]) << 8);
    ulAcc += ulHalf;
    ulAcc = (ulAcc & 0xFFFFu) + (ulAcc >> 16);  // end-around carry on every step
  }
  return ulAcc;
}

uint32_t AddWrapping16(uint32_t ulAcc, const uint8_t* pucBytes, uint32_t ulHalfwords) {
  for (uint32_t i = 0; i < ulHalfwords; ++i) {
    ulAcc += static_cast<uint32_t>(pucBytes[2 * i]) | (static_cast<uint32_t>(pucBytes[2 * i + 1]) << 8);
  }
  return ulAcc;
}

uint16_t FoldImageSum(uint32_t ulAcc) {
  ulAcc = (ulAcc & 0xFFFFu) + (ulAcc >> 16);
  return static_cast<uint16_t>(~((ulAcc >> 16) + (ulAcc & 0xFFFFu)));
}

int32_t OnesComplementSum16(PhysAddr ulAddress, uint32_t ulByteLength, uint16_t* pusOut, uint32_t ulMode) {
  uint8_t aucBlock[kBlockBytes];
  uint32_t ulAcc = 0;
  uint32_t ulLeft = ulByteLength & ~1u;
  while (ulLeft > 0) {
    const uint32_t ulBytes = ulLeft < kBlockBytes ? ulLeft : kBlockBytes;
    ulAcc = AddOnesComplement16(ulAcc, FetchBlock(ulAddress, ulBytes, aucBlock, ulMode), ulBytes / 2);
    ulAddress += ulBytes;
    ulLeft -= ulBytes;
  }
  *pusOut = static_cast<uint16_t>(~ulAcc);
  return 0;
}

int32_t VerifyChecksum16(PhysAddr ulAddress, uint32_t ulByteLength, uint16_t usExpected, uint32_t ulMode) {
  uint16_t usSum = 0;
  OnesComplementSum16(ulAddress, ulByteLength, &usSum, ulMode);
  return usSum == usExpected ? 0 : -1;
}

int32_t OnesComplementSum16(const void* pData, uint32_t ulByteLength, uint16_t* pusOut) {
  const uint32_t ulAcc = AddOnesComplement16(0, static_cast<const uint8_t*>(pData), ulByteLength / 2);
  *pusOut = static_cast<uint16_t>(~ulAcc);
  return 0;
}

int32_t VerifyChecksum16(const void* pData, uint32_t ulByteLength, uint16_t usExpected) {
  uint16_t usSum = 0;
  OnesComplementSum16(pData, ulByteLength, &usSum);
  return usSum == usExpected ? 0 : -1;
}

int32_t CheckImageSum16(PhysAddr ulAddress, uint32_t ulByteLength) {
  uint8_t aucBlock[kBlockBytes];
  uint32_t ulAcc = 0;
  uint32_t ulLeft = ulByteLength & ~1u;
  while (ulLeft > 0) {
    const uint32_t ulBytes = ulLeft < kBlockBytes ? ulLeft : kBlockBytes;
    HwReadBlock(ulAddress, aucBlock, ulBytes);
    ulAcc = AddWrapping16(ulAcc, aucBlock, ulBytes / 2);
    ulAddress += ulBytes;
    ulLeft -= ulBytes;
  }
  if ((ulByteLength & 1u) != 0) {
    // The odd last byte counts as a value 0..255: the low byte of the
    // halfword that holds it.
    HwReadBlock(ulAddress, aucBlock, 2);
    ulAcc += aucBlock[0];
  }
  return FoldImageSum(ulAcc) == 0 ? 0 : -1;
}
