#include "firmware/service/test_print_info.h"

#include "firmware/devices/life_counters.h"
#include "firmware/printengine/dsp_link.h"
#include "firmware/service/self_print.h"
#include "firmware/service/sheet_cells.h"
#include "firmware/service/text_render.h"

namespace {

constexpr uint16_t kTextBackground = 31;

constexpr SheetCell kHeading[] = {
    {2, 0, CELL_RIBBON_LABEL, FMT_TEXT, 0, 1, "BRENTAL ORVIK M7300 PHOTO PRINTER INTERNAL TEST PRINT", nullptr},
    {2, 0, CELL_RIBBON_LABEL, FMT_TEXT, 0, 0, "MORVELAN TECHNOLOGY KT-3318 PHOTO PRINTER INTERNAL TEST PRINT", nullptr},
    Text(120, 0, CELL_SIDE_HEADING, 0),
    Label(3, 1, "<PRINTER SERIAL>"),
    Text(4, 2, CELL_SERIAL_NO, 8),
};

constexpr uint32_t kMajor = 26;
constexpr uint32_t kMinor = 28;
constexpr uint32_t kDate = 32;

constexpr SheetCell kVersions[] = {
    Label(3, 3, "<FIRMWARE VERSION>"),
    Label(5, 4, "MAIN:"),
    Text(11, 4, CELL_MAIN_INFO_TEXT, 2, kMajor),
    Label(13, 4, "."),
    Text(14, 4, CELL_MAIN_INFO_TEXT, 2, kMinor),
    Label(20, 4, "("),
    Text(21, 4, CELL_MAIN_INFO_TEXT, 10, kDate),
    Label(31, 4, ")"),
    Label(6, 5, "DSP:"),
    Text(11, 5, CELL_DSP_TEXT, 2, DSP_INFO_VERSION_MAJOR),
    Label(13, 5, "."),
    Text(14, 5, CELL_DSP_TEXT, 2, DSP_INFO_VERSION_MINOR),
    Label(20, 5, "("),
    Text(21, 5, CELL_DSP_TEXT, 10, DSP_INFO_CREATE_DATE),
    Label(31, 5, ")"),
    Text(16, 5, CELL_DSP_REVISION, 3),
    Label(4, 6, "TABLE:"),
    Value(11, 6, CELL_TABLE_HEADER, FMT_HEX, 2, nullptr, 26),
    Label(13, 6, "."),
    Value(14, 6, CELL_TABLE_HEADER, FMT_HEX, 2, nullptr, 28),
    Label(20, 6, "("),
    Text(21, 6, CELL_TABLE_TEXT, 10, 0x20),
    Label(31, 6, ")"),
};

#define COUNTER(c, r, counter) Value(c, r, CELL_COUNTER, FMT_DEC, 8, &counter)

constexpr SheetCell kSheetCounters[] = {
    Label(32, 1, "<COUNTER>"),
    Label(35, 2, "(SHEET COUNT)"),
    Label(36, 3, "TOTAL PRINT :"),
    Label(36, 4, "MAINTENANCE :"),
    Label(38, 5, "CUT COUNT :"),
    Label(39, 6, "CAROUSEL :"),
    COUNTER(48, 3, g_CounterTotal),
    COUNTER(48, 4, g_CounterMainte),
    COUNTER(48, 5, g_CounterCut),
    COUNTER(48, 6, g_CounterCarousel),
};

constexpr SheetCell kLeftHeadCounters[] = {
    Label(60, 2, "(LEFT TPH COUNT)"),
    Label(61, 3, "TOTAL PRINT :"),
    Label(61, 4, "MAINTENANCE :"),
    COUNTER(73, 3, g_CounterTotalL),
    COUNTER(73, 4, g_CounterMntL),
};

constexpr SheetCell kRightHeadCounters[] = {
    Label(85, 2, "(RIGHT TPH COUNT)"),
    Label(86, 3, "TOTAL PRINT :"),
    Label(86, 4, "MAINTENANCE :"),
    COUNTER(98, 3, g_CounterTotalR),
    COUNTER(98, 4, g_CounterMntR),
};

SheetTarget TargetOf(const CSelfPrintLevel8Letter& obj, uint32_t ulSide = 0) {
  return {obj.TextOrigin(), kTextBackground, ulSide};
}

}  // namespace

void DrawText(CSelfPrintLevel8Letter& obj, uint16_t usColumn, uint16_t usRow, const char* pszText) {
  DrawTextCells(obj.TextOrigin(), usColumn, usRow, pszText, kTextBackground);
}

void DrawFirmwareVersions(CSelfPrintLevel8Letter& obj) { DrawSheetBlock(TargetOf(obj), Block(kVersions)); }
void DrawSheetCounters(CSelfPrintLevel8Letter& obj) { DrawSheetBlock(TargetOf(obj), Block(kSheetCounters)); }
void DrawLeftHeadCounters(CSelfPrintLevel8Letter& obj) { DrawSheetBlock(TargetOf(obj), Block(kLeftHeadCounters)); }
void DrawRightHeadCounters(CSelfPrintLevel8Letter& obj) { DrawSheetBlock(TargetOf(obj), Block(kRightHeadCounters)); }

void DrawTestPrintInfo(CSelfPrintLevel8Letter& obj, uint32_t ulSide) {
  DrawSheetBlock(TargetOf(obj, ulSide), Block(kHeading));
  DrawFirmwareVersions(obj);
  DrawSheetCounters(obj);
  DrawLeftHeadCounters(obj);
  DrawRightHeadCounters(obj);
}
