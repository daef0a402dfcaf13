// Text pages as data: a block is a table of cells {column, row, source,
// format}, drawn in table order in 16 x 16 text cells (text_render.h).
// Every value of a block is read before any of its cells is drawn, so a
// block lists its labels first and then the values they name.
#pragma once

#include <cstdint>

#include "firmware/hal/hw.h"

enum CellSource : uint8_t {
  CELL_LABEL,            // the cell's text
  CELL_CONSTANT,         // ulArg
  CELL_SETTING,          // CParameter::GetValue of the object
  CELL_COUNTER,          // CLifeCounter::GetValue
  CELL_THRESHOLD,        // CColorSensor::GetThreshold
  CELL_THV_MV,           // CThvCnt::ReadThvMilliVolt (walks the supply first)
  CELL_MAIN_INFO_TEXT,   // main image's information block: ulArg offset, width characters
  CELL_BOOT_INFO_TEXT,   // the boot area's block, likewise
  CELL_DSP_TEXT,         // DSP information block in flash, likewise
  CELL_DSP_REVISION,     // "." and the revision characters, nothing for "00"
  CELL_TABLE_TEXT,       // TABLE image bytes at ulArg, width characters
  CELL_TABLE_HEADER,     // ReadTableHeaderField(ulArg)
  CELL_FPGA_VERSION,     // FPGA_VERSION shifted right by ulArg
  CELL_HEAD_SERIAL,      // head EEPROM bytes 10-18 of unit ulArg
  CELL_HEAD_RESISTANCE,  // head EEPROM bytes 20 (low) and 21 (high) of unit ulArg
  CELL_SERIAL_NO,        // g_szSerialNo, 8 characters
  CELL_CIS_SERIAL,       // g_szCisCalibSerial, 8 characters
  CELL_ENGINE_TEXT,      // the text of "Engine Version", nothing for an unknown value
  CELL_ERROR_MAJOR,      // record ulArg of the error history
  CELL_ERROR_MINOR,
  CELL_ERROR_COUNT,
  CELL_RIBBON_LABEL,     // the text, drawn when the ribbon control type is non-zero exactly when ulArg is
  CELL_SIDE_HEADING,     // the test print's head line by side
};

enum CellFormat : uint8_t {
  FMT_TEXT,    // as read (labels and texts)
  FMT_DEC,     // width decimal digits, leading zeros
  FMT_HEX,     // width upper-case hexadecimal digits
  FMT_SIGNED,  // sign and 3 decimal digits
  FMT_BYTE,    // low eight bits as 3 decimal digits
  FMT_PAD5,    // decimal, right-aligned in 5 characters
};

struct SheetCell {
  uint8_t ucColumn;
  uint8_t ucRow;
  CellSource eSource;
  CellFormat eFormat;
  uint8_t ucWidth;  // digits, or the characters of a text read from memory
  uint32_t ulArg;
  const char* pszText;
  void* pObject;
};

// Cell builders for the tables.
constexpr SheetCell Label(uint8_t ucColumn, uint8_t ucRow, const char* pszText) {
  return {ucColumn, ucRow, CELL_LABEL, FMT_TEXT, 0, 0, pszText, nullptr};
}
constexpr SheetCell Value(uint8_t ucColumn, uint8_t ucRow, CellSource eSource, CellFormat eFormat, uint8_t ucWidth,
                          void* pObject = nullptr, uint32_t ulArg = 0) {
  return {ucColumn, ucRow, eSource, eFormat, ucWidth, ulArg, nullptr, pObject};
}
constexpr SheetCell Text(uint8_t ucColumn, uint8_t ucRow, CellSource eSource, uint8_t ucWidth, uint32_t ulArg = 0) {
  return {ucColumn, ucRow, eSource, FMT_TEXT, ucWidth, ulArg, nullptr, nullptr};
}

struct SheetBlock {
  const SheetCell* pCells;
  uint32_t ulCount;
};
template <uint32_t N>
constexpr SheetBlock Block(const SheetCell (&cells)[N]) {
  return {cells, N};
}

// Where a page's text goes: the processor address of its text row 0 and
// the background level of its cells; the side selects the test print's
// head line.
struct SheetTarget {
  PhysAddr ulBase;
  uint16_t usBackground;
  uint32_t ulSide;
};

constexpr uint32_t SHEET_BLOCK_MAX_CELLS = 64;

// Reads every value of the block, then draws every cell in table order.
void DrawSheetBlock(const SheetTarget& target, const SheetBlock& block);
void DrawSheetBlocks(const SheetTarget& target, const SheetBlock* pBlocks, uint32_t ulCount);

// The engine-version texts by "Engine Version" (null: no text).
constexpr uint32_t ENGINE_TEXTS = 6;
inline constexpr const char* g_apszEngineTexts[ENGINE_TEXTS] = {nullptr,         "EM1/EM2", "EM3",
                                                                 "PPM 1st/2nd", "PPM 3rd", "MP"};
