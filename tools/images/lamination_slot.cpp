#include "tools/images/lamination_slot.h"

#include <stdexcept>

#include "tools/images/checksums.h"

namespace images {

namespace {
uint32_t HexText(const Bytes& b, size_t at) {
  uint32_t v = 0;
  for (size_t i = 0; i < 2; ++i) {
    const char c = static_cast<char>(b.at(at + i));
    const int d = (c >= '0' && c <= '9') ? c - '0' : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : 0;
    v = v * 16 + static_cast<uint32_t>(d);
  }
  return v;
}

Bytes FinishSlot(Bytes packed, Version firmware) {
  packed.resize(kLamiSlotBytes, 0xFF);
  PutText(packed, kLamiPackedBytes, kLamiSignature, 16);
  PutText(packed, kLamiPackedBytes + 16, HexByte(firmware.major), 2);
  PutText(packed, kLamiPackedBytes + 18, HexByte(firmware.minor), 2);
  PutU16LE(packed, kLamiPackedBytes + 20, OnesComplementSum16(packed.data(), kLamiPackedBytes));
  return packed;
}
}  // namespace

Bytes PackLaminationPixels(const Bytes& pixels) {
  if (pixels.size() % 8 != 0) throw std::invalid_argument("pixels come in groups of 8");
  Bytes packed(pixels.size() / 8, 0);
  for (size_t i = 0; i < packed.size(); ++i) {
    uint8_t byte = 0;
    for (size_t j = 0; j < 8; ++j) {
      if (pixels[8 * i + j] != 0) byte = static_cast<uint8_t>(byte | (1u << (j ^ 1)));
    }
    packed[i] = byte;
  }
  return packed;
}

Bytes BuildLaminationDownload(const std::function<bool(uint32_t pixel)>& isSet) {
  Bytes pixels(kLamiPixels, 0);
  for (uint32_t i = 0; i < kLamiPixels; ++i) {
    if (isSet(i)) pixels[i] = 0xFF;
  }
  return pixels;
}

Bytes BuildLaminationSlot(const std::function<bool(uint32_t pixel)>& isSet, Version firmware) {
  return FinishSlot(PackLaminationPixels(BuildLaminationDownload(isSet)), firmware);
}

bool IsSampleLaminationPixel(uint32_t pixel) {
  const uint32_t x = pixel % 2464;
  const uint32_t y = pixel / 2464;
  return ((x / 77) + (y / 77)) % 2 == 0;
}

Bytes BuildSampleLaminationDownload() { return BuildLaminationDownload(IsSampleLaminationPixel); }

Bytes BuildSampleLaminationSlot(Version firmware) { return BuildLaminationSlot(IsSampleLaminationPixel, firmware); }

int CheckLaminationSlot(const Bytes& slot) {
  if (slot.size() < kLamiSlotBytes) return -1;
  if (GetText(slot, kLamiPackedBytes, 16) != kLamiSignature) return -1;
  if (OnesComplementSum16(slot.data(), kLamiPackedBytes) != GetU16LE(slot, kLamiPackedBytes + 20)) return -2;
  if (HexText(slot, kLamiPackedBytes + 16) == 0 && HexText(slot, kLamiPackedBytes + 18) < 2) return -4;
  return 0;
}

}  // namespace images
