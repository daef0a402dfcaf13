#include "firmware/sequences/ribbon_winding.h"

#include "firmware/mechanism/step_machine.h"

int32_t RibbonDummyRun(uint32_t ulMask) {
  return RunSteps(SEQ_STEP_END, SEQ_STEP_ERROR, ulMask, [](SeqStepState&) { return SEQ_STEP_END; });
}
