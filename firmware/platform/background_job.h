// The background-job gate: request bits for pending drive steps and a pause
// flag. No task runs background jobs in this system, so the gate only holds
// what is written to it; the application start-up clears it once.
#pragma once

#include <cstdint>

extern uint32_t g_ulBackgroundJobRequests;
extern uint32_t g_ulBackgroundJobPaused;

// Clears the request bits and the pause flag; returns 0.
int32_t ClearBackgroundJobRequests();
void RequestBackgroundJob(uint32_t ulBits);
uint32_t GetBackgroundJobRequests();
// Notes a pause and its end. They take no semaphore: SHMEM_SEM guards the
// USB mailbox, and holding it while paused would stop all mailbox traffic
// between the USB task and the application.
void PauseBackgroundJob();
void ResumeBackgroundJob();
