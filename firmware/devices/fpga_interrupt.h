// The GPIO bank-0 pin handler: carries the FPGA's line, stepper,
// paper-position and encoder pulses to their owners.
#pragma once

void FpgaInterrupt();
