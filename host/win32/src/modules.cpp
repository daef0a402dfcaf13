// Dynamic loading: "X.dll" is libX.so.
//
// A module handle is the loader's handle (its link map). A handle is
// checked against the loader's list of loaded objects before use, so a
// stale or made-up handle fails with ERROR_INVALID_HANDLE instead of
// crashing, and FreeLibrary releases only what LoadLibraryA took.
#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "files.h"
#include "runtime.h"

namespace w32 {
namespace {

std::string ExecutablePath() {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return std::string();
  buf[n] = '\0';
  return buf;
}

std::string Absolute(const std::string &path) {
  if (path.empty() || path[0] == '/') return path;
  char *resolved = realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return path;
  std::string result = resolved;
  free(resolved);
  return result;
}

std::string DirectoryOf(const std::string &path) {
  std::string::size_type slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

struct AddressSearch {
  uintptr_t address;
  bool found = false;
  std::string path;
};

int FindObject(dl_phdr_info *info, size_t, void *data) {
  auto *search = static_cast<AddressSearch *>(data);
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr) &ph = info->dlpi_phdr[i];
    if (ph.p_type != PT_LOAD) continue;
    uintptr_t start = info->dlpi_addr + ph.p_vaddr;
    if (search->address >= start && search->address < start + ph.p_memsz) {
      search->found = true;
      // The executable is the object without a name.
      search->path = info->dlpi_name != nullptr && info->dlpi_name[0] != '\0' ? Absolute(info->dlpi_name)
                                                                              : ExecutablePath();
      return 1;
    }
  }
  return 0;
}

// Path of the loaded object that contains the address, empty if none.
std::string ObjectPathFor(const void *address) {
  AddressSearch search{reinterpret_cast<uintptr_t>(address)};
  dl_iterate_phdr(FindObject, &search);
  return search.found ? search.path : std::string();
}

bool EndsWithNoCase(const std::string &s, const char *suffix) {
  size_t n = std::strlen(suffix);
  if (s.size() < n) return false;
  for (size_t i = 0; i < n; ++i) {
    if (std::tolower(static_cast<unsigned char>(s[s.size() - n + i])) != suffix[i]) return false;
  }
  return true;
}

// "X.dll", "X" or "X." -> "libX.so"; a name that is already a shared
// object's stays as it is.
std::string SharedObjectName(const std::string &file) {
  if (EndsWithNoCase(file, ".so") || file.find(".so.") != std::string::npos) return file;
  std::string base = file;
  if (EndsWithNoCase(base, ".dll")) {
    base.resize(base.size() - 4);
  } else if (!base.empty() && base.back() == '.') {
    base.pop_back();
  }
  return "lib" + base + ".so";
}

bool IsLoadedObject(const void *handle) {
  if (handle == nullptr) return false;
  void *main = dlopen(nullptr, RTLD_LAZY);
  link_map *map = nullptr;
  if (main == nullptr || dlinfo(main, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr) return false;
  while (map->l_prev != nullptr) map = map->l_prev;
  for (; map != nullptr; map = map->l_next) {
    if (map == handle) return true;
  }
  return false;
}

// References taken by LoadLibraryA, per handle. Guarded by the runtime lock.
std::unordered_map<const void *, unsigned> &LoadCounts() {
  static auto *counts = new std::unordered_map<const void *, unsigned>();
  return *counts;
}

HMODULE Remember(void *handle) {
  std::lock_guard<std::mutex> lk(Rt().lock);
  ++LoadCounts()[handle];
  return static_cast<HMODULE>(handle);
}

// Candidates for a module name, in search order; the last may be a bare
// name for the loader's own path.
std::vector<std::string> Candidates(const char *name, const void *caller) {
  const std::string path = HostPath(name);
  std::string::size_type slash = path.find_last_of('/');
  if (slash != std::string::npos) {
    return {path.substr(0, slash + 1) + SharedObjectName(path.substr(slash + 1))};
  }
  const std::string file = SharedObjectName(path);
  std::vector<std::string> list;
  std::string callerPath = ObjectPathFor(caller);
  if (!callerPath.empty()) list.push_back(DirectoryOf(callerPath) + "/" + file);
  std::string exeDir = DirectoryOf(ExecutablePath());
  if (list.empty() || list.back() != exeDir + "/" + file) list.push_back(exeDir + "/" + file);
  list.push_back(file);
  return list;
}

void *Open(const char *name, const void *caller, int flags) {
  std::vector<std::string> candidates = Candidates(name, caller);
  for (size_t i = 0; i < candidates.size(); ++i) {
    const std::string &c = candidates[i];
    const bool bare = c.find('/') == std::string::npos;
    if (!bare && access(c.c_str(), F_OK) != 0) continue;
    void *handle = dlopen(c.c_str(), flags);
    if (handle != nullptr) return handle;
    if (!bare && (flags & RTLD_NOLOAD) == 0) {
      // Found but not loadable (a missing dependency, a bad file): that
      // module is the one meant, so no other is tried.
      SetError(ERROR_BAD_EXE_FORMAT);
      return nullptr;
    }
  }
  SetError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

}  // namespace
}  // namespace w32

using namespace w32;

__attribute__((noinline)) HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName) noexcept {
  const void *caller = __builtin_return_address(0);
  return Guard<HMODULE>(nullptr, [&]() -> HMODULE {
    if (lpLibFileName == nullptr || *lpLibFileName == '\0') {
      SetError(ERROR_INVALID_PARAMETER);
      return nullptr;
    }
    void *handle = Open(lpLibFileName, caller, RTLD_NOW | RTLD_LOCAL);
    return handle != nullptr ? Remember(handle) : nullptr;
  });
}

FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) noexcept {
  return Guard<FARPROC>(nullptr, [&]() -> FARPROC {
    if (!IsLoadedObject(hModule)) {
      SetError(ERROR_INVALID_HANDLE);
      return nullptr;
    }
    // Ordinals (values below 0x10000) have no meaning for shared objects.
    if (reinterpret_cast<uintptr_t>(lpProcName) < 0x10000) {
      SetError(ERROR_PROC_NOT_FOUND);
      return nullptr;
    }
    void *symbol = dlsym(hModule, lpProcName);
    if (symbol == nullptr) {
      SetError(ERROR_PROC_NOT_FOUND);
      return nullptr;
    }
    return reinterpret_cast<FARPROC>(symbol);
  });
}

BOOL WINAPI FreeLibrary(HMODULE hLibModule) noexcept {
  return Guard<BOOL>(FALSE, [&] {
    {
      std::lock_guard<std::mutex> lk(Rt().lock);
      auto &counts = LoadCounts();
      auto found = counts.find(hLibModule);
      if (found == counts.end()) {
        SetError(ERROR_INVALID_HANDLE);
        return FALSE;
      }
      if (--found->second == 0) counts.erase(found);
    }
    dlclose(hLibModule);
    return TRUE;
  });
}

__attribute__((noinline)) HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName) noexcept {
  const void *caller = __builtin_return_address(0);
  return Guard<HMODULE>(nullptr, [&]() -> HMODULE {
    if (lpModuleName == nullptr) return static_cast<HMODULE>(dlopen(nullptr, RTLD_LAZY));
    void *handle = Open(lpModuleName, caller, RTLD_LAZY | RTLD_NOLOAD);
    if (handle == nullptr) return nullptr;
    dlclose(handle);  // GetModuleHandleA takes no reference
    return static_cast<HMODULE>(handle);
  });
}

__attribute__((noinline)) BOOL WINAPI GetModuleHandleExA(DWORD dwFlags, LPCSTR lpModuleName,
                                                        HMODULE *phModule) noexcept {
  const void *caller = __builtin_return_address(0);
  return Guard<BOOL>(FALSE, [&] {
    if (phModule == nullptr) {
      SetError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    *phModule = nullptr;
    void *handle = nullptr;
    if ((dwFlags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS) != 0) {
      std::string path = ObjectPathFor(lpModuleName);
      if (path.empty()) {
        SetError(ERROR_MOD_NOT_FOUND);
        return FALSE;
      }
      handle = path == ExecutablePath() ? dlopen(nullptr, RTLD_LAZY) : dlopen(path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    } else if (lpModuleName == nullptr) {
      handle = dlopen(nullptr, RTLD_LAZY);
    } else {
      handle = Open(lpModuleName, caller, RTLD_LAZY | RTLD_NOLOAD);
    }
    if (handle == nullptr) {
      SetError(ERROR_MOD_NOT_FOUND);
      return FALSE;
    }
    if ((dwFlags & GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT) != 0) {
      dlclose(handle);
    } else {
      Remember(handle);  // released by FreeLibrary, as on Windows
    }
    *phModule = static_cast<HMODULE>(handle);
    return TRUE;
  });
}

DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) noexcept {
  return Guard<DWORD>(0, [&]() -> DWORD {
    std::string path;
    if (hModule == nullptr) {
      path = ExecutablePath();
    } else {
      if (!IsLoadedObject(hModule)) {
        SetError(ERROR_INVALID_HANDLE);
        return 0;
      }
      auto *map = reinterpret_cast<link_map *>(hModule);
      path = map->l_name != nullptr && map->l_name[0] != '\0' ? Absolute(map->l_name) : ExecutablePath();
    }
    if (lpFilename == nullptr || nSize == 0) {
      SetError(ERROR_INSUFFICIENT_BUFFER);
      return 0;
    }
    if (path.size() + 1 > nSize) {
      std::memcpy(lpFilename, path.data(), nSize - 1);
      lpFilename[nSize - 1] = '\0';
      SetError(ERROR_INSUFFICIENT_BUFFER);
      return nSize;
    }
    std::memcpy(lpFilename, path.c_str(), path.size() + 1);
    SetError(ERROR_SUCCESS);
    return static_cast<DWORD>(path.size());
  });
}
