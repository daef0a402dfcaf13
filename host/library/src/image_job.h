// The image pipeline's share of a session's job settings: the image's
// geometry, the row counter, the progress of the staged send, the 3x3
// filter and the six lookup tables.
#pragma once

#include <cstdint>

namespace hostlib {

inline constexpr int kLutEntries = 256;
inline constexpr int kLutCount = 6;    // tables 0-2 the first set, 3-5 the second
inline constexpr int kFilterTaps = 9;  // row-major, index 4 the centre
inline constexpr int32_t kFilterUnity = 100;
inline constexpr int kFilterCentre = 4;
inline constexpr uint16_t kImageTypeGrey = 1;
inline constexpr uint16_t kImageTypeRgb = 3;
inline constexpr uint16_t kImageTypeBgr = 4;  // channels in reverse order

// Three tables of one set, output channel order.
using LutSet = uint8_t[3][kLutEntries];

struct ImageJob {
  uint16_t width = 0;  // pixels per row
  uint16_t height = 0;
  uint16_t components = 3;  // bytes per pixel
  uint16_t type = kImageTypeRgb;
  uint32_t rowsConverted = 0;
  uint32_t bytesStaged = 0;
  uint32_t imageBytes = 0;
  uint32_t bytesSent = 0;
  int32_t filter[kFilterTaps] = {0, 0, 0, 0, kFilterUnity, 0, 0, 0, 0};
  uint32_t filterOn = 0;
  uint32_t filterMask = 0;  // bit i: coefficient i is not 0
  uint32_t firstSetActive = 0;
  uint32_t secondSetActive = 0;
  uint8_t lut[kLutCount][kLutEntries] = {};

  uint32_t RowBytes() const { return static_cast<uint32_t>(width) * components; }
  // Tables 0-2 (set 1) or 3-5 (set 2).
  const LutSet &Set(int set) const { return *reinterpret_cast<const LutSet *>(lut[set == 1 ? 0 : 3]); }
  // The tables of a set are all the identity.
  bool SetIsIdentity(int set) const;
};

}  // namespace hostlib
