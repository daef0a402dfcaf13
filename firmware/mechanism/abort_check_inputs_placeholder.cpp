// Placeholder of the sensors and the DSP request as the abort check uses
// them: the covers read their stand-in levels (all closed unless a test sets
// them otherwise), the paper is present and no DSP request runs.
#include "firmware/mechanism/abort_check_inputs.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/mechanism/abort_check_inputs_placeholder.h"
#include "firmware/platform/placeholder.h"

// Closed: the front cover and the paper guide read 1, the others 0.
constinit StandInCovers g_StandInCovers = {{1, 0, 0, 0, 1, 0, 0}, {}};

namespace {
bool s_bLogged;
}  // namespace

int32_t ReadCoverSensor(CoverSensor eSensor, uint32_t* pulReading) {
  LogPlaceholderOnce(s_bLogged, "cover sensors and DSP request of the abort check");
  if (eSensor >= STAND_IN_COVER_SENSORS) return -1;
  ++g_StandInCovers.aulReads[eSensor];
  *pulReading = g_StandInCovers.aulLevel[eSensor];
  return 0;
}

int32_t CheckPaperEmpty(uint32_t) { return 0; }

uint32_t CurrentPaperEndJamIndex() { return GetCurrentUnit() == 0 ? 0x151Fu : 0x1583u; }

void StepDspRequestIfBusy() {}
