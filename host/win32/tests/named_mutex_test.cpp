// Mutexes: owned by a thread, recursive, shared across processes by name,
// abandoned when the owner dies, and gone with their last handle.
#include <random>
#include <vector>

#include "test_support.h"

namespace win32_test {
namespace {

std::string UniqueName(const std::string &tag) {
  std::random_device random;
  return "bom-test-" + tag + "-" + std::to_string(getpid()) + "-" + std::to_string(random());
}

using Win32Mutex = VirtualClockTest;

// The device lock of the library: another process holds the printer's
// mutex, a 500 ms wait times out on the clock, and once the holder is
// killed the next wait reports the mutex abandoned and owns it.
TEST_F(Win32Mutex, HeldElsewhereTimesOutThenIsAbandonedByTheKilledOwner) {
  const std::string name = UniqueName("held");
  Child holder([&](Child &self) {
    HANDLE m = CreateMutexA(nullptr, TRUE, name.c_str());
    if (m == nullptr || GetLastError() != ERROR_SUCCESS) return 1;
    self.Tell('H');
    self.Await();  // held until killed
    return 0;
  });
  ASSERT_EQ(holder.Hear(), 'H');

  HANDLE m = CreateMutexA(nullptr, FALSE, name.c_str());
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_TIMEOUT);
  EXPECT_EQ(WaitForSingleObject(m, 500), WAIT_TIMEOUT);
  EXPECT_EQ(Elapsed(), 500u);

  holder.Kill();
  EXPECT_EQ(WaitForSingleObject(m, 500), WAIT_ABANDONED);
  EXPECT_EQ(Elapsed(), 500u);
  EXPECT_TRUE(ReleaseMutex(m));  // the abandoned mutex became ours
  EXPECT_FALSE(ReleaseMutex(m));
  EXPECT_EQ(GetLastError(), ERROR_NOT_OWNER);
  EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);  // and it is a working mutex again
  EXPECT_TRUE(ReleaseMutex(m));
  CloseHandle(m);
}

TEST_F(Win32Mutex, ReleaseInAnotherProcessEndsTheWait) {
  const std::string name = UniqueName("release");
  Child holder([&](Child &self) {
    HANDLE m = CreateMutexA(nullptr, TRUE, name.c_str());
    self.Tell('H');
    self.Await();
    if (!ReleaseMutex(m)) return 1;
    self.Await();
    // The parent owns it now.
    return WaitForSingleObject(m, 0) == WAIT_TIMEOUT ? 0 : 2;
  });
  ASSERT_EQ(holder.Hear(), 'H');
  HANDLE m = CreateMutexA(nullptr, FALSE, name.c_str());
  holder.Order('r');
  EXPECT_EQ(WaitForSingleObject(m, INFINITE), WAIT_OBJECT_0);
  holder.Order('c');
  EXPECT_EQ(holder.Reap(), 0);
  EXPECT_TRUE(ReleaseMutex(m));
  CloseHandle(m);
}

TEST_F(Win32Mutex, RecursiveForItsOwnerThreadOnly) {
  const std::string name = UniqueName("recursive");
  HANDLE m = CreateMutexA(nullptr, FALSE, name.c_str());
  HANDLE second = CreateMutexA(nullptr, TRUE, name.c_str());  // same object; initial owner ignored
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  ASSERT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);
  ASSERT_EQ(WaitForSingleObject(second, 0), WAIT_OBJECT_0);

  auto otherThreadGets = [&](DWORD timeout) {
    std::atomic<DWORD> result{WAIT_FAILED};
    std::atomic<BOOL> released{TRUE};
    HANDLE worker = StartThread([&] {
      released = ReleaseMutex(m);  // not its owner
      result = WaitForSingleObject(m, timeout);
      if (result == WAIT_OBJECT_0) ReleaseMutex(m);
      return 0u;
    });
    WaitForSingleObject(worker, INFINITE);
    CloseHandle(worker);
    EXPECT_FALSE(released);
    return result.load();
  };
  EXPECT_EQ(otherThreadGets(100), WAIT_TIMEOUT);
  EXPECT_TRUE(ReleaseMutex(m));
  EXPECT_EQ(otherThreadGets(100), WAIT_TIMEOUT);  // still held once
  EXPECT_TRUE(ReleaseMutex(second));
  EXPECT_EQ(otherThreadGets(100), WAIT_OBJECT_0);
  EXPECT_FALSE(ReleaseMutex(m));
  EXPECT_EQ(GetLastError(), ERROR_NOT_OWNER);
  EXPECT_EQ(Elapsed(), 200u);
  CloseHandle(m);
  CloseHandle(second);
}

