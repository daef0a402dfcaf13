// The texts of the library's result codes.
#include <cstdio>

#include "host_result_codes.h"
#include "updater.h"

namespace updater {

void GetResultMessage(uint16_t code, char *buffer, size_t size) {
  if (size != 0) std::snprintf(buffer, size, "%s", HostResultText(code));
}

void PrintResultError(uint16_t code) {
  char text[128];
  GetResultMessage(code, text, sizeof text);
  Print("Error: %s(%d)\n", text, code);
}

}  // namespace updater
