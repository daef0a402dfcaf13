// The single-pass print sequence's flag: 1 from the set-up of a single-pass
// sheet's pass until its panel search starts, read by the ribbon drive's
// duty rules (SinglePassPrintSequence is declared in print_sequence.h).
#pragma once

#include <cstdint>

extern uint32_t g_ulSinglePass;
