// Plain files through CreateFileA and the handle functions.
#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <vector>

#include "test_support.h"

namespace win32_test {
namespace {

void WriteText(const std::string &path, const std::string &text) { std::ofstream(path, std::ios::binary) << text; }

long SizeOf(const std::string &path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

TEST(Win32File, WriteSeekReadRoundTrip) {
  TempDir dir;
  HANDLE file = CreateFileA(dir.File("data.bin").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD n = 0;
  ASSERT_TRUE(WriteFile(file, "0123456789", 10, &n, nullptr));
  EXPECT_EQ(n, 10u);
  DWORD high = 7;
  EXPECT_EQ(GetFileSize(file, &high), 10u);
  EXPECT_EQ(high, 0u);
  EXPECT_EQ(SetFilePointer(file, -4, nullptr, FILE_END), 6u);
  char buf[16] = {};
  ASSERT_TRUE(ReadFile(file, buf, sizeof buf, &n, nullptr));
  EXPECT_EQ(std::string(buf, n), "6789");
  ASSERT_TRUE(ReadFile(file, buf, sizeof buf, &n, nullptr));  // end of file: success, nothing read
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(SetFilePointer(file, 2, nullptr, FILE_BEGIN), 2u);
  EXPECT_EQ(SetFilePointer(file, 3, nullptr, FILE_CURRENT), 5u);
  EXPECT_EQ(SetFilePointer(file, -6, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), ERROR_NEGATIVE_SEEK);
  EXPECT_TRUE(CloseHandle(file));
}

TEST(Win32File, SizesAndPositionsBeyondFourGigabytes) {
  TempDir dir;
  const std::string path = dir.File("big.bin");
  int fd = open(path.c_str(), O_CREAT | O_WRONLY, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, (5ll << 30) + 3), 0);  // sparse
  close(fd);
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD high = 0;
  EXPECT_EQ(GetFileSize(file, &high), (1u << 30) + 3);
  EXPECT_EQ(high, 1u);
  LONG moveHigh = 1;
  EXPECT_EQ(SetFilePointer(file, 10, &moveHigh, FILE_BEGIN), 10u);
  EXPECT_EQ(moveHigh, 1);
  CloseHandle(file);
}

struct DispositionCase {
  const char *name;
  DWORD disposition;
  bool exists;
  bool opens;
  DWORD error;
  long sizeAfter;  // of the file after the call; -1 = no file
};

TEST(Win32File, DispositionsFollowWindows) {
  const std::vector<DispositionCase> cases = {
      {"create new, exists", CREATE_NEW, true, false, ERROR_FILE_EXISTS, 3},
      {"create new, missing", CREATE_NEW, false, true, ERROR_SUCCESS, 0},
      {"create always, exists", CREATE_ALWAYS, true, true, ERROR_ALREADY_EXISTS, 0},
      {"create always, missing", CREATE_ALWAYS, false, true, ERROR_SUCCESS, 0},
      {"open existing, exists", OPEN_EXISTING, true, true, ERROR_SUCCESS, 3},
      {"open existing, missing", OPEN_EXISTING, false, false, ERROR_FILE_NOT_FOUND, -1},
      {"open always, exists", OPEN_ALWAYS, true, true, ERROR_ALREADY_EXISTS, 3},
      {"open always, missing", OPEN_ALWAYS, false, true, ERROR_SUCCESS, 0},
      {"truncate existing, exists", TRUNCATE_EXISTING, true, true, ERROR_SUCCESS, 0},
      {"truncate existing, missing", TRUNCATE_EXISTING, false, false, ERROR_FILE_NOT_FOUND, -1},
  };
  for (const DispositionCase &c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string path = dir.File("f.txt");
    if (c.exists) WriteText(path, "abc");
    SetLastError(12345);
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, c.disposition, 0, nullptr);
    EXPECT_EQ(file != INVALID_HANDLE_VALUE, c.opens);
    EXPECT_EQ(GetLastError(), c.error);
    EXPECT_EQ(SizeOf(path), c.sizeAfter);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  }
}

TEST(Win32File, FailuresMapToWindowsErrors) {
  TempDir dir;
  WriteText(dir.File("present.txt"), "abc");
  struct Case {
    const char *name;
    std::string path;
    DWORD access;
    DWORD error;
  };
  const std::vector<Case> cases = {
      {"missing directory", dir.File("no/such.txt"), GENERIC_READ, ERROR_PATH_NOT_FOUND},
      {"missing file", dir.File("such.txt"), GENERIC_READ, ERROR_FILE_NOT_FOUND},
      {"a directory", dir.path(), GENERIC_READ, ERROR_ACCESS_DENIED},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(CreateFileA(c.path.c_str(), c.access, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), c.error);
  }
  HANDLE readOnly = CreateFileA(dir.File("present.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  DWORD n;
  EXPECT_FALSE(WriteFile(readOnly, "x", 1, &n, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  CloseHandle(readOnly);
  HANDLE writeOnly = CreateFileA(dir.File("present.txt").c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  char c;
  EXPECT_FALSE(ReadFile(writeOnly, &c, 1, &n, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  CloseHandle(writeOnly);
}

TEST(Win32File, BackslashesSeparateDirectories) {
  TempDir dir;
  ASSERT_EQ(mkdir(dir.File("sub").c_str(), 0700), 0);
  std::string windowsPath = dir.path() + "\\sub\\file.txt";
  HANDLE file = CreateFileA(windowsPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
  EXPECT_EQ(SizeOf(dir.File("sub/file.txt")), 0);
}

TEST(Win32File, CurrentDirectoryWithWindowsCounts) {
  char expected[4096];
  ASSERT_NE(getcwd(expected, sizeof expected), nullptr);
  const DWORD length = static_cast<DWORD>(std::strlen(expected));
  char buf[4096];
  EXPECT_EQ(GetCurrentDirectoryA(sizeof buf, buf), length);
  EXPECT_STREQ(buf, expected);
  EXPECT_EQ(GetCurrentDirectoryA(length, buf), length + 1);  // too small: the size needed, terminator included
  EXPECT_EQ(GetCurrentDirectoryA(0, nullptr), length + 1);
}

}  // namespace
}  // namespace win32_test
