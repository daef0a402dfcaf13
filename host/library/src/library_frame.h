// The frame of the library: the library-wide lock, the registry of
// per-thread session slots, and the exports' common guard.
//
// Sessions live in slots (one by default, at most 100) owned by thread ids.
// kt_open creates or reopens every session and registers the calling
// thread; kt_close unregisters it and, when no thread remains, destroys
// every session. g_csLibrary guards opening, closing, discovery, selection
// and the watcher's sweep; device operations serialise on the printer's
// named mutex instead (transport.h). Lock order: g_csLibrary, then a device
// mutex; g_csColorMatch is taken last and alone.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <new>

#include "host_result_codes.h"
#include "trace_log.h"

namespace hostlib {

class PrinterSession;

inline constexpr int kMaxSessionSlots = 100;
inline constexpr int32_t kFreeSlot = -1;

extern CRITICAL_SECTION g_csLibrary;
// Session of each slot; null = none. Written under g_csLibrary.
extern std::atomic<PrinterSession *> g_apSessions[kMaxSessionSlots];
// Thread id owning each slot, kFreeSlot when free. Written under g_csLibrary.
extern std::atomic<int32_t> g_aThreadSlots[kMaxSessionSlots];
// Slots in use: 1 at load, at most 100, never lowered.
extern std::atomic<uint16_t> g_nSessionSlots;
// The library's own module (instance of the watcher's window).
extern HMODULE g_hModule;

// Holds g_csLibrary for a scope. The section is recursive for its owner.
class LibraryLock {
 public:
  LibraryLock() { EnterCriticalSection(&g_csLibrary); }
  ~LibraryLock() { LeaveCriticalSection(&g_csLibrary); }
  LibraryLock(const LibraryLock &) = delete;
  LibraryLock &operator=(const LibraryLock &) = delete;
};

// The calling thread's id as the registry keeps it.
int32_t CallingThreadId();

// The slot among the first g_nSessionSlots that the calling thread owns,
// or -1.
int FindThreadSession();
// The calling thread's slot; else the first free slot that has a session,
// which the calling thread then owns; -1 when there is none. Under
// g_csLibrary.
int AssignThreadSlot();
// The calling thread's session, or null.
PrinterSession *CallerSession();

// Destroys every session when no thread is registered (else
// RESULT_SESSION_IN_USE). Always writes *err.
int CloseAllSessions(uint16_t *err);
// Raises the number of slots (never lowers it) and opens the new ones.
int SetSessionSlotCount(uint16_t count);
// Registered threads among all slots, and the slots in use.
int CountRegisteredThreads(int16_t *threads, uint16_t *slots);

// The two halves of kt_close: what runs under g_csLibrary (unregistering,
// and for the last thread destroying the sessions and asking the watcher to
// stop), and the wait for that watcher, which runs outside the lock so the
// watcher's sweep can still take it.
class DeviceWatcher;
DeviceWatcher *CloseUnderLibraryLock();
void FinishClose(DeviceWatcher *stopping);

inline void SetCode(uint16_t *err, uint16_t code) {
  if (err != nullptr) *err = code;
}

// Runs an export's body so that no exception crosses the interface: an
// exhausted heap reports RESULT_MEMORY_FULL, anything else
// RESULT_UNEXPECTED_REPLY, each with the export's failure value. While the
// trace log is on, the call and its result code are recorded under the
// calling function's name.
template <typename Result, typename Body>
Result GuardExport(Result failure, uint16_t *err, Body body, const char *name = __builtin_FUNCTION()) noexcept {
  const bool traced = TraceEnabled();
  if (traced) TraceApiCall(0, name, 0, RESULT_OK);
  Result result = failure;
  try {
    result = body();
  } catch (const std::bad_alloc &) {
    SetCode(err, RESULT_MEMORY_FULL);
  } catch (...) {
    SetCode(err, RESULT_UNEXPECTED_REPLY);
  }
  if (traced) TraceApiCall(1, name, 0, err != nullptr ? *err : static_cast<uint16_t>(RESULT_OK));
  return result;
}

// The body of an export that works on the caller's session: without a
// session RESULT_NO_SESSION and 0; else `operation(session, &code)`, whose
// code is reported.
template <typename Operation>
int RunOnCallerSession(uint16_t *err, Operation operation, const char *name = __builtin_FUNCTION()) noexcept {
  return GuardExport<int>(
      0, err,
      [&] {
        PrinterSession *session = CallerSession();
        if (session == nullptr) {
          SetCode(err, RESULT_NO_SESSION);
          return 0;
        }
        uint16_t code = RESULT_OK;
        const int result = operation(*session, &code);
        SetCode(err, code);
        return result;
      },
      name);
}

}  // namespace hostlib
