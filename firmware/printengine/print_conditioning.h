// Before a pass prints: the head of the current unit neither too hot nor
// too cold, and its drive voltage corrected for the ambient humidity. The
// thermal-protection waits (fans, "Cooling", optionally the paper backed
// off the head), the pre-heat wait, the head-voltage humidity correction
// and the "Printing" line every print step machine writes when it resumes.
#pragma once

#include <cstdint>

class CThvCnt;

// Cooling-time table: 6 humidity row thresholds, 8 ambient column
// thresholds, then 7 rows of 9 cooling times in seconds.
constexpr uint32_t COOLING_ROWS = 6, COOLING_COLUMNS = 8;
constexpr uint32_t COOLING_TABLE_BYTES = COOLING_ROWS + COOLING_COLUMNS + (COOLING_ROWS + 1) * (COOLING_COLUMNS + 1);
extern const uint8_t g_aucCoolingTime[COOLING_TABLE_BYTES];

// 1 once the pre-heat wait has completed for the current sheet (the
// callers set and clear it).
extern uint32_t g_ulPreheatWaited;

// The waits: 0, or -1 / the first failing result. The back-off flag 1
// moves the paper back by BackOffLength while waiting.
int32_t CoolingWaitSequence(uint32_t ulOnLevel, uint32_t ulOffLevel, uint32_t ulBackOff, uint32_t ulMask);
// The same without the cooling-time stage (the overcoat pass).
int32_t CoolingWaitSequenceL(uint32_t ulOnLevel, uint32_t ulOffLevel, uint32_t ulBackOff, uint32_t ulMask);
int32_t PreheatWaitSequence(uint32_t ulMask, uint32_t ulBackOff);

// The cooling-time stage before the head is polled; toggles the Ready LED
// state it is given. 0 or -1.
int32_t CoolingTimeWait(uint32_t* pulLedState, uint32_t ulMask);
// The seconds for an ambient and a humidity reading (unsigned 8-bit) from
// g_aucCoolingTime, or from a table of the same layout.
int32_t CoolingTimeLookup(uint32_t ulAmbient, uint32_t ulHumidity, uint32_t* pulSeconds);
int32_t CoolingTimeLookupIn(const uint8_t* pucTable, uint32_t ulAmbient, uint32_t ulHumidity, uint32_t* pulSeconds);
// The cooling-time hook: no source asks for cooling time yet, so it
// answers request 0 and humidity 0.
int32_t GetCoolingRequest(uint32_t* pulRequest, uint32_t* pulHumidity);

// The paper back-off distance of the current job, in lines (signed): 0, or
// -1 without a current job.
int32_t BackOffLength(int32_t* plLines);

// The humidity correction of a plane's head-voltage object from TABLE
// tables 42 + index and 102 + index: 0, or the TABLE error of a missing
// table (the object unchanged).
int32_t CorrectTHVHumid(CThvCnt* pThv, uint32_t ulPlaneCode);

// "Printing     A/L" ... by the current job's print-order row, "Printing
// " without a job. The GetCurrentJob result.
int32_t ShowPrintingUnit();
