// The print sizes: one paper width in the lengths the loaded ribbons allow,
// as a table of twelve records, five single sizes and seven layouts of
// multi-up sheets. The records are constant data except their dummy-line
// fields, which follow the current unit's settings. Lengths are print lines,
// widths dots.
#pragma once

#include <cstdint>

constexpr uint32_t PRINT_PLANES = 5;  // Y, M, C, overcoat, SP
constexpr uint32_t PRINT_SIZE_CUTS = 36;

// 73 words.
struct PrintSizeRecord {
  uint32_t ulSizeId;
  uint32_t aulFrontDummyLines[PRINT_PLANES];
  uint32_t ulFrontExtraLines;
  uint32_t aulRearDummyLines[PRINT_PLANES];
  uint32_t ulPrintWidth;
  uint32_t ulPrintLength;
  uint32_t ulOvercoatWidth;
  uint32_t ulOvercoatLength;
  uint32_t aulExtraLines[2];
  uint32_t ulSheetWidth;
  uint32_t aulCutPositions[PRINT_SIZE_CUTS];
  uint32_t ulCutCount;
  uint32_t aulReserved1[2];
  uint32_t ulBufferSlots;         // image buffers of one image in normal print mode
  uint32_t ulBufferSlotsMultiUp;  // the same in multi-up mode
  uint32_t ulCutterLeadLines;
  uint32_t ulColourTailLines;
  uint32_t ulOvercoatTailLines;
  uint32_t aulReserved2[2];
  uint32_t ulSourceWidth;
  uint32_t ulSourceHeight;
  uint32_t ulMargin1;
  uint32_t ulMargin2;
  uint32_t ulMargin3;
  uint32_t aulReserved3[2];
  uint32_t ulPicturesPerSheet;  // copies counted per printed sheet
};
static_assert(sizeof(PrintSizeRecord) == 73 * sizeof(uint32_t));

constexpr uint32_t PRINT_WIDTH = 2464;
constexpr uint32_t PRINT_SIZE_ROWS = 12;
// The single sizes: ids 7, 8, 9 (1208, 1808, 2408 lines), the full sizes 5
// (3024, the 8x10 ribbons) and 6 (3624, the 8x12 ribbons); ids 10-16 are
// the multi-up layouts.
constexpr uint32_t PRINT_SIZE_ID_8X10 = 5;
constexpr uint32_t PRINT_SIZE_ID_8X12 = 6;
constexpr uint32_t PRINT_SIZE_ROW_8X10 = 3;
constexpr uint32_t PRINT_SIZE_ROW_8X12 = 4;

extern PrintSizeRecord g_PrintSizeTable[PRINT_SIZE_ROWS];
inline constexpr PrintSizeRecord& g_PrintSize8x10 = g_PrintSizeTable[PRINT_SIZE_ROW_8X10];
inline constexpr PrintSizeRecord& g_PrintSize8x12 = g_PrintSizeTable[PRINT_SIZE_ROW_8X12];

// The full-size record of the selected sizes (null until a selection), and
// the one before the last selection or save.
extern PrintSizeRecord* g_pPrintSizeTable;
extern PrintSizeRecord* g_pPrevPrintSizeTable;
// Remembers the selection; IsPrintSizeTableChanged: 0 while it is the one
// remembered, else -1.
int32_t SavePrintSizeTable();
int32_t IsPrintSizeTableChanged();

// The image buffers one image of the size takes in the current print mode:
// -1 for a null record.
int32_t GetPrintSizeImageBytes(const PrintSizeRecord* pSize, uint32_t* pulSlots);
// Bytes of a one-bit-per-dot image: whole bytes per line times the lines.
uint32_t PackedImageBytes(uint32_t ulWidth, uint32_t ulLines);
