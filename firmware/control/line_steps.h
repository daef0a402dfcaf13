// Conversions between print lines and paper-stepper steps through the
// "Stp/Lx1000" setting S (steps per 1000 lines), read at every call; the
// products are formed in 32 bits.
#pragma once

#include <cstdint>

// (n x S) / 1000, rounded down to an even count.
uint32_t LinesToSteps(uint32_t ulLines);
// (n x S) / 500, rounded down to an even count.
uint32_t LinesToStepsX2(uint32_t ulLines);
// (n x S) / 250, rounded down to a multiple of 4.
uint32_t LinesToStepsX4(uint32_t ulLines);
// (n x S) / 2000.
uint32_t LinesToStepsHalf(uint32_t ulLines);
// (n x 1000) / S.
uint32_t StepsToLines(uint32_t ulSteps);
// (n x 2000) / S.
uint32_t HalfStepsToLines(uint32_t ulHalfSteps);
