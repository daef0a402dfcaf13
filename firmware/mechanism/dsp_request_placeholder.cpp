// Placeholder of the DSP image requests: none ever runs.
#include "firmware/mechanism/abort_check_inputs.h"
#include "firmware/platform/placeholder.h"

void StepDspRequestIfBusy() {
  static bool s_bLogged;
  LogPlaceholderOnce(s_bLogged, "DSP image requests");
}
