// The lamination-pattern images in flash: the start-up's check of the two
// slots and the expansion of the active one into the working buffer.
#pragma once

#include <cstdint>

// Checks the stored slot, then (only when it passed) the active slot; a
// failure raises error index 0x0119. The check's result.
int32_t CheckLamiImages();
// Expands the active slot into the working buffer. 0.
int32_t LoadLamiImage();
