// Non-blocking drives of one ribbon motor of the current unit: a start
// switches the motor on, and the caller's own step machine calls the step
// once per pass until it reports done, doing other work between two steps.
// Each attempt has a window of 1000 ms to count the target; a missed window
// brakes the motor and tries again 10 points of duty higher; the third miss
// raises the unit's ribbon-empty index. One state block per drive, so each
// drive runs once at a time.
#pragma once

#include <cstdint>

struct RibbonStepDrive {
  uint32_t ulTarget;
  uint32_t ulStartCount;
  uint32_t ulStartTime;
  uint32_t ulWindow;
  uint32_t ulStep;
  uint32_t ulAttemptsLeft;
  uint32_t ulDuty;
  uint32_t ulClutchAtStart;  // the supply drive's rewind clutch when it started
};

// The steps of a drive.
enum RibbonStepDriveStep : uint32_t {
  RIBBON_DRIVE_IDLE = 0,
  RIBBON_DRIVE_COUNTING = 1000,
  RIBBON_DRIVE_WINDOW = 1100,
  RIBBON_DRIVE_MISSED = 2000,
  RIBBON_DRIVE_FAILED = 2100,
  RIBBON_DRIVE_RETRY = 3000,
  RIBBON_DRIVE_STOPPING = 9000,
  RIBBON_DRIVE_CLUTCH_OFF = 9010,
  RIBBON_DRIVE_DONE = 9900,
};

// The take-up motor in reverse on the take-up encoder.
extern RibbonStepDrive g_TakeUpDrive;
// The supply motor forward with the rewind clutch on, on the supply encoder.
extern RibbonStepDrive g_SupplyDrive;

// Target 0 leaves the drive idle. 0.
int32_t StartTakeUpDrive(uint32_t ulDuty, uint32_t ulCounts);
int32_t StartSupplyDrive(uint32_t ulDuty, uint32_t ulCounts);
// One transition; *pulDone 1 once the drive is idle again. 0, or -1 after
// the third miss (the ribbon-empty index raised) or in an unknown step.
int32_t StepTakeUpDrive(uint32_t* pulDone, uint32_t ulUnused);
int32_t StepSupplyDrive(uint32_t* pulDone, uint32_t ulUnused);
// Duty + 10, at most 100.
uint32_t StepUpDuty(uint32_t ulDuty);
