#include "firmware/platform/soft_timer.h"

#include "firmware/platform/time_base.h"

SoftTimer g_SoftTimers[SOFT_TIMER_COUNT];

namespace {

SoftTimer* Entry(uint32_t ulId) {
  if (ulId < SOFT_TIMER_WAIT || ulId > SOFT_TIMER_COUNT) return nullptr;
  return &g_SoftTimers[ulId - 1];
}

}  // namespace

int32_t StartSoftTimer(uint32_t ulId, uint32_t ulMs) {
  SoftTimer* p = Entry(ulId);
  if (p == nullptr) return -1;
  p->ulStart = g_MsTimer.NowMs();
  p->ulDuration = ulMs;
  return 0;
}

int32_t IsSoftTimerRunning(uint32_t ulId) {
  const SoftTimer* p = Entry(ulId);
  if (p == nullptr) return 0;
  return g_MsTimer.NowMs() - p->ulStart < p->ulDuration ? -1 : 0;
}

uint32_t GetSoftTimerRemaining(uint32_t ulId) {
  const SoftTimer* p = Entry(ulId);
  if (p == nullptr) return 0;
  const uint32_t ulElapsed = g_MsTimer.NowMs() - p->ulStart;
  return ulElapsed < p->ulDuration ? p->ulDuration - ulElapsed : 0;
}
