// The single-pass print sequence: the sheet step machine with one SP pass.
#include "firmware/printengine/color_print_sequence.h"
#include "firmware/printengine/print_sequence.h"
#include "firmware/printengine/single_pass.h"

constinit uint32_t g_ulSinglePass;

int32_t SinglePassPrintSequence(uint32_t ulImageUnit, uint32_t ulMask) {
  CPrintSheetRun run(g_SinglePassSheetVariant, ulImageUnit, ulMask);
  return run.Run();
}
