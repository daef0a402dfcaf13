// The DSP stand-in's own rule for the image jobs (modes 6 and 7). It runs
// no DSP program: the rule is simple and exact, so that a test can compute
// every destination byte from the source picture. At each rising run bit of
// mode 6 or 7 the stand-in reads the request words (16 bits each, an
// address as its low word, then its high word) and produces destination
// rows from the first line word on:
// - destination row r lies at destination + r x print width: print-width
//   bytes, one per pixel; rows at or past the total lines are not written;
// - mode 7 (copy) fills every row with 0;
// - mode 6 (processing): the source row of line r is r, or entry r of the
//   plane's row table (uint16, little-endian, at 0xC7F00000, 0xC7F10000,
//   0xC7F20000 for Y, M, C) when the plane's row-table flag is 1; lines at
//   or past the source height give a row of 0;
// - three equal source addresses mean interleaved host pixels: 3 bytes per
//   pixel B, G, R, rows of 3 x source width bytes; the pixel is the mean
//   density 255 - (B + G + R) / 3;
// - otherwise three planes of one byte per pixel (Y, M, C levels), rows of
//   source width bytes; the pixel is the mean density (Y + M + C) / 3;
// - integer division; bits 3-4 of every pixel are cleared (the text overlay
//   owns them); pixels at or past the source width are 0; a source row that
//   does not lie wholly in plain RAM gives a row of 0 (a missing plane's
//   bytes count as 0 in the mean);
// - the two margins are taken but not used.
#pragma once

#include <cstdint>
#include <functional>

namespace sim {

struct ImageJobWords {
  uint16_t mode = 0;                 // the mode the request runs in (6 or 7)
  uint16_t sourceWidth = 0;          // 0x800138E0
  uint16_t sourceHeight = 0;         // 0x800138E2
  uint16_t printWidth = 0;           // 0x800138E4
  uint16_t totalLines = 0;           // 0x800138E6
  uint16_t margins[2]{};             // 0x800138E8, 0x800138EA
  uint32_t sources[3]{};             // 0x800138EC-0x800138F6 (Y, M, C)
  uint32_t destination = 0;          // 0x800138F8 (low), 0x800138FA (high)
  uint16_t rowTableFlags[3]{};       // 0x800138FC-0x80013900
  uint16_t firstLine = 0;            // 0x80013902
};

namespace image_job {

constexpr uint16_t kModeProcess = 6;
constexpr uint16_t kModeCopy = 7;
constexpr uint32_t kRowTables[3] = {0xC7F00000u, 0xC7F10000u, 0xC7F20000u};
constexpr uint8_t kOverlayBits = 0x18;

// Plain RAM of the board: a pointer to `bytes` bytes at an address, or
// null when they do not lie wholly in RAM.
using RamReader = std::function<const uint8_t*(uint32_t addr, uint32_t bytes)>;

bool Interleaved(const ImageJobWords& w);
// The source row of plane 0-2 for destination line r.
uint32_t SourceRow(const ImageJobWords& w, uint32_t plane, uint32_t line, const RamReader& ram);
// Destination row `line` into out[print width].
void ComputeRow(const ImageJobWords& w, uint32_t line, const RamReader& ram, uint8_t* out);

}  // namespace image_job
}  // namespace sim
