// The second donor check of a unit's colour-sensor ribbon: a run over a
// panel boundary that samples the ribbon's barcode and measures both
// encoders, the ribbon type decoded from it, the roll model's scales and
// diameters from the run, and the ribbon positioned for printing by the
// unit's drive mode; an unreadable barcode is tried three times with a new
// take-up duty and barcode slice.
#pragma once

#include <cstdint>

// The barcode buffers: the samples of one 7-count segment of the supply
// encoder ('0' the sensor above its slice, '1' below), and the bits, four
// a segment; the bit index stops advancing at kBarcodeBitLimit.
constexpr uint32_t kBarcodeSampleBytes = 50;
constexpr uint32_t kBarcodeBitBytes = 1026;
constexpr uint32_t kBarcodeBitLimit = 1024;
extern uint8_t g_aucBarcodeSamples[kBarcodeSampleBytes];
extern uint8_t g_aucBarcodeBits[kBarcodeBitBytes];

// Appends the four samples at about 1/8, 3/8, 5/8 and 7/8 of a segment of
// ulSamples samples to the bits; a segment of fewer than 4 samples has no
// such positions and appends nothing.
void AppendBarcodeSegment(const uint8_t* pucSamples, uint32_t ulSamples, uint8_t* pucBits, uint32_t* pulBits);

// Cleans the bits, taken as circular, of runs of 1 or 2 equal bits (merged
// into the run after them). 0, or -1 with the unit's "Incorrect Rib" when no
// run of 3 equal bits exists.
int32_t FilterBarcodeBits(uint8_t* pucBits, uint32_t ulBits);

// The print lines from a panel boundary to the print start of panel 0-3 on
// the current roll model and print size: 0, or -1 for a panel above 3
// (out := 0).
int32_t PanelStartLength(uint32_t ulPanel, int32_t* plLines);
