// The paper-roll carousel.
#pragma once

#include <cstdint>

// Turns the carousel to position 1, 2 or 3 (nothing moves when it stands
// there already); the mask without its host-poll bit is the abort mask of
// the steps. 0, or a negative value.
int32_t TurnPaperRoll(uint32_t ulPosition, uint32_t ulCheckMask);
// Sets the encoder counts of the six carousel moves for the "Engine
// Version" value.
void SetRollTurnCounts(int32_t lEngineVersion);
