// BOM7300upgrade, the firmware-package updater: reads an ini file naming
// the MAIN, DSP and TABLE files of a package and the wait times, and sends
// the files to every connected printer, in the order of the library's
// serial-number list and in the order MAIN, DSP, TABLE, counting down the
// wait after each while the printer rewrites its flash and restarts. When
// all three went to a printer it reads the printer's firmware information
// back and shows it.
//
// It reaches the printers only through six exports of the printer-access
// library: kt_open, kt_close, kt_listupPrinterSN, kt_selectPrinterSN,
// kt_getPrinterInfo and kt_updateFirmware. Every download and the read-back
// run in a library session of their own, and find their printer again by
// the serial number it had in the first list.
#pragma once

#include <windows.h>

#include <cstdint>

namespace updater {

inline constexpr size_t kPathSize = 260;
inline constexpr char kNotConfigured[] = "None";

// The package as the ini file names it; filled once at start.
struct UpdaterConfig {
  char mainPath[kPathSize];  // "None": not sent
  uint32_t mainSize;
  char dspPath[kPathSize];
  uint32_t dspSize;
  char tablePath[kPathSize];
  uint32_t tableSize;
  uint32_t mainWaitMs;   // wait after a MAIN download
  uint32_t dspWaitMs;    // after a DSP download
  uint32_t tableWaitMs;  // after a TABLE download
  uint32_t dispWaitMs;   // pause before the program ends
};
extern UpdaterConfig g_UpdaterConfig;

// One file of a package: where the configuration keeps it, how it is sent
// and the texts that speak of it.
struct FirmwareFile {
  const char *label;  // "MAIN", "DSP", "TABLE"
  uint8_t type;       // FIRMWARE_TYPE_...
  char (UpdaterConfig::*path)[kPathSize];
  uint32_t UpdaterConfig::*size;
  uint32_t UpdaterConfig::*waitMs;
  const char *listLine;       // the file list's line, with the path
  const char *notConfigured;  // shown in place of the download
  int finishedBlanks;         // blanks behind "Finished."
};
// MAIN, DSP, TABLE, in the order they are sent.
extern const FirmwareFile kFirmwareFiles[3];

// ---- Console ----------------------------------------------------------------
// Everything goes to standard output; tests capture it instead.
struct Console {
  void (*write)(const char *text);
  int (*readKey)();
  void (*clear)();
};
extern Console g_Console;
// printf-style output through the console.
void Print(const char *format, ...) __attribute__((format(printf, 1, 2)));
// "Hit any key please", then one key press (end of input counts as one).
void WaitForKey();

// ---- Configuration (updater_config.cpp) ----------------------------------------
// Fills g_UpdaterConfig from the ini file, found as the current directory,
// a backslash and `iniName`. What is missing takes its default.
void ReadIniFile(const char *iniName);
// -1 for "None", -2 (after saying so) for a file that cannot be opened,
// else the file's length.
int64_t GetFirmwareFileSize(const char *path);

// ---- Texts (result_messages.cpp) ----------------------------------------------
// The text shown for a library result code, copied into `buffer`.
void GetResultMessage(uint16_t code, char *buffer, size_t size);
// "Error: <text>(<code>)": the line for every failed library call.
void PrintResultError(uint16_t code);

// ---- Downloads (download.cpp) ---------------------------------------------------
HGLOBAL AllocGlobalMemory(SIZE_T size);
void FreeGlobalMemory(HGLOBAL memory);
// In the session just opened: lists the printers and selects the one with
// this serial. False, with the code to show, when it is not there.
bool SelectPrinterBySerial(const char serial[8], uint16_t *err);
// Sends one file of the package to the printer with this serial, in a
// session of its own. 1 on success.
int DownloadFirmwareFile(const FirmwareFile &file, const char serial[8]);
// Shows the seconds left of `waitMs`, twice a second, until less than one
// second is left.
void RunCountdown(uint32_t waitMs);

// ---- Read-back (verify.cpp) ------------------------------------------------------
void PrintComponentHeading(int component);
// Reads and shows the firmware information of the printer with this serial.
void VerifyFirmwareInfo(const char serial[8]);

// ---- The run (updater.cpp) ---------------------------------------------------------
void DownloadToAllPrinters();
// The program: start-up checks, banner, file list, downloads. Always 0.
int UpdaterMain(int argc, char **argv);

}  // namespace updater
