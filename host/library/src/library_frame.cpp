// The library entry, the session registry, kt_open and kt_close.
#include "library_frame.h"

#include <windows.h>

#include "bom7300upgrade.h"
#include "device_watcher.h"
#include "discovery.h"
#include "printer_session.h"

namespace hostlib {

CRITICAL_SECTION g_csLibrary;
std::atomic<PrinterSession *> g_apSessions[kMaxSessionSlots];
std::atomic<int32_t> g_aThreadSlots[kMaxSessionSlots];
std::atomic<uint16_t> g_nSessionSlots{1};
HMODULE g_hModule = nullptr;

namespace {

// How long the library waits at unload for a watcher that the application
// left running (it did not call kt_close): the watcher's code goes with
// the library.
constexpr DWORD kDetachWatcherWaitMs = 1000;
// Time given to workers of the sessions to finish before they go.
constexpr DWORD kCloseSettleMs = 50;

// Process attach: slots empty, devices free, the lock ready.
__attribute__((constructor)) void LibraryAttach() {
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&LibraryAttach), &g_hModule);
  for (int i = 0; i < kMaxSessionSlots; ++i) {
    g_apSessions[i].store(nullptr);
    g_aThreadSlots[i].store(kFreeSlot);
  }
  InitializeCriticalSection(&g_csLibrary);
  InitializeCriticalSection(&g_csColorMatch);
  InitDeviceTables();
}

// Process detach: a watcher still running must end before its code is
// unmapped.
__attribute__((destructor)) void LibraryDetach() {
  DeviceWatcher *watcher = nullptr;
  {
    LibraryLock lock;
    watcher = DetachWatcher();
  }
  JoinAndDeleteWatcher(watcher, kDetachWatcherWaitMs);
  DeleteCriticalSection(&g_csColorMatch);
  DeleteCriticalSection(&g_csLibrary);
}

int CountRegistered() {
  int count = 0;
  for (int i = 0; i < kMaxSessionSlots; ++i) {
    if (g_aThreadSlots[i].load() != kFreeSlot) ++count;
  }
  return count;
}

// Creates the session of slot i when it has none and opens it.
bool OpenSlot(int i, uint16_t *err) {
  PrinterSession *session = g_apSessions[i].load();
  if (session == nullptr) {
    session = new (std::nothrow) PrinterSession();
    if (session == nullptr) {
      *err = RESULT_MEMORY_FULL;
      return false;
    }
    g_apSessions[i].store(session);
  }
  return session->Open(err) != 0;
}

}  // namespace

int32_t CallingThreadId() { return static_cast<int32_t>(GetCurrentThreadId()); }

int FindThreadSession() {
  const int32_t me = CallingThreadId();
  const int slots = g_nSessionSlots.load();
  for (int i = 0; i < slots; ++i) {
    if (g_aThreadSlots[i].load() == me) return i;
  }
  return -1;
}

int AssignThreadSlot() {
  int slot = FindThreadSession();
  if (slot >= 0) return slot;
  const int slots = g_nSessionSlots.load();
  for (int i = 0; i < slots; ++i) {
    // A slot without a session is no slot: registering there would leave
    // the thread registered on nothing.
    if (g_aThreadSlots[i].load() == kFreeSlot && g_apSessions[i].load() != nullptr) {
      g_aThreadSlots[i].store(CallingThreadId());
      return i;
    }
  }
  return -1;
}

PrinterSession *CallerSession() {
  const int slot = FindThreadSession();
  return slot < 0 ? nullptr : g_apSessions[slot].load();
}

int CloseAllSessions(uint16_t *err) {
  LibraryLock lock;
  Sleep(kCloseSettleMs);
  const int slots = g_nSessionSlots.load();
  for (int i = 0; i < slots; ++i) {
    if (g_aThreadSlots[i].load() != kFreeSlot) {
      SetCode(err, RESULT_SESSION_IN_USE);
      return 0;
    }
  }
  for (int j = 0; j < slots; ++j) {
    PrinterSession *session = g_apSessions[j].load();
    if (session == nullptr) continue;
    session->Close();
    g_apSessions[j].store(nullptr);
    delete session;
    g_aThreadSlots[j].store(kFreeSlot);
  }
  SetCode(err, RESULT_OK);
  return 1;
}

int SetSessionSlotCount(uint16_t count) {
  LibraryLock lock;
  if (count < g_nSessionSlots.load() || count > kMaxSessionSlots) return 0;
  g_nSessionSlots.store(count);
  for (int i = 0; i < count; ++i) {
    if (g_apSessions[i].load() != nullptr) continue;
    uint16_t code = RESULT_OK;
    if (!OpenSlot(i, &code)) return 0;
  }
  return 1;
}

int CountRegisteredThreads(int16_t *threads, uint16_t *slots) {
  LibraryLock lock;
  if (threads != nullptr) *threads = static_cast<int16_t>(CountRegistered());
  if (slots != nullptr) *slots = g_nSessionSlots.load();
  return 1;
}

DeviceWatcher *CloseUnderLibraryLock() {
  LibraryLock lock;
  const int32_t me = CallingThreadId();
  for (int i = 0; i < kMaxSessionSlots; ++i) {
    if (g_aThreadSlots[i].load() == me) g_aThreadSlots[i].store(kFreeSlot);
  }
  if (CountRegistered() != 0) return nullptr;
  uint16_t ignored = RESULT_OK;
  CloseAllSessions(&ignored);
  return DetachWatcher();
}

void FinishClose(DeviceWatcher *stopping) { JoinAndDeleteWatcher(stopping, kWatcherStopWaitMs); }

}  // namespace hostlib

using namespace hostlib;

extern "C" {

int KT_CALL kt_open(uint16_t *err) noexcept {
  return GuardExport<int>(0, err, [&] {
    LibraryLock lock;
    uint16_t code = RESULT_OK;
    const int slots = g_nSessionSlots.load();
    for (int i = 0; i < slots; ++i) {
      if (!OpenSlot(i, &code)) {
        uint16_t ignored = RESULT_OK;
        CloseAllSessions(&ignored);
        SetCode(err, code);
        return 0;
      }
    }
    int result = 1;
    if (AssignThreadSlot() < 0) {
      code = RESULT_NO_SESSION;
      result = 0;
    }
    StartWatcherIfNone();
    SetCode(err, code);
    return result;
  });
}

void KT_CALL kt_close(void) noexcept {
  GuardExport<int>(0, nullptr, [] {
    FinishClose(CloseUnderLibraryLock());
    return 0;
  });
}

}  // extern "C"
