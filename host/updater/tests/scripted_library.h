// A scripted stand-in of the six exports of the printer-access library the
// updater calls, linked into the updater's tests in place of the library.
//
// It behaves as the library does where the updater depends on it: kt_open
// fails with RESULT_USB_OPEN_FAILED when no printer is there and otherwise
// selects the first listed printer without taking its serial (the selected
// serial starts as 0xFF x 8); kt_selectPrinterSN of a serial not listed
// reports RESULT_PRINTER_NOT_FOUND and returns that selected serial
// unchanged; kt_updateFirmware refuses a missing file, an empty file and
// another type before anything reaches a printer, and otherwise delivers
// the file to the selected printer, which may then not come back from its
// restart.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace scripted_library {

struct PrinterScript {
  std::string serial;  // 8 characters
  // After this many delivered files the printer does not come back from
  // its restart; -1: it always does.
  int filesBeforeGone = -1;
  // The code with which the printer refuses firmware type 1, 2 and 3; 0
  // accepts.
  uint16_t refusal[3] = {0, 0, 0};
  bool infoFails = false;  // kt_getPrinterInfo fails for this printer
  std::vector<uint8_t> info;  // the firmware information it reports (153 bytes)
};

// No printers, no session, nothing delivered.
void Reset();
void AddPrinter(const PrinterScript &printer);
// Each session after the first lists the printers in the reverse order of
// the session before.
void ReverseOrderEachSession(bool reverse);
// What the printer received, by label ("MAIN", "DSP", "TABLE"), in order.
std::vector<std::string> Received(const std::string &serial);
// Sessions opened by kt_open and not closed yet.
int OpenSessions();

}  // namespace scripted_library
