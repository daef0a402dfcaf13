// The device-change watcher: a thread with a hidden STATIC window that
// polls its messages every 200 ms and sweeps the device tables when the
// device tree changed. It lives while any thread is registered.
#pragma once

#include <windows.h>

#include <atomic>

namespace hostlib {

inline constexpr DWORD kWatcherPollMs = 200;
inline constexpr DWORD kWatcherStopWaitMs = 60000;

// One run of the watcher. Its stop flag belongs to this run alone and is
// clear before the thread starts, so a stop asked before the thread first
// runs is never lost, and a new run started meanwhile has a flag of its own.
class DeviceWatcher {
 public:
  // Starts a run; null when the thread could not be started.
  static DeviceWatcher *Start();
  // The two halves of Start: a run with its flag clear and no thread yet
  // (null when out of memory), and the start of its thread (false when it
  // could not be started; the run is then the caller's to delete). A stop
  // asked in between ends the thread at its first look at the flag.
  static DeviceWatcher *Create();
  bool Run();
  void RequestStop() { stop_.store(true); }
  // Waits for the thread to end (at most `milliseconds`). True when it
  // ended; then the caller deletes the run.
  bool Join(DWORD milliseconds);
  ~DeviceWatcher();

 private:
  DeviceWatcher() = default;
  static unsigned __stdcall Main(void *self);

  HANDLE thread_ = nullptr;
  std::atomic<bool> stop_{false};
};

// The running watcher, null when none. Under g_csLibrary.
extern DeviceWatcher *g_pWatcher;

// Under g_csLibrary: starts the watcher when none runs.
void StartWatcherIfNone();
// Under g_csLibrary: asks the running watcher to stop and hands it over (null
// when none runs); the caller joins it outside the lock.
DeviceWatcher *DetachWatcher();
// Outside the lock: waits for a detached watcher and deletes it. A watcher
// that does not end in time is left running with its run record, which it
// still uses.
void JoinAndDeleteWatcher(DeviceWatcher *watcher, DWORD milliseconds);

}  // namespace hostlib
