// The print sequence of the current job.
#pragma once

#include <cstdint>

// Prints the current job to its end, clears EV_PRINT_JOB and may set
// EV_PAPER_END.
int32_t PrintJobSequence();

// The sheet sequences of one print-order row, on the current unit, for the
// picture of image unit 0 (side A) or 1 (side B): 0 when the sheet was
// printed, passed over or given up after its image did not come (the job
// then has a cancel request), else the failing step's result. The caller
// selects the unit and ends with MechaAllOff.
// The colour passes Y, M, C and the overcoat (colour-sensor ribbons).
int32_t ColorPrintSequence(uint32_t ulImageUnit, uint32_t ulMask);
// The same for the mark-sensor ribbons (ribbon control type 0).
int32_t ColorPrintSequenceMarkSen(uint32_t ulImageUnit, uint32_t ulMask);
// The SP picture in one pass.
int32_t SinglePassPrintSequence(uint32_t ulImageUnit, uint32_t ulMask);
