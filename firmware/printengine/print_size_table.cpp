// The print-size table and the lookups on a record.
#include "firmware/printengine/print_mode.h"
#include "firmware/printengine/print_size.h"

namespace {

// What tells the rows apart; everything else is common to all twelve.
struct PrintSizeRow {
  uint32_t ulId;
  uint32_t ulLength;
  uint32_t aulCuts[6];
  uint32_t ulCutCount;
  uint32_t ulBufferSlotsMultiUp;
  uint32_t ulPicturesPerSheet;
};

constexpr PrintSizeRecord MakeRecord(const PrintSizeRow& row) {
  PrintSizeRecord r{};
  r.ulSizeId = row.ulId;
  const uint32_t aulFront[PRINT_PLANES] = {66, 170, 200, 180, 300};
  const uint32_t aulRear[PRINT_PLANES] = {82, 82, 82, 118, 300};
  for (uint32_t i = 0; i < PRINT_PLANES; ++i) {
    r.aulFrontDummyLines[i] = aulFront[i];
    r.aulRearDummyLines[i] = aulRear[i];
  }
  r.ulPrintWidth = PRINT_WIDTH;
  r.ulPrintLength = row.ulLength;
  r.ulOvercoatWidth = PRINT_WIDTH;
  r.ulOvercoatLength = row.ulLength;
  r.aulExtraLines[0] = 12;
  r.aulExtraLines[1] = 12;
  r.ulSheetWidth = PRINT_WIDTH;
  for (uint32_t i = 0; i < row.ulCutCount; ++i) r.aulCutPositions[i] = row.aulCuts[i];
  r.ulCutCount = row.ulCutCount;
  r.ulBufferSlots = 1;
  r.ulBufferSlotsMultiUp = row.ulBufferSlotsMultiUp;
  r.ulCutterLeadLines = 84;
  r.ulColourTailLines = 72;
  r.ulOvercoatTailLines = 72;
  r.ulSourceWidth = PRINT_WIDTH;
  r.ulSourceHeight = row.ulLength;
  r.ulPicturesPerSheet = row.ulPicturesPerSheet;
  return r;
}

}  // namespace

constinit PrintSizeRecord g_PrintSizeTable[PRINT_SIZE_ROWS] = {
    MakeRecord({7, 1208, {19, 1189}, 2, 2, 1}),
    MakeRecord({8, 1808, {19, 1789}, 2, 3, 1}),
    MakeRecord({9, 2408, {19, 2389}, 2, 4, 1}),
    MakeRecord({PRINT_SIZE_ID_8X10, 3024, {12, 3012}, 2, 6, 1}),
    MakeRecord({PRINT_SIZE_ID_8X12, 3624, {12, 3612}, 2, 6, 1}),
    MakeRecord({10, 2416, {19, 1189, 1227, 2397}, 4, 4, 2}),
    MakeRecord({11, 3016, {19, 1789, 1827, 2997}, 4, 5, 2}),
    MakeRecord({12, 3616, {19, 2389, 2427, 3597}, 4, 6, 2}),
    MakeRecord({13, 3016, {19, 1189, 1227, 2997}, 4, 5, 2}),
    MakeRecord({14, 3616, {19, 1789, 1827, 3597}, 4, 6, 2}),
    MakeRecord({15, 3616, {19, 1189, 1227, 3597}, 4, 6, 2}),
    MakeRecord({16, 3624, {19, 1189, 1227, 2397, 2435, 3605}, 6, 6, 3}),
};

PrintSizeRecord* g_pPrintSizeTable;
PrintSizeRecord* g_pPrevPrintSizeTable;

int32_t SavePrintSizeTable() {
  g_pPrevPrintSizeTable = g_pPrintSizeTable;
  return 0;
}

int32_t IsPrintSizeTableChanged() { return g_pPrintSizeTable == g_pPrevPrintSizeTable ? 0 : -1; }

int32_t GetPrintSizeImageBytes(const PrintSizeRecord* pSize, uint32_t* pulSlots) {
  if (pSize == nullptr) return -1;
  *pulSlots = g_ulPrintMode == PRINT_MODE_MULTI_UP ? pSize->ulBufferSlotsMultiUp : pSize->ulBufferSlots;
  return 0;
}

uint32_t PackedImageBytes(uint32_t ulWidth, uint32_t ulLines) {
  const uint32_t ulBytesPerLine = ulWidth / 8 + (ulWidth % 8 != 0 ? 1u : 0u);
  return ulBytesPerLine * ulLines;
}
