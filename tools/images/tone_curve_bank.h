// A tone-curve bank (flash 0x60360000 or 0x60370000, one 64 KB sector each;
// 12800 bytes written, the rest left erased):
//   0      8 x 1536  curves 1-8, 768 u16 LE each (Y, M, C channels of 256)
//   12288  16 chars  mark "TERAVO QRX-T8820"
//   12304  2 chars   versionMajorText of the firmware that wrote the bank
//   12306  2 chars   versionMinorText
//   12308  8 x u16   curve states (0 default, 1 host curve kept in flash)
//   12324  474 bytes not defined (0xFF here)
//   12798  u16       OnesComplementSum16 of bytes 0-12287
#pragma once

#include <array>
#include <cstdint>

#include "tools/images/bytes.h"

namespace images {

constexpr uint32_t kToneBankBytes = 12800;
constexpr uint32_t kToneCurveEntries = 768;
constexpr char kToneBankMark[] = "TERAVO QRX-T8820";

using ToneCurve = std::array<uint16_t, kToneCurveEntries>;

// Entry v of each channel is v * 64.
ToneCurve DefaultToneCurve();
Bytes BuildToneCurveBank(const std::array<ToneCurve, 8>& curves, const std::array<uint16_t, 8>& states,
                         Version firmware);
// Eight default curves, every state 0.
Bytes BuildDefaultToneCurveBank(Version firmware);
// The firmware's check: 0 valid, -1 mark, -2 checksum, -4 version below 0.05.
int CheckToneCurveBank(const Bytes& bank);

}  // namespace images
