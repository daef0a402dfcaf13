#include "firmware/sequences/sequence_words.h"

uint32_t g_ulUnitsPrinted = 3;
uint32_t g_ulRibbonCheckPending = 3;
uint32_t g_ulRibDummyLines;
uint32_t g_ulPathChanged;
uint32_t g_ulPathPrepared;
uint32_t g_ulPathPrepTime;

uint8_t g_ucDiagResults[DIAG_RESULT_BYTES];
uint32_t g_aulDiagPaperLow[DIAG_PAPER_SENSORS];
uint32_t g_aulDiagPaperHigh[DIAG_PAPER_SENSORS];
uint32_t g_aulDiagMarkLow[DIAG_MARK_SENSORS];
uint32_t g_aulDiagMarkHigh[DIAG_MARK_SENSORS];
uint32_t g_aulDiagColorCal[DIAG_COLOR_CAL_WORDS];
uint32_t g_ulDiagLevelPending;
