// Print-sequence support operations: the stepper ramps that follow the
// paper's speed and the ribbon's panel offsets.
#pragma once

#include <cstdint>

struct ImageSlot;

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

struct PrintSizeRecord;

// The window in main-stepper steps of the position-sensor check during the
// plane's pass: the plane's ribbon run less 1378 lines, plus the margin
// when that stays positive, else 0. -1 above the SP plane (out unchanged).
int32_t GetPassSensorWindow(uint32_t ulPlaneCode, uint32_t* pulSteps, int32_t lMarginLines);

// ---- statistics: each stops at the first life counter that fails and
// returns its result ----
// After a plane (kind 0 colour, else SP): the current unit's length (in
// inches, rounded) and print counters, then the counter status items.
int32_t CountPlaneStatistics(uint32_t ulKind, const PrintSizeRecord& size);
// After a sheet: the machine's print counters, the paper taken from the
// roll, the print-log record appended. -1 without an active job (nothing
// counted) or when the job has no cut position (after the print counters).
int32_t CountSheetStatistics(const PrintSizeRecord& size);

// ---- print log ----
// The sub-record of the print-order row being printed (by its side and
// unit) with the row's number; the active-job look-up's result.
int32_t RecordPrintUnit();
// The ribbon's remaining percent and both spool diameters.
int32_t LogRibbonState();
// The sheet's overcoat size, the time since the path was prepared (the
// stamp restarts), the paper roll's remaining percent and diameter.
int32_t LogSheetHeader();

// ---- ribbon panel offsets ----
// The raw corrections the panel searches measured, Y, M, C, L (L stays 0).
extern int32_t g_alRibbonRawCorrection[4];
int32_t ClearPanelOffsets();
// Y, M, C from their negated raw correction where that is positive; L 0.
int32_t ApplyRawCorrections();
// Switches the panel search's correction for the pass by kind (0, 1, 2);
// always off while the ribbon does not allow it.
int32_t SetCorrectionByPass(uint32_t ulKind, uint32_t ulPass);
// Measures the pass's correction and keeps it by kind: 0 as the next pass's
// offset, 1 as the pass's raw word, 2 as Y's offset after pass L.
int32_t StoreCorrection(uint32_t ulKind, uint32_t ulPass);

// ---- the overcoat-only sheet ----
// Before a sheet that prints the overcoat alone: the overcoat's stop length
// reduced; the paper to 36 lines past the engine's first reference; the
// DSP's overcoat image copied for the 8x12 size to 0xC5A00000 while the
// ribbon searches its overcoat panel; the slack taken up, the paper to the
// position sensor, the roll-encoder check. Ends through its error step
// (waiting for the DSP) on an abort or a paper end; the slot is not used.
int32_t OvercoatOnlyPreStep(ImageSlot* pSlot, uint32_t ulMask);

// ---- operations the print sequences do not call (service and bench use) ----
// The ribbon clutch's feed duty (%) and length (mm): the second pair of
// settings for the overcoat plane, the first for the others.
int32_t GetClutchFeedParams(uint32_t ulPlaneCode, uint32_t* pulDuty, uint32_t* pulLength);
// "Skew Cycle".
int32_t GetSkewCycle(uint32_t* pulCycle);
// Bit 0: the current unit's ribbon is empty; bit 1: the paper end is
// pending, and then -1.
int32_t GetPrintStopFlags(uint32_t* pulFlags);
// The sub stepper's step mode of a pass: 2 where the ribbon allows the
// panel correction and the plane is not C, else 1; with the flag set, 2 for
// the overcoat unless "DonorHomePosi" reads 0x8000 in its top two bits.
int32_t GetPassStepMode(uint32_t* pulMode, uint32_t ulFlag, uint32_t ulPlaneCode);
// The sub stepper's steps for n lines, from plane Y's last print less its
// mark lines, in quarter steps. -1 (out unchanged) when plane Y printed no
// more lines than its marks.
int32_t EstimateSubSteps(uint32_t* pulSteps, uint32_t ulLines);
// Stops the ribbon's supply counter; the current unit's head to its
// position, after time 1 the eject pinch and the main pinch (a request on
// the current unit), all stepped until time 2 has passed and all are done
// (host commands wait meanwhile); then, the supply counter started again,
// the ribbon tightened (phase 0 forward, 1000 ms, 10 counts) and stopped
// with its clutch kept. A failed tighten gives -1, or 0 for kind 8 with the
// ribbon-empty error set (as a failed tighten leaves it).
int32_t RepositionHeadAndPinches(uint32_t ulHeadPosition, uint32_t ulEjectPosition, uint32_t ulMainRequest,
                                 uint32_t ulKind, uint32_t ulTime1Ms, uint32_t ulTime2Ms, uint32_t ulMask);
// The bench: the mode menu until a job is ready (host commands served in
// between), then plane Y of that job planned and stepped one line a
// millisecond while it runs. The plane's start or plan failure, else 0.
int32_t PlaneBenchLoop();
