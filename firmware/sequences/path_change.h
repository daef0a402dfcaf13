// The paper path change: the paper roll sits on a carousel between the two
// print units, and a path selector leads the paper to the unit L or the
// unit R. A print-order row names a side (1 A, 2 B) and a unit (1 L, 2 R);
// side and unit give the row's target slot, the carousel's orientation and
// the path selector the present slot:
//
//   slot 1 side A on L, slot 2 side B on L, slot 3 side A on R, slot 4 side
//   B on R; slots 1 and 4 share one carousel orientation ("Rotation Flag"
//   2), slots 2 and 3 the other ("Rotation Flag" 3).
//
// A change between slots of one orientation moves the path selector only;
// any other turns the carousel too. Each change backs the paper out of the
// present unit's path, past the path's split, selects the new unit
// (SelectUnit re-points every current-unit object) and feeds the paper up
// to the new unit's top sensor and on to the start position 67133.
//
// Results: 0, or non-zero after a failure (the failing move has raised its
// error index; a paper end seen on the way fails too). g_ulPathChanged is 1
// after every change, also after a failure.
#pragma once

#include <cstdint>

// The slots 1-4 and the turn table's rows and columns (0: no slot).
constexpr uint32_t PATH_SLOTS = 5;

// Target slot and unit index (the argument of SelectUnit) of a side and a
// unit: -1 for a side or a unit outside 1-2 (outputs untouched).
int32_t PathTargetSlot(uint32_t ulSide, uint32_t ulUnit, uint32_t* pulSlot, uint32_t* pulUnitIndex);
// 1 when the carousel must turn to go from the current slot to the target
// slot, 0 when the path selector alone changes (also for slot 0).
uint32_t PathTurnNeeded(uint32_t ulTargetSlot, uint32_t ulCurrentSlot);

// The last stretch of a preparation and of a print-time change, three
// steps of the caller's step machine: steps[0] the ribbon's slack taken
// up, steps[1] the paper to 100 lines short of the start position 67133,
// steps[2] on to "Position" within the limit (the jam index at the limit),
// the paper position set and g_ulPathPrepared 1; then steps[3]. 0 for a
// step that is not one of the three.
struct SeqStepState;
uint32_t StartPositionStep(SeqStepState& s, const uint32_t (&aulSteps)[4], uint32_t ulLimitLines,
                           uint32_t ulJamIndex, uint32_t ulMask);

// Kinds of the print-time change.
constexpr uint32_t PATH_CHANGE_PRINTING = 1;
constexpr uint32_t PATH_CHANGE_DIAGNOSIS = 2;

// Looks at print-order row ulEntryIndex of the current job and changes the
// path when the row needs it: idle 1 with the change before a job
// (ChangePathIdleSequence), 0 with the print-time change. *pulChanged is 0
// when no change was needed, else 1 (also after a failure).
int32_t ChangePathIfNeeded(uint32_t ulEntryIndex, uint32_t ulIdle, uint32_t* pulChanged, uint32_t ulMask);
// The same for a side and a unit. A side or unit outside 1-2, or a current
// slot that cannot be resolved: -1 with *pulChanged 1, nothing moved.
int32_t DecidePathChange(uint32_t ulSide, uint32_t ulUnit, uint32_t ulIdle, uint32_t* pulChanged, uint32_t ulMask);

// The change while printing (kind 1) or from the auto-diagnosis (kind 2),
// to unit index ulUnitIndex, turning the carousel when ulTurn is 1. While
// printing the other unit's head is pre-heated when rows are left; in the
// CIS configuration mode ("Cis SW" and "Config Mode" on, not kind 2) the
// CIS offset of unit R is measured on the way. Both pre-heats stop after a
// failure. Leaves the paper at 67133 (g_ulPathPrepared 1).
int32_t ChangePathSequence(uint32_t ulTurn, uint32_t ulUnitIndex, uint32_t ulKind, uint32_t ulMask);
// The change before a job and before a reload; leaves the paper just past
// the engine's first reference.
int32_t ChangePathIdleSequence(uint32_t ulTurn, uint32_t ulUnitIndex, uint32_t ulMask);
