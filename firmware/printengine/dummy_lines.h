// The front and rear dummy lines of each print size, taken from the current
// unit's settings.
#pragma once

#include <cstdint>

// Copies the current unit's dummy-line settings into the print-size records.
int32_t LoadDummyLines();
// Start-up: the default dummy lines of every set and print-size record, by
// the ribbon control type.
int32_t InitDummyLines();
