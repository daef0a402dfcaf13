// The cut and eject sequence's end-of-job paper parking, one step machine
// per engine variant: returns the paper to its parking position at the
// roll after a job. Argument: the check mask. 0 or a negative error.
#pragma once

#include <cstdint>

int32_t EndOfJobSequence_EM2(uint32_t ulMask);
int32_t EndOfJobSequence_EM3(uint32_t ulMask);
