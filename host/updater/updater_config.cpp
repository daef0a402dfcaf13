// The ini file and the sizes of the configured files.
#include <cstdio>
#include <cstring>

#include "updater.h"

namespace updater {

UpdaterConfig g_UpdaterConfig = {};

namespace {

constexpr uint32_t kDefaultMainWaitMs = 80000;
constexpr uint32_t kDefaultDspWaitMs = 40000;
constexpr uint32_t kDefaultTableWaitMs = 40000;
constexpr uint32_t kDefaultDispWaitMs = 1000;

}  // namespace

void ReadIniFile(const char *iniName) {
  // As on Windows: the name is taken in the current directory.
  char directory[MAX_PATH] = {};
  GetCurrentDirectoryA(sizeof directory, directory);
  char iniPath[2 * MAX_PATH];
  std::snprintf(iniPath, sizeof iniPath, "%s\\%s", directory, iniName);

  UpdaterConfig &config = g_UpdaterConfig;
  for (const FirmwareFile &file : kFirmwareFiles) {
    GetPrivateProfileStringA(file.label, "FILEPATH", kNotConfigured, config.*file.path, kPathSize, iniPath);
  }
  config.mainWaitMs = GetPrivateProfileIntA("TIME", "MAIN_WAIT_TIME", kDefaultMainWaitMs, iniPath);
  config.dspWaitMs = GetPrivateProfileIntA("TIME", "DSP_WAIT_TIME", kDefaultDspWaitMs, iniPath);
  config.tableWaitMs = GetPrivateProfileIntA("TIME", "TABLE_WAIT_TIME", kDefaultTableWaitMs, iniPath);
  config.dispWaitMs = GetPrivateProfileIntA("TIME", "DISP_WAIT_TIME", kDefaultDispWaitMs, iniPath);
}

int64_t GetFirmwareFileSize(const char *path) {
  if (std::strcmp(path, kNotConfigured) == 0) return -1;
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    Print("File Data Open Error \n ");
    return -2;
  }
  DWORD high = 0;
  SetLastError(NO_ERROR);
  const DWORD low = GetFileSize(file, &high);
  const bool failed = low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR;
  CloseHandle(file);
  if (failed) {
    Print("File Data Open Error \n ");
    return -2;
  }
  return static_cast<int64_t>((uint64_t{high} << 32) | low);
}

}  // namespace updater
