#include "firmware/service/status_sheet.h"

#include "firmware/control/error_history.h"
#include "firmware/devices/life_counters.h"
#include "firmware/devices/machine_actuators.h"
#include "firmware/devices/settings.h"
#include "firmware/printengine/dsp_link.h"
#include "firmware/printengine/thv_control.h"
#include "firmware/service/self_print.h"
#include "firmware/service/text_render.h"

namespace {

// ---- heading and firmware versions ----------------------------------------------------

constexpr SheetCell kHeading[] = {
    Label(1, 0, "BRENTAL ORVIK COMPANY M7300 PHOTO PRINTER STATUS SHEET"),
    Label(89, 0, ":)"),
    Label(1, 2, "S/N:"),
    Text(6, 2, CELL_SERIAL_NO, 8),
};

constexpr uint32_t kName = 2;    // programName in a firmware information block
constexpr uint32_t kMajor = 26;  // version texts
constexpr uint32_t kMinor = 28;
constexpr uint32_t kDate = 32;
constexpr uint32_t kTableName = 2;  // TABLE image texts
constexpr uint32_t kTableDate = 0x20;

constexpr SheetCell kVersions[] = {
    Label(1, 4, "[F/W VERSION]"),
    Label(3, 5, "MAIN:"),
    Label(4, 6, "DSP:"),
    Label(2, 7, "TABLE:"),
    Label(3, 8, "FPGA:"),
    Label(45, 5, "MAIN BT:"),
    Text(9, 5, CELL_MAIN_INFO_TEXT, 8, kName),
    Text(19, 5, CELL_MAIN_INFO_TEXT, 2, kMajor),
    Label(21, 5, "."),
    Text(22, 5, CELL_MAIN_INFO_TEXT, 2, kMinor),
    Text(29, 5, CELL_MAIN_INFO_TEXT, 10, kDate),
    Text(53, 5, CELL_BOOT_INFO_TEXT, 8, kName),
    Text(63, 5, CELL_BOOT_INFO_TEXT, 2, kMajor),
    Label(65, 5, "."),
    Text(66, 5, CELL_BOOT_INFO_TEXT, 2, kMinor),
    Text(70, 5, CELL_BOOT_INFO_TEXT, 10, kDate),
    Text(9, 6, CELL_DSP_TEXT, 8, DSP_INFO_PROGRAM_NAME),
    Text(19, 6, CELL_DSP_TEXT, 2, DSP_INFO_VERSION_MAJOR),
    Label(21, 6, "."),
    Text(22, 6, CELL_DSP_TEXT, 2, DSP_INFO_VERSION_MINOR),
    Text(29, 6, CELL_DSP_TEXT, 10, DSP_INFO_CREATE_DATE),
    Text(24, 6, CELL_DSP_REVISION, 3),
    Text(9, 7, CELL_TABLE_TEXT, 8, kTableName),
    Value(19, 7, CELL_TABLE_HEADER, FMT_HEX, 2, nullptr, 26),
    Label(21, 7, "."),
    Value(22, 7, CELL_TABLE_HEADER, FMT_HEX, 2, nullptr, 28),
    Text(29, 7, CELL_TABLE_TEXT, 10, kTableDate),
    Label(9, 8, "--------"),
    Value(19, 8, CELL_FPGA_VERSION, FMT_HEX, 2, nullptr, 8),
    Label(21, 8, "."),
    Value(22, 8, CELL_FPGA_VERSION, FMT_HEX, 2, nullptr, 0),
    Label(29, 8, "----------"),
};

// ---- heads and CIS ----------------------------------------------------------------------

constexpr SheetCell kHeads[] = {
    Label(1, 11, "[THERMAL HEAD INFORMATION]"),
    Label(2, 12, "(LEFT)"),
    Label(27, 12, "(RIGHT)"),
    Label(10, 13, "S/N:"),
    Label(35, 13, "S/N:"),
    Label(3, 14, "RESISTANCE:"),
    Label(28, 14, "RESISTANCE:"),
    Text(15, 13, CELL_HEAD_SERIAL, 9, 0),
    Text(40, 13, CELL_HEAD_SERIAL, 9, 1),
    Value(15, 14, CELL_HEAD_RESISTANCE, FMT_PAD5, 5, nullptr, 0),
    Value(40, 14, CELL_HEAD_RESISTANCE, FMT_PAD5, 5, nullptr, 1),
    Label(52, 11, "[CIS]"),
    Label(53, 12, "S/N:"),
    Text(58, 12, CELL_CIS_SERIAL, 8),
};

// ---- head voltages ------------------------------------------------------------------------

#define THV_LABELS(d)                                                                              \
  Label(4 + d, 19, "YELLOW:"), Label(3 + d, 20, "MAGENTA:"), Label(6 + d, 21, "CYAN:"),            \
      Label(8 + d, 22, "SP:"), Label(8 + d, 23, "OP:"), Label(5 + d, 24, "MATTE:"), Label(3 + d, 25, "PREHEAT:")
#define THV_SETTINGS(d, U)                                                                         \
  Value(12 + d, 19, CELL_SETTING, FMT_DEC, 4, &g_ParamThvY##U), Value(12 + d, 20, CELL_SETTING, FMT_DEC, 4, &g_ParamThvM##U), \
      Value(12 + d, 21, CELL_SETTING, FMT_DEC, 4, &g_ParamThvC##U),                                \
      Value(12 + d, 22, CELL_SETTING, FMT_DEC, 4, &g_ParamThvSP##U),                               \
      Value(12 + d, 23, CELL_SETTING, FMT_DEC, 4, &g_ParamThvOP##U),                               \
      Value(12 + d, 24, CELL_SETTING, FMT_DEC, 4, &g_ParamThvMatte##U),                            \
      Value(12 + d, 25, CELL_SETTING, FMT_DEC, 4, &g_ParamThvPheat##U)
#define THV_MEASURED(d, U)                                                                         \
  Label(16 + d, 19, "(     mV)"), Label(16 + d, 20, "(     mV)"), Label(16 + d, 21, "(     mV)"),  \
      Label(16 + d, 22, "(     mV)"), Label(16 + d, 23, "(     mV)"), Label(16 + d, 24, "(     mV)"), \
      Label(16 + d, 25, "(     mV)"), Value(17 + d, 19, CELL_THV_MV, FMT_DEC, 5, &g_ThvY##U),       \
      Value(17 + d, 20, CELL_THV_MV, FMT_DEC, 5, &g_ThvM##U), Value(17 + d, 21, CELL_THV_MV, FMT_DEC, 5, &g_ThvC##U), \
      Value(17 + d, 22, CELL_THV_MV, FMT_DEC, 5, &g_ThvSP##U), Value(17 + d, 23, CELL_THV_MV, FMT_DEC, 5, &g_ThvOP##U), \
      Value(17 + d, 24, CELL_THV_MV, FMT_DEC, 5, &g_ThvMatte##U),                                  \
      Value(17 + d, 25, CELL_THV_MV, FMT_DEC, 5, &g_ThvPheat##U)

constexpr SheetCell kThvSettings[] = {
    Label(1, 17, "[THV]"), Label(2, 18, "(LEFT)"), THV_LABELS(0), THV_SETTINGS(0, L),
    Label(27, 18, "(RIGHT)"), THV_LABELS(25), THV_SETTINGS(25, R),
};
constexpr SheetCell kThvMeasuredL[] = {THV_MEASURED(0, L)};
constexpr SheetCell kThvMeasuredR[] = {THV_MEASURED(25, R)};

// ---- counters and lengths -------------------------------------------------------------

#define COUNTER(c, r, counter) Value(c, r, CELL_COUNTER, FMT_DEC, 8, &counter)

constexpr SheetCell kCounters[] = {
    Label(1, 28, "[COUNTER]"),
    Label(2, 29, "(SHEET COUNT)"),
    Label(3, 30, "TOTAL PRINT:"),
    Label(3, 31, "MAINTENANCE:"),
    Label(5, 32, "CUT COUNT:"),
    Label(6, 33, "CAROUSEL:"),
    COUNTER(16, 30, g_CounterTotal),
    COUNTER(16, 31, g_CounterMainte),
    COUNTER(16, 32, g_CounterCut),
    COUNTER(16, 33, g_CounterCarousel),
    Label(27, 29, "(LEFT TPH COUNT)"),
    Label(28, 30, "TOTAL PRINT:"),
    Label(28, 31, "MAINTENANCE:"),
    Label(35, 32, "HEAD:"),
    COUNTER(41, 30, g_CounterTotalL),
    COUNTER(41, 31, g_CounterMntL),
    COUNTER(41, 32, g_CounterHeadPrintsL),
    Label(52, 29, "(RIGHT TPH COUNT)"),
    Label(53, 30, "TOTAL PRINT:"),
    Label(53, 31, "MAINTENANCE:"),
    Label(60, 32, "HEAD:"),
    COUNTER(66, 30, g_CounterTotalR),
    COUNTER(66, 31, g_CounterMntR),
    COUNTER(66, 32, g_CounterHeadPrintsR),
};

constexpr SheetCell kLengths[] = {
    Label(1, 36, "[LENGTH]"),
    Label(2, 37, "(LEFT TPH LENGTH)"),
    Label(3, 38, "TOTAL PRINT:"),
    Label(3, 39, "MAINTENANCE:"),
    Label(10, 40, "HEAD:"),
    COUNTER(16, 38, g_CounterTotalLengthL),
    COUNTER(16, 39, g_CounterMntLengthL),
    COUNTER(16, 40, g_CounterHeadLengthL),
    Label(27, 37, "(RIGHT TPH LENGTH)"),
    Label(28, 38, "TOTAL PRINT:"),
    Label(28, 39, "MAINTENANCE:"),
    Label(35, 40, "HEAD:"),
    COUNTER(41, 38, g_CounterTotalLengthR),
    COUNTER(41, 39, g_CounterMntLengthR),
    COUNTER(41, 40, g_CounterHeadLengthR),
};

// ---- thresholds ---------------------------------------------------------------------------

#define BYTE_SETTING(c, r, setting) Value(c, r, CELL_SETTING, FMT_BYTE, 3, &setting)
#define THRESHOLD(c, r, sensor) Value(c, r, CELL_THRESHOLD, FMT_BYTE, 3, &sensor)
#define UNIT_THRESHOLDS(d, U)                                                                        \
  Label(33 + d, 45, "TOP:"), Label(29 + d, 46, "BARCODE:"), Label(28 + d, 47, "COLOR(R):"),          \
      Label(28 + d, 48, "COLOR(G):"), Label(28 + d, 49, "COLOR(B):"), BYTE_SETTING(38 + d, 45, g_ParamSliceTop##U), \
      BYTE_SETTING(38 + d, 46, g_ParamSliceBarcode##U), THRESHOLD(38 + d, 47, g_ColorSensorRed##U), \
      THRESHOLD(38 + d, 48, g_ColorSensorGreen##U), THRESHOLD(38 + d, 49, g_ColorSensorBlue##U)

constexpr SheetCell kThresholds[] = {
    Label(1, 43, "[THRESHOLD VALUE]"),
    Label(2, 44, "(THRESHOLD)"),
    Label(5, 45, "POSITION:"),
    Label(4, 46, "PAPER END:"),
    Label(3, 47, "PAPER PATH:"),
    Label(3, 48, "PRINT EXIT:"),
    BYTE_SETTING(15, 45, g_ParamSlicePosition),
    BYTE_SETTING(15, 46, g_ParamSlicePaperEnd),
    BYTE_SETTING(15, 47, g_ParamSlicePaperPath),
    BYTE_SETTING(15, 48, g_ParamSliceExitPrint1),
    Label(27, 44, "(LEFT THRESHOLD)"),
    UNIT_THRESHOLDS(0, L),
    Label(52, 44, "(RIGHT THRESHOLD)"),
    UNIT_THRESHOLDS(25, R),
};

// ---- configuration ----------------------------------------------------------------------

constexpr SheetCell kConfiguration[] = {
    Label(1, 51, "[CONFIGURATION]"),
    Label(2, 52, "(CONFIGURATION)"),
    Label(4, 53, "ENGINE VERSION:"),
    Label(7, 54, "MATTE GLOSS:"),
    Label(3, 55, "MATTE DEGLOSS B:"),
    Label(3, 56, "MATTE DEGLOSS W:"),
    Text(19, 53, CELL_ENGINE_TEXT, 0),
    BYTE_SETTING(19, 54, g_ParamMatteGloss),
    BYTE_SETTING(19, 55, g_ParamDeGlossBlk),
    BYTE_SETTING(19, 56, g_ParamDeGlossWht),
};

#define SIGNED_SETTING(c, r, setting) \
  Value(c, r, CELL_SETTING, FMT_SIGNED, 3, &setting), Label(c + 4, r, "(   )"), BYTE_SETTING(c + 5, r, setting)
#define MINOR(c, r, setting) Label(c, r, "."), Value(c + 1, r, CELL_SETTING, FMT_DEC, 1, &setting)
#define UNIT_CONFIGURATION(d, U, heading)                                                            \
  Label(27 + d, 52, heading), Label(31 + d, 53, "DENSITY YMC:"), Label(31 + d, 54, "DENSITY LOW:"),  \
      Label(30 + d, 55, "DENSITY LAMI:"), Label(29 + d, 56, "DENSITY MATTE:"),                       \
      Label(28 + d, 57, "DENSITY MATTE2:"), Label(32 + d, 58, "DENSITY SP:"), Label(31 + d, 60, "TOP OFFSET:"), \
      Label(28 + d, 61, "SENSOR OFFSET:"), Label(31 + d, 62, "CIS OFFSET:"), Label(32 + d, 63, "MG OFFSET:"), \
      Label(28 + d, 64, "BORDER OFFSET:"), BYTE_SETTING(44 + d, 53, g_ParamDensityYmc##U),           \
      BYTE_SETTING(44 + d, 54, g_ParamDensityLow##U), BYTE_SETTING(44 + d, 55, g_ParamDensityLm##U), \
      MINOR(47 + d, 55, g_ParamDensityLmMinor##U), BYTE_SETTING(44 + d, 56, g_ParamDensityMt##U),    \
      MINOR(47 + d, 56, g_ParamDensityMtMinor##U), BYTE_SETTING(44 + d, 57, g_ParamDensityMt2##U),   \
      MINOR(47 + d, 57, g_ParamDensityMt2Minor##U), BYTE_SETTING(44 + d, 58, g_ParamDensitySp##U),   \
      SIGNED_SETTING(42 + d, 60, g_ParamTopOffset##U), SIGNED_SETTING(42 + d, 61, g_ParamSensorOffset##U), \
      SIGNED_SETTING(42 + d, 62, g_ParamCisOffset##U), SIGNED_SETTING(42 + d, 63, g_ParamMgOffset##U), \
      SIGNED_SETTING(42 + d, 64, g_ParamBorderOffset##U)

constexpr SheetCell kConfigurationL[] = {UNIT_CONFIGURATION(0, L, "(LEFT CONFIGURATION)")};
constexpr SheetCell kConfigurationR[] = {UNIT_CONFIGURATION(25, R, "(RIGHT CONFIGURATION)")};

// ---- error log ------------------------------------------------------------------------------

constexpr uint32_t kErrorCells = 6;
struct ErrorLogCells {
  SheetCell aCells[1 + ERROR_HIST_RECORDS * kErrorCells];
};
constexpr ErrorLogCells MakeErrorLog() {
  ErrorLogCells log{};
  log.aCells[0] = Label(1, 66, "[ERROR LOG]");
  for (uint32_t i = 0; i < ERROR_HIST_RECORDS; ++i) {
    const auto b = static_cast<uint8_t>(i < 5 ? 2 : 23);
    const auto r = static_cast<uint8_t>(67 + i % 5);
    SheetCell* p = &log.aCells[1 + i * kErrorCells];
    p[0] = Value(b, r, CELL_CONSTANT, FMT_DEC, 2, nullptr, i);
    p[1] = Label(static_cast<uint8_t>(b + 2), r, ":");
    p[2] = Value(static_cast<uint8_t>(b + 4), r, CELL_ERROR_MAJOR, FMT_HEX, 2, nullptr, i);
    p[3] = Label(static_cast<uint8_t>(b + 6), r, "-");
    p[4] = Value(static_cast<uint8_t>(b + 7), r, CELL_ERROR_MINOR, FMT_DEC, 2, nullptr, i);
    p[5] = Value(static_cast<uint8_t>(b + 10), r, CELL_ERROR_COUNT, FMT_DEC, 8, nullptr, i);
  }
  return log;
}
constexpr ErrorLogCells kErrorLog = MakeErrorLog();

}  // namespace

const SheetBlock g_aStatusSheetBlocks[] = {
    Block(kHeading),       Block(kVersions),       Block(kHeads),     Block(kThvSettings),
    Block(kThvMeasuredL),  Block(kThvMeasuredR),   Block(kCounters),  Block(kLengths),
    Block(kThresholds),    Block(kConfiguration),  Block(kConfigurationL), Block(kConfigurationR),
    Block(kErrorLog.aCells),
};
const uint32_t g_ulStatusSheetBlockCount = sizeof(g_aStatusSheetBlocks) / sizeof(g_aStatusSheetBlocks[0]);

void DrawSheetText(CSelfPrintString& obj, uint16_t usColumn, uint16_t usRow, const char* pszText) {
  DrawTextCells(obj.TextBase(), usColumn, usRow, pszText, 0);
}

void DrawStatusSheet(CSelfPrintString& obj) {
  DrawSheetBlocks({obj.TextBase(), 0, 0}, g_aStatusSheetBlocks, g_ulStatusSheetBlockCount);
}
