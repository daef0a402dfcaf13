// The paper-roll carousel.
#pragma once

#include <cstdint>

// Turns the carousel to the position; 0, or non-zero when it failed.
int32_t TurnPaperRoll(uint32_t ulPosition, uint32_t ulMode);
