// The run: start-up checks, the file list, and every file to every printer.
#include <algorithm>
#include <cstring>

#include "bom7300upgrade.h"
#include "updater.h"

namespace updater {

namespace {

constexpr int kFilesPerPackage = 3;

bool Configured(const FirmwareFile &file) {
  return std::strcmp(g_UpdaterConfig.*file.path, kNotConfigured) != 0;
}

// Sends the configured files to printer `serial`; false when one failed.
bool DownloadPackage(const char serial[8], int *sent) {
  *sent = 0;
  for (const FirmwareFile &file : kFirmwareFiles) {
    if (!Configured(file)) {
      Print("%s", file.notConfigured);
      continue;
    }
    Print("Downloading %s file... [%s]\n", file.label, g_UpdaterConfig.*file.path);
    if (!DownloadFirmwareFile(file, serial)) return false;
    Print("Finished.%*s\n", file.finishedBlanks, "");
    RunCountdown(g_UpdaterConfig.*file.waitMs);
    Print("\n\n");
    ++*sent;
  }
  return true;
}

}  // namespace

void DownloadToAllPrinters() {
  uint16_t err = 0;
  char list[KT_SERIAL_LIST_SIZE];
  if (!kt_open(&err)) {
    PrintResultError(err);
    kt_close();
  } else {
    const int count = std::clamp<int>(kt_listupPrinterSN(list), 0, KT_SERIAL_LIST_SIZE / KT_SERIAL_LENGTH);
    Print("\nStart download.(Number of printers connected = %d)\n", count);
    Print("\nDetected %d printer(s)\n", count);
    Print("Start downloading...\n");
    kt_close();
    for (int i = 0; i < count; ++i) {
      // Every later session finds this printer again by this serial.
      char serial[KT_SERIAL_LENGTH + 1] = {};
      std::memcpy(serial, list + KT_SERIAL_LENGTH * i, KT_SERIAL_LENGTH);
      Print("\nNo%d.  Printer S/N = [%s] \n\n", i + 1, serial);
      int sent = 0;
      if (!DownloadPackage(serial, &sent)) break;  // later printers receive nothing
      if (sent == kFilesPerPackage) {
        Print("Completed firmware upgrade.\n");
        VerifyFirmwareInfo(serial);
      }
      Print("\n");
    }
  }
  Sleep(g_UpdaterConfig.dispWaitMs);
}

int UpdaterMain(int argc, char **argv) {
  if (argc < 2) {
    Print("Ini File Error [%s]\n", "");
    WaitForKey();
    return 0;
  }
  ReadIniFile(argv[1]);
  g_Console.clear();
  Print("ORVIK M7300 Photo Printer Firmware Package Upgrade\n");
  Print("Brental Orvik Company. Keep the printers powered until the upgrade is completed.\n");
  Print("\n");
  for (const FirmwareFile &file : kFirmwareFiles) {
    if (!Configured(file)) continue;
    const int64_t size = GetFirmwareFileSize(g_UpdaterConfig.*file.path);
    if (size < 0) {
      Print("%s program file size error.\n", file.label);
      return 0;
    }
    g_UpdaterConfig.*file.size = static_cast<uint32_t>(size);
  }
  Print("Lists the files used to upgrade the firmware.\n");
  for (const FirmwareFile &file : kFirmwareFiles) Print(file.listLine, g_UpdaterConfig.*file.path);
  DownloadToAllPrinters();
  return 0;
}

}  // namespace updater
