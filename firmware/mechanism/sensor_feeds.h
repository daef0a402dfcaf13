// Feeds to a sensor: both paper steppers run along ramp tables with an
// open target while one paper sensor is watched every pass; the feed stops
// a given extra distance after the sensor has reached the wanted state and
// raises the caller's error index when it does not within a distance limit.
// The limit and the extra distance are measured on the main stepper's
// countdown, loaded with the limit in steps plus 65536 (reached once it
// falls to 65535). The sub stepper always runs the other way round.
//
// Every feed is a step machine (error step SEQ_STEP_STOP) returning 0, -1
// (limit reached or aborted) or a failing operation's result. A stop flag
// of 1 halts both steppers at the end (energised); any other value leaves
// them running for the caller, on success and on failure alike.
#pragma once

#include <cstdint>

class CAnalogSensor;
class CRampTable;
class CStpmtr;

// A stepper run along one ramp object's table (acceleration and
// deceleration alike), not held, with an open (0) or a given target: the
// run's result.
int32_t RunAlongRamp(CStpmtr& motor, const CRampTable* pRamp, uint32_t ulDirection, uint32_t ulMode,
                     uint32_t ulTarget = 0);

int32_t FeedToSensor(CAnalogSensor* pSensor, uint32_t ulDirection, uint32_t ulTarget, uint32_t ulLimitLines,
                     uint32_t ulErrorIndex, uint32_t ulStopFlag, uint32_t ulExtraLines, uint32_t ulMask);
// Both steppers in the excitation mode; distances at half rate in mode 1
// and any mode but 2 (whole rate) and 3 (four times).
int32_t FeedUntilSensor(CAnalogSensor* pSensor, uint32_t ulDirection, uint32_t ulExcitationMode, uint32_t ulTarget,
                        uint32_t ulLimitLines, uint32_t ulErrorIndex, uint32_t ulStopFlag, uint32_t ulExtraLines,
                        uint32_t ulMask);
int32_t FeedToSensorCoarse(CAnalogSensor* pSensor, uint32_t ulDirection, uint32_t ulTarget, uint32_t ulLimitLines,
                           uint32_t ulErrorIndex, uint32_t ulStopFlag, uint32_t ulExtraLines, uint32_t ulMask);
// FeedToSensor that stores a trace record {direction, direction, load-pinch
// position, "Printpath Flag", the sensor's raw value}: kind 2 at each poll
// before the sensor is reached, 3 when reached, 4 at the limit.
int32_t FeedToSensorTraced(CAnalogSensor* pSensor, uint32_t ulDirection, uint32_t ulTarget, uint32_t ulLimitLines,
                           uint32_t ulErrorIndex, uint32_t ulStopFlag, uint32_t ulExtraLines, uint32_t ulMask);
// With the caller's ramps; once the sensor is reached the main stepper's
// target becomes the extra distance and the feed waits for both steppers
// to come down to constant speed (or to stand). A main stepper still at
// speed once the extra distance has run (no extra distance) comes down
// then, and a sub stepper running on its own comes down after it. An
// excitation mode other than 1 or 2: -1 at once, nothing moved. The abort
// checks do not serve the host.
int32_t FeedToSensorTargeted(CAnalogSensor* pSensor, uint32_t ulDirection, uint32_t ulTarget, uint32_t ulMainMode,
                             uint32_t ulSubMode, const CRampTable* pMainRamp, const CRampTable* pSubRamp,
                             uint32_t ulLimitLines, uint32_t ulErrorIndex, uint32_t ulStopFlag, uint32_t ulExtraLines,
                             uint32_t ulMask);
// No extra distance; the limit applies to the roll encoder ("RollEnc") and
// to the sub stepper's steps, whichever passes first. Both limits are
// computed in double precision and saturate at 32 bits; the roll-encoder
// distance is taken modulo 2^16, so its limit is good below 32768 counts.
int32_t FeedToSensorRollLimited(CAnalogSensor* pSensor, uint32_t ulDirection, uint32_t ulTarget,
                                uint32_t ulLimitLines, uint32_t ulErrorIndex, uint32_t ulStopFlag, uint32_t ulMask);

// The roll-encoder limit of a roll-limited feed of ulLimitLines, and its
// sub-stepper limit in steps.
uint32_t RollEncoderLimit(uint32_t ulLimitLines);
uint32_t RollSubStepLimit(uint32_t ulRollEncoderLimit);

// Window checks, once per pass while the paper is fed; travelled := start
// countdown - the main countdown now. A failing countdown or sensor read
// returns its result.
// Past the window done := 1 and the sensor is not looked at; inside it a
// sensor out of the expected state raises the index: -1.
int32_t CheckSensorHeldDuringFeed(CAnalogSensor* pSensor, uint32_t ulExpected, uint32_t& ulDone,
                                  uint32_t ulStartCountdown, uint32_t ulWindowSteps, uint32_t& ulTravelled,
                                  uint32_t ulErrorIndex);
// Past the window the index is raised: -1; inside it the sensor in the
// expected state sets reached := 1.
int32_t CheckSensorReachedInWindow(CAnalogSensor* pSensor, uint32_t ulExpected, uint32_t& ulReached,
                                   uint32_t ulStartCountdown, uint32_t ulWindowSteps, uint32_t& ulTravelled,
                                   uint32_t ulErrorIndex);

// TABLE values i (top period), i+8 and i+16 (start periods of A and B),
// i+24 and i+32 (ramp times of A and B) set up two ramps sharing their top
// speed: the last set-up's result, or the refused look-up's (-2 for an
// index above 255), nothing set up then.
int32_t LoadRampTablesFromTable(uint32_t ulIndex, CRampTable* pRampA, CRampTable* pRampB, uint32_t ulMask);

// Blocking runs of the sub stepper without abort checks, until its
// countdown (steps + 65536) has fallen to 65536. With extra steps the sub
// stepper runs independently to steps + extra (the short run: - 80).
int32_t RunSubStepper(const CRampTable* pRamp, uint32_t ulStepMode, uint32_t ulSteps, uint32_t ulExtraSteps,
                      uint32_t ulReverse);
int32_t RunSubStepperShort(const CRampTable* pRamp, uint32_t ulStepMode, uint32_t ulSteps, uint32_t ulExtraSteps,
                           uint32_t ulReverse);