TEST_F(Win32Mutex, ThreadEndingWhileOwningAbandonsIt) {
  const std::vector<std::string> names = {"", UniqueName("thread-end")};
  for (const std::string &name : names) {
    SCOPED_TRACE(name.empty() ? "unnamed" : "named");
    HANDLE m = CreateMutexA(nullptr, FALSE, name.empty() ? nullptr : name.c_str());
    HANDLE worker = StartThread([&] { return WaitForSingleObject(m, 0) == WAIT_OBJECT_0 ? 1u : 0u; });
    WaitForSingleObject(worker, INFINITE);
    DWORD took = 0;
    GetExitCodeThread(worker, &took);
    ASSERT_EQ(took, 1u);
    EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_ABANDONED);
    EXPECT_TRUE(ReleaseMutex(m));
    CloseHandle(worker);
    CloseHandle(m);
  }
}

TEST_F(Win32Mutex, InitialOwnerHoldsAgainstOtherProcesses) {
  const std::string name = UniqueName("initial");
  HANDLE m = CreateMutexA(nullptr, TRUE, name.c_str());
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  Child other([&](Child &) {
    HANDLE mine = CreateMutexA(nullptr, TRUE, name.c_str());
    if (GetLastError() != ERROR_ALREADY_EXISTS) return 1;
    return WaitForSingleObject(mine, 0) == WAIT_TIMEOUT ? 0 : 2;
  });
  EXPECT_EQ(other.Reap(), 0);
  EXPECT_TRUE(ReleaseMutex(m));
  CloseHandle(m);
}

// As a Windows kernel object, a named mutex lives as long as some process
// holds a handle, also when its holders died without closing it.
TEST_F(Win32Mutex, NameLivesWithItsLastHolder) {
  const std::string name = UniqueName("lifetime");
  HANDLE first = CreateMutexA(nullptr, FALSE, name.c_str());
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  CloseHandle(first);
  HANDLE again = CreateMutexA(nullptr, FALSE, name.c_str());
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  CloseHandle(again);

  Child diedHolding([&](Child &self) {
    CreateMutexA(nullptr, TRUE, name.c_str());
    self.Tell('H');
    self.Await();
    return 0;
  });
  ASSERT_EQ(diedHolding.Hear(), 'H');
  diedHolding.Kill();
  HANDLE fresh = CreateMutexA(nullptr, FALSE, name.c_str());
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  EXPECT_EQ(WaitForSingleObject(fresh, 0), WAIT_OBJECT_0);  // a new object, not an abandoned one
  ReleaseMutex(fresh);
  CloseHandle(fresh);
}

TEST_F(Win32Mutex, NamesStayDistinctAfterSanitising) {
  const std::string base = UniqueName("names");
  const std::string longHead(200, 'x');
  const std::vector<std::string> names = {
      base + "/a",
      base + "_2fa",
      base + "\\\\?\\usb#vid_1234&pid_5678#{28d78fad}",
      base + "Usb",
      base + "usb",
      base + longHead + "1",
      base + longHead + "2",
  };
  std::vector<HANDLE> handles;
  for (const std::string &name : names) {
    SCOPED_TRACE(name);
    handles.push_back(CreateMutexA(nullptr, TRUE, name.c_str()));
    ASSERT_NE(handles.back(), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);  // none collided with an earlier one
  }
  Child other([&](Child &) {
    for (const std::string &name : names) {
      HANDLE m = CreateMutexA(nullptr, FALSE, name.c_str());
      if (m == nullptr || GetLastError() != ERROR_ALREADY_EXISTS) return 1;
      if (WaitForSingleObject(m, 0) != WAIT_TIMEOUT) return 2;
    }
    return 0;
  });
  EXPECT_EQ(other.Reap(), 0);
  for (HANDLE h : handles) {
    ReleaseMutex(h);
    CloseHandle(h);
  }
  EXPECT_EQ(CreateMutexA(nullptr, FALSE, std::string(MAX_PATH + 1, 'n').c_str()), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_FILENAME_EXCED_RANGE);
}

}  // namespace
}  // namespace win32_test
