// The text block of the internal test print (the eight steps with text):
// heading, printer serial number, firmware versions and counters, drawn
// from the text origin of a CSelfPrintLevel8Letter (row 7 of its plane).
#pragma once

#include <cstdint>

class CSelfPrintLevel8Letter;

// Text cell (column, row) at the object's text origin: 255 on 31.
void DrawText(CSelfPrintLevel8Letter& obj, uint16_t usColumn, uint16_t usRow, const char* pszText);
// Side 0: no head line; 1 "** LEFT TPH **"; 2 "** RIGHT TPH **".
void DrawTestPrintInfo(CSelfPrintLevel8Letter& obj, uint32_t ulSide);
void DrawFirmwareVersions(CSelfPrintLevel8Letter& obj);
void DrawSheetCounters(CSelfPrintLevel8Letter& obj);
void DrawLeftHeadCounters(CSelfPrintLevel8Letter& obj);
void DrawRightHeadCounters(CSelfPrintLevel8Letter& obj);
