#include "firmware/sequences/sequence_words.h"

uint32_t g_ulUnitsPrinted = 3;
uint32_t g_ulRibbonCheckPending = 3;
uint32_t g_ulRibDummyLines;
uint32_t g_ulPathChanged;
uint32_t g_ulPathPrepared;
uint32_t g_ulPathPrepTime;
