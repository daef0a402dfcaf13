// The calibration of the colour-sensor ribbon control on the current unit:
// stable colour readings, the colour thresholds, the barcode levels, and the
// take-up duty of a retried barcode run. A colour reading is three 16-bit
// words R, G, B as CColorSensorSet::ClassifyPanel gives them.
#pragma once

#include <cstdint>

// Four consecutive readings that agree within the threshold, each after a
// 10-count advance; their average into pusReading. 0, or -1 with the unit's
// "Ribbon Empty" after four changes.
int32_t Calib2th(uint32_t* pulClass, uint16_t* pusReading, int32_t lThreshold, uint32_t ulMask);
// Advances the ribbon by supply counts (phase 25, take-up winding).
int32_t AdvanceRibbonCounts(uint32_t ulCounts, uint32_t ulMask);
// One colour reading with its panel class.
int32_t MeasurePanelRgb(uint32_t* pulClass, uint16_t* pusReading, uint32_t ulMask);
// changed := 1 when any channel differs from the reference by more than the
// threshold (signed differences). 0.
int32_t IsColorChanged(const uint16_t* pusReference, const uint16_t* pusReading, int32_t lThreshold,
                       uint32_t* pulChanged);
// The unit's colour thresholds from the stable readings of the four panels.
int32_t SetColorThresholds(const uint16_t* pusY, const uint16_t* pusM, const uint16_t* pusC, const uint16_t* pusL);
// The same readings kept for the auto-diagnosis.
int32_t RecordColorCalibration(const uint16_t* pusY, const uint16_t* pusM, const uint16_t* pusC,
                               const uint16_t* pusL);
// The barcode sensor's lowest and highest A/D levels for the auto-diagnosis.
int32_t RecordBarcodeLevels(uint32_t ulLowest, uint32_t ulHighest);
