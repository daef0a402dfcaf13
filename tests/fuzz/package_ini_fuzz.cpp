// Package bytes into the ini reader the updater takes its package file with
// (the Win32 profile functions of host/win32): each input is an ini file,
// written to a temporary file, and one query of it picked by the first
// input bytes: a value the updater reads, a number, the list of sections,
// or the list of a section's keys, into a caller's buffer of fuzzed size
// on the heap. The reader stays inside that buffer, terminates what it
// writes, and counts no more than it wrote.
#include <iterator>
#include <memory>
#include <string>

#include <windows.h>

#include "tests/fuzz/fuzz_input.h"

namespace {

constexpr const char* kSections[] = {"MAIN", "DSP", "TABLE", "TIME", "main", "Unknown"};
constexpr const char* kKeys[] = {"FILEPATH", "MAIN_WAIT_TIME", "DSP_WAIT_TIME", "TABLE_WAIT_TIME", "DISP_WAIT_TIME",
                                 "filepath", "Missing"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const fuzz::TempFile ini(".ini");
  fuzz::Input in(data, size);
  const uint8_t query = in.Byte();
  const DWORD capacity = in.Byte();
  const char* section = kSections[in.Byte() % std::size(kSections)];
  const char* key = kKeys[in.Byte() % std::size(kKeys)];
  const std::vector<uint8_t> text = in.Rest();
  ini.Write(text.data(), text.size());

  if (query % 4 == 3) {
    GetPrivateProfileIntA(section, key, 80000, ini.Path());
    return 0;
  }
  // Lists of sections (no section) or keys (no key), or one value.
  const bool bSections = query % 4 == 1;
  const bool bKeys = query % 4 == 2;
  std::unique_ptr<char[]> out(capacity == 0 ? nullptr : new char[capacity]);
  const DWORD count = GetPrivateProfileStringA(bSections ? nullptr : section, bSections || bKeys ? nullptr : key,
                                               "None", out.get(), capacity, ini.Path());
  if (capacity == 0) return 0;
  fuzz::Require(count < capacity, "the count stays below the buffer's size");
  // (A value may hold a NUL byte the file had; the count is what was
  // copied.)
  fuzz::Require(out[count] == '\0', "what is copied is terminated where its count says");
  return 0;
}
