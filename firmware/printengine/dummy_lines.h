// The front and rear dummy lines of each print size, taken from the current
// unit's settings.
#pragma once

#include <cstdint>

// Copies the current unit's dummy-line settings into the print-size records.
int32_t LoadDummyLines();
