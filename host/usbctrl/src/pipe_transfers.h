// Pipe handles of BOM7300UsbCtrl: a handle kind of the Win32 handle
// registry, so ReadFile and WriteFile reach the printer's bulk pipes.
//
// Each ReadFile or WriteFile is one bulk transfer with the pipe's time-out.
// The cable's client blocks on its own condition variable, so the transfer
// runs on a helper thread while the caller blocks through W32X_WaitFd on a
// descriptor the helper signals at the end: the virtual clock sees the
// caller waiting, and TerminateThread or CloseHandle cancel the wait. A
// cancelled caller aborts the transfer on the cable and returns at once
// with ERROR_OPERATION_ABORTED; its helper is joined later, when it has
// ended (it ends as soon as the printer confirms the abort, or when the
// connection closes). A cancelled read may still bring the printer's reply
// (the abort can overtake the start of the helper's transfer); the next
// ReadFile on the device takes that transfer over, so a reply is never
// lost nor given to a later command.
#pragma once

#include <windows.h>

#include <memory>

#include "usb_devices.h"

namespace usbctrl {

// Each transfer's time-out on the printer's clock. It is longer than the
// host library's own 60 s limit on a command exchange, so the library's
// limit governs; a transfer nobody cancels still ends.
constexpr DWORD kPipeTimeoutMs = 120000;

// A handle on the bulk OUT (pipe index 0) or IN (1) pipe of the device, or
// INVALID_HANDLE_VALUE.
HANDLE CreatePipeHandle(const std::shared_ptr<Device> &device, bool in);
// True when `handle` is an open pipe handle of this library.
bool IsPipeHandle(HANDLE handle);
// The device behind an open pipe handle, and which pipe; null when none.
std::shared_ptr<Device> PipeDevice(HANDLE handle, bool *pIn);

// Joins the helpers of abandoned transfers that have ended (all of them,
// waiting, when `wait` is set: their connections must be closed first).
void JoinAbandonedTransfers(bool wait);

}  // namespace usbctrl
