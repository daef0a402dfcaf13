// One pass of the pending background drive operations.
#pragma once

#include <cstdint>

// Bits 0-3 of *pulPending: a pending step of the current donor manager;
// bits 4-5: a pending step of the current feed pinch roller. Steps each set
// bit once, in bit order, and clears the bits whose operation has ended.
// Returns the last step's result, 0 when none ran.
int32_t RunPendingDriveSteps(uint32_t* pulPending);
