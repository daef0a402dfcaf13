// A module that loads "Win32TestModule.dll" itself, so that the search
// from the calling module's own directory can be seen.
#include <windows.h>

extern "C" int Win32TestLoader_LoadSiblingAnswer() {
  HMODULE module = LoadLibraryA("Win32TestModule.dll");
  if (module == nullptr) return -1;
  auto answer = reinterpret_cast<int (*)()>(GetProcAddress(module, "Win32TestModule_Answer"));
  int result = answer != nullptr ? answer() : -2;
  FreeLibrary(module);
  return result;
}
