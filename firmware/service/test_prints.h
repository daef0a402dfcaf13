// The test prints and the status sheet.
#pragma once

#include <cstdint>

// Prints the status sheet as an internal job (print mode 0): 0 or -1.
int32_t PrintStatusSheet();
