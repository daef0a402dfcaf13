// The trace log: text records of API calls, command packets, data, replies
// and pipe handles, each appended to its file with a local time stamp and
// the file closed again, so a record is on disk when the call returns.
//
// Files live under a base path: on Windows "C:\bin\QrxUsbLog"; elsewhere
// the file name "QrxUsbLog" in the directory $BOM7300_TRACE_DIR names
// (unset: no directory, every record is skipped). Per thread:
// "<base>-<thread id>-<process id>.txt"; shared: "<base>-ThreadDevice.txt".
// A file that cannot be opened skips the record; tracing never changes
// an operation's result. Each writer returns the result of closing its
// file (0 when nothing was opened).
//
// The transport and the exports call the writers only while
// $BOM7300_TRACE_DIR names a directory (TraceEnabled).
#pragma once

#include <windows.h>

#include <cstdint>

namespace hostlib {

inline constexpr int kTraceShortValues = 10;

// True while $BOM7300_TRACE_DIR is set and not empty.
bool TraceEnabled();

// Kinds of TraceThreadCall and TraceApiCall: 0 the call, 1 with its
// result, 2 with a size and result, 3 (per thread only) with a data value.
int TraceThreadCall(uint8_t kind, const char *name, int32_t size, uint16_t result);
int TraceApiCall(uint8_t kind, const char *name, int32_t size, uint16_t result);
// Kind 1: the device's read pipe handle; kind 2: its write pipe handle.
int TraceConnectHandle(uint8_t kind, int device);
int TraceShortValues(const uint16_t values[kTraceShortValues]);
// The command's name (empty for a code the command table does not name),
// then every packet byte.
int TraceSendCommand(const uint8_t *packet, int32_t length);
// Kind 1: the write pipe handle; kind 2: every data byte.
int TraceSendData(HANDLE writePipe, uint8_t kind, const uint8_t *data, int32_t length);
int TraceReceiveMessage(const uint8_t *reply, int32_t length);
// Flag 1: the read pipe handle.
int TraceRecvHandle(HANDLE readPipe, uint8_t flag);

}  // namespace hostlib
