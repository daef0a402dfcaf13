// The device-change watcher thread.
#include "device_watcher.h"

#include <dbt.h>
#include <process.h>

#include "discovery.h"
#include "library_frame.h"

namespace hostlib {

DeviceWatcher *g_pWatcher = nullptr;

DeviceWatcher *DeviceWatcher::Create() {
  auto *watcher = new (std::nothrow) DeviceWatcher();
  // The flag is clear before the thread exists; the thread only reads it.
  if (watcher != nullptr) watcher->stop_.store(false);
  return watcher;
}

bool DeviceWatcher::Run() {
  uintptr_t started = _beginthreadex(nullptr, 0, &DeviceWatcher::Main, this, 0, nullptr);
  if (started == 0) return false;
  thread_ = reinterpret_cast<HANDLE>(started);
  return true;
}

DeviceWatcher *DeviceWatcher::Start() {
  DeviceWatcher *watcher = Create();
  if (watcher == nullptr || watcher->Run()) return watcher;
  delete watcher;
  return nullptr;
}

bool DeviceWatcher::Join(DWORD milliseconds) {
  return thread_ == nullptr || WaitForSingleObject(thread_, milliseconds) == WAIT_OBJECT_0;
}

DeviceWatcher::~DeviceWatcher() {
  if (thread_ != nullptr) CloseHandle(thread_);
}

unsigned __stdcall DeviceWatcher::Main(void *self) {
  auto *watcher = static_cast<DeviceWatcher *>(self);
  HWND window = nullptr;
  {
    // The window is made once the kt_open (or kt_close) that holds the
    // library lock is through, so the watcher never runs ahead of them.
    LibraryLock lock;
    window = CreateWindowExA(0, "STATIC", "", 0, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr,
                             nullptr, reinterpret_cast<HINSTANCE>(g_hModule), nullptr);
  }
  if (window != nullptr) {
    ShowWindow(window, SW_HIDE);
    UpdateWindow(window);
  }
  while (!watcher->stop_.load()) {
    // Every message waiting is taken; several changes since the last look
    // need one sweep.
    bool changed = false;
    MSG message;
    while (window != nullptr && PeekMessageA(&message, window, 0, 0, PM_REMOVE)) {
      if (message.message == WM_DEVICECHANGE && message.wParam == DBT_DEVNODES_CHANGED) changed = true;
    }
    if (changed) SweepAfterDeviceChange();
    Sleep(kWatcherPollMs);
  }
  if (window != nullptr) DestroyWindow(window);
  return 0;
}

void StartWatcherIfNone() {
  if (g_pWatcher == nullptr) g_pWatcher = DeviceWatcher::Start();
}

DeviceWatcher *DetachWatcher() {
  DeviceWatcher *watcher = g_pWatcher;
  g_pWatcher = nullptr;
  if (watcher != nullptr) watcher->RequestStop();
  return watcher;
}

void JoinAndDeleteWatcher(DeviceWatcher *watcher, DWORD milliseconds) {
  if (watcher == nullptr) return;
  if (watcher->Join(milliseconds)) delete watcher;
}

}  // namespace hostlib
