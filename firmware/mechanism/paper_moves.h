// The paper moves: step machines that move the paper by a distance or to a
// position with the main and the sub paper stepper under the paper
// position, wait for the steppers to stop and stop the eject motor. With
// SEQ_CHECK_PAPER_END in the mask a paper end seen during the move (the
// paper-empty check sets g_ulPaperEndFlag) is handled once: a move whose
// remaining distance is then larger than limit A is cut short and keeps
// limit A less the distance run since in the paper position's remaining
// steps; a shorter one runs to its target, and g_ulPaperInNearZone tells
// whether it was within limit B.
//
// Every move returns 0, the failing operation's result, or -1 after an
// abort, which leaves the steppers and the eject motor running. Distances
// and positions are in print lines; the speed profiles are those of the
// paper position (40: that stepper does not run).
#pragma once

#include <cstdint>

// 1 after the end of the paper roll was seen.
extern uint32_t g_ulPaperEndFlag;
// 1 when the last paper end was seen within limit B of the move's target.
extern uint32_t g_ulPaperInNearZone;

// The paper-end limits in main-stepper steps, from g_ulEngPosRefA.
uint32_t PaperEndLimitA();
uint32_t PaperEndLimitB();

int32_t MovePaperBy(int32_t lLines, uint32_t ulExcitationMode, uint32_t ulSubStepMode, uint32_t ulMainProfile,
                    uint32_t ulSubProfile, uint32_t ulMask);
// To line + offset lines; ends at once when the paper is there.
int32_t MovePaperTo(uint32_t ulLine, int32_t lOffsetLines, uint32_t ulExcitationMode, uint32_t ulSubStepMode,
                    uint32_t ulMainProfile, uint32_t ulSubProfile, uint32_t ulMask);
// MovePaperTo with the paper position's parameter 9 and feed drive
// (parameter 10: 40 none, any other starts the eject motor with the move,
// 50 also leaves it running after the move).
int32_t MovePaperToEx(uint32_t ulLine, int32_t lOffsetLines, uint32_t ulExcitationMode, uint32_t ulSubStepMode,
                      uint32_t ulParam9, uint32_t ulMainProfile, uint32_t ulSubProfile, uint32_t ulFeedDrive,
                      uint32_t ulMask);
// A relative move with the main stepper alone that measures the roll on
// the way: once the roll encoder has started to turn, the main stepper's
// steps over the next 32 counts, scaled to 36 counts and to half steps,
// set the roll's diameter; without a measurement (the roll does not turn,
// or the roll-encoder check before the move found the roll's end) the
// diameter of a full roll is set. The four feed-matched ramps are rebuilt
// after. After a failure or an abort nothing is set or rebuilt.
int32_t MovePaperMeasureRoll(int32_t lLines, uint32_t ulExcitationMode, uint32_t ulParam9, uint32_t ulMainProfile,
                             uint32_t ulParam10, uint32_t ulMask);

// ---- variants no sequence calls ----
// By steps, without the paper-end handling.
int32_t MovePaperSteps(int32_t lSteps, uint32_t ulExcitationMode, uint32_t ulSubStepMode, uint32_t ulMainProfile,
                       uint32_t ulSubProfile, uint32_t ulMask);
// The main pinch (request on the current unit) and the eject pinch
// (position) start first and are polled with the abort check short of its
// host and paper-end bits until both are done; the move starts once the
// delay (ms, 16 bits) has passed.
int32_t MovePaperByWithPinches(int32_t lLines, uint32_t ulExcitationMode, uint32_t ulSubStepMode,
                               uint32_t ulMainProfile, uint32_t ulSubProfile, uint32_t ulMainPinchRequest,
                               uint32_t ulEjectPinchPosition, uint32_t ulDelayMs, uint32_t ulMask);
int32_t MovePaperToWithPinches(uint32_t ulLine, int32_t lOffsetLines, uint32_t ulExcitationMode,
                               uint32_t ulSubStepMode, uint32_t ulMainProfile, uint32_t ulSubProfile,
                               uint32_t ulMainPinchRequest, uint32_t ulEjectPinchPosition, uint32_t ulDelayMs,
                               uint32_t ulMask);
