// The handle registry: bad handles fail cleanly, registered kinds receive
// ReadFile/WriteFile/waits, and an object is closed exactly once.
#include <vector>

#include "test_support.h"

namespace win32_test {
namespace {

HANDLE ClosedHandle() {
  PipePair pipes;
  HANDLE closed = pipes.a;
  CloseHandle(pipes.a);
  CloseHandle(pipes.b);
  PipePair reuse;  // occupies the freed slots again
  CloseHandle(reuse.a);
  CloseHandle(reuse.b);
  return closed;
}

TEST(Win32Handle, BadHandlesFailCleanly) {
  const std::vector<std::pair<const char *, HANDLE>> cases = {
      {"NULL", nullptr},
      {"INVALID_HANDLE_VALUE", INVALID_HANDLE_VALUE},
      {"made up", reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x123450))},
      {"misaligned", reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x1235))},
      {"closed", ClosedHandle()},
  };
  for (const auto &[name, handle] : cases) {
    SCOPED_TRACE(name);
    SetLastError(0);
    EXPECT_FALSE(CloseHandle(handle));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    char buf[4];
    DWORD n = 99;
    EXPECT_FALSE(ReadFile(handle, buf, sizeof buf, &n, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(n, 0u);
    EXPECT_FALSE(WriteFile(handle, buf, sizeof buf, &n, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(WaitForSingleObject(handle, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(GetFileSize(handle, nullptr), INVALID_FILE_SIZE);
  }
}

TEST(Win32Handle, PipeKindCarriesMessagesAndIsClosedOnce) {
  PipePair pipes;
  ASSERT_NE(pipes.a, nullptr);
  DWORD put = 0;
  ASSERT_TRUE(WriteFile(pipes.a, "packet", 6, &put, nullptr));
  EXPECT_EQ(put, 6u);
  char buf[16] = {};
  DWORD got = 0;
  ASSERT_TRUE(ReadFile(pipes.b, buf, sizeof buf, &got, nullptr));
  EXPECT_EQ(std::string(buf, got), "packet");

  EXPECT_NE(W32X_GetHandleObject(pipes.a, &kTestPipeKind), nullptr);
  static const W32X_HANDLE_KIND otherKind = {"other", nullptr, nullptr, nullptr, nullptr, nullptr};
  EXPECT_EQ(W32X_GetHandleObject(pipes.a, &otherKind), nullptr);

  EXPECT_TRUE(CloseHandle(pipes.a));
  EXPECT_EQ(pipes.closes.load(), 1);
  EXPECT_EQ(W32X_GetHandleObject(pipes.a, &kTestPipeKind), nullptr);
  EXPECT_FALSE(CloseHandle(pipes.a));
  EXPECT_EQ(pipes.closes.load(), 1);
  // The peer sees the end of the connection.
  EXPECT_FALSE(ReadFile(pipes.b, buf, sizeof buf, &got, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_BROKEN_PIPE);
  CloseHandle(pipes.b);
  EXPECT_EQ(pipes.closes.load(), 2);
}

TEST(Win32Handle, TransferArgumentsAreChecked) {
  PipePair pipes;
  char buf[4];
  DWORD n = 0;
  auto *overlapped = reinterpret_cast<LPOVERLAPPED>(buf);
  EXPECT_FALSE(ReadFile(pipes.a, buf, sizeof buf, &n, overlapped));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(ReadFile(pipes.a, buf, sizeof buf, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(WriteFile(pipes.a, nullptr, 4, &n, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  CloseHandle(pipes.a);
  CloseHandle(pipes.b);
}

DWORD ReportSignalled(void *, DWORD) { return WAIT_OBJECT_0; }
void CountClose(void *counter) { ++*static_cast<std::atomic<int> *>(counter); }

TEST(Win32Handle, KindOperationsAreOptional) {
  static const W32X_HANDLE_KIND waitOnly = {"wait only", nullptr, nullptr, nullptr, ReportSignalled, CountClose};
  static const W32X_HANDLE_KIND nothing = {"nothing", nullptr, nullptr, nullptr, nullptr, nullptr};
  std::atomic<int> closes{0};
  HANDLE waitable = W32X_CreateHandle(&waitOnly, &closes);
  HANDLE inert = W32X_CreateHandle(&nothing, nullptr);
  char buf[4];
  DWORD n;
  EXPECT_FALSE(ReadFile(waitable, buf, sizeof buf, &n, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_FUNCTION);
  EXPECT_EQ(WaitForSingleObject(waitable, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(inert, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_TRUE(CloseHandle(inert));
  EXPECT_TRUE(CloseHandle(waitable));
  EXPECT_EQ(closes.load(), 1);
  EXPECT_EQ(W32X_CreateHandle(nullptr, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

}  // namespace
}  // namespace win32_test
