// Hidden windows and their message queues.
//
// Nothing is displayed: a window is an entry that belongs to the thread
// that created it, and messages posted to it wait in that thread's queue
// until the thread takes them with PeekMessageA. The only source of
// messages is the device-change broadcast. Window handles are a slot and a
// generation like kernel handles, but never equal to one (bit 1 is set).
#include <strings.h>

#include <algorithm>

#include "runtime.h"

namespace w32 {
namespace {

constexpr unsigned kIndexBits = 20;

struct Window {
  uint32_t generation = 1;
  bool live = false;
  bool visible = false;
  ThreadRecord *owner = nullptr;  // the window goes before its thread's record does
};

// Guarded by the runtime lock.
struct WindowTable {
  std::vector<Window> slots;
  std::deque<uint32_t> free;
};

WindowTable &Windows() {
  static auto *table = new WindowTable();
  return *table;
}

HWND Encode(uint32_t index, uint32_t generation) {
  uint64_t value =
      (static_cast<uint64_t>(generation) << (kIndexBits + 2)) | (static_cast<uint64_t>(index + 1) << 2) | 2u;
  return reinterpret_cast<HWND>(static_cast<uintptr_t>(value));
}

Window *FindLocked(HWND hwnd, uint32_t *indexOut = nullptr) {
  uint64_t value = reinterpret_cast<uintptr_t>(hwnd);
  if ((value & 3u) != 2u) return nullptr;
  uint64_t field = (value >> 2) & ((1u << kIndexBits) - 1);
  if (field == 0) return nullptr;
  WindowTable &t = Windows();
  if (field - 1 >= t.slots.size()) return nullptr;
  Window &w = t.slots[field - 1];
  if (!w.live || w.generation != (value >> (kIndexBits + 2))) return nullptr;
  if (indexOut != nullptr) *indexOut = static_cast<uint32_t>(field - 1);
  return &w;
}

void DestroyLocked(uint32_t index) {
  WindowTable &t = Windows();
  Window &w = t.slots[index];
  HWND hwnd = Encode(index, w.generation);
  auto &queue = w.owner->messages;
  queue.erase(std::remove_if(queue.begin(), queue.end(), [hwnd](const MSG &m) { return m.hwnd == hwnd; }),
              queue.end());
  w.live = false;
  w.visible = false;
  w.owner = nullptr;
  w.generation = w.generation == UINT32_MAX >> 2 ? 1 : w.generation + 1;
  t.free.push_back(index);
}

}  // namespace

void DestroyThreadWindowsLocked(ThreadRecord &record) {
  WindowTable &t = Windows();
  for (uint32_t i = 0; i < t.slots.size(); ++i) {
    if (t.slots[i].live && t.slots[i].owner == &record) DestroyLocked(i);
  }
  record.messages.clear();
}

}  // namespace w32

using namespace w32;

HWND WINAPI CreateWindowExA(DWORD, LPCSTR lpClassName, LPCSTR, DWORD dwStyle, int, int, int, int, HWND hWndParent,
                            HMENU, HINSTANCE, LPVOID) noexcept {
  return Guard<HWND>(nullptr, [&]() -> HWND {
    if (lpClassName == nullptr || reinterpret_cast<uintptr_t>(lpClassName) < 0x10000 ||
        strcasecmp(lpClassName, "STATIC") != 0) {
      SetError(ERROR_CANNOT_FIND_WND_CLASS);
      return nullptr;
    }
    ThreadRecord &me = Self();
    std::lock_guard<std::mutex> lk(Rt().lock);
    if (hWndParent != nullptr && FindLocked(hWndParent) == nullptr) {
      SetError(ERROR_INVALID_WINDOW_HANDLE);
      return nullptr;
    }
    WindowTable &t = Windows();
    uint32_t index;
    if (!t.free.empty()) {
      index = t.free.front();
      t.free.pop_front();
    } else {
      t.slots.emplace_back();
      index = static_cast<uint32_t>(t.slots.size() - 1);
    }
    Window &w = t.slots[index];
    w.live = true;
    w.visible = (dwStyle & WS_VISIBLE) != 0;
    w.owner = &me;
    return Encode(index, w.generation);
  });
}

BOOL WINAPI DestroyWindow(HWND hWnd) noexcept {
  return Guard<BOOL>(FALSE, [&] {
    ThreadRecord &me = Self();
    std::lock_guard<std::mutex> lk(Rt().lock);
    uint32_t index;
    Window *w = FindLocked(hWnd, &index);
    if (w == nullptr) {
      SetError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    if (w->owner != &me) {
      SetError(ERROR_ACCESS_DENIED);  // only the owner thread destroys its window
      return FALSE;
    }
    DestroyLocked(index);
    return TRUE;
  });
}

BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow) noexcept {
  return Guard<BOOL>(FALSE, [&] {
    std::lock_guard<std::mutex> lk(Rt().lock);
    Window *w = FindLocked(hWnd);
    if (w == nullptr) {
      SetError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    BOOL wasVisible = w->visible ? TRUE : FALSE;
    w->visible = nCmdShow != SW_HIDE;
    return wasVisible;
  });
}

BOOL WINAPI UpdateWindow(HWND hWnd) noexcept {
  return Guard<BOOL>(FALSE, [&] {
    std::lock_guard<std::mutex> lk(Rt().lock);
    if (FindLocked(hWnd) == nullptr) {
      SetError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    return TRUE;
  });
}

BOOL WINAPI PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg) noexcept {
  return Guard<BOOL>(FALSE, [&] {
    if (lpMsg == nullptr) {
      SetError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    ThreadRecord &me = Self();
    std::lock_guard<std::mutex> lk(Rt().lock);
    const bool anyWindow = hWnd == nullptr;
    if (!anyWindow && hWnd != reinterpret_cast<HWND>(static_cast<intptr_t>(-1)) && FindLocked(hWnd) == nullptr) {
      SetError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    const bool allMessages = wMsgFilterMin == 0 && wMsgFilterMax == 0;
    auto &queue = me.messages;
    for (auto it = queue.begin(); it != queue.end(); ++it) {
      if (!anyWindow && it->hwnd != hWnd) continue;
      if (!allMessages && (it->message < wMsgFilterMin || it->message > wMsgFilterMax)) continue;
      *lpMsg = *it;
      if ((wRemoveMsg & PM_REMOVE) != 0) queue.erase(it);
      return TRUE;
    }
    return FALSE;
  });
}

DWORD W32X_BroadcastDeviceChange(WPARAM event) noexcept {
  return Guard<DWORD>(0, [&]() -> DWORD {
    std::lock_guard<std::mutex> lk(Rt().lock);
    WindowTable &t = Windows();
    const DWORD time = static_cast<DWORD>(Now());
    DWORD reached = 0;
    for (uint32_t i = 0; i < t.slots.size(); ++i) {
      Window &w = t.slots[i];
      if (!w.live) continue;
      w.owner->messages.push_back(MSG{Encode(i, w.generation), WM_DEVICECHANGE, event, 0, time, POINT{0, 0}});
      ++reached;
    }
    Rt().cv.notify_all();
    return reached;
  });
}
