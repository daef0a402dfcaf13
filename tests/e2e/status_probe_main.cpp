// status-probe SERIAL...: asks each printer, found by its serial number on
// the bus of $BOM7300_USB_BUS, for its status through the library's
// kt_status, and prints one line per printer: the serial and the result
// code (that of the step that failed: 1004 without any printer, 1008 for a
// serial not listed). End-to-end tests run it as a host process of its own,
// so each sees the bus directory of its test.
#include <cstdio>
#include <cstring>

#include "bom7300upgrade.h"
#include "host_result_codes.h"

namespace {

uint16_t StatusOf(const char *serial) {
  if (std::strlen(serial) != KT_SERIAL_LENGTH) return RESULT_BAD_PARAMETER;
  uint16_t err = RESULT_OK;
  if (!kt_open(&err)) {
    kt_close();
    return err;
  }
  char list[KT_SERIAL_LIST_SIZE];
  kt_listupPrinterSN(list);
  const char *selected = kt_selectPrinterSN(serial, &err);
  if (err == RESULT_OK && (selected == nullptr || std::memcmp(selected, serial, KT_SERIAL_LENGTH) != 0)) {
    err = RESULT_PRINTER_NOT_FOUND;
  }
  if (err == RESULT_OK) kt_status(&err);
  kt_close();
  return err;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fputs("usage: status-probe SERIAL...\n", stderr);
    return 2;
  }
  for (int i = 1; i < argc; ++i) std::printf("%s %u\n", argv[i], static_cast<unsigned>(StatusOf(argv[i])));
  return 0;
}
