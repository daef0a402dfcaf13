// The unit moves: the step machines through which the sequences move each
// part of the mechanism. A move starts the part's positioner and polls it
// to its end, with the caller's abort check (its host bit cleared: no host
// command runs while one part is on its way). 0, the positioner's failure
// (which it has raised itself), or -1 after an abort, which leaves the part
// moving. The moves refuse nothing themselves.
//
// The carousel's two primitives wrap the paper-roll rotation
// (roll_rotation.h) in an unlock, turn, lock cycle and count the turns in
// the "Carousel" life counter, which status item 65 mirrors; they hand the
// caller's mask on unchanged to the moves and waits they call, and stop the
// carousel motor after any failure.
#pragma once

#include <cstdint>

// ---- one part each ----
// HeadPosition on the current unit's head lift (g_pCurHeadLift).
int32_t MoveHeadUnit(uint32_t ulPosition, uint32_t ulMask);
// Requests 1 up, 10 down, 11 half on the current unit's side, through the
// engine variant's roller (g_pProllMain).
int32_t MoveMainPinch(uint32_t ulRequest, uint32_t ulMask);
// Requests 1 up, 10 down on the current unit's side (g_pProllFeed).
int32_t MoveFeedPinch(uint32_t ulRequest, uint32_t ulMask);
int32_t MoveEjectPinch(uint32_t ulPosition, uint32_t ulMask);
int32_t MoveLoadBar(uint32_t ulPosition, uint32_t ulMask);
int32_t MoveLoadPinch(uint32_t ulPosition, uint32_t ulMask);
int32_t MovePathSelect(uint32_t ulPosition, uint32_t ulMask);
// Mode 2 settles the cutter from its end switches; modes 1-3 otherwise cut,
// crossing to the other side.
int32_t MoveCutter(uint32_t ulMode, uint32_t ulMask);
// RotationLockPosition 1 release, 3 unlock, 5 lock. Locking keeps the
// carousel motor turning for "Wait[10msec]" x 10 ms after the lock move
// starts, then stops it. "RotationLockFlag" becomes 2 after 1 or 3, 1 after
// 5, 0 after a failure.
int32_t MoveRotationLock(uint32_t ulPosition, uint32_t ulMask);

// ---- the carousel ----
// At start-up: a carousel whose lock was not kept has lost its position; an
// unknown position is homed (when no paper is at "Top L", "Top R" or
// "PaperEmpty"), counted, turned to neutral and locked.
int32_t InitPaperRollRotation(uint32_t ulMask);
// Turns to position 1, 2 or 3: unlock, turn, count (2 from one side to the
// other, else 1), 500 ms, lock. Nothing moves at the position; -1 with
// paper at "Top L" or "Top R" (nothing unlocked, no error index).
int32_t TurnPaperRoll(uint32_t ulTarget, uint32_t ulMask);

// ---- primitives no sequence calls, on the same conventions ----
// "Hit Any Key ... " on the LCD line until a key arrives, then the line as
// it was; the result of saving the line.
int32_t SeqPromptAnyKey(uint32_t ulMask);
// "Phase :     nnnn" until a key arrives; no abort check.
void ShowPhaseAndWaitKey(uint32_t ulPhase);
// The main pinch at once, the eject pinch after ulDelayMs (16 bits); both
// polled until both are done.
int32_t MoveMainAndEjectPinch(uint32_t ulMainRequest, uint32_t ulEjectPosition, uint32_t ulDelayMs, uint32_t ulMask);
// With ulSubSteps not 0, the sub paper stepper runs first at 1000 pulses a
// second (backward when ulReverse is not 0) for that many steps; the head
// and the eject pinch at once, the main pinch after ulDelayMs; all polled
// until all are done.
int32_t MoveHeadEjectAndMainPinch(uint32_t ulHeadPosition, uint32_t ulEjectPosition, uint32_t ulMainRequest,
                                  uint32_t ulDelayMs, uint32_t ulReverse, uint32_t ulSubSteps, uint32_t ulMask);
// The main pinch at once, the cutter (as MoveCutter) after ulDelayMs; both
// polled until both are done.
int32_t MoveMainPinchAndCutter(uint32_t ulMainRequest, uint32_t ulCutterMode, uint32_t ulDelayMs, uint32_t ulMask);

// One wind of the current unit's ribbon to its magenta panel (phase 10,
// forward) by the current ribbon manager, polled until its step ends, then
// stopped with the encoder counts kept and the clutch released; host
// commands are served while it runs. 0, or -1 when the manager's step
// failed or an abort check stopped it.
int32_t RunRibbonPhaseOnce();
