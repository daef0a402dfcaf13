// The blocking ribbon operations of the paper and ribbon sequences, each a
// step machine on the current unit (its motors, clutch, encoders, ribbon
// manager and roll model through the unit switch's pointers). Encoder
// distances are taken modulo 2^16. The mask is the caller's abort mask.
#pragma once

#include <cstdint>

#include "firmware/sequences/sequence_words.h"

// Error index of two units whose ribbon drive modes differ.
constexpr uint32_t kErrRibbonDriveModes = 0x33D;

// Whether a ribbon is loaded: the supply motor pulls back against the
// reverse clutch at "Tension S[%]" until the lock watch sees the spool
// still for 500 ms. 0 loaded; -1 with the unit's ribbon-empty index when
// the watch counts too many changes, or after 4000 ms without a lock
// unless the time-out is tolerated (then 0). The motor and clutch end off.
int32_t CheckRibbonLoaded(uint32_t ulTolerateTimeout, uint32_t ulMask);

// Measures the drive mode of unit ulUnit (0 L, 1 R) while its word is 0:
// more than 59 supply counts in 500 ms forward at duty 100 is mode 1, else
// mode 2. Then g_ulEngModeA := the unit's mode; with "Ribbon Status" 0 or
// 1 two known modes that differ give mode A 0, kErrRibbonDriveModes and
// -1; a "Ribbon Status" above 3 gives -1.
int32_t DetectRibbonDriveMode(uint32_t ulUnit, uint32_t ulMask);

// The ribbon's dummy step machine, run after a ribbon has been found or
// wound: its start step is its end step, so it returns 0 at once and moves
// nothing. The mask is the caller's.
int32_t RibbonDummyRun(uint32_t ulMask);

// Takes up the current unit's ribbon slack; a count flag not 0 counts the
// take-up, skip not 0 (or drive mode 1) only stops the ribbon. 0 or the
// failing step's result.
int32_t TakeUpRibbonSlack(uint32_t ulCount, uint32_t ulSkip, uint32_t ulMask);

// Winds ulCounts supply counts in ribbon phase ulPhase while the paper
// moves ulLines forward; a ribbon fault or a paper move that ends first
// rolls both back, tightens and tries the rest again, up to ulRetries
// times (then the ribbon-empty index and -1). ulStopAtEnd 1 stops the
// ribbon at the end and after a failure, releasing the clutch when
// ulRelease is set.
int32_t WindRibbonWithPaperFeed(uint32_t ulPhase, uint32_t ulCounts, uint32_t ulMask, uint32_t ulStopAtEnd,
                                uint32_t ulRetries, uint32_t ulRelease, uint32_t ulLines, uint32_t ulWaitMs);

// Winds ulCounts supply counts in the phase and direction; both barcode
// pointers given receive the largest and smallest barcode readings. A
// ribbon fault rolls back, tightens and tries the rest + 2 again, up to
// ulRetries times (then -1).
int32_t WindRibbonToCount(uint32_t ulPhase, uint32_t ulDirection, uint32_t ulCounts, uint32_t ulMask,
                          uint32_t ulStopAtEnd, uint32_t* pulBarcodeMax, uint32_t* pulBarcodeMin,
                          uint32_t ulRetries, uint32_t ulRelease);

// Tightens the current unit's ribbon: the manager raises the take-up duty
// for every interval in which the supply does not move, up to its start
// duty + 20, and fails beyond; done once the supply has moved ulCounts.
// The motors are left to the caller. 0 or -1.
int32_t TightenRibbon(uint32_t ulIntervalMs, uint32_t ulCounts, uint32_t ulMask);

// Runs the donor phase until the colour sensors find the panel, with
// ulRetries roll-back-and-tighten retries; ulResetSensors 1 resets the
// unit's colour sensors at the end.
int32_t WindToPanelColor(uint32_t ulPhase, uint32_t ulMask, uint32_t* pulBarcodeMax, uint32_t* pulBarcodeMin,
                         uint32_t ulStopAtEnd, uint32_t ulResetSensors, uint32_t ulRetries);

// Winds the ribbon back to its home: 7/8 of "DonorHomePosi" mod 16384
// counts (stored first, so a failed run leaves the rest for the next),
// then "DonorHomePosi" 32768.
int32_t ReturnDonorHome(uint32_t ulMask);
