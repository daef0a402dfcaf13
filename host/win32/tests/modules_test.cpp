// Dynamic loading: "X.dll" is libX.so, found beside the calling module
// first, then beside the executable.
#include "test_support.h"

namespace win32_test {
namespace {

using AnswerFn = int (*)();

std::string ExecutableDirectory() {
  char path[4096];
  DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  std::string p(path, n);
  return p.substr(0, p.find_last_of('/'));
}

TEST(Win32Module, LoadsTheModuleBesideTheExecutable) {
  for (const char *name : {"Win32TestModule.dll", "Win32TestModule", "WIN32TESTMODULE.DLL"}) {
    SCOPED_TRACE(name);
    HMODULE module = LoadLibraryA(name);
    if (std::string(name) == "WIN32TESTMODULE.DLL") {
      // Windows names are case-blind, file names here are not.
      EXPECT_EQ(module, nullptr);
      EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
      continue;
    }
    ASSERT_NE(module, nullptr);
    auto answer = reinterpret_cast<AnswerFn>(GetProcAddress(module, "Win32TestModule_Answer"));
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 42);
    EXPECT_EQ(GetProcAddress(module, "NoSuchEntry"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
    EXPECT_EQ(GetProcAddress(module, reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(2))), nullptr);
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_FALSE(FreeLibrary(module));  // only what LoadLibraryA took is released
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  }
}

TEST(Win32Module, CallingModulesDirectoryComesFirst) {
  const std::string loaderPath = ExecutableDirectory() + "/loader/Win32TestLoader.dll";
  HMODULE loader = LoadLibraryA(loaderPath.c_str());
  ASSERT_NE(loader, nullptr) << GetLastError();
  auto loadSibling = reinterpret_cast<AnswerFn>(GetProcAddress(loader, "Win32TestLoader_LoadSiblingAnswer"));
  ASSERT_NE(loadSibling, nullptr);
  EXPECT_EQ(loadSibling(), 43);  // its own neighbour, not the one beside the executable
  HMODULE direct = LoadLibraryA("Win32TestModule.dll");
  ASSERT_NE(direct, nullptr);
  EXPECT_EQ(reinterpret_cast<AnswerFn>(GetProcAddress(direct, "Win32TestModule_Answer"))(), 42);
  FreeLibrary(direct);
  FreeLibrary(loader);
}

TEST(Win32Module, MissingAndBogusModulesFailCleanly) {
  EXPECT_EQ(LoadLibraryA("NoSuchModule.dll"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
  EXPECT_EQ(LoadLibraryA((ExecutableDirectory() + "\\NoSuchModule.dll").c_str()), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
  int notAModule = 0;
  auto *bogus = reinterpret_cast<HMODULE>(&notAModule);
  EXPECT_EQ(GetProcAddress(bogus, "Win32TestModule_Answer"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(FreeLibrary(bogus));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  char name[64];
  EXPECT_EQ(GetModuleFileNameA(bogus, name, sizeof name), 0u);
}

TEST(Win32Module, ModuleNamesAndHandles) {
  char path[4096];
  DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  ASSERT_GT(n, 0u);
  char exe[4096];
  ssize_t len = readlink("/proc/self/exe", exe, sizeof exe - 1);
  ASSERT_GT(len, 0);
  EXPECT_EQ(std::string(path, n), std::string(exe, static_cast<size_t>(len)));

  char small[8];
  EXPECT_EQ(GetModuleFileNameA(nullptr, small, sizeof small), sizeof small);  // truncated, terminated
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(std::string(small), std::string(exe, 7));

  HMODULE library = nullptr;
  ASSERT_TRUE(GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                 reinterpret_cast<LPCSTR>(&GetTickCount), &library));
  n = GetModuleFileNameA(library, path, sizeof path);
  EXPECT_NE(std::string(path, n).find("/libbomwin32.so"), std::string::npos) << path;
  EXPECT_NE(GetProcAddress(library, "GetTickCount"), nullptr);

  HMODULE self = nullptr;
  ASSERT_TRUE(GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                 reinterpret_cast<LPCSTR>(&ExecutableDirectory), &self));
  EXPECT_EQ(self, GetModuleHandleA(nullptr));
  EXPECT_EQ(GetModuleHandleA("NotLoaded.dll"), nullptr);
}

}  // namespace
}  // namespace win32_test
