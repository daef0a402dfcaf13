// The print sequence of the current job.
#pragma once

#include <cstdint>

// Prints the current job to its end, clears EV_PRINT_JOB and may set
// EV_PAPER_END.
int32_t PrintJobSequence();
