#include "tools/images/dsp_image.h"

#include "tools/images/checksums.h"

namespace images {

Bytes BuildDspImage(const DspImageParams& params) {
  Bytes image = PseudoRandomBytes(0xD5900000u + params.version.major * 256u + params.version.minor, kDspImageBytes);
  static const struct {
    uint32_t offset;
    const char* marker;
  } kSections[] = {
      {0x00000, "BOM7300 DSP INT 1"}, {0x08000, "BOM7300 DSP INT 2"}, {0x10000, kDspInternalEntryMarker},
      {0x20000, "BOM7300 DSP SDR 1"}, {0x28000, "BOM7300 DSP SDR 2"}, {0x30000, kDspSdramEntryMarker},
  };
  for (const auto& s : kSections) PutText(image, s.offset, s.marker, 32, '\0');

  for (uint32_t i = kDspInfoOffset; i < kDspImageBytes; ++i) image[i] = 0;
  PutText(image, kDspInfoOffset + 0, params.programName, 8);
  PutText(image, kDspInfoOffset + 16, params.programType, 16);
  PutText(image, kDspInfoOffset + 32, HexByte(params.version.major), 2);
  PutText(image, kDspInfoOffset + 34, HexByte(params.version.minor), 2);
  PutText(image, kDspInfoOffset + 36, params.revisionText, 2);
  PutText(image, kDspInfoOffset + 38, params.createDate, 10);
  PutU16LE(image, kDspChecksumOffset, OnesComplementSum16(image.data(), kDspInfoOffset));
  return image;
}

int CheckDspImage(const Bytes& image) {
  if (image.size() < kDspImageBytes) return -4;
  return GetU16LE(image, kDspChecksumOffset) == OnesComplementSum16(image.data(), kDspInfoOffset) ? 0 : -4;
}

}  // namespace images
