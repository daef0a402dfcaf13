// The DSP program image (the package's DSP file; flash 0x605C0000-0x605FFFFF),
// 256 KB:
//   0x00000  internal-memory program: sections of 32 KB (+0), 32 KB
//            (+0x8000) and 64 KB (+0x10000), loaded to 0x11E00000,
//            0x11F00000 and 0x11800000
//   0x20000  SDRAM program: the same three sections, loaded to 0xC5000000,
//            0xC5008000 and 0xC5010000
//   0x3FF80  DspInfoBlock, 128 bytes (the last bytes of the SDRAM program):
//     0   8 chars   programName
//     8   8 bytes   0
//     16  16 chars  programType
//     32  2 chars   versionMajorText
//     34  2 chars   versionMinorText
//     36  2 chars   versionRevisionText ("00": none)
//     38  10 chars  createDate
//     48  u16 LE    imageChecksum: OnesComplementSum16 of image bytes 0..0x3FF7F
//     50  78 bytes  0
// The sample sections open with a marker text ("BOM7300 DSP INT 1" ...
// "BOM7300 DSP SDR 3") followed by deterministic filler.
#pragma once

#include <cstdint>
#include <string>

#include "tools/images/bytes.h"

namespace images {

constexpr uint32_t kDspImageBytes = 0x40000;
constexpr uint32_t kDspInfoOffset = 0x3FF80;
constexpr uint32_t kDspChecksumOffset = kDspInfoOffset + 48;
constexpr uint32_t kDspSdramOffset = 0x20000;

// The markers of each half's third section: where its program starts.
inline constexpr char kDspInternalEntryMarker[] = "BOM7300 DSP INT 3";
inline constexpr char kDspSdramEntryMarker[] = "BOM7300 DSP SDR 3";

struct DspImageParams {
  std::string programName = "KT3318DS";
  std::string programType = "KT-3318 DSP";
  Version version;
  std::string revisionText = "00";
  std::string createDate = "2024/01/15";
};

Bytes BuildDspImage(const DspImageParams& params = {});
// The firmware's check: 0 when the stored checksum matches, -4 otherwise.
int CheckDspImage(const Bytes& image);

}  // namespace images
