// The status sheet: the printer's identity, firmware versions, head data
// and voltages, counters, thresholds, configuration and error log as a
// page of text cells drawn from the text base of a CSelfPrintString.
#pragma once

#include <cstdint>

#include "firmware/hal/hw.h"
#include "firmware/service/sheet_cells.h"

class CSelfPrintString;

// The sheet's blocks in drawing order.
extern const SheetBlock g_aStatusSheetBlocks[];
extern const uint32_t g_ulStatusSheetBlockCount;

// Text cell (column, row) at the object's text base: foreground 255 on 0.
void DrawSheetText(CSelfPrintString& obj, uint16_t usColumn, uint16_t usRow, const char* pszText);
// Draws the whole sheet; changes nothing but the head-voltage outputs it
// measures.
void DrawStatusSheet(CSelfPrintString& obj);
