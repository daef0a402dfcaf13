#include "tools/images/fpga_bitstream.h"

#include <stdexcept>

#include "tools/images/checksums.h"

namespace images {

Bytes BuildFpgaBitstream(uint32_t bytes, uint16_t revision) {
  if (bytes < kFpgaMinBytes || (bytes & 1) != 0) throw std::invalid_argument("FPGA bitstream size must be even and at least 26");
  Bytes b = PseudoRandomBytes(0xF96A0000u + revision, bytes);
  PutText(b, 0, kFpgaMagic, 16);
  PutU16LE(b, 16, revision);
  PutU16LE(b, 18, 0);
  PutU32LE(b, 20, bytes);
  PutU16LE(b, bytes - 2, OnesComplementSum16(b.data(), bytes - 2));
  return b;
}

Bytes BuildFpgaRegion(const Bytes& bitstream) {
  Bytes region(4 + bitstream.size());
  PutU32LE(region, 0, static_cast<uint32_t>(bitstream.size()));
  PutBytes(region, 4, bitstream);
  return region;
}

bool CheckFpgaBitstream(const Bytes& bitstream) {
  if (bitstream.size() < kFpgaMinBytes || (bitstream.size() & 1) != 0) return false;
  if (GetText(bitstream, 0, 16) != kFpgaMagic) return false;
  if (GetU32LE(bitstream, 20) != bitstream.size()) return false;
  return GetU16LE(bitstream, bitstream.size() - 2) == OnesComplementSum16(bitstream.data(), bitstream.size() - 2);
}

}  // namespace images
