// The GPIO bank-0 pin handler: carries the FPGA's line, stepper,
// paper-position and encoder pulses to their owners.
#pragma once

#include <cstdint>

#include "firmware/hal/isr_shared.h"

// Pins 1-8 are dispatched: 2 the print line, 3 the main stepper's pulse,
// 4 the paper step, 5 the sub stepper's pulse; the others are counted only.
constexpr uint32_t FPGA_IRQ_PINS = 8;
// Pulses handled per pin: [n - 1] for pin n.
extern hal::IsrShared<uint32_t> g_ulFpgaIrqCount[FPGA_IRQ_PINS];

void FpgaInterrupt();
