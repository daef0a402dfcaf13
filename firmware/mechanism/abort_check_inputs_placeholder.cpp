// Placeholder of the sensors and the DSP request as the abort check uses
// them: every cover reads closed (unless a test sets a reading), the paper
// is present and no DSP request runs.
#include "firmware/mechanism/abort_check_inputs.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/platform/placeholder.h"

namespace {
bool s_bLogged;
}  // namespace

// Test readings by sensor: 0 none (the closed level), else the reading + 1.
uint32_t g_aulPlaceholderCoverReadings[COVER_UPPER_R + 1];

int32_t ReadCoverSensor(CoverSensor eSensor, uint32_t* pulReading) {
  LogPlaceholderOnce(s_bLogged, "cover sensors and DSP request of the abort check");
  const bool bOpenIsZero = eSensor == COVER_FRONT || eSensor == COVER_PAPER_GUIDE;
  const uint32_t ulTest = g_aulPlaceholderCoverReadings[eSensor];
  *pulReading = ulTest != 0 ? ulTest - 1 : (bOpenIsZero ? 1 : 0);
  return 0;
}

int32_t CheckPaperEmpty(uint32_t) { return 0; }

uint32_t CurrentPaperEndJamIndex() { return GetCurrentUnit() == 0 ? 0x151Fu : 0x1583u; }

void StepDspRequestIfBusy() {}
