#include "tools/images/ams_pattern.h"

namespace images {

Bytes BuildAmsPattern(const std::vector<AmsBand>& bands) {
  size_t size = 4;
  for (const AmsBand& band : bands) size += 6 + 5 * band.segments.size();
  Bytes b(size);
  PutU16LE(b, 0, 0);
  PutU16LE(b, 2, static_cast<uint16_t>(bands.size()));
  size_t at = 4;
  for (const AmsBand& band : bands) {
    PutU16LE(b, at, band.height);
    PutU16LE(b, at + 2, 0);
    PutU16LE(b, at + 4, static_cast<uint16_t>(band.segments.size()));
    at += 6;
    for (const AmsSegment& s : band.segments) {
      PutU16LE(b, at, s.width);
      PutU8(b, at + 2, s.red);
      PutU8(b, at + 3, s.green);
      PutU8(b, at + 4, s.blue);
      at += 5;
    }
  }
  return b;
}

std::vector<AmsBand> SampleAmsBands() {
  // Eight colours (white, the primaries, the secondaries, black), each band
  // starting one colour further on.
  static const uint8_t kColours[8][3] = {
      {255, 255, 255}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {0, 255, 255}, {255, 0, 255}, {255, 255, 0}, {0, 0, 0},
  };
  std::vector<AmsBand> bands;
  for (int b = 0; b < 8; ++b) {
    AmsBand band{378, {}};
    for (int s = 0; s < 8; ++s) {
      const uint8_t* c = kColours[(b + s) % 8];
      band.segments.push_back(AmsSegment{308, c[0], c[1], c[2]});
    }
    bands.push_back(band);
  }
  return bands;
}

}  // namespace images
