#include "firmware/sequences/ribbon_winding.h"

#include "firmware/mechanism/donor_mng.h"
#include "firmware/mechanism/step_machine.h"

int32_t RibbonDummyRun(uint32_t ulMask) {
  return RunSteps(SEQ_STEP_END, SEQ_STEP_ERROR, ulMask, [](SeqStepState&) { return SEQ_STEP_END; });
}

int32_t TightenRibbon(uint32_t ulIntervalMs, uint32_t ulCounts, uint32_t ulMask) {
  enum : uint32_t { START = 0, STEP = 10 };
  return RunSteps(START, SEQ_STEP_END, ulMask, [&](SeqStepState& s) -> uint32_t {
    switch (s.ulStep) {
      case START:
        s.lResult = g_pDonorMng->StartTighten(ulIntervalMs, ulCounts);
        return STEP;
      case STEP: {
        uint32_t ulDone = 0;
        s.lResult = g_pDonorMng->StepTighten(&ulDone);
        return ulDone != 0 ? SEQ_STEP_END : STEP;
      }
      case SEQ_STEP_END:
        return SEQ_STEP_END;
      default:
        s.lResult = -1;
        return SEQ_STEP_END;
    }
  });
}
