// The update command with its data phase and the data-received dispatch by
// update kind, the deferred reset command, and the two deferred lists that
// the printer states apply from their dispatch in the main loop.
#pragma once

#include <cstdint>

int32_t ExecUpdateCommand();
int32_t OnUpdateDataReceived();
int32_t ExecResetCommand();
int32_t ApplyPendingUpdates();
int32_t ApplyPendingResets();

// Deferred resets waiting in their list (at most 3).
constexpr uint32_t PENDING_RESETS_MAX = 3;
extern uint32_t g_ulPendingResetCount;
