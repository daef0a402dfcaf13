// The first donor check of a unit's colour-sensor ribbon: which panel lies
// under the colour sensor, found by winding the ribbon forward panel by
// panel and watching how the stable colour reading changes; then the
// unit's colour thresholds and barcode slice, and the ribbon wound two
// panels back for the second donor check. Its small companions are shared
// with the second check.
#pragma once

#include <cstdint>

// Panels 0 Y, 1 M, 2 C, 3 L.
constexpr uint32_t kDonorPanels = 4;

// out := (index + delta) modulo 4. 0.
int32_t StepPanelIndex(uint32_t ulIndex, int32_t lDelta, uint32_t* pulOut);
// out := 9, 11, 13, 15 (forward to the panel) or 16..19 (reverse to it);
// an index above 3 leaves out as it was. 0.
int32_t PanelForwardPhase(uint32_t ulIndex, uint32_t* pulPhase);
int32_t PanelReversePhase(uint32_t ulIndex, uint32_t* pulPhase);

// Winds forward until the colour reading has changed twice from the
// reference: 0 stopped there; -1 with the unit's "Ribbon Empty" after
// 2982 supply counts or 20000 ms without, on a stalled supply, or aborted.
int32_t SearchNextPanel(const uint16_t* pusReference, int32_t lThreshold, uint32_t ulMask);
// "Slack Num1" steps of "Slit1" counts (none at 0), then 1000 ms.
int32_t DonorSlackStep(uint32_t ulMask);

// The barcode slice rule: the levels recorded for the auto-diagnosis, and
// the unit's barcode slice := ((highest + lowest) / 2) / 4.
int32_t ApplyBarcodeSlice(uint32_t ulLowest, uint32_t ulHighest);

// ---- the panel order, with its operations replaceable ----------------------

// The change threshold of the first attempt, and the least a retry may
// lower it to: the panel classes' own margin.
constexpr int32_t kDonorStartThreshold = 100;
constexpr int32_t kDonorLeastThreshold = 93;

// A reading slot: R, G, B and a spare word.
using DonorReadingSlot = uint16_t[4];
constexpr uint32_t kDonorSlots = 5;

struct DonorOrderOps {
  int32_t (*pfnCalib)(uint32_t* pulClass, uint16_t* pusReading, int32_t lThreshold, uint32_t ulMask);
  int32_t (*pfnSearch)(const uint16_t* pusReference, int32_t lThreshold, uint32_t ulMask);
  // Winds back the supply counts in the reverse phase towards panel 0.
  int32_t (*pfnRewind)(uint32_t ulCounts, uint32_t ulMask);
};
extern const DonorOrderOps g_DonorOrderOps;

struct DonorOrder {
  uint32_t ulPanel;                      // the last panel identified
  const uint16_t* apusPanels[kDonorPanels];  // the stable reading of each panel
  uint32_t ulSearchDistance;             // supply counts of the last search
  int32_t lThreshold;                    // the threshold in use at the end
  uint32_t ulAttempts;                   // failed attempts
  uint32_t ulPasses;                     // passes of the last attempt
};

// Steps 1-7 of the first donor check: attempts of passes until a whole
// Y-M-C-L order was seen. 0, or the failing result (five failed attempts:
// the unit's "Ribbon Empty", -1).
int32_t FindDonorPanelOrder(uint32_t ulMask, const DonorOrderOps& ops, DonorReadingSlot* pSlots,
                            DonorOrder* pOrder);
