// Finding the leading edge of the paper roll: the "RollEdge" reflective
// sensor looks at the roll while the sub paper stepper turns it and the
// roll encoder ("RollEnc") counts its turn. The white paper reads low, the
// dark gap in front of the edge high. Each sub-sequence is a step machine
// with the caller's abort mask last; 0 success, -1 failure.
//
// Step budgets are counted on the sub stepper's countdown, loaded with all
// ones at the start of each sub-sequence: the steps run are all ones minus
// the countdown.
#pragma once

#include <cstdint>

class CRampTable;

// "RollEdge" thresholds of the two calibrations (raw 10-bit scale) and the
// roll-encoder spans, zero at power-up; the spans are recomputed by
// InitRollEdgeSpans at the start of every paper loading.
extern uint32_t g_ulRollEdgeThresh1;
extern uint32_t g_ulRollEdgeThresh2;
extern uint32_t g_ulRollEncSpanQuarter;
extern uint32_t g_ulRollEncSpan;
extern uint32_t g_ulRollEncSpanDouble;
extern uint32_t g_ulRollEncSpanLong;

// A threshold is the lowest trimmed mean of a calibration plus the margin;
// a lowest mean above the darkest paper level fails the calibration.
constexpr uint32_t ROLL_EDGE_MARGIN = 114;
constexpr uint32_t ROLL_EDGE_DARKEST_PAPER = 908;
constexpr uint32_t ROLL_EDGE_SAMPLE_MAX = 1023;
constexpr uint32_t ROLL_EDGE_GROUP = 5;
constexpr uint32_t ROLL_EDGE_IN_A_ROW = 4;

// Sub-stepper steps of one roll turn (6262) and of a quarter turn (1565).
constexpr uint32_t ROLL_TURN_STEPS = 6262;
constexpr uint32_t ROLL_QUARTER_STEPS = ROLL_TURN_STEPS >> 2;
constexpr uint32_t ROLL_EDGE_CALIBRATE_BUDGET = ROLL_QUARTER_STEPS * 8;  // 12520
constexpr uint32_t ROLL_EDGE_SEARCH_BUDGET = ROLL_TURN_STEPS * 8;        // 50096

// x = 100 x 36 / 21 x 1000 truncated (171428): quarter (x >> 2) / 1000,
// span x / 1000, double (2x) / 1000, long span + 9.
void InitRollEdgeSpans();

// The load-bar calibration's budget: 2 x (6 x 1565 + 4 x (1565 +
// trunc(6262.31 / span x 9))), 33932 with the span 171.
uint32_t RollEdgeLoadBarBudget();
// FeedRollByEncoder's budget: trunc(6262 / span x limit) x 2, then x 2 in
// excitation mode 2 and x 4 in mode 3; saturates at all ones.
uint32_t RollFeedBudget(uint32_t ulEncoderLimit, uint32_t ulExcitationMode);

// The inputs the sub-sequences read: a raw "RollEdge" sample, the roll
// encoder's count and the sub stepper's countdown. The board's unless a
// test scripts them.
struct RollEdgeInputs {
  int32_t (*pfnSample)(uint32_t* pulRaw);
  uint32_t (*pfnEncoderCount)();
  uint32_t (*pfnSubCountdown)();
};
extern const RollEdgeInputs g_BoardRollEdgeInputs;
extern const RollEdgeInputs* g_pRollEdgeInputs;

// Groups of 5 samples until the encoder has advanced more than the quarter
// span: the lowest (sum - highest - lowest) / 3 of a group, plus the
// margin, becomes *pulThreshold. Over the calibrate budget, or a lowest
// mean above 908: -1 (*pulThreshold unchanged).
int32_t CalibrateRollEdgeLevel(uint32_t* pulThreshold, uint32_t ulMask);
// 4 samples in a row at or below threshold 1; -1 after the span or the
// search budget.
int32_t WaitRollEdgeLow(uint32_t ulMask);
// 4 samples in a row above threshold 1: *pulNotFound 0. The span passing
// first: *pulNotFound 1, success; the budget: *pulNotFound 1, -1.
int32_t SearchRollEdge(uint32_t* pulNotFound, uint32_t ulMask);
// The second calibration with the load bar down (threshold 2), the roll
// then turned past the long span.
int32_t CalibrateRollEdgeAtLoadBar(uint32_t ulMask);
// The edge brought under the sensor in 30-count steps; mode 2 does not
// retry, other modes give up after the 20th check.
int32_t AlignRollEdge(uint32_t ulMode, uint32_t ulMask);
// The sub stepper along the ramp until the encoder has advanced more than
// the limit; then decelerated (decelerate not 0) or halted, and the counts
// it coasted written. Over budget: the error index raised (when not 0),
// -1.
int32_t FeedRollByEncoder(const CRampTable* pRamp, uint32_t ulEncoderLimit, uint32_t ulDirection,
                          uint32_t ulExcitationMode, uint32_t ulDecelerate, int32_t* plCoastCounts,
                          uint32_t ulErrorIndex, uint32_t ulMask);
// 4 samples in a row above threshold 2 within 500 ms: *pulNotFound 0, else
// 1; never fails by itself.
int32_t CheckRollEdgeHigh(uint32_t* pulNotFound, uint32_t ulMask);
// The highest sample while the encoder stays within the span, written / 4
// to diagnosis byte 42 (also after a failure: over the search budget, -1).
int32_t MeasureRollEdgeMax(uint32_t ulMask);

// A diagnosis byte of a threshold: its calibrated level / 4, 0 while no
// calibration has set it.
uint8_t RollEdgeDiagLevel(uint32_t ulThreshold);
