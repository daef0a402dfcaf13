// The stored test pattern: bands of coloured segments in flash, drawn into
// an image plane (band b becomes row b) and answering the print engine's
// row questions for it.
//
// Flash format, little-endian, records packed one after another:
//   header   4 bytes: u16 (not read), u16 band count
//   band     6 bytes: u16 height in lines, u16 (not read), u16 segment count,
//            followed directly by its segments
//   segment  5 bytes: u16 width in dots, u8 red, u8 green, u8 blue
// Segments lie side by side from column 0; a segment's plane levels are the
// complements of its colour (Y 255 - blue, M 255 - green, C 255 - red).
//
// Stored data is not trusted: at most AMS_MAX_BANDS bands are read (erased
// flash reads 65535), and a segment is clipped at the print width, one
// starting at or past it drawing nothing.
#pragma once

#include <cstdint>

#include "firmware/hal/hw.h"
#include "firmware/platform/global_build.h"

class CDrawPartsRect;

constexpr uint32_t AMS_MAX_BANDS = 384;
constexpr uint32_t AMS_HEADER_BYTES = 4;
constexpr uint32_t AMS_BAND_BYTES = 6;
constexpr uint32_t AMS_SEGMENT_BYTES = 5;
// Where the main firmware image carries the pattern.
constexpr PhysAddr AMS_PATTERN_FLASH = 0x60330004u;

struct AmsHeader {
  uint16_t usUnused;
  uint16_t usBandCount;
};
struct AmsBand {
  uint16_t usHeight;
  uint16_t usUnused;
  uint16_t usSegmentCount;
};
struct AmsSegment {
  uint16_t usWidth;
  uint8_t ucRed;
  uint8_t ucGreen;
  uint8_t ucBlue;
};

class CAmsPatternData {
 public:
  constexpr CAmsPatternData() = default;
  explicit CAmsPatternData(GlobalBuild) {}

  // Reads the data at the address and draws every band into the drawer's
  // plane (one row per band).
  void Load(PhysAddr ulAddress, CDrawPartsRect* pDrawer);
  // Starts the row sequence at band 0.
  void Reset();
  // The row of the next line: the k-th call after Reset answers RowOf(k).
  uint16_t NextRow();
  // The first band whose running height sum (16 bits) exceeds the line;
  // the band count beyond the last band.
  uint16_t RowOf(uint16_t usLine) const;

  static void ReadHeader(PhysAddr ulAddress, AmsHeader* pOut);
  static void ReadBand(PhysAddr ulAddress, AmsBand* pOut);
  static void ReadSegment(PhysAddr ulAddress, AmsSegment* pOut);

  uint16_t BandCount() const { return m_usBandCount; }

 private:
  void EnterBand();

  uint16_t m_usCurrentBand = 0;
  uint16_t m_usLinesLeft = 0;
  uint16_t m_usBandCount = 0;
  uint16_t m_ausBandHeights[AMS_MAX_BANDS] = {};
};

extern CAmsPatternData g_AmsPatternData;
// The pattern's flash address (set when the AMS pattern objects are built).
extern PhysAddr g_pAmsPatternAddr;
