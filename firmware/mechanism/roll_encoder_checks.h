// The roll-encoder checks: with the sub stepper turning the roll, "RollEnc"
// tells whether the roll still turns (the roll's end has let the paper go)
// or stands (the slack is gone); the roll's edge is found by feeding until
// the encoder's wheel has turned once, which also measures the steps per
// turn; the ribbon encoders are related to the paper's travel. Beside them
// the tracking points keep the track-correction lengths of both print
// units in step with the paper fed.
#pragma once

#include <cstdint>

// The latched roll end: while not 0 every RollEncoderFeedCheck posts
// EV_PAPER_END to the current printer state.
extern uint32_t g_ulRollEndDetected;
// Main-stepper steps per 36 roll-encoder counts measured by
// FeedToRollEdge; 0 when not measured.
extern uint32_t g_ulLoadFeedLength;

// CIS modes of RollEncoderFeedCheck.
constexpr uint32_t ROLL_CHECK_NO_CIS = 0;
constexpr uint32_t ROLL_CHECK_PAPER_EDGE = 1;
constexpr uint32_t ROLL_CHECK_PAPER_IMAGE_EDGE = 2;
// The sensor error a CIS edge that is not found raises ("Sensor Error  62").
constexpr uint32_t ROLL_CHECK_CIS_ERROR_INDEX = 0x33E;
// The longest wait for the sub stepper's stop at the end of a check.
constexpr uint32_t ROLL_CHECK_STOP_WAIT_MS = 2000;

// Runs the sub stepper along g_Ramp20: roll end 1 when the roll never
// stood for more than 100 ms within 10000 ms, 0 once it did. A check that
// stopped the roll measures the edges with the CIS mode (paper edge, or
// paper and image edge; both 80 unless measured); an edge not found sets
// the error flag to -1 (0 otherwise; it may be absent in mode 0) and raises
// the sensor error, the result staying 0. The sub stepper is decelerated
// and stopped at the end, also after an abort or a failure. Only a check
// that reached its decision writes the roll end (0 otherwise) and updates
// g_ulRollEndDetected (a latched one stays while g_ulRollEndArmed is set);
// EV_PAPER_END is posted while it is set. The edges may be null.
int32_t RollEncoderFeedCheck(uint32_t* pulRollEnd, uint32_t ulCisMode, uint32_t* pulPaperEdge,
                             uint32_t* pulImageEdge, int32_t* plError, uint32_t ulMask);
// Runs the sub stepper the other way until the roll has turned the
// encoder's wheel the given turns (36 counts each), for at most 5000 ms.
int32_t RollEncoderFeedCheckLite(uint32_t ulTurns, uint32_t ulMask);
// After a roll-encoder check that found the roll standing, feeds with the
// main stepper until the roll has turned the encoder's wheel once after
// it started to turn: g_ulLoadFeedLength := the steps of that turn, the
// paper position := line 65536 plus the steps fed (written to *pulOffset),
// the diameter from the measurement. After a roll end the diameter of a
// full roll is set and the offset is not written. A roll that has not
// turned once within 12000 steps raises the current unit's upper jam 65:
// -1. The feed-matched ramps are rebuilt whenever the diameter was set.
int32_t FeedToRollEdge(uint32_t ulMask, uint32_t* pulOffset);
// While the caller feeds: the main stepper's steps until the take-up has
// turned 420 counts and until the supply has turned 72.
int32_t MeasureRibbonVsPaper(uint32_t* pulSupplyTravel, uint32_t* pulTakeUpTravel, uint32_t ulMask);

// The four feed-matched ramps from the paper ramps, each with the mask.
void RebuildFeedMatchedRamps(uint32_t ulMask);

// ---- tracking points: the first failing result of the track-correction
// calls, else 0 ----
// Every length of both sides 0, the active flag clear.
int32_t ResetTrackingPoints();
// After a feed of ulFedLines: the other unit's side consumes it and takes
// the new point (behind its earlier ones while active), the current unit's
// side consumes it.
int32_t SetTrackingPointPair(uint32_t ulFedLines);
// The other unit's side's first length.
int32_t SetTrackingPoint(uint32_t ulLines);
// The other unit's side's first length while active (the earlier ones
// kept behind it), else only when longer than its first length.
int32_t RaiseTrackingPoint(uint32_t ulLines);
