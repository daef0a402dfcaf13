// The single-pass print sequence's flag: 1 while a single-pass sheet is
// being printed, read by the ribbon drive's duty rules.
#pragma once

#include <cstdint>

extern uint32_t g_ulSinglePass;
