// The machine's 42 ramp tables g_Ramp00-g_Ramp41 with their excitation
// modes and storage: six pairs share one storage (15/16, 17/18, 19/20,
// 21/22, 23/24, 27/28), so rebuilding one of a pair changes what the other
// plays. The start-up fills them.
#pragma once

#include <cstdint>

#include "firmware/devices/ramp_table.h"

// R(ramp, mode, storage index): a shared pair names one storage.
#define RAMP_TABLES(R) \
  R(g_Ramp00, 1, 0) R(g_Ramp01, 1, 1) R(g_Ramp02, 1, 2) \
  R(g_Ramp03, 1, 3) R(g_Ramp04, 5, 4) R(g_Ramp05, 1, 5) \
  R(g_Ramp06, 1, 6) R(g_Ramp07, 1, 7) R(g_Ramp08, 1, 8) \
  R(g_Ramp09, 5, 9) R(g_Ramp10, 2, 10) R(g_Ramp11, 2, 11) \
  R(g_Ramp12, 2, 12) R(g_Ramp13, 2, 13) R(g_Ramp14, 2, 14) \
  R(g_Ramp15, 2, 15) R(g_Ramp16, 2, 15) R(g_Ramp17, 2, 16) \
  R(g_Ramp18, 2, 16) R(g_Ramp19, 2, 17) R(g_Ramp20, 2, 17) \
  R(g_Ramp21, 2, 18) R(g_Ramp22, 2, 18) R(g_Ramp23, 2, 19) \
  R(g_Ramp24, 2, 19) R(g_Ramp25, 2, 20) R(g_Ramp26, 2, 21) \
  R(g_Ramp27, 1, 22) R(g_Ramp28, 1, 22) R(g_Ramp29, 2, 23) \
  R(g_Ramp30, 2, 24) R(g_Ramp31, 2, 25) R(g_Ramp32, 2, 26) \
  R(g_Ramp33, 2, 27) R(g_Ramp34, 2, 28) R(g_Ramp35, 2, 29) \
  R(g_Ramp36, 2, 30) R(g_Ramp37, 2, 31) R(g_Ramp38, 2, 32) \
  R(g_Ramp39, 2, 33) R(g_Ramp40, 2, 34) R(g_Ramp41, 2, 35)

#define RAMP_DECLARE(ramp, ...) extern CRampTable ramp;
RAMP_TABLES(RAMP_DECLARE)
#undef RAMP_DECLARE

// One ramp as the construction list builds it.
struct RampSpec {
  CRampTable* pRamp;
  uint16_t* pusStorage;
  uint32_t ulMode;
};
constexpr uint32_t RAMP_TABLE_COUNT = 42;
constexpr uint32_t RAMP_STORAGE_COUNT = 36;
extern const RampSpec g_aRampSpecs[RAMP_TABLE_COUNT];

// Builds the ramps in their order.
void ConstructRampTables();
