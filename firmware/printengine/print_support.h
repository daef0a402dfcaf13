// Print support: the small operations the print sequences share. Head-fan
// control by thermistor levels, the sub stepper's per-plane speed ramps, the
// per-plane status and pass codes, the sensor-offset correction, the paper
// back-feed before the cut, the mark-sensor ribbon's wind to its panel, and
// the detection and handling of repeated prints on the same unit. All run in
// the application task; the step machines take the caller's check mask.
#pragma once

#include <cstdint>

#include "firmware/printengine/print_sequence_support.h"

struct PrintJobRecord;
struct PrintSizeRecord;

// Plane codes: Y, M, C, overcoat (L), SP.
constexpr uint32_t PLANE_Y = 0;
constexpr uint32_t PLANE_M = 1;
constexpr uint32_t PLANE_C = 2;
constexpr uint32_t PLANE_L = 3;
constexpr uint32_t PLANE_SP = 4;

// Paper positions (print lines on the paper position): the position sensor,
// the cut reference, and the extra lines a window check gives the sensor.
constexpr uint32_t PAPER_AT_POSITION_SENSOR = 67133;
constexpr uint32_t PAPER_AT_CUT = 69663;
constexpr uint32_t SENSOR_WINDOW_MARGIN_LINES = 120;

// ---- the print sequences' shared words ----
// The repeat detector: prints in a row on one unit with the same order code.
extern uint32_t g_ulUnitRepeatCount;
extern uint32_t g_ulPrevOrderCode;
extern uint32_t g_ulCurOrderCode;
// 1 once the paper was re-positioned for a repeat, 2 after the measuring
// move; 0 after each finished sheet.
extern uint32_t g_ulRepeatState;
// Per plane: the sub stepper's steps and the lines of the last print.
extern uint32_t g_aulPlaneSubSteps[5];
extern uint32_t g_aulPlaneLines[5];

// ---- fans ----
// The head and side fans of the current unit (flag 0) or the other unit:
// both on when the head reads hotter than the on level, then both off when
// it reads cooler than the off level; between the levels they keep their
// state. "Fan On"/"Fan Off" of -1 take the level by ambient temperature.
// The head thermistor read's result.
int32_t HeadFanControl(uint32_t ulOtherUnit);

// ---- ramps ----
// *plLines := minus the current unit's "Sensor L"/"Sensor R"; returns plLines.
int32_t* GetSensorOffsetLines(int32_t* plLines);
// The plane's sub-stepper ramp (g_Ramp33-37; others g_Ramp33) from the
// TABLE line period and the paper roll's diameter, the overcoat's top rate
// 15/10 of the computed one; g_ulLogData word 5 := diameter x 10. Returns
// the top rate. A line period of 0 leaves the ramp as it is and returns 0.
uint32_t BuildSubStepperRamp(uint32_t ulPlaneCode);
// The plane's sub-stepper ramp following its main-stepper ramp (g_Ramp00-04
// into g_Ramp33-37; others g_Ramp00 into g_Ramp33): the rate.
uint32_t FollowMainStepperRamp(uint32_t ulPlaneCode);

// ---- per-plane codes: 0, or -1 above PLANE_SP with the outputs untouched ----
// The printer states while the plane prints and after it.
int32_t GetPlaneStatusCodes(uint32_t ulPlaneCode, uint32_t* pulPrinting, uint32_t* pulDone);
// What follows the plane: the next pass index, print phase, the ribbon
// phase held meanwhile, and the next speed profile. Also writes the
// print-log colour key and, after L or SP, the ribbon's dummy lines.
int32_t GetNextPassCodes(uint32_t ulPlaneCode, uint32_t* pulPassIndex, uint32_t* pulPrintPhase,
                         uint32_t* pulHeldWindPhase, uint32_t* pulSpeedProfile);

// ---- paper ----
// Backs the paper to the cut position of the job's first cut with the eject
// pinch half down and the eject motor running. A back-feed longer than the
// way to the position sensor (plus its margin) must reach the sensor within
// it, else the current unit's upper jam 63. The ribbon is stopped at the end.
int32_t BackFeedToCutPosition(const PrintJobRecord* pJob, uint32_t ulMask);
// Feeds the paper after a pass by the plane sequencer's next-plane steps
// and its paper-return steps (36 margin lines), with the other
// unit's pre-heat running meanwhile (both pre-heats stopped at the end).
// *pulFits := 1 when the feed ends before the position sensor (plus its
// margin); a longer one must reach the sensor within that window, else the
// current unit's upper jam 67.
int32_t BackFeedAfterPass(uint32_t* pulFits, uint32_t ulMask);
// The paper back to the position sensor after the operator let a repeat
// print run: the load pinch helps after a roll end.
int32_t RepositionForRepeat(uint32_t ulMask);

// ---- ribbon ----
// The lines the mark-sensor ribbon winds before a plane: the plane's front
// dummy lines (Y for Y and SP) less 66, 0 below 66.
uint32_t MarkPanelWindLines(const PrintSizeRecord& size, uint32_t ulPlaneCode);
// Winds the mark-sensor ribbon by those lines as supply counts (phase 16,
// three retries).
int32_t WindMarkRibbonToPanel(const PrintSizeRecord& size, uint32_t ulPlaneCode, uint32_t ulMask);

// ---- repeats ----
// The order code of print-order row 1 from its side and unit: 1..4.
uint32_t OrderCode(uint32_t ulSide, uint32_t ulUnit);
// Counts single-colour jobs in a row with the same order code; a job with
// an SP image or two colour images resets the count. The current-job
// look-up's result (the state unchanged on failure).
int32_t CountUnitRepeat();
