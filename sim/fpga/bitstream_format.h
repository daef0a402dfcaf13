// The configuration bitstream of the board's FPGA, as the image tools write
// it and the virtual FPGA takes it (header-only: tools/ and sim/ both
// include it, so the two always agree).
//
// The stream, n = kDeviceBytes bytes, sent least significant bit first:
//   0   16 chars  kSyncText, the sync that starts every stream
//   16  u16 LE    design revision (the FPGA's version register reports it)
//   18  u16 LE    reserved, 0
//   20  u32 LE    n
//   24  ...       configuration payload
//   n-2 u16 LE    check word: the complemented ones'-complement sum of the
//                 (n - 2) / 2 little-endian halfwords before it
//
// The device takes exactly kDeviceBytes: a stream with another sync, another
// length or a wrong check word is refused (the FPGA pulls its status line
// low and never raises CONF_DONE), as a real FPGA refuses the bitstream of
// another device or a damaged one.
//
// In flash at 0x602E0000: the 32-bit little-endian byte count, then the
// stream from 0x602E0004. The area ends where the test-pattern data starts
// (0x60330000).
#pragma once

#include <cstdint>

namespace sim::fpga {

inline constexpr char kSyncText[] = "BOM7300 FPGA CFG";
inline constexpr uint32_t kSyncBytes = 16;
inline constexpr uint32_t kRevisionOffset = 16;
inline constexpr uint32_t kLengthOffset = 20;
inline constexpr uint32_t kHeaderBytes = 24;
inline constexpr uint32_t kCheckWordBytes = 2;
inline constexpr uint32_t kMinBytes = kHeaderBytes + kCheckWordBytes;
inline constexpr uint32_t kDeviceBytes = 4096;

inline constexpr uint32_t kFlashCountAddr = 0x602E0000u;
inline constexpr uint32_t kFlashStreamAddr = 0x602E0004u;
inline constexpr uint32_t kFlashAreaEnd = 0x60330000u;

static_assert(sizeof kSyncText - 1 == kSyncBytes);
static_assert(kFlashStreamAddr + kDeviceBytes <= kFlashAreaEnd);

}  // namespace sim::fpga
