// The application's host-command poll: one pass of usb_comm, then at most
// one pending command handler. Run by the main loop on every pass and by
// the abort check of every sequence that keeps the host bit.
#pragma once

#include <cstdint>

int32_t PollHostCommands();
