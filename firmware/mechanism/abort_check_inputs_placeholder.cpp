// Placeholder of the sensors, the idle supervisor and the DSP request as the
// abort check uses them: every cover reads closed, the paper is present and
// no DSP request runs.
#include "firmware/mechanism/abort_check_inputs.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/platform/placeholder.h"

namespace {
bool s_bLogged;
}  // namespace

int32_t ReadCoverSensor(CoverSensor eSensor, uint32_t* pulReading) {
  LogPlaceholderOnce(s_bLogged, "cover sensors, idle supervisor and DSP request of the abort check");
  const bool bOpenIsZero = eSensor == COVER_FRONT || eSensor == COVER_PAPER_GUIDE;
  *pulReading = bOpenIsZero ? 1 : 0;
  return 0;
}

void NoteCoverOpened() {}

int32_t CheckPaperEmpty(uint32_t) { return 0; }

uint32_t CurrentPaperEndJamIndex() { return GetCurrentUnit() == 0 ? 0x151Fu : 0x1583u; }

void StepDspRequestIfBusy() {}
