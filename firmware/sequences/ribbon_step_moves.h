// Ribbon moves in measured portions on the current unit: equal supply
// steps, a take-up amount in passes with the braked motor's overshoot
// carried over, and an empty step.
#pragma once

#include <cstdint>

// ulSteps supply steps of ulCounts each (ulSteps at least 1), each
// tightened and stopped; the clutch released at the end. 0 or the failing
// step's result.
int32_t MoveRibbonInSteps(uint32_t ulCounts, uint32_t ulSteps, uint32_t ulMask);
// ulTakeUpCounts take-up counts in ulPasses passes; the overshoot of each
// pass is taken off the next share, and *pulCarry receives what is left.
// A take-up that does not move its share, or a supply that does not stand
// still, within 5000 ms raises the unit's ribbon-empty index: -1.
int32_t ShiftRibbonInPasses(uint32_t ulTakeUpCounts, uint32_t ulSupplyCounts, uint32_t ulPasses, uint32_t* pulCarry,
                            uint32_t ulMask);
// Does nothing. 0.
int32_t RibbonStepNop(uint32_t ulMask);

// The share of pass ulPass of ulCounts spread over ulPasses passes, the
// remainder over the first ones.
uint32_t RibbonPassShare(uint32_t ulCounts, uint32_t ulPasses, uint32_t ulPass);
