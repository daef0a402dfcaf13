// Print-sequence support operations: the stepper ramps that follow the
// paper's speed and the ribbon's panel offsets.
#pragma once

#include <cstdint>

class CRampTable;

// Builds the output ramp (start rate 500, the source's ramp time) with the
// source's top rate converted through "Stp/Lx1000" and "FeedRollDiam";
// returns that rate.
uint32_t BuildLineSpeedRamp(const CRampTable& source, CRampTable& output);

// Builds the output ramp of a feed from the reference ramp's top rate,
// matched to the sub stepper's feed (the reference in step mode A, the
// output in step mode B); returns the output's top rate.
uint32_t BuildFeedMatchedRamp(const CRampTable& reference, CRampTable& output, uint32_t ulModeA, uint32_t ulModeB,
                              uint32_t ulMask);

// The per-plane panel offsets (Y, M, C, L) in print lines that the print
// sequence keeps for the ribbon's panel positions.
extern uint32_t g_aulRibbonPanelOffset[4];
