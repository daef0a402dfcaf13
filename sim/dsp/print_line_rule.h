// The DSP stand-in's own rule for one head line in print mode (mode 3). It
// runs no DSP program: this rule is simple and exact, so that a test can
// compute every printed line from the source picture. At each run the
// stand-in reads the words below from the shared window afresh and turns
// one source row into the kLineWords words of a head line:
// - colour planes (plane code 0-2, word 0x80013880) of a host image: 3 bytes
//   per pixel in the printer's B, G, R order, the byte given by word
//   0x80013FF2 (the plane code: Y reads B, M reads G, C reads R; a value
//   above 2 reads R); a byte v is level 255 - v (RGB, 255 white);
// - colour planes of an internal image (words 0x80013FEA and 0x80013FF4
//   both 1): 1 byte per pixel, the byte is the level, as the test prints
//   draw it;
// - SP (plane code 4): with word 0x80013FF4 at 0, 1-bit host rows of
//   (row length + 7) / 8 bytes, most significant bit first, a set bit level
//   0 and a clear bit level 255, so the blank row (all 0xFF) prints nothing
//   on any plane; with 0x80013FF4 at 1 (an internal image) 1 byte per pixel,
//   the byte is the level;
// - the level goes through the table-1 gradation: the word is entry `level`
//   of the last DSP table 1 taken (256 little-endian uint16); 0 while none
//   was taken;
// - the overcoat (plane code 3): 1 byte per pixel; the word is 64 x the
//   overcoat level (words 0x80013870-0x80013876) that pixel bits 3-4 pick,
//   plus the pixel's other bits (pixel & ~0x18); no gradation;
// - the row is row 0x80013FF0 of the picture at 0x80013FE6 (high) /
//   0x80013FE8 (low), rows of the bytes above one after another; a row that
//   does not lie wholly in plain RAM gives an empty line;
// - the picture is placed at dot (head width 0x80013FE0 - row length
//   0x80013882) / 2 (rounded toward zero) + the side-offset word 0x80013886
//   (signed); pixels that fall outside dots 0 .. min(head width,
//   kLineWords) - 1 are dropped; every other word of the line is 0.
// Any other plane code gives an empty line.
#pragma once

#include <cstdint>

namespace sim {

struct PrintLineWords {
  uint16_t planeCode = 0;        // 0x80013880
  uint16_t rowLength = 0;        // 0x80013882
  int16_t sideOffset = 0;        // 0x80013886
  uint16_t overcoatLevels[4]{};  // 0x80013870-0x80013876
  uint16_t headWidth = 0;        // 0x80013FE0
  uint16_t internalImage = 0;    // 0x80013FEA
  uint16_t colourByte = 0;       // 0x80013FF2
  uint16_t byteLevels = 0;       // 0x80013FF4
  uint32_t base = 0;             // 0x80013FE6 (high), 0x80013FE8 (low)
  uint16_t row = 0;              // 0x80013FF0
};

namespace print_line {

constexpr uint32_t kLineWords = 2560;
constexpr uint16_t kPlaneOvercoat = 3;
constexpr uint16_t kPlaneSp = 4;

// Bytes of one source row, and where the line's row lies.
uint32_t RowBytes(const PrintLineWords& w);
uint32_t RowAddress(const PrintLineWords& w);
// The dot the row's first pixel lands on.
int32_t FirstDot(const PrintLineWords& w);
// The level (0-255) of a pixel of a colour or SP row.
uint8_t PixelLevel(const PrintLineWords& w, const uint8_t* row, uint32_t pixel);
// The head word of a pixel; `gradation` is table 1's 512 bytes (or null).
uint16_t PixelWord(const PrintLineWords& w, const uint8_t* row, uint32_t pixel, const uint8_t* gradation);
// The whole line into out[kLineWords]; a null row gives an empty line.
void ComputeLine(const PrintLineWords& w, const uint8_t* row, const uint8_t* gradation, uint16_t* out);

}  // namespace print_line
}  // namespace sim
