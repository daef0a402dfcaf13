// The sample FPGA configuration: what the firmware sends to the FPGA, bit by
// bit, at every start.
//
// In flash (and at the same offset of every MAIN image) at 0x602E0000: a
// 32-bit little-endian byte count n, then the n bitstream bytes.
//
// The sample bitstream of the virtual board, n bytes:
//   0   16 chars  "BOM7300 FPGA CFG"
//   16  u16 LE    design revision
//   18  u16 LE    reserved, 0
//   20  u32 LE    n
//   24  ...       configuration payload (deterministic filler)
//   n-2 u16 LE    OnesComplementSum16 of bytes 0 .. n-3
// so that the FPGA model can tell a complete, intact bitstream from a
// damaged one. The layout and the length the virtual FPGA takes are agreed
// in sim/fpga/bitstream_format.h.
#pragma once

#include <cstdint>
#include <string_view>

#include "sim/fpga/bitstream_format.h"
#include "tools/images/bytes.h"

namespace images {

constexpr std::string_view kFpgaMagic{sim::fpga::kSyncText, sim::fpga::kSyncBytes};
// The length the board's FPGA takes; other sizes build bitstreams it refuses.
constexpr uint32_t kFpgaDefaultBytes = sim::fpga::kDeviceBytes;
constexpr uint32_t kFpgaMinBytes = sim::fpga::kMinBytes;

// A sample bitstream of `bytes` bytes (at least kFpgaMinBytes, even).
Bytes BuildFpgaBitstream(uint32_t bytes = kFpgaDefaultBytes, uint16_t revision = 1);
// The region as it lies in flash: count, then the bitstream.
Bytes BuildFpgaRegion(const Bytes& bitstream);
// True when the bytes are a complete sample bitstream with a good checksum.
bool CheckFpgaBitstream(const Bytes& bitstream);

}  // namespace images
