// What the abort check reads and notes in parts around it: the cover
// sensors, the idle supervisor's cover note and paper-empty check, and the
// DSP image request.
#pragma once

#include <cstdint>

enum CoverSensor : uint32_t {
  COVER_FRONT = 0,     // "FrontCover": 0 = open
  COVER_SIDE_L,        // "SideCover L": 1 = open
  COVER_SIDE_R,        // "SideCover R": 1 = open
  COVER_PAPER,         // "PaperCover": 1 = open
  COVER_PAPER_GUIDE,   // "PaperGuide": 0 = open
  COVER_UPPER_L,       // "UpperCoverL": 1 = up
  COVER_UPPER_R,       // "UpperCoverR": 1 = up
};

// The debounced reading of a cover sensor: 0 with the reading, or negative
// when the read failed (the sensor has raised its own error index; the
// reading is then not fresh and the check treats the cover as closed).
int32_t ReadCoverSensor(CoverSensor eSensor, uint32_t* pulReading);
// The idle supervisor's note that a cover was opened during a sequence.
void NoteCoverOpened();
// The idle supervisor's paper-empty check in mode 1 or 2.
int32_t CheckPaperEmpty(uint32_t ulMode);
// The current unit's paper-end jam error index ("Upper L Jam" / "Upper R
// Jam", suffix 31).
uint32_t CurrentPaperEndJamIndex();
// One step of a running DSP image request, when one runs.
void StepDspRequestIfBusy();
