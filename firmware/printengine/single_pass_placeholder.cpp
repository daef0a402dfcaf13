// Placeholder of the single-pass print sequence: no sheet is printed in a
// single pass yet, so its flag stays 0 unless a test sets it.
#include "firmware/printengine/single_pass.h"

uint32_t g_ulSinglePass;
