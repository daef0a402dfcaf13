// Hidden windows and the device-change broadcast.
#include "test_support.h"

#include <dbt.h>

namespace win32_test {
namespace {

HWND CreateHidden() {
  HWND w = CreateWindowA("STATIC", "", 0, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr,
                         nullptr, nullptr, nullptr);
  if (w != nullptr) {
    ShowWindow(w, SW_HIDE);
    UpdateWindow(w);
  }
  return w;
}

using Win32Window = VirtualClockTest;

// The library's watcher: a thread with a hidden window polls its messages
// every 200 ms until the device-change message arrives.
TEST_F(Win32Window, BroadcastReachesTheHiddenWindowOfEveryThread) {
  HANDLE watcher = StartThread([] {
    HWND w = CreateHidden();
    for (;;) {
      MSG msg;
      if (PeekMessageA(&msg, w, 0, 0, PM_REMOVE) && msg.message == WM_DEVICECHANGE && msg.hwnd == w) {
        return static_cast<unsigned>(msg.wParam);  // the window ends with the thread
      }
      Sleep(200);
    }
  });
  HWND mine = CreateHidden();
  ASSERT_NE(mine, nullptr);
  Sleep(1);  // the watcher has made its window and sleeps
  EXPECT_EQ(W32X_BroadcastDeviceChange(DBT_DEVNODES_CHANGED), 2u);

  MSG msg{};
  ASSERT_TRUE(PeekMessageA(&msg, mine, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.hwnd, mine);
  EXPECT_EQ(msg.message, WM_DEVICECHANGE);
  EXPECT_EQ(msg.wParam, DBT_DEVNODES_CHANGED);
  EXPECT_EQ(msg.lParam, 0);
  EXPECT_EQ(msg.time, static_cast<DWORD>(kStart + 1));
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));  // one copy per window; the watcher's is not ours

  ASSERT_EQ(WaitForSingleObject(watcher, INFINITE), WAIT_OBJECT_0);
  DWORD code = 0;
  GetExitCodeThread(watcher, &code);
  EXPECT_EQ(code, DBT_DEVNODES_CHANGED);
  EXPECT_EQ(Elapsed(), 200u);  // seen at its next poll
  CloseHandle(watcher);
  EXPECT_EQ(W32X_BroadcastDeviceChange(DBT_DEVICEARRIVAL), 1u);  // the watcher's window went with it
  EXPECT_TRUE(DestroyWindow(mine));
}

TEST(Win32WindowQueue, PeekFiltersAndKeepsOrder) {
  HWND first = CreateHidden();
  HWND second = CreateHidden();
  W32X_BroadcastDeviceChange(DBT_DEVICEARRIVAL);
  W32X_BroadcastDeviceChange(DBT_DEVICEREMOVECOMPLETE);

  MSG msg{};
  EXPECT_FALSE(PeekMessageA(&msg, first, WM_NULL + 1, WM_DEVICECHANGE - 1, PM_REMOVE));  // outside the range
  ASSERT_TRUE(PeekMessageA(&msg, second, WM_DEVICECHANGE, WM_DEVICECHANGE, PM_NOREMOVE));
  EXPECT_EQ(msg.hwnd, second);
  EXPECT_EQ(msg.wParam, DBT_DEVICEARRIVAL);
  ASSERT_TRUE(PeekMessageA(&msg, second, 0, 0, PM_REMOVE));  // still there after PM_NOREMOVE
  EXPECT_EQ(msg.wParam, DBT_DEVICEARRIVAL);
  ASSERT_TRUE(PeekMessageA(&msg, second, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.wParam, DBT_DEVICEREMOVECOMPLETE);
  EXPECT_FALSE(PeekMessageA(&msg, second, 0, 0, PM_REMOVE));

  EXPECT_TRUE(DestroyWindow(first));  // its queued messages go with it
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_FALSE(DestroyWindow(first));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
  EXPECT_FALSE(PeekMessageA(&msg, first, 0, 0, PM_REMOVE));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);

  std::atomic<BOOL> destroyedByOther{TRUE};
  HANDLE other = StartThread([&] {
    destroyedByOther = DestroyWindow(second);
    return 0u;
  });
  WaitForSingleObject(other, INFINITE);
  CloseHandle(other);
  EXPECT_FALSE(destroyedByOther);  // only the owner thread destroys a window
  EXPECT_TRUE(DestroyWindow(second));
  EXPECT_EQ(W32X_BroadcastDeviceChange(DBT_DEVNODES_CHANGED), 0u);
}

TEST(Win32WindowQueue, OnlyTheStaticClassExists) {
  EXPECT_EQ(CreateWindowA("BUTTON", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_CANNOT_FIND_WND_CLASS);
  HWND w = CreateWindowA("static", "", WS_VISIBLE, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(w, nullptr);
  EXPECT_TRUE(ShowWindow(w, SW_HIDE));   // it was visible
  EXPECT_FALSE(ShowWindow(w, SW_HIDE));  // now it is not
  EXPECT_FALSE(CloseHandle(reinterpret_cast<HANDLE>(w)));  // a window is not a kernel handle
  EXPECT_TRUE(DestroyWindow(w));
}

}  // namespace
}  // namespace win32_test
