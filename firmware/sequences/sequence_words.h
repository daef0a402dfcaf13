// Words the paper and ribbon sequences share with the control core and the
// print engine.
#pragma once

#include <cstdint>

// Bit 0 unit L, bit 1 unit R: the units the last job printed on (both at
// power-up).
extern uint32_t g_ulUnitsPrinted;
// Bit 0 unit L, bit 1 unit R: the unit's ribbon is to be tested again (both
// at power-up).
extern uint32_t g_ulRibbonCheckPending;
// Print lines of ribbon before the Y panel's image: the ribbon's lead-in
// at the head while a sheet's Y plane is printed.
extern uint32_t g_ulRibDummyLines;
// The paper path was changed, prepared, and when it was prepared (ms).
extern uint32_t g_ulPathChanged;
extern uint32_t g_ulPathPrepared;
extern uint32_t g_ulPathPrepTime;

// ---- the auto-diagnosis result record and its working data ----
// The record the host reads (131 bytes, RAM only, 0 at the start of every
// run). Levels are 8-bit A/D levels (the 10-bit reading / 4); test results
// 0 not run, 1 passed, 2 failed. A sensor's three bytes are its high level,
// its low level and the new slice level, in that order.
constexpr uint32_t DIAG_RESULT_BYTES = 131;
enum DiagResultByte : uint32_t {
  DIAG_PASSED = 0,
  DIAG_THERM_HEAD_L = 1,
  DIAG_THERM_HEAD_R = 2,
  DIAG_THERM_AMBIENT = 3,
  DIAG_HUMIDITY = 4,
  DIAG_COVER_FRONT = 5,
  DIAG_COVER_UPPER_L = 6,
  DIAG_COVER_SIDE_L = 7,
  DIAG_COVER_UPPER_R = 8,
  DIAG_COVER_SIDE_R = 9,
  DIAG_COVER_PAPER = 10,
  DIAG_PAPER_GUIDE = 11,
  DIAG_EXIT_TRAY = 12,
  DIAG_HEAD_LIFT_L = 13,
  DIAG_HEAD_LIFT_R = 14,
  DIAG_END_TESTS = 15,  // nine bytes, all 1 once the last test has passed
  DIAG_END_TEST_COUNT = 9,
  DIAG_LEVEL_PAPER_EMPTY = 24,
  DIAG_LEVEL_PAPER_PATH = 27,
  DIAG_LEVEL_TOP_L = 30,
  DIAG_LEVEL_TOP_R = 33,
  DIAG_LEVEL_POSITION = 36,
  DIAG_LEVEL_EXIT_PRINT = 39,
  DIAG_ROLL_EDGE_PEAK = 42,
  DIAG_ROLL_EDGE_CAL1 = 43,
  DIAG_ROLL_EDGE_CAL2 = 44,
  DIAG_LEVEL_MARK1_L = 45,  // marks 1-4 L, then 1-4 R, three bytes each
  DIAG_BARCODE_HIGH_L = 69,
  DIAG_BARCODE_LOW_L = 70,
  DIAG_BARCODE_MID_L = 71,
  DIAG_BARCODE_HIGH_R = 72,
  DIAG_BARCODE_LOW_R = 73,
  DIAG_BARCODE_MID_R = 74,
  DIAG_COLOR_CAL_L = 75,  // eight readings / 4, then four means
  DIAG_COLOR_MEANS_L = 83,
  DIAG_COLOR_CAL_R = 87,
  DIAG_COLOR_MEANS_R = 95,
  DIAG_CIS_OFFSET = 99,
  DIAG_CIS_LED = 100,
  DIAG_UNUSED_FROM = 101,
};
constexpr uint32_t DIAG_LEVEL_BYTES = 3;
static_assert(DIAG_LEVEL_MARK1_L + 8 * DIAG_LEVEL_BYTES == DIAG_BARCODE_HIGH_L);
extern uint8_t g_ucDiagResults[DIAG_RESULT_BYTES];

// Paper-sensor levels in the order ExitPrint, Position, Top L, Top R,
// PaperPath, PaperEmpty: without paper (low) and with it (high; the paper
// load writes it too).
constexpr uint32_t DIAG_PAPER_SENSORS = 6;
extern uint32_t g_aulDiagPaperLow[DIAG_PAPER_SENSORS];
extern uint32_t g_aulDiagPaperHigh[DIAG_PAPER_SENSORS];
// Ribbon-mark sensor levels, marks 1-4 L then 1-4 R: with a ribbon running
// (low) and without one (high).
constexpr uint32_t DIAG_MARK_SENSORS = 8;
extern uint32_t g_aulDiagMarkLow[DIAG_MARK_SENSORS];
extern uint32_t g_aulDiagMarkHigh[DIAG_MARK_SENSORS];
// Colour-sensor calibration readings: 0-7 unit L, 8-15 unit R, each in the
// order Y.B, Y.G, M.G, M.R, C.R, C.B, L.R, L.B.
constexpr uint32_t DIAG_COLOR_CAL_WORDS = 16;
extern uint32_t g_aulDiagColorCal[DIAG_COLOR_CAL_WORDS];
// Sensors whose high and low levels are both in, waiting for the level
// evaluation.
enum DiagLevelBit : uint32_t {
  DIAG_PENDING_EXIT_PRINT = 0x1,
  DIAG_PENDING_POSITION = 0x2,
  DIAG_PENDING_TOP_L = 0x4,
  DIAG_PENDING_TOP_R = 0x8,
  DIAG_PENDING_PAPER_PATH = 0x10,
  DIAG_PENDING_PAPER_EMPTY = 0x20,
  DIAG_PENDING_MARK1_L = 0x80,  // marks 1-4 L, 1-4 R on the next seven bits
  DIAG_PENDING_COLOR_L = 0x8000,
  DIAG_PENDING_COLOR_R = 0x10000,
};
extern uint32_t g_ulDiagLevelPending;
