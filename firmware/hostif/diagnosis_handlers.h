// The self-diagnosis and panel command handlers: single devices driven or
// read for diagnosis, the auto-diagnosis and mechanism initialisation, the
// follow-ups run after their reply (status sheet, head-voltage tuning), the
// Ready LED blink, the key enable and the error-history reset.
#pragma once

#include <cstdint>

#include "firmware/sequences/sequence_words.h"

int32_t ExecSelfDiagnosis();
int32_t ExecDiagnosisFollowup();
int32_t ExecFlashLed();
int32_t ExecOperationButton();
int32_t ExecResetErrorLog();

// Whether a self-diagnosis sub-command is answered first and run by the
// follow-up after its reply (the key test, the status sheet, the head-voltage
// tuning): each takes longer than the host waits for a reply.
bool DiagnosisRunsAfterReply(uint32_t ulSubCommand);
