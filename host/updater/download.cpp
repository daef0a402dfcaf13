// One file of the package to one printer, and the wait after it.
#include <cstring>

#include "bom7300upgrade.h"
#include "host_result_codes.h"
#include "updater.h"

namespace updater {

const FirmwareFile kFirmwareFiles[3] = {
    {"MAIN", FIRMWARE_TYPE_MAIN, &UpdaterConfig::mainPath, &UpdaterConfig::mainSize, &UpdaterConfig::mainWaitMs,
     "MAIN:  %s \n", "No main downloadFile...\n", 50},
    {"DSP", FIRMWARE_TYPE_DSP, &UpdaterConfig::dspPath, &UpdaterConfig::dspSize, &UpdaterConfig::dspWaitMs,
     "DSP:   %s \n", "No dsp downloadFile...\n", 49},
    {"TABLE", FIRMWARE_TYPE_TABLE, &UpdaterConfig::tablePath, &UpdaterConfig::tableSize,
     &UpdaterConfig::tableWaitMs, "TABLE: %s \n", "No Table downloadFile...\n", 51},
};

HGLOBAL AllocGlobalMemory(SIZE_T size) { return GlobalAlloc(GHND, size); }

void FreeGlobalMemory(HGLOBAL memory) {
  if (memory != nullptr) GlobalFree(memory);
}

bool SelectPrinterBySerial(const char serial[8], uint16_t *err) {
  char list[KT_SERIAL_LIST_SIZE];
  kt_listupPrinterSN(list);
  *err = RESULT_OK;
  const char *selected = kt_selectPrinterSN(serial, err);
  // A printer that is not in the list (one that has not come back from its
  // restart) leaves some other selection: never take that for this one.
  if (*err == RESULT_OK && selected != nullptr && std::memcmp(selected, serial, KT_SERIAL_LENGTH) == 0) return true;
  if (*err == RESULT_OK) *err = RESULT_PRINTER_NOT_FOUND;
  return false;
}

int DownloadFirmwareFile(const FirmwareFile &file, const char serial[8]) {
  const char *path = g_UpdaterConfig.*file.path;
  // Opened only to learn that it can be read: the library reads it itself.
  HANDLE handle =
      CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    Print("Error: %s DownLoad file is not found.\n", file.label);
    return 0;
  }
  // The host must have room for the file, which the library holds whole.
  HGLOBAL room = AllocGlobalMemory(g_UpdaterConfig.*file.size);
  if (room == nullptr) {
    Print("Error: %s Memory Full Error\n", file.label);
    CloseHandle(handle);
    return 0;
  }
  int result = 0;
  uint16_t err = RESULT_OK;
  if (!kt_open(&err)) {
    PrintResultError(err);
  } else if (!SelectPrinterBySerial(serial, &err)) {
    PrintResultError(err);
  } else if (!kt_updateFirmware(file.type, path, &err)) {
    PrintResultError(err);
  } else {
    result = 1;
  }
  kt_close();
  FreeGlobalMemory(room);
  CloseHandle(handle);
  return result;
}

void RunCountdown(uint32_t waitMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    const DWORD elapsed = GetTickCount() - start;
    const uint32_t seconds = (waitMs - elapsed) / 1000;
    if (elapsed > waitMs) return;
    Print("Waiting for the printer to finish rewriting firmware.  ");
    Print("Remaining %d sec.  \r", static_cast<int>(seconds));
    Sleep(500);
    if (seconds == 0) return;
  }
}

}  // namespace updater
