// A lamination-pattern slot as the firmware keeps it in flash (slot 0, the
// active one, at 0x604A0000; slot 1, the stored one, at 0x60380000; each
// spans 18 sectors):
//   0        P bytes   the 8929536 pixels packed 8 to a byte: pixel 8i + j is
//                      bit (j XOR 1) of byte i, 1 = set (P = 1116192)
//   P        16 chars  signature "MORVELAN KT-3318"
//   P + 16   2 chars   versionMajorText of the firmware that wrote the slot
//   P + 18   2 chars   versionMinorText
//   P + 20   u16 LE    OnesComplementSum16 of the P packed bytes
//   P + 22   10 bytes  reserved (0xFF here)
#pragma once

#include <cstdint>
#include <functional>

#include "tools/images/bytes.h"

namespace images {

constexpr uint32_t kLamiPixels = 8929536;
constexpr uint32_t kLamiPackedBytes = kLamiPixels / 8;
constexpr uint32_t kLamiSlotBytes = kLamiPackedBytes + 32;
constexpr char kLamiSignature[] = "MORVELAN KT-3318";

// A pattern as the host downloads it (update kinds 16, 17 and 18): one byte
// per pixel, 0xFF for a set pixel and 0 for a clear one.
Bytes BuildLaminationDownload(const std::function<bool(uint32_t pixel)>& isSet);
// Packs one-byte-per-pixel data (any non-zero byte is a set pixel).
Bytes PackLaminationPixels(const Bytes& pixels);
// The slot the firmware makes of the pattern's download.
Bytes BuildLaminationSlot(const std::function<bool(uint32_t pixel)>& isSet, Version firmware);
// The sample pattern: squares of 77 pixels, alternating, in rows of 2464.
bool IsSampleLaminationPixel(uint32_t pixel);
Bytes BuildSampleLaminationDownload();
Bytes BuildSampleLaminationSlot(Version firmware);
// The firmware's check: 0 valid, -1 signature, -2 checksum, -4 written by
// a firmware older than 00.02.
int CheckLaminationSlot(const Bytes& slot);

}  // namespace images
