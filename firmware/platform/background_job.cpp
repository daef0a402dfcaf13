#include "firmware/platform/background_job.h"

uint32_t g_ulBackgroundJobRequests;
uint32_t g_ulBackgroundJobPaused;

int32_t ClearBackgroundJobRequests() {
  g_ulBackgroundJobRequests = 0;
  g_ulBackgroundJobPaused = 0;
  return 0;
}

void RequestBackgroundJob(uint32_t ulBits) { g_ulBackgroundJobRequests |= ulBits; }

uint32_t GetBackgroundJobRequests() { return g_ulBackgroundJobRequests; }

void PauseBackgroundJob() { g_ulBackgroundJobPaused = 1; }

void ResumeBackgroundJob() { g_ulBackgroundJobPaused = 0; }
