#include "firmware/printengine/thv_cnt.h"

int32_t WalkThvToTarget(CThvCnt& thv) {
  int32_t lResult = thv.StartStepToTarget();
  while (lResult == 0 && thv.StepToTarget() == 1) {
  }
  return lResult;
}
