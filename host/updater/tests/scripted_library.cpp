// The scripted stand-in of the library's six exports.
#include "scripted_library.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "bom7300upgrade.h"
#include "host_result_codes.h"

namespace scripted_library {
namespace {

struct Printer {
  PrinterScript script;
  bool present = true;
  int delivered = 0;
  std::vector<std::string> received;
};

struct State {
  std::vector<Printer> printers;
  std::vector<size_t> order;  // list order of the present session
  bool reverse = false;
  bool sessionOpen = false;
  int openSessions = 0;
  int sessionsSoFar = 0;
  int selected = -1;  // index into printers
  char selectedSerial[KT_SERIAL_LENGTH];
};

State &S() {
  static State state;
  return state;
}

void SetCode(uint16_t *err, uint16_t code) {
  if (err != nullptr) *err = code;
}

// The present printers in the session's order.
std::vector<size_t> Listed() {
  std::vector<size_t> listed;
  for (size_t i : S().order) {
    if (S().printers[i].present) listed.push_back(i);
  }
  return listed;
}

const char *Label(uint8_t type) {
  static const char *const kLabels[] = {"MAIN", "DSP", "TABLE"};
  return kLabels[type - 1];
}

// The library's own refusals of a file, before any USB traffic.
uint16_t FileRefusal(const char *path) {
  if (path == nullptr) return RESULT_BAD_PARAMETER;
  FILE *file = std::fopen(path, "rb");
  if (file == nullptr) return RESULT_FILE_ACCESS_FAILED;
  std::fseek(file, 0, SEEK_END);
  const long size = std::ftell(file);
  std::fclose(file);
  return size == 0 ? RESULT_BAD_PARAMETER : RESULT_OK;
}

}  // namespace

void Reset() { S() = State{}; }

void AddPrinter(const PrinterScript &printer) {
  S().printers.push_back(Printer{printer, true, 0, {}});
  S().order.push_back(S().printers.size() - 1);
}

void ReverseOrderEachSession(bool reverse) { S().reverse = reverse; }

std::vector<std::string> Received(const std::string &serial) {
  for (const Printer &p : S().printers) {
    if (p.script.serial == serial) return p.received;
  }
  return {};
}

int OpenSessions() { return S().openSessions; }

}  // namespace scripted_library

using namespace scripted_library;

extern "C" {

int KT_CALL kt_open(uint16_t *err) noexcept {
  State &s = S();
  if (s.sessionOpen) {
    SetCode(err, RESULT_OK);
    return 1;
  }
  if (s.reverse && s.sessionsSoFar > 0) std::reverse(s.order.begin(), s.order.end());
  ++s.sessionsSoFar;
  const std::vector<size_t> listed = Listed();
  if (listed.empty()) {
    SetCode(err, RESULT_USB_OPEN_FAILED);
    return 0;
  }
  s.sessionOpen = true;
  ++s.openSessions;
  s.selected = static_cast<int>(listed.front());
  std::memset(s.selectedSerial, 0xFF, sizeof s.selectedSerial);
  SetCode(err, RESULT_OK);
  return 1;
}

void KT_CALL kt_close(void) noexcept {
  State &s = S();
  if (!s.sessionOpen) return;
  s.sessionOpen = false;
  --s.openSessions;
  s.selected = -1;
}

int16_t KT_CALL kt_listupPrinterSN(char serials[KT_SERIAL_LIST_SIZE]) noexcept {
  std::memset(serials, 0xFF, KT_SERIAL_LIST_SIZE);
  if (!S().sessionOpen) return 0;
  const std::vector<size_t> listed = Listed();
  for (size_t i = 0; i < listed.size(); ++i) {
    std::memcpy(serials + KT_SERIAL_LENGTH * i, S().printers[listed[i]].script.serial.data(), KT_SERIAL_LENGTH);
  }
  return static_cast<int16_t>(listed.size());
}

char *KT_CALL kt_selectPrinterSN(const char serial[KT_SERIAL_LENGTH], uint16_t *err) noexcept {
  State &s = S();
  SetCode(err, RESULT_NO_SESSION);
  if (!s.sessionOpen) return nullptr;
  SetCode(err, RESULT_PRINTER_NOT_FOUND);
  for (size_t i : Listed()) {
    if (serial != nullptr && std::memcmp(s.printers[i].script.serial.data(), serial, KT_SERIAL_LENGTH) == 0) {
      s.selected = static_cast<int>(i);
      std::memcpy(s.selectedSerial, serial, KT_SERIAL_LENGTH);
      SetCode(err, RESULT_OK);
    }
  }
  return s.selectedSerial;
}

int KT_CALL kt_getPrinterInfo(uint16_t type, void *data, uint32_t *size) noexcept {
  State &s = S();
  if (!s.sessionOpen || s.selected < 0 || type != PINFTAG_ENGID || size == nullptr) return 0;
  Printer &p = s.printers[static_cast<size_t>(s.selected)];
  if (!p.present || p.script.infoFails) {
    *size = 0;
    return 0;
  }
  std::vector<uint8_t> info = p.script.info;
  info.resize(KT_FIRMWARE_INFO_SIZE, 0);
  if (data == nullptr) {
    *size = KT_FIRMWARE_INFO_SIZE;
    return 1;
  }
  std::memcpy(data, info.data(), std::min<size_t>(*size, info.size()));
  *size = std::min<uint32_t>(*size, KT_FIRMWARE_INFO_SIZE);
  return 1;
}

int KT_CALL kt_updateFirmware(uint8_t type, const char *path, uint16_t *err) noexcept {
  State &s = S();
  if (!s.sessionOpen) {
    SetCode(err, RESULT_NO_SESSION);
    return 0;
  }
  if (s.selected < 0 || !s.printers[static_cast<size_t>(s.selected)].present) {
    SetCode(err, RESULT_PRINTER_NOT_RECOGNIZED);
    return 0;
  }
  if (type < FIRMWARE_TYPE_MAIN || type > FIRMWARE_TYPE_TABLE) {
    SetCode(err, RESULT_BAD_PARAMETER);
    return 0;
  }
  if (const uint16_t refusal = FileRefusal(path)) {
    SetCode(err, refusal);
    return 0;
  }
  Printer &p = s.printers[static_cast<size_t>(s.selected)];
  if (const uint16_t refusal = p.script.refusal[type - 1]) {
    SetCode(err, refusal);
    return 0;
  }
  p.received.push_back(Label(type));
  ++p.delivered;
  if (p.delivered == p.script.filesBeforeGone) p.present = false;
  SetCode(err, RESULT_OK);
  return 1;
}

}  // extern "C"
