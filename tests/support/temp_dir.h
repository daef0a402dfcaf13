// Temporary directories of a test process. Each is made below the test's
// temporary root and removed, with everything in it, when the process that
// made it ends after all its tests passed; a failed run leaves them for a
// look. Forked children share the list but never remove anything.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace testsupport {

namespace detail {

class TempDirRegistry {
 public:
  TempDirRegistry() : m_owner(getpid()) {}
  TempDirRegistry(const TempDirRegistry&) = delete;
  TempDirRegistry& operator=(const TempDirRegistry&) = delete;
  ~TempDirRegistry() {
    if (getpid() != m_owner || !::testing::UnitTest::GetInstance()->Passed()) return;
    for (const std::string& dir : m_dirs) {
      std::error_code error;
      std::filesystem::remove_all(dir, error);
    }
  }
  void Add(const std::string& dir) { m_dirs.push_back(dir); }

 private:
  pid_t m_owner;
  std::vector<std::string> m_dirs;
};

inline TempDirRegistry& TempDirs() {
  static TempDirRegistry s_registry;
  return s_registry;
}

}  // namespace detail

// A fresh directory named `prefix`-XXXXXX below the test's temporary root.
inline std::string MakeTempDir(const std::string& prefix = "bom7300") {
  std::string pattern = ::testing::TempDir() + prefix + "-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    ADD_FAILURE() << "mkdtemp failed for " << pattern;
    return ::testing::TempDir();
  }
  detail::TempDirs().Add(pattern);
  return pattern;
}

}  // namespace testsupport
